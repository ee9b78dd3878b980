#include "framework/window.h"

#include <mutex>
#include <unordered_map>

#include "framework/application.h"

namespace snapvik {

namespace {

// Which object each window handle belongs to. Kept in the process, not as a
// window property: under Wine every property read is a round trip to the
// server (about 30 us), and every message a window handles starts with one.
class Links {
 public:
  void Set(HWND hwnd, TWindow* object) {
    const std::lock_guard lock(mutex_);
    objects_[hwnd] = object;
  }
  void Remove(HWND hwnd) {
    const std::lock_guard lock(mutex_);
    objects_.erase(hwnd);
  }
  TWindow* Find(HWND hwnd) {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(hwnd);
    return found == objects_.end() ? nullptr : found->second;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<HWND, TWindow*> objects_;
};

Links& AllLinks() {
  static Links links;
  return links;
}

}  // namespace

void RegisterWindowClass(const WindowClassSpec& wanted) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (::GetClassInfoExW(instance, wanted.name, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = wanted.style;
  wc.lpfnWndProc = wanted.procedure;
  wc.hInstance = instance;
  if (wanted.programIcon) {
    wc.hIcon = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                               ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  }
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = wanted.background;
  wc.lpszClassName = wanted.name;
  ::RegisterClassExW(&wc);
}

TWindow::~TWindow() { DestroyHandle(); }

TWindow* TWindow::FromHandle(HWND hwnd) {
  return hwnd ? AllLinks().Find(hwnd) : nullptr;
}

void TWindow::Attach(HWND hwnd) {
  handle_ = hwnd;
  AllLinks().Set(hwnd, this);
}

void TWindow::Subclass() {
  controlProc_ = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(handle_, GWLP_WNDPROC));
  ::SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWindow::WindowProc));
}

void TWindow::DestroyHandle() noexcept {
  const HWND hwnd = handle_;
  if (!hwnd) return;
  handle_ = nullptr;
  // A handle whose link is gone is no longer our window, whatever it holds now.
  if (FromHandle(hwnd) != this) return;
  // A subclassed control goes back to its own procedure, which must see its end.
  if (controlProc_) ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(controlProc_));
  AllLinks().Remove(hwnd);
  ::DestroyWindow(hwnd);
}

LRESULT TWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (controlProc_) return ::CallWindowProcW(controlProc_, handle_, msg, wParam, lParam);
  return ::DefWindowProcW(handle_, msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    // The creator passes itself as the base type, so the cast holds wherever the base sits.
    auto* created = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (created) created->Attach(hwnd);
  }
  TWindow* self = FromHandle(hwnd);
  if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  LRESULT result = 0;
  try {
    result = self->HandleMessage(msg, wParam, lParam);
  } catch (...) {
    Application().HandleException();
  }
  if (msg == WM_NCDESTROY) {
    AllLinks().Remove(hwnd);
    if (self->controlProc_) ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->controlProc_));
    self->handle_ = nullptr;
  }
  return result;
}

}  // namespace snapvik
