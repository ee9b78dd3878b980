#pragma once
// The picker's root strip: a scrolling column of flat buttons, each an icon above its caption.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <vector>

#include "framework/controls.h"
#include "framework/font.h"

namespace snapvik {

// An image list that only shares its images: it never destroys the handle it is given.
class TImageList {
 public:
  HIMAGELIST Handle() const { return handle_; }
  void SetHandle(HIMAGELIST handle) { handle_ = handle; }

 private:
  HIMAGELIST handle_ = nullptr;
};

class TsSpeedButton : public TCustomControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;

  const TImageList* Images = nullptr;
  int ImageIndex = -1;
  int Tag = 0;
  TColor Color = SystemColor(COLOR_BTNFACE);
  std::function<void(TsSpeedButton&)> OnClick;

 protected:
  void Paint(HDC dc, const RECT& client) override;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  HFONT font_ = nullptr;
  bool pressed_ = false;
};

class TsScrollBox : public TCustomControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;

  void SetColor(TColor color);
  // Places `child` at the top, below those placed before, at the full width.
  void AlignTop(TControl& child, int height);
  int ContentHeight() const;

 protected:
  void Paint(HDC dc, const RECT& client) override;
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Arrange();
  void ScrollTo(int position);

  TColor color_ = SystemColor(COLOR_BTNFACE);
  struct Row {
    TControl* control;
    int height;
  };
  std::vector<Row> rows_;
  int position_ = 0;
};

}  // namespace snapvik
