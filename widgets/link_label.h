#pragma once
// A text that shows a web address in a link colour, takes a second colour
// while the mouse is over it, shows the hand cursor, and asks the shell to
// open its address as soon as the left button goes down on it.
#include <functional>
#include <string>

#include "framework/controls.h"
#include "framework/font.h"

namespace snapvik {

// Ordinals are the platform's show commands.
enum TsWindowShowMode {
  soHide, soNormal, soShowMinimized, soMaximize, soShowNoActivate, soShow, soMinimize, soShowMinNoActive, soShowNA,
  soRestore, soDefault
};

class TsWebLabel : public TCustomControl {
 public:
  TsWebLabel();
  ~TsWebLabel() override;

  // Makes the window; the width and height follow the text once Loaded runs.
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
  // After the stored properties were set: the drawing font becomes the normal font.
  void Loaded();

  const TFont& Font() const { return normal_; }
  void SetFont(const FontDescription& value);
  const TFont& HoverFont() const { return hover_; }
  void SetHoverFont(const FontDescription& value);
  // The font the next paint uses, its colour settled by the -1 rule.
  const TFont& CurrentFont();

  std::wstring URL;
  TsWindowShowMode ShowMode = soDefault;
  bool AutoSize = true;
  bool Transparent = true;
  bool UseSkinColor = true;
  HCURSOR Cursor = nullptr;  // the hand cursor
  std::function<void()> OnMouseEnter, OnMouseLeave;
  // How the address reaches the shell; the shell's "open" unless replaced.
  std::function<void(HWND owner, const std::wstring& url, int showCommand)> OpenAddress;

  bool MouseAbove() const { return mouseAbove_; }
  const TFont& DrawingFont() const { return drawing_; }

 protected:
  void Paint(HDC dc, const RECT& client) override;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void FontChanged();
  void AdjustBounds();
  void MouseMoved(bool above);

  TFont drawing_, normal_, hover_;
  bool mouseAbove_ = false;
  bool destroying_ = false;
};

}  // namespace snapvik
