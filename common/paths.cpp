#include "common/paths.h"

#include "common/ascii_case.h"

namespace snapvik {

std::wstring FolderOf(std::wstring_view path) {
  const size_t last = path.find_last_of(L"\\/:");
  return last == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, last + 1));
}

std::wstring AddPathSeparator(std::wstring_view path) {
  std::wstring out(path);
  if (out.empty() || out.back() == L'\\') return out;
  if (out.back() == L'/') {
    out.back() = L'\\';
  } else {
    out.append(out.size() == 1 ? L":\\" : L"\\");
  }
  return out;
}

bool IsFileSystemPath(std::wstring_view path) {
  const bool drive = path.size() >= 3 && AsciiLower(path[0]) >= L'a' && AsciiLower(path[0]) <= L'z' &&
                     path[1] == L':' && path[2] == L'\\';
  return drive || (path.size() > 2 && path.substr(0, 2) == L"\\\\");
}

bool IsInsideFolder(std::wstring_view folder, std::wstring_view path) {
  if (folder.empty() || path.size() <= folder.size() || !SameIgnoringAsciiCase(folder, path.substr(0, folder.size()))) return false;
  return folder.back() == L'\\' || path[folder.size()] == L'\\';
}

bool IsPlainFileName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (const wchar_t c : name)
    if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) return false;
  return true;
}

bool IsNameWindowsTakes(std::wstring_view name) {
  if (!IsPlainFileName(name) || name.back() == L'.' || name.back() == L' ') return false;
  // The device is named by what stands before the first dot, spaces at its end aside.
  std::wstring_view stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
    if (SameIgnoringAsciiCase(stem, device)) return false;
  if (stem.size() == 4 && (SameIgnoringAsciiCase(stem.substr(0, 3), L"COM") ||
                           SameIgnoringAsciiCase(stem.substr(0, 3), L"LPT"))) {
    // Windows takes the superscript digits one to three for ports as well.
    const wchar_t digit = stem[3];
    return !((digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3');
  }
  return true;
}

}  // namespace snapvik
