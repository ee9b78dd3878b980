#include "framework/window.h"

#include <new>
#include <optional>
#include <unordered_map>

#include "framework/application.h"

namespace snapvik {

namespace {

// Which object each window handle belongs to, and the procedure of a
// subclassed control. Kept in the process, not as a window property: under
// Wine every property read is a round trip to the server (about 30 us), and
// every message a window handles starts with one. Each entry ends with its
// window, at WM_NCDESTROY, which reaches WindowProc for every window linked
// (standard controls are subclassed for it): a handle the platform gives
// again later is never taken for ours.
class Links {
 public:
  struct Link {
    TWindow* object = nullptr;     // none once the object let go of its window
    WNDPROC controlProc = nullptr;  // a subclassed control's own procedure
  };
  // False when there is no memory for it.
  bool Set(HWND hwnd, TWindow* object) noexcept {
    const Exclusive lock(lock_);
    try {
      objects_[hwnd] = Link{object, nullptr};
      return true;
    } catch (...) {
      return false;
    }
  }
  void SetControlProc(HWND hwnd, WNDPROC proc) noexcept {
    const Exclusive lock(lock_);
    if (const auto found = objects_.find(hwnd); found != objects_.end()) found->second.controlProc = proc;
  }
  // The object no longer hears of its window; the control's own procedure still does, to its end.
  void Cut(HWND hwnd) noexcept {
    const Exclusive lock(lock_);
    if (const auto found = objects_.find(hwnd); found != objects_.end()) found->second.object = nullptr;
  }
  void Remove(HWND hwnd) noexcept {
    const Exclusive lock(lock_);
    objects_.erase(hwnd);
  }
  std::optional<Link> Find(HWND hwnd) const noexcept {
    const Shared lock(lock_);
    const auto found = objects_.find(hwnd);
    if (found == objects_.end()) return std::nullopt;
    return found->second;
  }

 private:
  // Slim locks: they never throw, so a window procedure may take them outside its try.
  template <void(WINAPI* Acquire)(PSRWLOCK), void(WINAPI* Release)(PSRWLOCK)>
  struct Held {
    explicit Held(SRWLOCK& l) noexcept : lock(l) { Acquire(&lock); }
    ~Held() { Release(&lock); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    SRWLOCK& lock;
  };
  using Exclusive = Held<::AcquireSRWLockExclusive, ::ReleaseSRWLockExclusive>;
  using Shared = Held<::AcquireSRWLockShared, ::ReleaseSRWLockShared>;
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  std::unordered_map<HWND, Link> objects_;
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
  if (!hwnd) return nullptr;
  const std::optional<Links::Link> link = AllLinks().Find(hwnd);
  return link ? link->object : nullptr;
}

void TWindow::Attach(HWND hwnd) {
  if (!AllLinks().Set(hwnd, this)) throw std::bad_alloc();
  handle_ = hwnd;
}

void TWindow::Subclass() {
  controlProc_ = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(handle_, GWLP_WNDPROC));
  AllLinks().SetControlProc(handle_, controlProc_);
  ::SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWindow::WindowProc));
}

void TWindow::DestroyHandle() noexcept {
  const HWND hwnd = handle_;
  if (!hwnd) return;
  handle_ = nullptr;
  // A handle whose link is gone is no longer our window, whatever it holds now.
  if (FromHandle(hwnd) != this) return;
  // The link stays, without this object, until the window's end: a
  // subclassed control's own procedure must see that end.
  AllLinks().Cut(hwnd);
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
    if (created) {
      // No memory for the link: the window is not made, and its creator says so.
      if (!AllLinks().Set(hwnd, created)) return FALSE;
      created->handle_ = hwnd;
    }
  }
  const std::optional<Links::Link> link = AllLinks().Find(hwnd);
  LRESULT result = 0;
  if (!link) {
    result = ::DefWindowProcW(hwnd, msg, wParam, lParam);
  } else if (!link->object) {
    result = link->controlProc ? ::CallWindowProcW(link->controlProc, hwnd, msg, wParam, lParam)
                               : ::DefWindowProcW(hwnd, msg, wParam, lParam);
  } else {
    try {
      result = link->object->HandleMessage(msg, wParam, lParam);
    } catch (...) {
      Application().HandleException();
    }
  }
  if (msg == WM_NCDESTROY && link) {
    // Looked up again: the object may have gone while it handled the message.
    const std::optional<Links::Link> last = AllLinks().Find(hwnd);
    AllLinks().Remove(hwnd);
    if (last && last->object) last->object->handle_ = nullptr;
  }
  return result;
}

}  // namespace snapvik
