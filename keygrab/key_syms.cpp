#include "keygrab/key_syms.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

namespace snapvik::keygrab {

namespace {

struct Pair {
  int32_t key;
  unsigned long sym;
};

constexpr Pair kSingle[] = {
    {0x08, XK_BackSpace}, {0x09, XK_Tab},      {0x0C, XK_Clear},     {0x0D, XK_Return},
    {0x13, XK_Pause},     {0x1B, XK_Escape},   {0x20, XK_space},     {0x21, XK_Prior},
    {0x22, XK_Next},      {0x23, XK_End},      {0x24, XK_Home},      {0x25, XK_Left},
    {0x26, XK_Up},        {0x27, XK_Right},    {0x28, XK_Down},      {0x29, XK_Select},
    {0x2B, XK_Execute},  {0x2C, XK_Print},     {0x2D, XK_Insert},
    {0x2E, XK_Delete},    {0x2F, XK_Help},     {0x5B, XK_Super_L},   {0x5C, XK_Super_R},
    {0x5D, XK_Menu},      {0x5F, XF86XK_Sleep}, {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},
    {0x6C, XK_KP_Separator}, {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},
};

// The letters A to Z, each at its place on a US keyboard.
constexpr const char* kLetterPlaces[26] = {
    "AC01", "AB05", "AB03", "AC03", "AD03", "AC04", "AC05", "AC06", "AD08", "AC07", "AC08", "AC09", "AB07",
    "AB06", "AD09", "AD10", "AD01", "AD04", "AC02", "AD05", "AD07", "AB04", "AD02", "AB02", "AD06", "AB01",
};
constexpr const char* kDigitPlaces[10] = {"AE10", "AE01", "AE02", "AE03", "AE04",
                                          "AE05", "AE06", "AE07", "AE08", "AE09"};

// Unassigned and reserved codes, first and last of each run.
constexpr int32_t kNoKeyRuns[][2] = {
    {0x07, 0x07}, {0x0A, 0x0B}, {0x0E, 0x0F}, {0x2A, 0x2A}, {0x3A, 0x40}, {0x5E, 0x5E},
    {0x88, 0x8F}, {0x97, 0x9F}, {0xB8, 0xB9}, {0xC1, 0xDA}, {0xE0, 0xE0}, {0xE8, 0xE8},
};

}  // namespace

bool OnNoKeyboard(int32_t virtualKey) {
  for (const auto& run : kNoKeyRuns)
    if (virtualKey >= run[0] && virtualKey <= run[1]) return true;
  return false;
}

const char* UsPlaceOf(int32_t virtualKey) {
  if (virtualKey >= 'A' && virtualKey <= 'Z') return kLetterPlaces[virtualKey - 'A'];
  if (virtualKey >= '0' && virtualKey <= '9') return kDigitPlaces[virtualKey - '0'];
  return "";
}

unsigned long KeySymOf(int32_t virtualKey) {
  if (virtualKey >= '0' && virtualKey <= '9') return XK_0 + static_cast<unsigned long>(virtualKey - '0');
  // The letter keys' symbols are the small letters.
  if (virtualKey >= 'A' && virtualKey <= 'Z') return XK_a + static_cast<unsigned long>(virtualKey - 'A');
  if (virtualKey >= 0x60 && virtualKey <= 0x69) return XK_KP_0 + static_cast<unsigned long>(virtualKey - 0x60);
  if (virtualKey >= 0x70 && virtualKey <= 0x87) return XK_F1 + static_cast<unsigned long>(virtualKey - 0x70);
  for (const Pair& p : kSingle)
    if (p.key == virtualKey) return p.sym;
  return 0;
}

}  // namespace snapvik::keygrab
