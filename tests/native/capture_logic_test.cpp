#include <gtest/gtest.h>

#include "capture/hot_key_logic.h"
#include "capture/screenshot_names.h"

namespace snapvik {
namespace {

TEST(HotKeyLogic, EachBoxGivesItsBitAndNothingElse) {
  uint32_t expected[8] = {0, 1, 2, 3, 4, 5, 6, 7};  // Alt, Ctrl, Shift as bits 0, 1, 2
  for (int i = 0; i < 8; ++i) {
    const ModifierBoxes boxes{(i & 1) != 0, (i & 2) != 0, (i & 4) != 0};
    EXPECT_EQ(ModifierMask(boxes), expected[i]) << i;
  }
}

TEST(HotKeyLogic, TheKeyIsTheFirstCodeUnitAsItStands) {
  EXPECT_EQ(KeyCodeOf(L"A"), 0x41);
  EXPECT_EQ(KeyCodeOf(L"s"), 0x73);  // F4, not S
  EXPECT_EQ(KeyCodeOf(L"`"), 0x60);
  EXPECT_EQ(KeyCodeOf(L"\x0416"), 0x0416);
  EXPECT_EQ(KeyCodeOf(L"\xFFFF"), 0xFFFF);  // zero-extended, never negative
  EXPECT_EQ(KeyCodeOf(std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}), 0xD83D);
  EXPECT_EQ(KeyCodeOf(L""), std::nullopt);
}

TEST(HotKeyLogic, OnlyCodesOfVirtualKeysNameAKey) {
  EXPECT_TRUE(IsVirtualKey(L'A'));
  EXPECT_TRUE(IsVirtualKey(0x01));
  EXPECT_TRUE(IsVirtualKey(0xFE));
  EXPECT_FALSE(IsVirtualKey(0xFF));
  EXPECT_FALSE(IsVirtualKey(0x0424));  // the Cyrillic capital ef, what a Russian layout types on A
  EXPECT_FALSE(IsVirtualKey(0xFFFF));
  EXPECT_FALSE(IsVirtualKey(0));
}

TEST(ScreenshotNames, DirectoryGetsOneBackslashAndNamesCountInDecimal) {
  EXPECT_EQ(WithTrailingBackslash(L"C:\\Shots"), L"C:\\Shots\\");
  EXPECT_EQ(WithTrailingBackslash(L"C:\\Shots\\"), L"C:\\Shots\\");
  EXPECT_EQ(WithTrailingBackslash(L"C:/Shots/"), L"C:/Shots/\\");
  EXPECT_EQ(ScreenshotName(L"C:\\Shots\\", 12), L"C:\\Shots\\Screen12.jpg");
  EXPECT_EQ(ScreenshotName(L"rel\\", 0), L"rel\\Screen0.jpg");
  EXPECT_EQ(ScreenshotName(L"x\\", -3), L"x\\Screen-3.jpg");
}

}  // namespace
}  // namespace snapvik
