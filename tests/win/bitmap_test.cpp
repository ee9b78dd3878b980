// The capture image against the real platform: sizing, drawing, the bytes it writes.
#include "capture/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/errors.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::ReadBytes;
using testing::TestFolder;
using testing::WriteBytes;

struct MemoryStream final : TStream {
  std::string bytes;
  int writes = 0;
  void WriteBuffer(const void* buffer, size_t count) override {
    bytes.append(static_cast<const char*>(buffer), count);
    ++writes;
  }
};

uint32_t U32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t U16(const std::string& b, size_t at) {
  uint16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

// Blue, green, red of the pixel at (x, y), y counted from the top, in a 24- or 32-bit file.
struct Pixel {
  int b, g, r;
  bool operator==(const Pixel&) const = default;
};
Pixel PixelAt(const std::string& file, int x, int y) {
  const int width = static_cast<int>(U32(file, 18));
  const int height = static_cast<int>(U32(file, 22));
  const int bytes = U16(file, 28) / 8;
  const size_t row = ((static_cast<size_t>(width) * bytes * 8 + 31) / 32) * 4;
  const size_t at = U32(file, 10) + row * (height - 1 - y) + static_cast<size_t>(x) * bytes;
  return {static_cast<uint8_t>(file[at]), static_cast<uint8_t>(file[at + 1]), static_cast<uint8_t>(file[at + 2])};
}

int DisplayDepth() {
  const WindowDc screen(nullptr);
  return ::GetDeviceCaps(screen.get(), BITSPIXEL) * ::GetDeviceCaps(screen.get(), PLANES);
}

TEST(TBitmap, OnlyTheSecondSizeSettingAllocates) {
  TBitmap image;
  image.SetHeight(30);
  EXPECT_EQ(image.Image().FHandle.get(), nullptr);
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 30);
  EXPECT_EQ(image.Image().FDIB.dsBmih.biSize, 0u);
  image.SetWidth(40);
  ASSERT_NE(image.Image().FHandle.get(), nullptr);
  BITMAP storage{};
  ASSERT_EQ(::GetObjectW(image.Image().FHandle.get(), sizeof storage, &storage), static_cast<int>(sizeof storage));
  EXPECT_EQ(storage.bmWidth, 40);
  EXPECT_EQ(storage.bmHeight, 30);
  EXPECT_EQ(storage.bmBitsPixel * storage.bmPlanes, DisplayDepth());
  EXPECT_EQ(image.Image().FDIB.dsBmih.biSize, 0u);  // no device-independent copy yet
}

TEST(TBitmap, ANeverDrawnImageSavesWhiteAtTheDisplayDepth) {
  TBitmap image;
  image.SetHeight(5);
  image.SetWidth(7);
  MemoryStream out;
  image.SaveToStream(out);
  const int depth = DisplayDepth();
  ASSERT_GE(depth, 24) << "this check reads 24- and 32-bit files";
  const uint32_t row = ((7 * depth + 31) / 32) * 4;
  EXPECT_EQ(out.bytes.substr(0, 2), "BM");
  EXPECT_EQ(U32(out.bytes, 2), 54 + row * 5);
  EXPECT_EQ(U32(out.bytes, 10), 54u);
  EXPECT_EQ(U32(out.bytes, 14), 40u);
  EXPECT_EQ(U16(out.bytes, 26), 1);
  EXPECT_EQ(U16(out.bytes, 28), depth);
  EXPECT_EQ(U32(out.bytes, 30), 0u);
  EXPECT_EQ(U32(out.bytes, 34), row * 5);
  EXPECT_EQ(U32(out.bytes, 46), 0u);
  EXPECT_EQ(out.writes, 4);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(PixelAt(out.bytes, x, y), (Pixel{255, 255, 255})) << x << "," << y;
}

TEST(TBitmap, DrawnPixelsComeBackInPlaceBottomRowFirst) {
  TBitmap image;
  image.SetHeight(6);
  image.SetWidth(9);
  const HDC dc = image.Canvas().Handle();
  ::SetPixel(dc, 0, 0, RGB(255, 0, 0));
  ::SetPixel(dc, 8, 5, RGB(0, 0, 255));
  ::SetPixel(dc, 3, 2, RGB(10, 200, 30));
  MemoryStream out;
  image.SaveToStream(out);
  EXPECT_EQ(PixelAt(out.bytes, 0, 0), (Pixel{0, 0, 255}));
  EXPECT_EQ(PixelAt(out.bytes, 8, 5), (Pixel{255, 0, 0}));
  EXPECT_EQ(PixelAt(out.bytes, 3, 2), (Pixel{30, 200, 10}));
  EXPECT_EQ(PixelAt(out.bytes, 4, 2), (Pixel{255, 255, 255}));
  // The first row in the file is the image's bottom row.
  const size_t first = U32(out.bytes, 10);
  EXPECT_EQ(static_cast<uint8_t>(out.bytes[first + 8 * (U16(out.bytes, 28) / 8)]), 255);  // blue of (8, 5)
}

