#pragma once
// The bitmap file layout over a plain pixel buffer: sizes, headers, and the
// four writes of a file. All numbers little-endian, as the format has them.
#include <array>
#include <cstddef>
#include <cstdint>

#include "common/stream.h"

namespace snapvik::bmp {

inline constexpr uint32_t kFileHeaderSize = 14;
inline constexpr uint32_t kInfoHeaderSize = 40;
inline constexpr uint32_t kBitFields = 3;

// The 40-byte information header, field for field.
struct InfoHeader {
  uint32_t size = kInfoHeaderSize;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};

struct Sizes {
  uint32_t image;        // S: the pixel rows
  uint32_t info;         // I: header, colour table (or masks)
  uint32_t file;         // F = S + I + 14
  uint32_t pixelOffset;  // O = I + 14
};

// Rows are padded to a multiple of 4 bytes.
uint32_t BytesPerRow(int32_t width, uint32_t bitCount);

Sizes ComputeSizes(const InfoHeader& header);

std::array<uint8_t, kFileHeaderSize> FileHeaderBytes(uint32_t fileSize, uint32_t pixelOffset);
std::array<uint8_t, kInfoHeaderSize> InfoHeaderBytes(const InfoHeader& header);

// 32-bit pixels as the file holds them: blue, green, red as given, and the
// fourth byte, which the format reserves, zero. Viewers read a fourth byte
// that is not zero throughout as transparency; the screen leaves it as it
// likes. `count` is a multiple of 4 from the first pixel on.
void CopyWithoutFourthByte(void* to, const void* from, size_t count);

// The file in four writes: file header, information header, `colourCount`
// colour entries of 4 bytes (blue, green, red, 0), or for a bit-field header
// above 8 bits its three masks, then the image size's bytes of pixels (at 32
// bits without masks, through CopyWithoutFourthByte on their way).
void WriteFile(TStream& stream, const InfoHeader& header, const void* colourTable, uint32_t colourCount,
               const uint32_t* masks, const void* pixels);

}  // namespace snapvik::bmp
