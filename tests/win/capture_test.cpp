// Hot-key registration and numbered screenshot files on the real platform.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "capture/hot_key.h"
#include "capture/screen_capture.h"
#include "common/errors.h"
#include "common/handles.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::ErrorOf;
using testing::ListFolder;
using testing::ReadBytes;
using testing::TestFolder;
using testing::WriteBytes;

// A plain window to own registrations.
UniqueWindow PlainWindow() {
  return UniqueWindow(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
}

bool Free(UINT mods, UINT key) {
  const UniqueWindow probe = PlainWindow();
  if (!::RegisterHotKey(probe.get(), 1, mods, key)) return false;
  HotKeyRegistration(HotKeyAttempt{probe.get(), 1}).reset();
  return true;
}

TEST(HotKey, ArmingRegistersAndReArmingReleasesThePrevious) {
  const UniqueWindow owner = PlainWindow();
  HotKeyRegistration registration;
  HotKeyId = -1;
  ArmHotKey(registration, owner.get(), L"A", {true, true, false});
  EXPECT_EQ(HotKeyId, 0x41);
  EXPECT_FALSE(Free(MOD_ALT | MOD_CONTROL, 'A'));
  ArmHotKey(registration, owner.get(), L"B", {true, true, false});
  EXPECT_TRUE(Free(MOD_ALT | MOD_CONTROL, 'A'));
  EXPECT_FALSE(Free(MOD_ALT | MOD_CONTROL, 'B'));
  ReleaseHotKey(registration);
  EXPECT_TRUE(Free(MOD_ALT | MOD_CONTROL, 'B'));
  EXPECT_EQ(HotKeyId, 0x42);  // the release keeps the identifier
}

TEST(HotKey, TheOwnerReleasesWhatItHolds) {
  const UniqueWindow owner = PlainWindow();
  {
    HotKeyRegistration registration;
    ArmHotKey(registration, owner.get(), L"E", {false, true, true});
    EXPECT_FALSE(Free(MOD_CONTROL | MOD_SHIFT, 'E'));
  }
  EXPECT_TRUE(Free(MOD_CONTROL | MOD_SHIFT, 'E'));
}

TEST(HotKey, AnEmptyFieldIsReportedAfterTheRelease) {
  const UniqueWindow owner = PlainWindow();
  HotKeyRegistration registration;
  HotKeyId = -1;
  ArmHotKey(registration, owner.get(), L"C", {false, false, true});
  EXPECT_EQ(ErrorOf<EInvalidOperation>([&] { ArmHotKey(registration, owner.get(), L"", {}); }),
            L"The hot-key field is empty");
  EXPECT_TRUE(Free(MOD_SHIFT, 'C'));
  EXPECT_EQ(HotKeyId, 0x43);
}

TEST(HotKey, ARefusedRegistrationIsReported) {
  const UniqueWindow holder = PlainWindow(), owner = PlainWindow();
  ASSERT_TRUE(::RegisterHotKey(holder.get(), 7, MOD_CONTROL | MOD_SHIFT, 'D'));
  const HotKeyRegistration held(HotKeyAttempt{holder.get(), 7});
  HotKeyRegistration registration;
  HotKeyId = -1;
  const std::wstring message =
      ErrorOf<EOSError>([&] { ArmHotKey(registration, owner.get(), L"D", {false, true, true}); });
  EXPECT_EQ(message.rfind(L"Cannot register hot key. ", 0), 0u) << message;
  EXPECT_GT(message.size(), 26u);
  EXPECT_EQ(HotKeyId, 0x44);
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

TEST(Screenshots, AReadOnlyFileAndAFolderOfTheNameAreSkipped) {
  TestFolder folder;
  WriteBytes(folder / L"Screen0.jpg", "kept");
  ASSERT_TRUE(::SetFileAttributesW((folder / L"Screen0.jpg").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::CreateDirectoryW((folder / L"Screen1.jpg").c_str(), nullptr));
  TBitmap image;
  image.SetSize(3, 2);
  EXPECT_EQ(SaveScreenshot(image, folder.Path(), 0), 2);
  EXPECT_EQ(ReadBytes(folder / L"Screen0.jpg"), "kept");
  EXPECT_TRUE(::GetFileAttributesW((folder / L"Screen1.jpg").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(ReadBytes(folder / L"Screen2.jpg").substr(0, 2), "BM");
  EXPECT_EQ(ListFolder(folder.Path()).size(), 3u);
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

TEST(Screenshots, TheLargestNumberIsNeverTakenSoTheNextOneExists) {
  TestFolder folder;
  WriteBytes(folder / L"Screen2147483646.jpg", "last");
  TBitmap image;
  image.SetSize(3, 2);
  const std::wstring beyond = folder.Path() + L"Screen2147483647.jpg";
  for (const int32_t first : {INT32_MAX - 1, INT32_MAX}) {
    const std::wstring message = ErrorOf<EFCreateError>([&] { SaveScreenshot(image, folder.Path(), first); });
    EXPECT_EQ(message.rfind(L"Cannot create file \"" + beyond + L"\". ", 0), 0u) << message;
  }
  EXPECT_EQ(ReadBytes(folder / L"Screen2147483646.jpg"), "last");
  EXPECT_EQ(ListFolder(folder.Path()), std::vector<std::wstring>{L"Screen2147483646.jpg"});
  EXPECT_EQ(SaveScreenshot(image, folder.Path(), INT32_MAX - 2), INT32_MAX - 2);
}

// A screen of its own size that notes what the image was when its context was taken.
struct NotingScreen {
  const TBitmap* image;
  mutable SIZE imageWhenTaken{-1, -1};
  int Width() const { return 7; }
  int Height() const { return 5; }
  WindowDc TakeContext() const {
    imageWhenTaken = {image->Width(), image->Height()};
    return WindowDc(nullptr);
  }
};

TEST(Screenshots, TheImageIsSizedBeforeTheScreensContextIsTaken) {
  TBitmap image;
  const NotingScreen screen{&image};
  const WindowDc context = CopyScreen(image, screen);
  EXPECT_EQ(screen.imageWhenTaken.cx, 7);
  EXPECT_EQ(screen.imageWhenTaken.cy, 5);
  EXPECT_TRUE(context);
}

// A context the platform refuses to copy from, as it refuses the screen's
// while a secure desktop is shown: a metafile's.
class MetafileContext {
 public:
  MetafileContext() : dc_(::CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr)) {}
  MetafileContext(MetafileContext&& other) noexcept : dc_(std::exchange(other.dc_, nullptr)) {}
  ~MetafileContext() {
    if (dc_) ::DeleteEnhMetaFile(::CloseEnhMetaFile(dc_));
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

struct RefusingScreen {
  int Width() const { return 7; }
  int Height() const { return 5; }
  MetafileContext TakeContext() const { return MetafileContext(); }
};

// A screen of any size and claimed depth, its pixels random, held in a memory context.
class RandomScreen {
 public:
  RandomScreen(int width, int height, int depth, std::mt19937& random) : width_(width), height_(height), depth_(depth) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    pixels_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto* p = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) p[i] = random() & 0xFFFFFF;
    dc_.reset(::CreateCompatibleDC(nullptr));
    selected_.emplace(dc_.get(), pixels_.get());
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Depth() const { return depth_; }
  // The context stays the screen's: the caller only borrows it.
  struct Borrowed {
    HDC dc;
    HDC get() const { return dc; }
  };
  Borrowed TakeContext() const { return {dc_.get()}; }

 private:
  int width_, height_, depth_;
  UniqueBitmap pixels_;
  UniqueMemoryDc dc_;
  std::optional<SelectedObject> selected_;
};

struct BytesStream final : TStream {
  std::string bytes;
  void WriteBuffer(const void* buffer, size_t count) override { bytes.append(static_cast<const char*>(buffer), count); }
};

std::string FileBytes(TBitmap& image) {
  BytesStream out;
  image.SaveToStream(out);
  return out.bytes;
}

// The image kept from one capture to the next writes what a new image would,
// byte for byte, whatever came before it; one screen as before keeps it.
TEST(Screenshots, TheKeptImageWritesWhatANewImageWrites) {
  std::mt19937 random(20261210);
  TKeptImage kept;
  const TBitmap* last = nullptr;
  SIZE lastSize{0, 0};
  int lastDepth = 0, reused = 0;
  for (int round = 0; round < 40; ++round) {
    // Mostly the same screen again, now and then another size or depth.
    const bool change = round % 4 == 0;
    const int width = change ? 1 + static_cast<int>(random() % 97) : (lastSize.cx ? lastSize.cx : 13);
    const int height = change ? 1 + static_cast<int>(random() % 61) : (lastSize.cy ? lastSize.cy : 11);
    const int depth = change && random() % 2 ? 24 : 32;
    const RandomScreen screen(width, height, depth, random);
    TBitmap& image = kept.For(screen);
    if (last && width == lastSize.cx && height == lastSize.cy && depth == lastDepth) {
      EXPECT_EQ(&image, last) << "round " << round;
      ++reused;
    }
    CopyScreen(image, screen);
    TBitmap fresh;
    CopyScreen(fresh, screen);
    ASSERT_EQ(FileBytes(image), FileBytes(fresh)) << "round " << round << ", " << width << "x" << height;
    last = &image;
    lastSize = {width, height};
    lastDepth = depth;
  }
  EXPECT_GT(reused, 20);
}

TEST(Screenshots, ARefusedScreenCopyIsAnErrorNotAWhitePicture) {
  TBitmap image;
  const std::wstring message = ErrorOf<EOSError>([&] { CopyScreen(image, RefusingScreen{}); });
  EXPECT_EQ(message.rfind(L"Cannot copy the screen", 0), 0u) << message;
}

}  // namespace
}  // namespace snapvik
