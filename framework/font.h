#pragma once
// A font as the program's controls hold it: a description with a colour,
// realised as a platform font when drawn, and a notification on change.
#include <windows.h>

#include <functional>
#include <string>

#include "common/handles.h"

namespace snapvik {

// A colour: 0x00BBGGRR, a system colour (0x80000000 | COLOR_* index), or kNoColor.
using TColor = int;
inline constexpr TColor kNoColor = -1;
inline constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index)); }
inline constexpr TColor clHotLight = SystemColor(COLOR_HOTLIGHT);
inline constexpr TColor clMenuHighlight = SystemColor(COLOR_MENUHILIGHT);
COLORREF ColorToRGB(TColor color);

struct FontDescription {
  std::wstring Name = L"Tahoma";
  int Height = -11;
  BYTE Charset = DEFAULT_CHARSET;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  TColor Color = kNoColor;
  bool operator==(const FontDescription&) const = default;
};

// The platform font of a description (its colour is drawn, not part of it):
// the one place the program's fonts are made.
UniqueFont MakeFont(const FontDescription& description);

class TFont {
 public:
  TFont() = default;
  explicit TFont(FontDescription description) : description_(std::move(description)) {}
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  const FontDescription& Description() const { return description_; }
  TColor Color() const { return description_.Color; }

  // Each raises OnChange when the value differs.
  void Assign(const TFont& source) { Assign(source.description_); }
  void Assign(const FontDescription& description);
  void SetColor(TColor color);

  // The platform font, made on first use after a change of face or size.
  HFONT Handle() const;

  std::function<void()> OnChange;

 private:
  FontDescription description_;
  mutable UniqueFont handle_;
  mutable FontDescription realised_;  // what handle_ was made from; its colour plays no part
};

}  // namespace snapvik
