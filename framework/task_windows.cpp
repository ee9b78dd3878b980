#include "framework/task_windows.h"

#include <utility>

namespace snapvik {

namespace {

BOOL CALLBACK DisableOne(HWND hwnd, LPARAM param) {
  auto* self = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(param);
  if (hwnd != self->first && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd)) {
    try {
      self->second->push_back(hwnd);
    } catch (...) {
      return FALSE;  // nothing may unwind through the enumeration
    }
    ::EnableWindow(hwnd, FALSE);
  }
  return TRUE;
}

}  // namespace

DisabledTaskWindows::DisabledTaskWindows(HWND except) : except_(except) {
  std::pair<HWND, std::vector<HWND>*> param{except_, &disabled_};
  ::EnumThreadWindows(::GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&param));
}

DisabledTaskWindows::~DisabledTaskWindows() {
  for (HWND hwnd : disabled_)
    if (::IsWindow(hwnd)) ::EnableWindow(hwnd, TRUE);
}

}  // namespace snapvik
