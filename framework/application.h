#pragma once
// The application object: the hidden application window, the message loop,
// modal loops and the error handler that every platform entry point uses.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/com.h"
#include "common/handles.h"
#include "framework/synchronizer.h"

namespace snapvik {

class TForm;

class TApplication final : public ISynchronizer {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Starts the component object library (single-threaded) and makes the
  // hidden window; `title` captions it and every error box.
  void Initialize(std::wstring title);

  HWND Handle() const { return handle_.get(); }
  const std::wstring& Title() const { return title_; }

  void SetMainForm(TForm* form) { mainForm_ = form; }
  TForm* MainForm() const { return mainForm_; }

  // Shows the main form as the launching shell asked, then loops until told to end.
  void Run(int showCommand);
  // Ends the program: every loop of ours ends, the innermost first, and an
  // open menu closes. Holds even when a loop not of ours takes the quit message.
  // While a foreign command runs, its boxes are answered safely first.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // One queued message; false once the program is ending.
  bool ProcessMessage();

  // Dispatches every message until `done` or the end of the program; the
  // program's other windows are disabled meanwhile.
  void RunModalLoop(HWND modalWindow, const bool& done);

  // While one lives, the shell runs a command of ours for `commandWindow`
  // and may ask the user inside it (a delete confirmation is its own modal
  // box). The quit message would end such a box as if it had been accepted,
  // so an end of the program meanwhile gives those boxes their safe answer
  // instead, and the quit message follows once the command has returned.
  // Only boxes of this thread that appeared after the command began and that
  // its window owns are answered; never one of ours, never one that shows
  // progress (a confirmed command going on).
  class ForeignCommandScope {
   public:
    explicit ForeignCommandScope(HWND commandWindow);
    ~ForeignCommandScope();
    ForeignCommandScope(const ForeignCommandScope&) = delete;
    ForeignCommandScope& operator=(const ForeignCommandScope&) = delete;

   private:
    friend class TApplication;
    HWND owner_;                     // the top-level window the command's boxes are owned by
    std::vector<HWND> before_;       // this thread's windows when it began, sorted
    ForeignCommandScope* outer_;     // the command running when this one began
  };

  void Synchronize(const std::function<void()>& action) override;
  bool WaitServingSynchronize(HANDLE object, DWORD milliseconds = INFINITE) override;

  // From inside a catch block: shows the active exception, unless an error
  // box is open already. Never throws.
  void HandleException() noexcept;
  void ShowException(const std::wstring& message) noexcept;
  // An error box owned by `owner`, the thread's other windows disabled while
  // it shows; none while another error box is open. Never throws.
  void ShowErrorBox(HWND owner, const std::wstring& text, const std::wstring& caption) noexcept;
  // The window the user is in: this thread's active window, else the last
  // one the application window's popups had active.
  HWND UserWindow() const;

 private:
  std::unique_ptr<ComApartment> com_;
  UniqueWindow handle_;
  std::wstring title_;
  static LRESULT CALLBACK HiddenWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // Answers the boxes the running foreign commands show on this thread:
  // Cancel, else No, else their close box.
  void DismissForeignBoxes() const noexcept;
  bool IsCommandsBox(const ForeignCommandScope& command, HWND window) const noexcept;
  static LRESULT CALLBACK NoteErrorBox(int code, WPARAM wParam, LPARAM lParam);

  TForm* mainForm_ = nullptr;
  DWORD threadId_ = 0;
  bool terminated_ = false;
  bool showingError_ = false;
  ForeignCommandScope* foreignCommand_ = nullptr;  // the innermost running, linked to the outer ones
  HWND errorBox_ = nullptr;                        // the error box of ours on the screen
  bool quitHeld_ = false;    // the end came during a foreign command
};

// The one application object of the process.
TApplication& Application();

// A modal "Error" box with the error icon and OK, owned by the window the
// user is in; for errors a component reports itself instead of raising. The
// program's windows are inert while it shows, and it never opens over
// another error box.
void ShowErrorBox(const std::wstring& message);

// The show command the program's main window uses for what the shell asked.
int MainWindowShowCommand(int requested);

}  // namespace snapvik
