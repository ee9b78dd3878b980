#pragma once
// What the key field and the modifier boxes give the platform.
#include <cstdint>
#include <optional>
#include <string_view>

namespace snapvik {

inline constexpr uint32_t kModAlt = 0x0001;
inline constexpr uint32_t kModCtrl = 0x0002;
inline constexpr uint32_t kModShift = 0x0004;

struct ModifierBoxes {
  bool alt = false;
  bool ctrl = false;
  bool shift = false;
};

uint32_t ModifierMask(const ModifierBoxes& boxes);

// The first UTF-16 code unit, zero-extended, used as it stands as a
// virtual-key code; nothing for an empty field.
std::optional<int32_t> KeyCodeOf(std::wstring_view keyField);

// Whether a keyboard can produce the code at all (virtual keys are 1 to 254):
// "Ф" from a Russian layout, or any code above, never fires.
bool IsVirtualKey(int32_t code);

}  // namespace snapvik
