#include "common/file_stream.h"

#include <cstring>
#include <vector>

#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

namespace {

// Large writes pass through a buffer of this size, small enough for the heap to reuse.
constexpr size_t kPassageBytes = 256 * 1024;

}  // namespace

void WriteAllTo(HANDLE file, const void* buffer, size_t count) {
  const auto* bytes = static_cast<const char*>(buffer);
  // On some machines (virtual ones among them) the system's first read of
  // memory the process has just been given costs several times a copy: a
  // screen's fresh pixels took 16 ms to write where the same bytes from
  // memory used before took 3. The program's own reads of it cost nothing
  // extra, so large buffers are copied through a small one that the system
  // reads again and again. The bytes written are the same.
  std::vector<char> passage(count > kPassageBytes ? kPassageBytes : 0);
  while (count > 0) {
    const char* from = bytes;
    DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    if (!passage.empty()) {
      chunk = static_cast<DWORD>(count < passage.size() ? count : passage.size());
      std::memcpy(passage.data(), bytes, chunk);
      from = passage.data();
    }
    DWORD written = 0;
    if (!::WriteFile(file, from, chunk, &written, nullptr) || written == 0) throw EWriteError(kWriteErrorText);
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
