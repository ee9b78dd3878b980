#include "framework/font.h"

namespace snapvik {

COLORREF ColorToRGB(TColor color) {
  if (color < 0 && color != kNoColor) return ::GetSysColor(static_cast<int>(static_cast<unsigned>(color) & 0xFF));
  return static_cast<COLORREF>(color);
}

UniqueFont MakeFont(const FontDescription& d) {
  return UniqueFont(::CreateFontW(d.Height, 0, 0, 0, d.Bold ? FW_BOLD : FW_NORMAL, d.Italic, d.Underline, d.StrikeOut,
                                  d.Charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, d.Name.c_str()));
}

void TFont::Assign(const FontDescription& description) {
  if (description == description_) return;
  description_ = description;
  if (OnChange) OnChange();
}

void TFont::SetColor(TColor color) {
  if (color == description_.Color) return;
  description_.Color = color;
  if (OnChange) OnChange();
}

HFONT TFont::Handle() const {
  FontDescription shape = description_;
  shape.Color = kNoColor;  // the colour is drawn, not part of the platform font
  if (!handle_ || !(shape == realised_)) {
    handle_ = MakeFont(shape);
    realised_ = shape;
  }
  return handle_.get();
}

}  // namespace snapvik
