#include "picker/root_strip.h"

#include <algorithm>

#include "common/handles.h"

namespace snapvik {

// ---- TsSpeedButton ----

void TsSpeedButton::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  font_ = font;
  CreateCustom(parent, L"TsSpeedButton", design, bounds, id, font);
}

void TsSpeedButton::Paint(HDC dc, const RECT& client) {
  UniqueBrush background(::CreateSolidBrush(ColorToRGB(Color)));
  ::FillRect(dc, &client, background.get());
  if (pressed_) ::DrawEdge(dc, const_cast<RECT*>(&client), BDR_SUNKENOUTER, BF_RECT);
  // The image above the caption, both centred.
  int imageHeight = 0;
  if (Images && Images->Handle() && ImageIndex >= 0) {
    int width = 0;
    ::ImageList_GetIconSize(Images->Handle(), &width, &imageHeight);
    ::ImageList_Draw(Images->Handle(), ImageIndex, dc, (client.right - width) / 2, 6, ILD_TRANSPARENT);
  }
  RECT caption{client.left + 2, 6 + imageHeight + 4, client.right - 2, client.bottom - 2};
  const std::wstring text = Text();
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  SelectedObject font(dc, font_);
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &caption,
              DT_CENTER | DT_TOP | DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX);
}

LRESULT TsSpeedButton::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      pressed_ = true;
      ::SetCapture(Handle());
      ::InvalidateRect(Handle(), nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      if (!pressed_) return 0;
      pressed_ = false;
      ::ReleaseCapture();
      ::InvalidateRect(Handle(), nullptr, FALSE);
      RECT client;
      ::GetClientRect(Handle(), &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (::PtInRect(&client, at) && OnClick) OnClick(*this);
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    default:
      break;
  }
  return TCustomControl::HandleMessage(msg, wParam, lParam);
}

// ---- TsScrollBox ----

void TsScrollBox::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  CreateCustom(parent, L"TsScrollBox", design, bounds, id, font);
  ::SetWindowLongW(Handle(), GWL_STYLE, ::GetWindowLongW(Handle(), GWL_STYLE) | WS_VSCROLL | WS_CLIPCHILDREN);
  ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  Arrange();
}

void TsScrollBox::SetColor(TColor color) {
  color_ = color;
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TsScrollBox::Paint(HDC dc, const RECT& client) {
  UniqueBrush background(::CreateSolidBrush(ColorToRGB(color_)));
  ::FillRect(dc, &client, background.get());
}

void TsScrollBox::AlignTop(TControl& child, int height) {
  rows_.push_back({&child, height});
  Arrange();
}

int TsScrollBox::ContentHeight() const {
  int height = 0;
  for (const Row& row : rows_) height += row.height;
  return height;
}

void TsScrollBox::Arrange() {
  RECT client;
  ::GetClientRect(Handle(), &client);
  const int content = ContentHeight();
  const int height = static_cast<int>(client.bottom);
  position_ = std::clamp(position_, 0, std::max(0, content - height));
  SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(0, content - 1),
                  static_cast<UINT>(height), position_, 0};
  ::SetScrollInfo(Handle(), SB_VERT, &info, TRUE);
  int top = -position_;
  for (const Row& row : rows_) {
    row.control->SetBounds({0, top, client.right, row.height});
    top += row.height;
  }
}

void TsScrollBox::ScrollTo(int position) {
  position_ = position;
  Arrange();
}

LRESULT TsScrollBox::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      Arrange();
      break;
    case WM_VSCROLL: {
      SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
      ::GetScrollInfo(Handle(), SB_VERT, &info);
      int position = info.nPos;
      switch (LOWORD(wParam)) {
        case SB_THUMBTRACK:  // the content follows the thumb while it is dragged
        case SB_THUMBPOSITION:
          position = info.nTrackPos;
          break;
        case SB_LINEUP: position -= 8; break;
        case SB_LINEDOWN: position += 8; break;
        case SB_PAGEUP: position -= static_cast<int>(info.nPage); break;
        case SB_PAGEDOWN: position += static_cast<int>(info.nPage); break;
        case SB_TOP: position = 0; break;
        case SB_BOTTOM: position = info.nMax; break;
        default: return 0;
      }
      ScrollTo(position);
      return 0;
    }
    default:
      break;
  }
  return TCustomControl::HandleMessage(msg, wParam, lParam);
}

}  // namespace snapvik
