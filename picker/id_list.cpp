#include "picker/id_list.h"

#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "common/com.h"
#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

namespace {

std::atomic<long> g_live{0};

ComPtr<IMalloc> Malloc() {
  ComPtr<IMalloc> malloc;
  const HRESULT result = ::SHGetMalloc(&malloc);
  if (FAILED(result)) throw EOSError(SystemErrorText(static_cast<DWORD>(result)));
  return malloc;
}

}  // namespace

void* ShellAllocator::Alloc(size_t size) {
  void* block = Malloc()->Alloc(size ? size : 1);
  if (!block) throw EOutOfResources(L"Out of memory");
  std::memset(block, 0, size ? size : 1);
  ++g_live;
  return block;
}

void ShellAllocator::Free(void* block) noexcept {
  if (!block) return;
  ComPtr<IMalloc> malloc;
  if (SUCCEEDED(::SHGetMalloc(&malloc))) malloc->Free(block);
  --g_live;
}

void ShellAllocator::Adopt() noexcept { ++g_live; }

long ShellAllocator::Live() const noexcept { return g_live; }

ShellAllocator& ShellIds() {
  static ShellAllocator allocator;
  return allocator;
}

UniqueAbsoluteID AbsoluteCopy(PCIDLIST_ABSOLUTE id) {
  return UniqueAbsoluteID(static_cast<PIDLIST_ABSOLUTE>(CopyID(ShellIds(), id)));
}

UniqueRelativeID RelativeCopy(PCUIDLIST_RELATIVE id) {
  return UniqueRelativeID(static_cast<PIDLIST_RELATIVE>(CopyID(ShellIds(), id)));
}

UniqueAbsoluteID Concat(PCIDLIST_ABSOLUTE parent, PCUIDLIST_RELATIVE child) {
  return UniqueAbsoluteID(static_cast<PIDLIST_ABSOLUTE>(ConcatIDs(ShellIds(), parent, child)));
}

std::vector<UniqueAbsoluteID> Ancestors(PCIDLIST_ABSOLUTE id) {
  std::vector<void*> raw = AncestorIDs(ShellIds(), id);
  std::vector<UniqueAbsoluteID> owned;
  try {
    owned.reserve(raw.size());
  } catch (...) {
    for (void* list : raw) ShellIds().Free(list);
    throw;
  }
  for (void* list : raw) owned.emplace_back(static_cast<PIDLIST_ABSOLUTE>(list));  // cannot throw now
  return owned;
}

}  // namespace snapvik
