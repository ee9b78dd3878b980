#include "picker/id_list_logic.h"

#include <cstring>

namespace snapvik {

namespace {

uint16_t CountAt(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

// The bytes before the terminator: the items only.
size_t ItemBytes(const void* id) {
  const auto* at = static_cast<const uint8_t*>(id);
  size_t bytes = 0;
  for (uint16_t count = CountAt(at); count != 0; count = CountAt(at + bytes)) bytes += count;
  return bytes;
}

}  // namespace

size_t IDSize(const void* id) { return id ? ItemBytes(id) + 2 : 0; }

void* CopyID(IdAllocator& allocator, const void* id) {
  const size_t size = IDSize(id);
  void* copy = allocator.Alloc(size);
  if (size) std::memcpy(copy, id, size);
  return copy;
}

void* ConcatIDs(IdAllocator& allocator, const void* a, const void* b) {
  const size_t head = a ? ItemBytes(a) : 0;
  const size_t tail = IDSize(b);
  auto* joined = static_cast<uint8_t*>(allocator.Alloc(head + tail));
  if (head) std::memcpy(joined, a, head);
  if (tail) std::memcpy(joined + head, b, tail);
  return joined;
}

void StripLastItem(void* id) {
  if (!id) return;
  auto* at = static_cast<uint8_t*>(id);
  uint8_t* last = nullptr;
  for (uint16_t count = CountAt(at); count != 0; count = CountAt(at)) {
    last = at;
    at += count;
  }
  if (last) last[0] = last[1] = 0;
}

std::vector<void*> AncestorIDs(IdAllocator& allocator, const void* id) {
  std::vector<void*> prefixes;
  if (!id) return prefixes;
  const auto* start = static_cast<const uint8_t*>(id);
  size_t bytes = 0;
  try {
    for (uint16_t count = CountAt(start); count != 0; count = CountAt(start + bytes)) {
      prefixes.reserve(prefixes.size() + 1);
      auto* prefix = static_cast<uint8_t*>(allocator.Alloc(bytes + 2));  // zero-filled: ends in 0 0
      std::memcpy(prefix, start, bytes);
      prefixes.push_back(prefix);
      bytes += count;
    }
  } catch (...) {
    for (void* prefix : prefixes) allocator.Free(prefix);
    throw;
  }
  return prefixes;
}

std::vector<std::string_view> IDItems(const void* id) {
  std::vector<std::string_view> items;
  if (!id) return items;
  const auto* at = static_cast<const char*>(id);
  const char* end = at + ItemBytes(id);
  while (at + 2 <= end) {
    const size_t count = CountAt(reinterpret_cast<const uint8_t*>(at));
    if (count < 2 || count > static_cast<size_t>(end - at)) break;
    items.emplace_back(at, count);
    at += count;
  }
  return items;
}

std::string IDOfItems(const std::vector<std::string_view>& items, size_t from, size_t to) {
  std::string bytes;
  for (size_t i = from; i < to && i < items.size(); ++i) bytes.append(items[i]);
  bytes.append(2, '\0');
  return bytes;
}

}  // namespace snapvik
