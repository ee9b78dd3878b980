// Hot-key registration and numbered screenshot files on the real platform.
#include <gtest/gtest.h>

#include "capture/hot_key.h"
#include "capture/screen_capture.h"
#include "common/errors.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::ErrorOf;
using testing::ListFolder;
using testing::ReadBytes;
using testing::TestFolder;
using testing::WriteBytes;

// A plain window to own registrations.
class Window {
 public:
  Window() : hwnd_(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr)) {}
  ~Window() { ::DestroyWindow(hwnd_); }
  HWND get() const { return hwnd_; }

 private:
  HWND hwnd_;
};

bool Free(UINT mods, UINT key) {
  Window probe;
  if (!::RegisterHotKey(probe.get(), 1, mods, key)) return false;
  ::UnregisterHotKey(probe.get(), 1);
  return true;
}

TEST(HotKey, ArmingRegistersAndReArmingReleasesThePrevious) {
  Window owner;
  HotKeyId = -1;
  ArmHotKey(owner.get(), L"A", {true, true, false});
  EXPECT_EQ(HotKeyId, 0x41);
  EXPECT_FALSE(Free(MOD_ALT | MOD_CONTROL, 'A'));
  ArmHotKey(owner.get(), L"B", {true, true, false});
  EXPECT_TRUE(Free(MOD_ALT | MOD_CONTROL, 'A'));
  EXPECT_FALSE(Free(MOD_ALT | MOD_CONTROL, 'B'));
  ReleaseHotKey(owner.get());
  EXPECT_TRUE(Free(MOD_ALT | MOD_CONTROL, 'B'));
  EXPECT_EQ(HotKeyId, 0x42);  // the release keeps the identifier
}

TEST(HotKey, AnEmptyFieldIsReportedAfterTheRelease) {
  Window owner;
  HotKeyId = -1;
  ArmHotKey(owner.get(), L"C", {false, false, true});
  EXPECT_EQ(ErrorOf<EInvalidOperation>([&] { ArmHotKey(owner.get(), L"", {}); }), L"The hot-key field is empty");
  EXPECT_TRUE(Free(MOD_SHIFT, 'C'));
  EXPECT_EQ(HotKeyId, 0x43);
}

TEST(HotKey, ARefusedRegistrationIsReported) {
  Window holder, owner;
  ASSERT_TRUE(::RegisterHotKey(holder.get(), 7, MOD_CONTROL | MOD_SHIFT, 'D'));
  HotKeyId = -1;
  const std::wstring message = ErrorOf<EOSError>([&] { ArmHotKey(owner.get(), L"D", {false, true, true}); });
  EXPECT_EQ(message.rfind(L"Cannot register hot key. ", 0), 0u) << message;
  EXPECT_GT(message.size(), 26u);
  EXPECT_EQ(HotKeyId, 0x44);
  ::UnregisterHotKey(holder.get(), 7);
}

TEST(Screenshots, TakeTheFirstFreeNumberAndNeverReplaceAFile) {
  TestFolder folder;
  WriteBytes(folder / L"Screen1.jpg", "one");
  WriteBytes(folder / L"Screen2.jpg", "two");
  TBitmap image;
  image.SetSize(3, 2);
  EXPECT_EQ(SaveScreenshot(image, folder.Path(), 0), 0);
  EXPECT_EQ(SaveScreenshot(image, folder.Path(), 1), 3);
  EXPECT_EQ(ReadBytes(folder / L"Screen1.jpg"), "one");
  EXPECT_EQ(ReadBytes(folder / L"Screen2.jpg"), "two");
  const std::string written = ReadBytes(folder / L"Screen3.jpg");
  EXPECT_EQ(written, ReadBytes(folder / L"Screen0.jpg"));
  EXPECT_EQ(written.substr(0, 2), "BM");
  EXPECT_EQ(ListFolder(folder.Path()).size(), 4u);
}

TEST(Screenshots, AMissingFolderNamesTheFileAndLeavesNothing) {
  TestFolder folder;
  TBitmap image;
  image.SetSize(3, 2);
  const std::wstring message =
      ErrorOf<EFCreateError>([&] { SaveScreenshot(image, folder.Path() + L"gone\\", 5); });
  EXPECT_EQ(message.rfind(L"Cannot create file \"" + folder.Path() + L"gone\\Screen5.jpg\". ", 0), 0u) << message;
  EXPECT_TRUE(ListFolder(folder.Path()).empty());
}

TEST(Screenshots, TheScreenCopyHasThePrimaryScreensSize) {
  TBitmap image;
  HDC screen = ::GetDC(nullptr);
  CopyPrimaryScreen(image, screen);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(image.Width(), ::GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(image.Height(), ::GetSystemMetrics(SM_CYSCREEN));
}

}  // namespace
}  // namespace snapvik
