#include "capture/hot_key_logic.h"

namespace snapvik {

namespace {

struct ModifierBit {
  bool ModifierBoxes::*box;
  uint32_t bit;
};

constexpr ModifierBit kModifierBits[] = {
    {&ModifierBoxes::alt, kModAlt},
    {&ModifierBoxes::ctrl, kModCtrl},
    {&ModifierBoxes::shift, kModShift},
};

}  // namespace

uint32_t ModifierMask(const ModifierBoxes& boxes) {
  uint32_t mask = 0;
  for (const ModifierBit& m : kModifierBits)
    if (boxes.*m.box) mask |= m.bit;
  return mask;
}

bool IsVirtualKey(int32_t code) { return code >= 0x01 && code <= 0xFE; }

std::optional<int32_t> KeyCodeOf(std::wstring_view keyField) {
  if (keyField.empty()) return std::nullopt;
  return static_cast<int32_t>(static_cast<char16_t>(keyField.front()));
}

}  // namespace snapvik
