#pragma once
// The one thing a writer needs of a file: all bytes, or an error.
#include <algorithm>
#include <cstddef>
#include <vector>

namespace snapvik {

class TStream {
 public:
  virtual ~TStream() = default;
  // Writes all `count` bytes or throws EWriteError.
  virtual void WriteBuffer(const void* buffer, size_t count) = 0;

  // Copies bytes from `from` to `to`, changing them on the way if it must.
  // Each call starts a whole number of kCopyStep bytes after the first byte.
  using CopyFunction = void (*)(void* to, const void* from, size_t count);
  static constexpr size_t kCopyStep = 4096;

  // As WriteBuffer, the bytes written being what `copy` makes of them; the
  // buffer itself is not changed. A file stream copies through the buffer
  // it already passes large writes through, so this costs no extra pass.
  virtual void WriteCopied(const void* buffer, size_t count, CopyFunction copy) {
    const auto* bytes = static_cast<const char*>(buffer);
    std::vector<char> passage(std::min(count, 16 * kCopyStep));
    while (count > 0) {
      const size_t chunk = std::min(count, passage.size());
      copy(passage.data(), bytes, chunk);
      WriteBuffer(passage.data(), chunk);
      bytes += chunk;
      count -= chunk;
    }
  }
};

}  // namespace snapvik
