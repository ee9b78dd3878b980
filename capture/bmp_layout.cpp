#include "capture/bmp_layout.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace snapvik::bmp {

namespace {

template <size_t N>
void Put(std::array<uint8_t, N>& out, size_t at, uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out[at + k] = static_cast<uint8_t>(value >> (8 * k));
}

}  // namespace

uint32_t BytesPerRow(int32_t width, uint32_t bitCount) {
  const uint64_t bits = static_cast<uint64_t>(width < 0 ? -static_cast<int64_t>(width) : width) * bitCount;
  return static_cast<uint32_t>(((bits + 31) & ~uint64_t{31}) / 8);
}

Sizes ComputeSizes(const InfoHeader& h) {
  Sizes s{};
  const uint32_t rows = static_cast<uint32_t>(std::abs(static_cast<int64_t>(h.height)));
  s.image = h.sizeImage != 0 ? h.sizeImage : BytesPerRow(h.width, h.bitCount) * rows;
  if (h.bitCount <= 8)
    s.info = kInfoHeaderSize + 4 * (h.clrUsed != 0 ? h.clrUsed : (1u << h.bitCount));
  else
    s.info = h.compression == kBitFields ? kInfoHeaderSize + 12 : kInfoHeaderSize;
  s.file = s.image + s.info + kFileHeaderSize;
  s.pixelOffset = s.info + kFileHeaderSize;
  return s;
}

std::array<uint8_t, kFileHeaderSize> FileHeaderBytes(uint32_t fileSize, uint32_t pixelOffset) {
  std::array<uint8_t, kFileHeaderSize> out{};
  Put(out, 0, 0x4D42, 2);  // "BM"
  Put(out, 2, fileSize, 4);
  Put(out, 10, pixelOffset, 4);
  return out;
}

std::array<uint8_t, kInfoHeaderSize> InfoHeaderBytes(const InfoHeader& h) {
  std::array<uint8_t, kInfoHeaderSize> out{};
  Put(out, 0, h.size, 4);
  Put(out, 4, static_cast<uint32_t>(h.width), 4);
  Put(out, 8, static_cast<uint32_t>(h.height), 4);
  Put(out, 12, h.planes, 2);
  Put(out, 14, h.bitCount, 2);
  Put(out, 16, h.compression, 4);
  Put(out, 20, h.sizeImage, 4);
  Put(out, 24, static_cast<uint32_t>(h.xPelsPerMeter), 4);
  Put(out, 28, static_cast<uint32_t>(h.yPelsPerMeter), 4);
  Put(out, 32, h.clrUsed, 4);
  Put(out, 36, h.clrImportant, 4);
  return out;
}

static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");

void CopyWithoutFourthByte(void* to, const void* from, size_t count) {
  auto* out = static_cast<uint8_t*>(to);
  const auto* in = static_cast<const uint8_t*>(from);
  // Whole pixels as 32-bit words, which the compiler turns into wide moves.
  const size_t pixels = count / 4;
  for (size_t i = 0; i < pixels; ++i) {
    uint32_t pixel;
    std::memcpy(&pixel, in + 4 * i, 4);
    pixel &= 0x00FFFFFFu;  // the fourth byte is the high one
    std::memcpy(out + 4 * i, &pixel, 4);
  }
  std::memcpy(out + 4 * pixels, in + 4 * pixels, count % 4);
}

void WriteFile(TStream& stream, const InfoHeader& header, const void* colourTable, uint32_t colourCount,
               const uint32_t* masks, const void* pixels) {
  const Sizes sizes = ComputeSizes(header);
  const auto fileHeader = FileHeaderBytes(sizes.file, sizes.pixelOffset);
  const auto infoHeader = InfoHeaderBytes(header);
  stream.WriteBuffer(fileHeader.data(), fileHeader.size());
  stream.WriteBuffer(infoHeader.data(), infoHeader.size());
  if (header.bitCount > 8 && header.compression == kBitFields) {
    std::array<uint8_t, 12> maskBytes{};
    for (int m = 0; m < 3; ++m) Put(maskBytes, 4 * m, masks[m], 4);
    stream.WriteBuffer(maskBytes.data(), maskBytes.size());  // the offset counts them
  } else {
    stream.WriteBuffer(colourTable, 4 * static_cast<size_t>(colourCount));
  }
  if (header.bitCount == 32 && header.compression == 0)
    stream.WriteCopied(pixels, sizes.image, CopyWithoutFourthByte);
  else
    stream.WriteBuffer(pixels, sizes.image);
}

}  // namespace snapvik::bmp
