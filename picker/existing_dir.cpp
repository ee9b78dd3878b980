#include "picker/existing_dir.h"

#include <windows.h>

#include "common/handles.h"

namespace snapvik {

DirectoryState ProbeDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
      return DirectoryState::Missing;
    return DirectoryState::Unreadable;
  }
  const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // A link counts only when its target opens.
    const UniqueFile target(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target) return DirectoryState::NotDirectory;
  }
  return directory ? DirectoryState::Directory : DirectoryState::NotDirectory;
}

bool IsExistingDir(const std::wstring& path) { return CountsAsExisting(ProbeDirectory(path)); }

}  // namespace snapvik
