#pragma once
// The directory field and the numbered file names of screenshots.
#include <cstdint>
#include <string>
#include <string_view>

namespace snapvik {

// The field's text with one backslash after it, unless it already ends in one.
std::wstring WithTrailingBackslash(std::wstring_view directory);

// directory + "Screen" + number + ".jpg"
std::wstring ScreenshotName(std::wstring_view directory, int32_t number);

}  // namespace snapvik
