#pragma once
// Text rules of error messages, apart from the platform.
#include <string>
#include <string_view>

namespace snapvik {

// The message box shows a "." after a text whose last character sorts after ".".
std::wstring WithFinalPeriod(std::wstring_view text);

// System messages lose trailing blanks, control characters and periods.
std::wstring TrimSystemMessage(std::wstring_view text);

// "Cannot create file "%s". %s" and its siblings.
std::wstring CreateFileErrorText(std::wstring_view fullPath, std::wstring_view systemText);
std::wstring OpenFileErrorText(std::wstring_view fullPath, std::wstring_view systemText);
std::wstring ListIndexErrorText(long long index);

}  // namespace snapvik
