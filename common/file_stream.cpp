#include "common/file_stream.h"

#include <cstring>
#include <vector>

#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

namespace {

// Large writes pass through a buffer of this size, small enough for the heap to reuse.
constexpr size_t kPassageBytes = 256 * 1024;
static_assert(kPassageBytes % TStream::kCopyStep == 0);

void CopyPlain(void* to, const void* from, size_t count) { std::memcpy(to, from, count); }

// All of it, asking again for the rest after a short write.
void WriteWhole(HANDLE file, const char* bytes, size_t count) {
  while (count > 0) {
    const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) throw EWriteError(kWriteErrorText);
    bytes += written;
    count -= written;
  }
}

}  // namespace

void WriteAllTo(HANDLE file, const void* buffer, size_t count, TStream::CopyFunction copy) {
  const auto* bytes = static_cast<const char*>(buffer);
  // On some machines (virtual ones among them) the system's first read of
  // memory the process has just been given costs several times a copy: a
  // screen's fresh pixels took 16 ms to write where the same bytes from
  // memory used before took 3. The program's own reads of it cost nothing
  // extra, so large buffers are copied through a small one that the system
  // reads again and again. The bytes written are the same, or what `copy`
  // makes of them: that pass is then the one that changes them.
  if (!copy && count <= kPassageBytes) return WriteWhole(file, bytes, count);
  if (!copy) copy = CopyPlain;
  std::vector<char> passage(count < kPassageBytes ? count : kPassageBytes);
  while (count > 0) {
    const size_t chunk = count < passage.size() ? count : passage.size();
    copy(passage.data(), bytes, chunk);
    WriteWhole(file, passage.data(), chunk);
    bytes += chunk;
    count -= chunk;
  }
}

TFileStream::TFileStream(const std::wstring& name)
    : file_(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (!file_) ThrowCreateError(name, ::GetLastError());
}

void TFileStream::WriteBuffer(const void* buffer, size_t count) { WriteAllTo(file_.get(), buffer, count); }

void TFileStream::WriteCopied(const void* buffer, size_t count, CopyFunction copy) {
  WriteAllTo(file_.get(), buffer, count, copy);
}

}  // namespace snapvik
