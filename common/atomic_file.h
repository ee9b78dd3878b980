#pragma once
// A file written beside its final name and moved there only when complete,
// so that a failed write never leaves a partial file or harms an older one.
#include <windows.h>

#include <string>

#include "common/handles.h"
#include "common/stream.h"

namespace snapvik {

class FileBeside final : public TStream {
 public:
  // Creates the temporary file in the folder of `finalName`; a failure
  // throws EFCreateError naming `shownName`, or `finalName` without one.
  explicit FileBeside(const std::wstring& finalName, const std::wstring& shownName = std::wstring());
  ~FileBeside() override;
  FileBeside(const FileBeside&) = delete;
  FileBeside& operator=(const FileBeside&) = delete;

  // All bytes or EWriteError; only before the first MoveTo.
  void WriteBuffer(const void* buffer, size_t count) override;
  void WriteCopied(const void* buffer, size_t count, CopyFunction copy) override;

  // What a move does to a file that already holds the final name.
  enum class IfTaken { Keep, Replace };

  // Moves the file to `finalName`. With IfTaken::Keep, whatever holds that
  // name (a file, read-only or not, a folder, or a link to nothing) is kept
  // and false is returned, so the caller can pick another name and try
  // again. Other failures throw EFCreateError naming `finalName`, or the
  // shown name given at creation.
  bool MoveTo(const std::wstring& finalName, IfTaken ifTaken);

  const std::wstring& TemporaryName() const { return tempName_; }

 private:
  std::wstring shownName_;
  std::wstring tempName_;
  UniqueFile file_;
  bool moved_ = false;
};

}  // namespace snapvik
