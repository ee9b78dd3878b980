#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace snapvik {

// Arguments are runs of characters above U+0020; a double-quoted stretch
// may hold blanks and its quotes are dropped. The first is the program path.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

// True when an argument after the program path is "/acver", ASCII case ignored.
bool HasVersionSwitch(std::wstring_view commandLine);

}  // namespace snapvik
