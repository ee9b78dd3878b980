#include "capture/screen_bands.h"

#include <algorithm>

namespace snapvik {

std::vector<ScreenBand> ScreenBands(int32_t width, int32_t height, int64_t bandBytes) {
  std::vector<ScreenBand> bands;
  if (width <= 0 || height <= 0) return bands;
  const int64_t rowBytes = static_cast<int64_t>(width) * 4;
  const int32_t rows = static_cast<int32_t>(std::clamp<int64_t>(bandBytes / rowBytes, 1, height));
  for (int32_t top = 0; top < height; top += rows) bands.push_back({top, std::min(rows, height - top)});
  return bands;
}

}  // namespace snapvik
