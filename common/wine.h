#pragma once
// Whether the program runs under Wine, for bridging Wine's own gaps there only.
#include <windows.h>

namespace snapvik {

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool RunningUnderWine() {
  static const bool wine = [] {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
  }();
  return wine;
}

}  // namespace snapvik
