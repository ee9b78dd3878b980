#pragma once
// Item identifier lists as raw bytes: items that each begin with a 16-bit
// little-endian byte count (the count included), ended by a count of 0. The
// empty list (just the terminator) is the desktop. Nothing here depends on
// the pointer size or on the platform; lists are made and freed through the
// allocator the caller passes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace snapvik {

class IdAllocator {
 public:
  virtual ~IdAllocator() = default;
  // A zero-filled block of `size` bytes; never null (a failure throws).
  virtual void* Alloc(size_t size) = 0;
  virtual void Free(void* block) noexcept = 0;
};

// 0 for no list; otherwise 2 plus the counts of all items.
size_t IDSize(const void* id);

void* CopyID(IdAllocator& allocator, const void* id);

// `a` without its terminator, then all of `b`; an absent `a` counts as empty.
void* ConcatIDs(IdAllocator& allocator, const void* a, const void* b);

// In place: the last item's count becomes 0. An empty or absent list is left alone.
void StripLastItem(void* id);

// Every proper prefix of `id`, the empty list first: a list of k items gives
// k new lists, of 0 to k - 1 items. The caller frees each.
std::vector<void*> AncestorIDs(IdAllocator& allocator, const void* id);

// Each item of a list, its count included, without the terminator; a count
// below 2 or past the list's end ends it there. None for an absent list.
std::vector<std::string_view> IDItems(const void* id);

// The bytes of a list of `items[from]` to `items[to - 1]`, terminator included.
std::string IDOfItems(const std::vector<std::string_view>& items, size_t from, size_t to);

}  // namespace snapvik
