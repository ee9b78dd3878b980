#include "capture/bmp_layout.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/errors.h"

namespace snapvik::bmp {
namespace {

struct RecordingStream final : TStream {
  std::string bytes;
  std::vector<size_t> writes;
  void WriteBuffer(const void* buffer, size_t count) override {
    bytes.append(static_cast<const char*>(buffer), count);
    writes.push_back(count);
  }
};

uint32_t U32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<uint8_t>(b[at + k]);
  return v;
}

InfoHeader Header(int32_t w, int32_t h, uint16_t bits, uint32_t clrUsed = 0) {
  InfoHeader header;
  header.width = w;
  header.height = h;
  header.bitCount = bits;
  header.sizeImage = BytesPerRow(w, bits) * static_cast<uint32_t>(h);
  header.clrUsed = clrUsed;
  return header;
}

TEST(BmpLayout, OnePixelAt32BitsIsThe58ByteFile) {
  RecordingStream out;
  const uint8_t pixel[4] = {0x11, 0x22, 0x33, 0x44};
  WriteFile(out, Header(1, 1, 32), nullptr, 0, nullptr, pixel);
  const std::string expected =
      std::string("\x42\x4D\x3A\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00", 14) +
      std::string("\x28\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x20\x00\x00\x00\x00\x00\x04\x00\x00\x00",
                  24) +
      std::string(16, '\0') + std::string("\x11\x22\x33\x00", 4);  // the fourth byte reserved, zero
  EXPECT_EQ(out.bytes, expected);
  EXPECT_EQ(out.writes, (std::vector<size_t>{14, 40, 0, 4}));
}

// Random images at 32 and 24 bits: the 32-bit file holds each pixel's colour
// bytes as given and a zero fourth byte, whatever the screen left there; every
// other byte, and every byte of a 24-bit file, is what was given. The pixels
// given are not changed.
TEST(BmpLayout, OnlyTheFourthByteOfEach32BitPixelIsWrittenZero) {
  std::mt19937 random(33);
  for (int round = 0; round < 60; ++round) {
    const uint16_t bits = round % 3 == 0 ? 24 : 32;
    const int32_t w = 1 + static_cast<int32_t>(random() % (round < 50 ? 90 : 700));
    const int32_t h = 1 + static_cast<int32_t>(random() % (round < 50 ? 40 : 300));
    SCOPED_TRACE(::testing::Message() << w << "x" << h << "x" << bits);
    const InfoHeader header = Header(w, h, bits);
    std::vector<uint8_t> pixels(header.sizeImage);
    for (uint8_t& byte : pixels) byte = static_cast<uint8_t>(random() % 3 == 0 ? 255 : random());
    const std::vector<uint8_t> given = pixels;
    RecordingStream out;
    WriteFile(out, header, nullptr, 0, nullptr, pixels.data());
    EXPECT_TRUE(pixels == given);
    ASSERT_EQ(out.bytes.size(), 54 + given.size());
    std::string expected(given.begin(), given.end());
    if (bits == 32)
      for (size_t i = 3; i < expected.size(); i += 4) expected[i] = '\0';
    EXPECT_TRUE(out.bytes.substr(54) == expected);
  }
}

TEST(BmpLayout, ScreenSizesAtEveryDepth) {
  struct Case {
    int32_t w, h;
    uint16_t bits;
    uint32_t row, offset;
  };
  for (const Case& c : {Case{1920, 1080, 32, 7680, 54}, Case{1366, 768, 24, 4100, 54}, Case{1365, 768, 16, 2732, 54},
                        Case{1024, 768, 8, 1024, 1078}, Case{1023, 768, 4, 512, 118}, Case{33, 2, 1, 8, 62}}) {
    SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << "x" << c.bits);
    EXPECT_EQ(BytesPerRow(c.w, c.bits), c.row);
    const uint32_t entries = c.bits <= 8 ? 1u << c.bits : 0;
    const Sizes s = ComputeSizes(Header(c.w, c.h, c.bits, entries));
    EXPECT_EQ(s.image, c.row * static_cast<uint32_t>(c.h));
    EXPECT_EQ(s.pixelOffset, c.offset);
    EXPECT_EQ(s.file, c.offset + c.row * static_cast<uint32_t>(c.h));
  }
}

