#include "common/file_stream.h"

#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

void WriteAllTo(HANDLE file, const void* buffer, size_t count) {
  const auto* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) throw EWriteError(kWriteErrorText);
    bytes += written;
    count -= written;
  }
}

TFileStream::TFileStream(const std::wstring& name)
    : file_(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (!file_) ThrowCreateError(name, ::GetLastError());
}

void TFileStream::WriteBuffer(const void* buffer, size_t count) { WriteAllTo(file_.get(), buffer, count); }

}  // namespace snapvik
