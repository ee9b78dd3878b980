#pragma once
// The one window procedure of the program's own window classes: the object
// is found from WM_NCCREATE on, every error goes to the application's
// handler (nothing may unwind through the platform), and the link is cut at
// WM_NCDESTROY.
#include <windows.h>

#include "framework/application.h"

namespace snapvik {

// T: the class whose HandleMessage runs; Stored: the type kept in the window's user data.
template <typename T, typename Stored>
LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* created = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    created->handle_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Stored*>(created)));
  }
  auto* self = static_cast<T*>(reinterpret_cast<Stored*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)));
  if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  try {
    result = self->HandleMessage(msg, wParam, lParam);
  } catch (...) {
    Application().HandleException();
  }
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->handle_ = nullptr;
  }
  return result;
}

}  // namespace snapvik
