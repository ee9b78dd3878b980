#pragma once
// The web address label at the foot of the main window.
#include "framework/controls.h"

namespace snapvik {

class TsWebLabel : public TCustomControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;
  const std::wstring& URL() const { return url_; }

 protected:
  void Paint(HDC dc, const RECT& client) override;

 private:
  std::wstring url_;
  HFONT font_ = nullptr;
};

}  // namespace snapvik
