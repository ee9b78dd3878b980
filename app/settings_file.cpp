#include "app/settings_file.h"

#include <windows.h>

#include "common/atomic_file.h"
#include "common/error_text.h"
#include "common/errors.h"
#include "common/handles.h"
#include "common/paths.h"
#include "common/win_error.h"
#include "common/win_text.h"
#include "common/wine.h"

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
  if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 && size.QuadPart <= LONGLONG{kLargestSettingsFile})
    bytes.reserve(static_cast<size_t>(size.QuadPart));
  char chunk[65536];
  while (true) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) throw EReadError(kReadErrorText);
    if (got == 0) break;
    // Counted as read, whatever size the file claims: a device never ends.
    // The reason is ours: the system's text for a file too large speaks of saving it.
    if (got > kLargestSettingsFile - bytes.size())
      throw EFOpenError(OpenFileErrorText(FullPathName(path), kTooLargeForSettings));
    bytes.append(chunk, got);
  }
  return bytes;
}

namespace {

// The final path the platform gives for an open handle, without its "\\?\"
// where the plain form fits; empty when it cannot tell.
std::wstring FinalPathOf(HANDLE handle) {
  std::wstring followed(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, followed.data(), static_cast<DWORD>(followed.size()),
                                                     FILE_NAME_NORMALIZED);
    if (length == 0) return std::wstring();
    const bool whole = length < followed.size();
    followed.resize(length);
    if (whole) break;
  }
  constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\", kLocal = L"\\\\?\\";
  std::wstring plain = followed;
  if (plain.starts_with(kUnc)) plain = L"\\\\" + plain.substr(kUnc.size());
  else if (plain.starts_with(kLocal)) plain = plain.substr(kLocal.size());
  return plain.size() < MAX_PATH ? plain : followed;
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

[[noreturn]] void ThrowLinkToNothing(const std::wstring& path) { ThrowCreateError(path, ERROR_CANT_RESOLVE_FILENAME); }

// The file a write of `path` replaces: where `path` itself is a link, the
// file it points to; `path` otherwise, also where the folders on its way are
// spelled another way than the platform's final path (a mapped or
// substituted drive, short names, a junction or link among the folders).
// A link to nothing is refused.
std::wstring WrittenPath(const std::wstring& path) {
  // Under Wine such a link is no entry to any call; only a search by its
  // name tells that the name is taken.
  if (WineHidesEntry(path)) ThrowLinkToNothing(path);
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return path;
  UniqueFile file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD code = ::GetLastError();
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND))
      ThrowLinkToNothing(path);
    return path;
  }
  const std::wstring followed = FinalPathOf(file.get());
  const std::wstring folderPath = FolderOf(FullPathName(path));
  UniqueFile folder(::CreateFileW(folderPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (followed.empty() || !folder) return path;
  std::wstring unfollowed = FinalPathOf(folder.get());
  if (unfollowed.empty()) return path;
  if (unfollowed.back() != L'\\') unfollowed += L'\\';
  const std::wstring name = path.substr(FolderOf(path).size());
  // The entry itself leads elsewhere only when its folder's final path and
  // its name do not make its own final path.
  return SameIgnoringCase(unfollowed + name, followed) ? path : followed;
}

}  // namespace

void ReplaceFileSafely(const std::wstring& path, std::string_view bytes) {
  // Replacing a link itself would put a plain file where it was.
  const std::wstring target = WrittenPath(path);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    ThrowCreateError(path, ERROR_ACCESS_DENIED);
  FileBeside file(target, path);
  file.WriteBuffer(bytes.data(), bytes.size());
  file.MoveTo(target, FileBeside::IfTaken::Replace);
}

void LoadSettings(settings::SettingsTarget& target, SettingsRead& read) {
  read = SettingsRead::Missing;
  const std::wstring path = SettingsFilePath();
  if (!SettingsFileExists(path)) {
    target.SetDirectory(ProgramFolder());
    return;
  }
  read = SettingsRead::Unread;
  const SystemAnsiCodec ansi;
  const std::optional<std::wstring> text = settings::DecodeTextStrict(ReadWholeFile(path), ansi);
  // Text that cannot be decoded reads as none: the message of an empty file.
  if (text) read = SettingsRead::Applied;
  settings::ApplyLines(settings::SplitLines(text.value_or(std::wstring())), target);
}

void SaveSettings(const settings::Settings& values) {
  ReplaceFileSafely(SettingsFilePath(), settings::EncodeSettings(values, SystemAnsiCodec()));
}

bool SettingsFileWouldShow(const settings::Settings& values, const settings::Settings* withoutFile) noexcept {
  try {
    const std::wstring path = SettingsFilePath();
    if (!SettingsFileExists(path)) return withoutFile && *withoutFile == values;
    return ReadWholeFile(path) == settings::EncodeSettings(values, SystemAnsiCodec());
  } catch (...) {
    return false;
  }
}

}  // namespace snapvik
