#include "common/atomic_file.h"

#include <atomic>
#include <cstdio>

#include "common/errors.h"
#include "common/file_stream.h"
#include "common/paths.h"
#include "common/win_error.h"
#include "common/wine.h"

namespace snapvik {

namespace {

std::atomic<unsigned> g_tempSerial{0};

// Short, so that a name near the path limit still fits.
std::wstring TemporaryNameIn(const std::wstring& folder) {
  wchar_t name[32];
  std::swprintf(name, 32, L"~snv%lx%x.tmp", ::GetCurrentProcessId(), g_tempSerial.fetch_add(1));
  return folder + name;
}

}  // namespace

FileBeside::FileBeside(const std::wstring& finalName, const std::wstring& shownName) : shownName_(shownName) {
  const std::wstring folder = FolderOf(finalName);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName_ = TemporaryNameIn(folder);
    file_.reset(::CreateFileW(tempName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_) return;
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
      ThrowCreateError(shownName_.empty() ? finalName : shownName_, code);
  }
  ThrowCreateError(shownName_.empty() ? finalName : shownName_, ERROR_FILE_EXISTS);
}

FileBeside::~FileBeside() {
  file_.reset();
  if (!moved_) ::DeleteFileW(tempName_.c_str());
}

void FileBeside::WriteBuffer(const void* buffer, size_t count) { WriteAllTo(file_.get(), buffer, count); }

void FileBeside::WriteCopied(const void* buffer, size_t count, CopyFunction copy) {
  WriteAllTo(file_.get(), buffer, count, copy);
}

bool FileBeside::MoveTo(const std::wstring& finalName, IfTaken ifTaken) {
  file_.reset();
  // Under Wine a link to nothing is no file to the move, which would replace it.
  if (ifTaken == IfTaken::Keep && WineHidesEntry(finalName)) return false;
  const DWORD flags = ifTaken == IfTaken::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
  if (::MoveFileExW(tempName_.c_str(), finalName.c_str(), flags)) {
    moved_ = true;
    return true;
  }
  const DWORD code = ::GetLastError();
  // Whatever the platform says, a name that something holds is taken: a
  // read-only file or a folder may be refused with another code.
  if (ifTaken == IfTaken::Keep &&
      (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ||
       ::GetFileAttributesW(finalName.c_str()) != INVALID_FILE_ATTRIBUTES))
    return false;
  ThrowCreateError(shownName_.empty() ? finalName : shownName_, code);
}

}  // namespace snapvik
