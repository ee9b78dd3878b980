#pragma once
// Which changes a folder watch reports, and the platform filter each gives.
namespace snapvik {

enum TacNotifyFilter {
  nfFileNameChange, nfDirNameChange, nfAttributeChange, nfSizeChange, nfWriteChange, nfSecurityChange
};
using TacNotifyFilters = unsigned;  // bit n for member n

inline constexpr TacNotifyFilters kDefaultNotifyFilters = (1u << nfFileNameChange) | (1u << nfDirNameChange);

// The platform's change filter (FILE_NOTIFY_CHANGE_*) of a set: the sum of its members' bits.
inline constexpr unsigned NotifyFilterValue(TacNotifyFilters filters) {
  constexpr unsigned kBits[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x100};
  unsigned value = 0;
  for (int member = nfFileNameChange; member <= nfSecurityChange; ++member)
    if (filters & (1u << member)) value += kBits[member];
  return value;
}

}  // namespace snapvik
