#pragma once
// The base of the program's top-level windows: one window procedure that
// finds its object and hands every error to the application's handler.
#include <windows.h>

#include <string>

namespace snapvik {

// The window procedure of the program's own classes (framework/object_window.h).
template <typename T, typename Stored>
LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

struct FormStyle {
  const wchar_t* className;
  const wchar_t* caption;
  DWORD style;
  DWORD exStyle;
  int clientWidth;
  int clientHeight;
  HWND owner;
};

class TForm {
 public:
  TForm() = default;
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return handle_; }

  // Centres the window the first time, then shows it with `showCommand`.
  void ShowFirst(int showCommand);

  // Asks the window to close: the close handler runs; the main form then ends the program.
  void Close();

  static bool IsForm(HWND hwnd);

 protected:
  void CreateForm(const FormStyle& style);

  // The form's own create and close handlers.
  virtual void DoClose() {}

  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  template <typename T, typename Stored>
  friend LRESULT CALLBACK ObjectWindowProc(HWND, UINT, WPARAM, LPARAM);
  void RestoreFocus();

  HWND handle_ = nullptr;
  HWND lastFocus_ = nullptr;
  bool shown_ = false;
};

}  // namespace snapvik
