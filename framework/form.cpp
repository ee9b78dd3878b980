#include "framework/form.h"

#include "common/errors.h"
#include "framework/application.h"
#include "framework/layout.h"

namespace snapvik {

// The bounding box of all monitors.
static LayoutRect DesktopBounds() {
  return {::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
          ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

TWindow* TForm::ChildObject(HWND child) const {
  return child && ::IsChild(Handle(), child) ? FromHandle(child) : nullptr;
}

void TForm::CreateForm(const FormStyle& s) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  if (!::GetClassInfoExW(instance, s.className, &wc)) {
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TWindow::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                               ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = s.className;
    ::RegisterClassExW(&wc);
  }
  RECT frame{0, 0, s.clientWidth, s.clientHeight};
  ::AdjustWindowRectEx(&frame, s.style, FALSE, s.exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Made where it will be shown: Wine would otherwise show it for a moment where it was made.
  const LayoutPoint origin = CenteredOrigin(DesktopBounds(), width, height);
  if (!::CreateWindowExW(s.exStyle, s.className, s.caption, s.style, origin.x, origin.y, width, height, s.owner,
                         nullptr, instance, static_cast<TWindow*>(this)))
    throw EOutOfResources(L"Error creating window");
}

void TForm::ShowFirst(int showCommand) {
  if (!shown_) {
    shown_ = true;
    RECT window;
    ::GetWindowRect(Handle(), &window);
    const LayoutPoint origin =
        CenteredOrigin(DesktopBounds(), window.right - window.left, window.bottom - window.top);
    ::SetWindowPos(Handle(), nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::ShowWindow(Handle(), showCommand);
  ::UpdateWindow(Handle());
}

void TForm::Close() {
  DoClose();
  if (Application().MainForm() == this)
    Application().Terminate();
  else
    ::ShowWindow(Handle(), SW_HIDE);
}

void TForm::RestoreFocus() {
  HWND target = lastFocus_ && ::IsWindow(lastFocus_) && ::IsChild(Handle(), lastFocus_)
                    ? lastFocus_
                    : ::GetNextDlgTabItem(Handle(), nullptr, FALSE);
  if (target) ::SetFocus(target);
}

LRESULT TForm::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      // From a control: back to its object. Menus and accelerators have none.
      if (TWindow* control = ChildObject(reinterpret_cast<HWND>(lParam))) control->ReflectedCommand(HIWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
      if (TWindow* control = ChildObject(header.hwndFrom)) return control->ReflectedNotify(header);
      return 0;
    }
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus && ::IsChild(Handle(), focus)) lastFocus_ = focus;
      } else if (!HIWORD(wParam)) {
        RestoreFocus();
      }
      return 0;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    default:
      return TWindow::HandleMessage(msg, wParam, lParam);
  }
}

}  // namespace snapvik