TEST(TBitmap, SavingAgainReusesTheCopyAndDrawingReplacesIt) {
  TBitmap image;
  image.SetSize(4, 4);
  ::SetPixel(image.Canvas().Handle(), 1, 1, RGB(1, 2, 3));
  MemoryStream first, second, third;
  image.SaveToStream(first);
  const HBITMAP copy = image.Image().FDIBHandle.get();
  ASSERT_NE(copy, nullptr);
  image.SaveToStream(second);
  EXPECT_EQ(image.Image().FDIBHandle.get(), copy);
  EXPECT_EQ(first.bytes, second.bytes);
  ::SetPixel(image.Canvas().Handle(), 2, 2, RGB(9, 9, 9));
  EXPECT_EQ(image.Image().FDIBHandle.get(), nullptr);
  image.SaveToStream(third);
  EXPECT_EQ(PixelAt(third.bytes, 2, 2), (Pixel{9, 9, 9}));
  EXPECT_EQ(PixelAt(third.bytes, 1, 1), (Pixel{3, 2, 1}));
}

TEST(TBitmap, ResizingKeepsTheTopLeftPart) {
  TBitmap image;
  image.SetSize(3, 3);
  ::SetPixel(image.Canvas().Handle(), 2, 2, RGB(0, 0, 0));
  image.SetSize(5, 4);
  MemoryStream out;
  image.SaveToStream(out);
  EXPECT_EQ(PixelAt(out.bytes, 2, 2), (Pixel{0, 0, 0}));
  EXPECT_EQ(PixelAt(out.bytes, 4, 3), (Pixel{255, 255, 255}));
}

TEST(TBitmap, AnImageWithoutWidthSavesAnEmptyFileOverALongerOne) {
  TestFolder folder;
  const std::wstring name = folder / L"Screen0.jpg";
  WriteBytes(name, std::string(100000, 'x'));
  TBitmap empty;
  empty.SetHeight(10);
  empty.SaveToFile(name);
  EXPECT_EQ(ReadBytes(name), "");

  TBitmap small;
  small.SetSize(2, 2);
  WriteBytes(name, std::string(100000, 'x'));
  small.SaveToFile(name);
  const std::string bytes = ReadBytes(name);
  EXPECT_EQ(bytes.size(), U32(bytes, 2));
  EXPECT_EQ(bytes.substr(0, 2), "BM");
}

TEST(TBitmap, AFileThatCannotBeCreatedNamesItsFullPath) {
  TestFolder folder;
  wchar_t current[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, current);
  ::SetCurrentDirectoryW(folder.Path().c_str());
  TBitmap image;
  image.SetSize(2, 2);
  std::wstring message;
  try {
    image.SaveToFile(L"missing\\Screen3.jpg");
  } catch (const EFCreateError& e) {
    message = e.Message();
  }
  ::SetCurrentDirectoryW(current);
  EXPECT_EQ(message.rfind(L"Cannot create file \"" + folder.Path() + L"missing\\Screen3.jpg\". ", 0), 0u) << message;
  EXPECT_TRUE(testing::ListFolder(folder.Path()).empty());
}

// How many more GDI objects the process may make: the platform's count is
// not reported under Wine, so fill the handle table and give it back.
int GdiObjectsAvailable() {
  std::vector<UniqueBrush> brushes;
  while (brushes.size() < 300000) {
    UniqueBrush brush(::CreateSolidBrush(RGB(1, 2, 3)));
    if (!brush) break;
    brushes.push_back(std::move(brush));
  }
  return static_cast<int>(brushes.size());
}

TEST(TBitmap, ManyCyclesLeaveNoGdiObjectOrContextBehind) {
  int before = 0;
  for (int i = -1; i < 20000; ++i) {
    if (i == 0) before = GdiObjectsAvailable();  // after one cycle has made what the platform caches
    TBitmap image;
    image.SetHeight(8);
    image.SetWidth(8);
    ::SetPixel(image.Canvas().Handle(), i % 8, 0, RGB(0, 0, 0));
    MemoryStream out;
    image.SaveToStream(out);
    ASSERT_EQ(out.bytes.size(), U32(out.bytes, 2)) << "cycle " << i;
  }
  EXPECT_EQ(GdiObjectsAvailable(), before);
  EXPECT_EQ(OpenSurfaceCount(), 0u);
}

}  // namespace
}  // namespace snapvik
