#include "framework/controls.h"

#include "common/errors.h"
#include "common/handles.h"
#include "framework/form.h"

namespace snapvik {

std::wstring TControl::Text() const {
  const int length = ::GetWindowTextLengthW(Handle());
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(Handle(), text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

void TControl::SetText(const std::wstring& text) { ::SetWindowTextW(Handle(), text.c_str()); }

bool TControl::Visible() const { return (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool visible) { ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE); }

bool TControl::Enabled() const { return ::IsWindowEnabled(Handle()) != FALSE; }

void TControl::SetEnabled(bool enabled) { ::EnableWindow(Handle(), enabled ? TRUE : FALSE); }

LayoutRect TControl::Bounds() const {
  RECT r;
  ::GetWindowRect(Handle(), &r);
  ::MapWindowPoints(nullptr, ::GetParent(Handle()), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TControl::SetBounds(LayoutRect b) {
  // Painted afresh where it lands: the old pixels may belong to a surface the parent's resize replaced.
  ::SetWindowPos(Handle(), nullptr, b.left, b.top, b.width, b.height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
}

void TControl::CreateHandle(const CreateArgs& args, const char* name, WindowClass kind) {
  name_ = name;
  const HWND hwnd = ::CreateWindowExW(args.exStyle, args.className, args.text, WS_CHILD | WS_VISIBLE | args.style,
                                      args.bounds.left, args.bounds.top, args.bounds.width, args.bounds.height,
                                      args.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)),
                                      ::GetModuleHandleW(nullptr),
                                      kind == WindowClass::Own ? static_cast<TWindow*>(this) : nullptr);
  if (!hwnd) throw EOutOfResources(L"Error creating window");
  if (kind == WindowClass::Standard) {
    try {
      Attach(hwnd);
    } catch (...) {
      ::DestroyWindow(hwnd);
      throw;
    }
    // Subclassed, so that its end reaches the framework and ends its link.
    Subclass();
  }
  if (args.font) ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(args.font), FALSE);
}

void TEdit::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  CreateHandle({parent, L"EDIT", design.text, WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, bounds, id, font},
               design.name);
  if (design.maxLength > 0) ::SendMessageW(Handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(design.maxLength), 0);
}

void TButton::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  const DWORD kind = Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  CreateHandle({parent, L"BUTTON", design.text, WS_TABSTOP | kind, 0, bounds, id, font}, design.name);
}

void TButton::ReflectedCommand(WORD code) {
  // Enter and Escape reach a disabled default or cancel button too.
  if (code != BN_CLICKED || !Enabled()) return;
  if (ModalResult != 0)
    if (auto* form = dynamic_cast<TForm*>(FromHandle(::GetAncestor(Handle(), GA_ROOT))))
      form->SetModalResult(ModalResult);
  if (OnClick) OnClick();
}

void TCheckBox::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  CreateHandle({parent, L"BUTTON", design.text, WS_TABSTOP | BS_AUTOCHECKBOX, 0, bounds, id, font}, design.name);
}

bool TCheckBox::Checked() const { return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
  ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

SIZE TextExtent(HFONT font, const wchar_t* text) {
  SIZE size{};
  WindowDc screen(nullptr);
  if (!screen) return size;
  SelectedObject selected(screen.get(), font);
  ::GetTextExtentPoint32W(screen.get(), text, static_cast<int>(wcslen(text)), &size);
  return size;
}

void TLabel::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  const SIZE size = TextExtent(font, design.text);
  bounds.width = size.cx;
  bounds.height = size.cy;
  CreateHandle({parent, L"STATIC", design.text, SS_LEFT | SS_NOPREFIX, 0, bounds, id, font}, design.name);
}

void TCustomControl::CreateCustom(HWND parent, const wchar_t* className, const ControlSpec& design, LayoutRect bounds,
                                  int id, HFONT font) {
  RegisterWindowClass({.name = className, .style = CS_HREDRAW | CS_VREDRAW});
  CreateHandle({parent, className, design.text, 0, 0, bounds, id, font}, design.name, WindowClass::Own);
}

LRESULT TCustomControl::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      const PaintContext paint(Handle());
      RECT client;
      ::GetClientRect(Handle(), &client);
      ::FillRect(paint.get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
      Paint(paint.get(), client);
      return 0;
    }
    default:
      return TControl::HandleMessage(msg, wParam, lParam);
  }
}

void TPanel::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  CreateCustom(parent, L"TPanel", design, bounds, id, font);
}

void TPanel::Paint(HDC dc, const RECT& client) {
  // Top and left edges in the highlight colour, then bottom and right in the
  // shadow colour; on a one-pixel panel the shadow is what remains.
  const int right = client.right - 1;
  const int bottom = client.bottom - 1;
  const POINT top[] = {{client.left, bottom}, {client.left, client.top}, {right, client.top}};
  const POINT low[] = {{right, client.top}, {right, bottom}, {client.left - 1, bottom}};
  UniquePen light(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT)));
  UniquePen shadow(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW)));
  {
    SelectedObject pen(dc, light.get());
    ::Polyline(dc, top, 3);
  }
  {
    SelectedObject pen(dc, shadow.get());
    ::Polyline(dc, low, 3);
  }
}

}  // namespace snapvik
