#pragma once
// The screen is copied in bands of rows: each band's transfer from the
// display is a small temporary, so a capture holds one full-screen store.
#include <cstdint>
#include <vector>

namespace snapvik {

struct ScreenBand {
  int32_t top;
  int32_t rows;
  bool operator==(const ScreenBand&) const = default;
};

// About this many bytes of 32-bit pixels per band.
inline constexpr int64_t kScreenBandBytes = 512 * 1024;

// Bands from the top down that cover rows 0 to height - 1 once each; none for no rows or no width.
std::vector<ScreenBand> ScreenBands(int32_t width, int32_t height, int64_t bandBytes = kScreenBandBytes);

}  // namespace snapvik
