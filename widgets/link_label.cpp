#include "widgets/link_label.h"

#include "common/handles.h"

namespace snapvik {

void TsWebLabel::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  url_ = design.text;
  font_ = font;
  const SIZE size = TextExtent(font, design.text);  // the width follows the text
  bounds.width = size.cx;
  bounds.height = size.cy;
  CreateCustom(parent, L"TsWebLabel", design, bounds, id, font);
}

void TsWebLabel::Paint(HDC dc, const RECT& client) {
  SelectedObject selected(dc, font_);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_HOTLIGHT));
  RECT r = client;
  const std::wstring text = Text();
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace snapvik
