#pragma once
// The base of the program's top-level windows.
#include <windows.h>

#include <vector>

#include "framework/layout.h"
#include "framework/window.h"

namespace snapvik {

class TControl;

// The modal results the program's buttons give.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// What a form's width and height measure, and where it is centred.
enum class FormSize { Client, Outer };
enum class FormCentre { Desktop, WorkArea };

struct FormStyle {
  const wchar_t* className;
  const wchar_t* caption;
  DWORD style;
  DWORD exStyle;
  int width;
  int height;
  HWND owner;
  FormSize size = FormSize::Client;
  FormCentre centre = FormCentre::Desktop;
};

class TForm : public TWindow {
 public:
  // Centres the window the first time, then shows it with `showCommand`.
  void ShowFirst(int showCommand);

  // Asks the window to close: the close handler runs; the main form then
  // ends the program, a modal one ends its loop with mrCancel.
  void Close();

  // Shows the window and serves every message of the thread until a modal
  // result is set (the program's other windows disabled meanwhile), then
  // hides it. mrCancel when the loop ended without one.
  int ShowModal();
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result);

 protected:
  // Registers the class (once) and makes the window, centred on the desktop.
  void CreateForm(const FormStyle& style);

  // The form's close handler; an error leaves the window open.
  virtual void DoClose() {}

  // The smallest outer size the user can drag the frame to.
  void SetMinimumSize(LayoutSize outer) { minimum_ = outer; }
  // From here on `control` keeps its distances to the anchored sides of the
  // client area as they are now; the other sides follow their anchors' rule.
  void SetAnchors(TControl& control, Anchors anchors);

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void RestoreFocus();
  // The object of one of this form's controls, or none.
  TWindow* ChildObject(HWND child) const;
  LayoutRect CentringArea() const;
  LayoutSize ClientSize() const;
  void PlaceAnchored();

  struct AnchoredControl {
    TControl* control;
    LayoutRect base;
    LayoutSize baseClient;
    Anchors anchors;
  };
  std::vector<AnchoredControl> anchored_;
  LayoutSize minimum_{0, 0};
  FormCentre centre_ = FormCentre::Desktop;
  HWND lastFocus_ = nullptr;
  bool shown_ = false;
  bool modal_ = false;
  bool modalDone_ = false;
  int modalResult_ = mrNone;
};

}  // namespace snapvik
