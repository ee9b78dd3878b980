#pragma once
#include <string>
#include <string_view>

namespace snapvik {

// The executable's name without folder, cut before its first ".", every
// character after the first lowered by the given case mapping.
std::wstring ApplicationTitleFromPath(std::wstring_view modulePath, void (*lowerInPlace)(std::wstring&));

}  // namespace snapvik
