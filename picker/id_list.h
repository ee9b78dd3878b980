#pragma once
// Identifier lists on the platform: the shell's allocator behind the plain
// helpers, and typed owners that give every list back through it.
#include <windows.h>

#include <shtypes.h>

#include <vector>

#include "common/handles.h"
#include "picker/id_list_logic.h"

namespace snapvik {

// The shell's allocator (SHGetMalloc), zero-filling, counting the lists it
// hands out and takes back, so that a leak shows.
class ShellAllocator final : public IdAllocator {
 public:
  void* Alloc(size_t size) override;
  void Free(void* block) noexcept override;
  // A list the shell made (parsing, enumeration, renaming) becomes ours to free.
  void Adopt() noexcept;
  long Live() const noexcept;
};
ShellAllocator& ShellIds();

namespace release {
template <typename List>
bool ShellIdList(List list) noexcept {
  ShellIds().Free(const_cast<void*>(static_cast<const void*>(list)));
  return true;
}
}  // namespace release

template <typename List>
using UniqueShellId = UniqueHandle<HandleTraits<List, &release::ShellIdList<List>>>;
using UniqueAbsoluteID = UniqueShellId<PIDLIST_ABSOLUTE>;  // from the desktop
using UniqueRelativeID = UniqueShellId<PIDLIST_RELATIVE>;  // from one folder

// Owners of what the plain helpers make.
UniqueAbsoluteID AbsoluteCopy(PCIDLIST_ABSOLUTE id);
UniqueRelativeID RelativeCopy(PCUIDLIST_RELATIVE id);
UniqueAbsoluteID Concat(PCIDLIST_ABSOLUTE parent, PCUIDLIST_RELATIVE child);
std::vector<UniqueAbsoluteID> Ancestors(PCIDLIST_ABSOLUTE id);

// A list the shell made, adopted.
template <typename List>
UniqueShellId<List> Adopt(List list) noexcept {
  if (list) ShellIds().Adopt();
  return UniqueShellId<List>(list);
}

}  // namespace snapvik
