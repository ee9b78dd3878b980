#pragma once
// The base of every window object: forms, the program's own painted
// controls and the wrappers of the platform's standard controls.
//
// A window finds its object through a link kept in the process (never the
// user data, which any code may set). The object's destructor cuts that link
// before it destroys the window, so no message ever reaches an object that is
// gone; the link itself ends with the window, at its WM_NCDESTROY, which
// every linked window sends through WindowProc: standard controls are
// subclassed. Every message goes through WindowProc, which hands any error
// to the application's handler: nothing unwinds through the platform.
#include <windows.h>

namespace snapvik {

class TWindow {
 public:
  TWindow() = default;
  virtual ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  HWND Handle() const { return handle_; }

  // The object linked to a window, or none for windows that are not ours.
  static TWindow* FromHandle(HWND hwnd);

  // The window procedure of the program's own window classes.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // WM_COMMAND and WM_NOTIFY that this window sent its parent, handed back to it.
  virtual void ReflectedCommand(WORD /*code*/) {}
  virtual LRESULT ReflectedNotify(const NMHDR& /*header*/) { return 0; }

 protected:
  // Messages of windows of our own classes and of subclassed controls;
  // the platform's default (or the control's own procedure) otherwise.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  // Links a window made by the platform's own class (a standard control);
  // throws when there is no memory for the link.
  void Attach(HWND hwnd);

  // Puts WindowProc in front of a linked standard control's own procedure,
  // so that HandleMessage sees its messages first.
  void Subclass();

  // Cuts the object from its window, then destroys the window; nothing for a
  // window that has already gone.
  void DestroyHandle() noexcept;

 private:
  HWND handle_ = nullptr;
  WNDPROC controlProc_ = nullptr;  // a subclassed control's own procedure
};

// One of the program's window classes: registered on first use, with the
// program's icon where it has one.
struct WindowClassSpec {
  const wchar_t* name;
  WNDPROC procedure = &TWindow::WindowProc;
  UINT style = 0;
  HBRUSH background = nullptr;
  bool programIcon = false;
};
void RegisterWindowClass(const WindowClassSpec& wanted);

}  // namespace snapvik
