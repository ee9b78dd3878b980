#include "framework/form.h"

#include "common/errors.h"
#include "framework/application.h"
#include "framework/controls.h"
#include "framework/layout.h"

namespace snapvik {

LayoutRect TForm::CentringArea() const {
  if (centre_ == FormCentre::WorkArea) {
    RECT work;
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
      return {work.left, work.top, work.right - work.left, work.bottom - work.top};
  }
  // The bounding box of all monitors.
  return {::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
          ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

TWindow* TForm::ChildObject(HWND child) const {
  return child && ::IsChild(Handle(), child) ? FromHandle(child) : nullptr;
}

void TForm::CreateForm(const FormStyle& s) {
  RegisterWindowClass({.name = s.className, .background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                       .programIcon = true});
  centre_ = s.centre;
  RECT frame{0, 0, s.width, s.height};
  if (s.size == FormSize::Client) ::AdjustWindowRectEx(&frame, s.style, FALSE, s.exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Made where it will be shown: Wine would otherwise show it for a moment where it was made.
  const LayoutPoint origin = CenteredOrigin(CentringArea(), width, height);
  if (!::CreateWindowExW(s.exStyle, s.className, s.caption, s.style, origin.x, origin.y, width, height, s.owner,
                         nullptr, ::GetModuleHandleW(nullptr), static_cast<TWindow*>(this)))
    throw EOutOfResources(L"Error creating window");
}

void TForm::ShowFirst(int showCommand) {
  if (!shown_) {
    shown_ = true;
    RECT window;
    ::GetWindowRect(Handle(), &window);
    const LayoutPoint origin =
        CenteredOrigin(CentringArea(), window.right - window.left, window.bottom - window.top);
    ::SetWindowPos(Handle(), nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::ShowWindow(Handle(), showCommand);
  ::UpdateWindow(Handle());
}

void TForm::Close() {
  DoClose();
  if (modal_)
    SetModalResult(mrCancel);
  else if (Application().MainForm() == this)
    Application().Terminate();
  else
    ::ShowWindow(Handle(), SW_HIDE);
}

void TForm::SetModalResult(int result) {
  modalResult_ = result;
  modalDone_ = result != mrNone;
}

int TForm::ShowModal() {
  SetModalResult(mrNone);
  modal_ = true;
  ShowFirst(SW_SHOWNORMAL);
  Application().RunModalLoop(Handle(), modalDone_);
  modal_ = false;
  // The other windows are enabled again, so one of them takes the activation.
  ::ShowWindow(Handle(), SW_HIDE);
  return modalDone_ ? modalResult_ : mrCancel;
}

LayoutSize TForm::ClientSize() const {
  RECT client;
  ::GetClientRect(Handle(), &client);
  return {client.right, client.bottom};
}

void TForm::SetAnchors(TControl& control, Anchors anchors) {
  const AnchoredControl entry{&control, control.Bounds(), ClientSize(), anchors};
  for (AnchoredControl& known : anchored_)
    if (known.control == &control) {
      known = entry;
      return;
    }
  anchored_.push_back(entry);
}

void TForm::PlaceAnchored() {
  if (anchored_.empty() || ::IsIconic(Handle())) return;
  const LayoutSize now = ClientSize();
  for (const AnchoredControl& entry : anchored_)
    entry.control->SetBounds(AnchoredRect(entry.base, entry.baseClient, now, entry.anchors));
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
    case WM_GETMINMAXINFO:
      if (minimum_.width > 0) {
        auto& info = *reinterpret_cast<MINMAXINFO*>(lParam);
        info.ptMinTrackSize = {minimum_.width, minimum_.height};
        return 0;
      }
      return TWindow::HandleMessage(msg, wParam, lParam);
    case WM_SIZE:
      PlaceAnchored();
      return TWindow::HandleMessage(msg, wParam, lParam);
    default:
      return TWindow::HandleMessage(msg, wParam, lParam);
  }
}

}  // namespace snapvik
