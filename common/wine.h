#pragma once
// Whether the program runs under Wine, for bridging Wine's own gaps there only.
#include <windows.h>

#include <string>

namespace snapvik {

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool RunningUnderWine() {
  static const bool wine = [] {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
  }();
  return wine;
}

// Under Wine only: whether `path` names an entry that no call shows, a
// symbolic link to nothing. Wine takes such a link for no file at all (its
// attributes, an open, the move onto it, which then replaces it), yet a
// search for its name finds the folder's entry and then stops where a
// missing name says "not found". On Windows such a link is an entry of its
// own, which every call sees: false.
inline bool WineHidesEntry(const std::wstring& path) {
  if (!RunningUnderWine()) return false;
  WIN32_FIND_DATAW found;
  const HANDLE find = ::FindFirstFileW(path.c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    ::FindClose(find);
    return false;
  }
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace snapvik
