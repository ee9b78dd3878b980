#include "capture/screenshot_names.h"

namespace snapvik {

std::wstring WithTrailingBackslash(std::wstring_view directory) {
  std::wstring out(directory);
  if (out.empty() || out.back() != L'\\') out.push_back(L'\\');
  return out;
}

std::wstring ScreenshotName(std::wstring_view directory, int32_t number) {
  std::wstring name(directory);
  name.append(L"Screen").append(std::to_wstring(number)).append(L".jpg");
  return name;
}

}  // namespace snapvik
