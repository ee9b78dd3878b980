#pragma once
// The one thing a writer needs of a file: all bytes, or an error.
#include <cstddef>

namespace snapvik {

class TStream {
 public:
  virtual ~TStream() = default;
  // Writes all `count` bytes or throws EWriteError.
  virtual void WriteBuffer(const void* buffer, size_t count) = 0;
};

}  // namespace snapvik
