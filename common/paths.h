#pragma once
#include <string>
#include <string_view>

namespace snapvik {

// Everything up to and including the last "\", "/" or ":"; empty for a bare name.
std::wstring FolderOf(std::wstring_view path);

}  // namespace snapvik
