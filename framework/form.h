#pragma once
// The base of the program's top-level windows.
#include <windows.h>

#include "framework/window.h"

namespace snapvik {

struct FormStyle {
  const wchar_t* className;
  const wchar_t* caption;
  DWORD style;
  DWORD exStyle;
  int clientWidth;
  int clientHeight;
  HWND owner;
};

class TForm : public TWindow {
 public:
  // Centres the window the first time, then shows it with `showCommand`.
  void ShowFirst(int showCommand);

  // Asks the window to close: the close handler runs; the main form then ends the program.
  void Close();

 protected:
  // Registers the class (once) and makes the window, centred on the desktop.
  void CreateForm(const FormStyle& style);

  // The form's close handler; an error leaves the window open.
  virtual void DoClose() {}

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void RestoreFocus();
  // The object of one of this form's controls, or none.
  TWindow* ChildObject(HWND child) const;

  HWND lastFocus_ = nullptr;
  bool shown_ = false;
};

}  // namespace snapvik