TEST(BmpLayout, EightBitFileCarriesItsTableAndColoursUsed) {
  RecordingStream out;
  std::vector<uint8_t> table(1024);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> pixels(1024 * 768, 5);
  WriteFile(out, Header(1024, 768, 8, 256), table.data(), 256, nullptr, pixels.data());
  EXPECT_EQ(out.bytes.size(), 1078u + 1024 * 768);
  EXPECT_EQ(U32(out.bytes, 2), 1078u + 1024 * 768);
  EXPECT_EQ(U32(out.bytes, 10), 1078u);
  EXPECT_EQ(U32(out.bytes, 46), 256u);
  EXPECT_EQ(out.bytes.substr(54, 1024), std::string(table.begin(), table.end()));
  EXPECT_EQ(out.writes, (std::vector<size_t>{14, 40, 1024, 1024 * 768}));
}

TEST(BmpLayout, SizesFallBackToRowsWhenTheImageSizeIsZero) {
  InfoHeader h = Header(1365, 768, 16);
  h.sizeImage = 0;
  EXPECT_EQ(ComputeSizes(h).image, 2732u * 768);
  h.height = -768;  // top-down rows take the same room
  EXPECT_EQ(ComputeSizes(h).image, 2732u * 768);
  h.compression = kBitFields;
  EXPECT_EQ(ComputeSizes(h).pixelOffset, 14u + 52);
  EXPECT_EQ(ComputeSizes(Header(10, 10, 8, 16)).pixelOffset, 14u + 40 + 64);
}

TEST(BmpLayout, HeaderFieldsLandAtTheirOffsets) {
  InfoHeader h = Header(-3, -7, 24);
  h.xPelsPerMeter = 2835;
  h.yPelsPerMeter = -1;
  h.clrImportant = 9;
  const auto bytes = InfoHeaderBytes(h);
  const std::string b(bytes.begin(), bytes.end());
  EXPECT_EQ(U32(b, 4), 0xFFFFFFFDu);
  EXPECT_EQ(U32(b, 8), 0xFFFFFFF9u);
  EXPECT_EQ(U32(b, 24), 2835u);
  EXPECT_EQ(U32(b, 28), 0xFFFFFFFFu);
  EXPECT_EQ(U32(b, 36), 9u);
}

TEST(BmpLayout, BitFieldFilesCarryTheMasksTheirOffsetCounts) {
  RecordingStream out;
  InfoHeader h = Header(2, 1, 16);
  h.compression = kBitFields;
  const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
  const uint8_t pixels[4] = {1, 2, 3, 4};
  WriteFile(out, h, nullptr, 0, masks, pixels);
  EXPECT_EQ(U32(out.bytes, 10), 66u);
  EXPECT_EQ(out.bytes.size(), 66u + 4);
  EXPECT_EQ(U32(out.bytes, 54), 0xF800u);
  EXPECT_EQ(U32(out.bytes, 62), 0x001Fu);
  EXPECT_EQ(out.bytes.substr(66), std::string("\x01\x02\x03\x04", 4));
}

struct FailingStream final : TStream {
  int allowed;
  explicit FailingStream(int n) : allowed(n) {}
  void WriteBuffer(const void*, size_t) override {
    if (allowed-- == 0) throw EWriteError(kWriteErrorText);
  }
};

TEST(BmpLayout, AFailedWriteStopsTheFile) {
  FailingStream out(1);
  const uint8_t pixel[4] = {};
  EXPECT_THROW(WriteFile(out, Header(1, 1, 32), nullptr, 0, nullptr, pixel), EWriteError);
  EXPECT_EQ(out.allowed, -1);  // nothing asked after the failure
}

}  // namespace
}  // namespace snapvik::bmp
