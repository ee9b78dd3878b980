#include "app/settings_file.h"

#include <windows.h>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/handles.h"
#include "common/paths.h"
#include "common/win_error.h"
#include "common/win_text.h"

namespace snapvik {

std::wstring ProgramFolder() {
  const std::wstring module = ModuleFileName();
  return module.substr(0, module.find_last_of(L"\\:") + 1);
}

std::wstring SettingsFilePath() { return ProgramFolder() + L"opt.dat"; }

bool SettingsFileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // A link counts when its target can be read.
    UniqueFile probe(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe || ::GetLastError() == ERROR_SHARING_VIOLATION;
  }
  const DWORD code = ::GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME) return false;
  WIN32_FIND_DATAW found;
  UniqueFind find(::FindFirstFileW(path.c_str(), &found));
  return find && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowOpenError(path, ::GetLastError());
  std::string bytes;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 && size.QuadPart < 0x10000000)
    bytes.reserve(static_cast<size_t>(size.QuadPart));
  char chunk[65536];
  while (true) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) throw EReadError(kReadErrorText);
    if (got == 0) break;
    bytes.append(chunk, got);
  }
  return bytes;
}

namespace {

// The file that `path` names once links are followed; `path` itself when
// that is the same file by another spelling, when nothing is there to follow
// or when the platform cannot tell.
std::wstring FollowedPath(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return path;
  std::wstring followed(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(file.get(), followed.data(),
                                                     static_cast<DWORD>(followed.size()), FILE_NAME_NORMALIZED);
    if (length == 0) return path;
    const bool whole = length < followed.size();
    followed.resize(length);
    if (whole) break;
  }
  constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\", kLocal = L"\\\\?\\";
  std::wstring plain = followed;
  if (plain.starts_with(kUnc)) plain = L"\\\\" + plain.substr(kUnc.size());
  else if (plain.starts_with(kLocal)) plain = plain.substr(kLocal.size());
  if (plain.size() >= MAX_PATH) plain = followed;
  const std::wstring full = FullPathName(path);
  const bool same = ::CompareStringOrdinal(plain.c_str(), static_cast<int>(plain.size()), full.c_str(),
                                           static_cast<int>(full.size()), TRUE) == CSTR_EQUAL;
  return same ? path : plain;
}

}  // namespace

void ReplaceFileSafely(const std::wstring& linkedPath, std::string_view bytes) {
  // Replacing the name itself would put a plain file where a link was.
  const std::wstring path = FollowedPath(linkedPath);
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    ThrowCreateError(path, ERROR_ACCESS_DENIED);
  FileBeside file(path);
  file.WriteBuffer(bytes.data(), bytes.size());
  file.MoveTo(path, FileBeside::IfTaken::Replace);
}

void LoadSettings(settings::SettingsTarget& target) {
  const std::wstring path = SettingsFilePath();
  if (!SettingsFileExists(path)) {
    target.SetDirectory(ProgramFolder());
    return;
  }
  settings::ReadSettings(ReadWholeFile(path), SystemAnsiCodec(), target);
}

void SaveSettings(const settings::Settings& values) {
  ReplaceFileSafely(SettingsFilePath(), settings::EncodeSettings(values, SystemAnsiCodec()));
}

}  // namespace snapvik
