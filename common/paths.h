#pragma once
#include <string>
#include <string_view>

namespace snapvik {

// Everything up to and including the last "\", "/" or ":"; empty for a bare name.
std::wstring FolderOf(std::wstring_view path);

// A folder text that ends in one "\": a final "/" becomes "\", a bare drive
// letter "C" becomes "C:\", an empty text stays empty.
std::wstring AddPathSeparator(std::wstring_view path);

}  // namespace snapvik
