#pragma once
// Files as streams: every write goes straight to the platform, nothing buffered.
#include <windows.h>

#include <string>

#include "common/handles.h"
#include "common/stream.h"

namespace snapvik {

// Asks again for the rest after a short write; a write of nothing or a
// refused one throws EWriteError. Large buffers go through a small one of
// its own on their way (see the source); all is written before it returns.
// With `copy`, every buffer goes through that one, copied by `copy`.
void WriteAllTo(HANDLE file, const void* buffer, size_t count, TStream::CopyFunction copy = nullptr);

// Creates or truncates `name` for reading and writing, shared with no one.
class TFileStream final : public TStream {
 public:
  explicit TFileStream(const std::wstring& name);
  void WriteBuffer(const void* buffer, size_t count) override;
  void WriteCopied(const void* buffer, size_t count, CopyFunction copy) override;

 private:
  UniqueFile file_;
};

}  // namespace snapvik
