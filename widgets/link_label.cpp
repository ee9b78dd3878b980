#include "widgets/link_label.h"

#include <shellapi.h>

#include "common/flag_scope.h"
#include "common/handles.h"
#include "framework/application.h"

namespace snapvik {

namespace {

// Set while a paint copies a font: the change that copy raises is no reason to paint again.
bool g_painting = false;
// Set while a font change is handled.
bool g_fontChanging = false;

void ShellOpen(HWND owner, const std::wstring& url, int showCommand) {
  ::ShellExecuteW(owner, L"open", url.c_str(), nullptr, nullptr, showCommand);
}

}  // namespace

TsWebLabel::TsWebLabel() : Cursor(::LoadCursorW(nullptr, IDC_HAND)), OpenAddress(&ShellOpen) {
  drawing_.OnChange = [this] { FontChanged(); };
}

TsWebLabel::~TsWebLabel() {
  destroying_ = true;
  DestroyHandle();
}

void TsWebLabel::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  CreateCustom(parent, L"TsWebLabel", design, bounds, id, font);
}

void TsWebLabel::Loaded() { drawing_.Assign(normal_); }

void TsWebLabel::SetFont(const FontDescription& value) {
  drawing_.Assign(value);
  normal_.Assign(value);
  if (Handle()) ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TsWebLabel::SetHoverFont(const FontDescription& value) { hover_.Assign(value); }

const TFont& TsWebLabel::CurrentFont() {
  TFont& font = mouseAbove_ ? hover_ : normal_;
  if (font.Color() == kNoColor) font.SetColor(mouseAbove_ ? 0x0000FF : 0xFF0000);
  return font;
}

void TsWebLabel::FontChanged() {
  if (g_painting || destroying_ || g_fontChanging || !Handle()) return;
  const FlagScope changing(g_fontChanging);
  if (AutoSize) AdjustBounds();
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TsWebLabel::AdjustBounds() {
  if (!Handle()) return;
  const std::wstring text = Text();
  WindowDc screen(nullptr);
  if (!screen) return;
  SelectedObject selected(screen.get(), drawing_.Handle());
  RECT r{0, 0, 0, 0};
  ::DrawTextW(screen.get(), text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  LayoutRect bounds = Bounds();
  if (bounds.width == r.right && bounds.height == r.bottom) return;
  bounds.width = r.right;
  bounds.height = r.bottom;
  SetBounds(bounds);
}

void TsWebLabel::Paint(HDC dc, const RECT& client) {
  if (destroying_) return;
  const TFont& current = CurrentFont();
  if (&current != &drawing_) {
    const FlagScope painting(g_painting);
    drawing_.Assign(current);
  }
  SelectedObject selected(dc, drawing_.Handle());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ColorToRGB(drawing_.Color()));
  RECT r = client;
  const std::wstring text = Text();
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

void TsWebLabel::MouseMoved(bool above) {
  mouseAbove_ = above;
  if (AutoSize) {
    ::InvalidateRect(Handle(), nullptr, TRUE);
    ::UpdateWindow(Handle());
    AdjustBounds();
  }
  const LayoutRect b = Bounds();
  const RECT onParent{b.left, b.top, b.left + b.width, b.top + b.height};
  ::RedrawWindow(::GetParent(Handle()), &onParent, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT TsWebLabel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      if (Transparent) {
        // What shows through: the parent's own background.
        RECT client;
        ::GetClientRect(Handle(), &client);
        auto brush = reinterpret_cast<HBRUSH>(::GetClassLongPtrW(::GetParent(Handle()), GCLP_HBRBACKGROUND));
        if (brush) ::FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      }
      return 1;
    case WM_PAINT: {
      const PaintContext paint(Handle());
      RECT client;
      ::GetClientRect(Handle(), &client);
      Paint(paint.get(), client);
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && Cursor) {
        ::SetCursor(Cursor);
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (!mouseAbove_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Handle(), 0};
        ::TrackMouseEvent(&track);
        if (OnMouseEnter) OnMouseEnter();
        MouseMoved(true);
      }
      break;
    case WM_MOUSELEAVE:
      if (mouseAbove_) {
        MouseMoved(false);
        if (OnMouseLeave) OnMouseLeave();
      }
      return 0;
    case WM_LBUTTONDOWN: {
      const LRESULT result = TCustomControl::HandleMessage(msg, wParam, lParam);
      if (!URL.empty() && OpenAddress) OpenAddress(Application().Handle(), URL, static_cast<int>(ShowMode));
      return result;
    }
    default:
      break;
  }
  return TCustomControl::HandleMessage(msg, wParam, lParam);
}

}  // namespace snapvik
