#include "framework/application.h"

#include <new>
#include <string_view>
#include <vector>

#include "common/error_text.h"
#include "common/errors.h"
#include "common/flag_scope.h"
#include "framework/form.h"
#include "framework/task_windows.h"

namespace snapvik {

namespace {

TApplication* g_application = nullptr;
constexpr wchar_t kApplicationClass[] = L"TApplication";
constexpr UINT kSynchronize = WM_APP + 0x100;  // lParam: the action
constexpr UINT_PTR kDismissTimer = 1;          // answers a foreign command's boxes while the end waits
constexpr UINT kDismissEvery = 100;            // ms: a command may show its next box after the first

// A box a command of the shell shows: a dialog of this thread that is not one of our windows.
bool IsForeignBox(HWND window) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  return std::wstring_view(name) == L"#32770" && ::IsWindowVisible(window) && ::IsWindowEnabled(window) &&
         !TWindow::FromHandle(window);
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  try {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
  } catch (...) {
    return FALSE;  // the next tick of the timer tries again
  }
}

// The innermost non-empty message of a chain of nested errors.
std::wstring InnermostMessage(const Exception& error) {
  try {
    std::rethrow_if_nested(error);
  } catch (const Exception& inner) {
    std::wstring message = InnermostMessage(inner);
    if (!message.empty()) return message;
  } catch (...) {
  }
  return error.Message();
}

}  // namespace

TApplication& Application() { return *g_application; }

TApplication::TApplication() { g_application = this; }

TApplication::~TApplication() {
  handle_.reset();
  com_.reset();
  if (g_application == this) g_application = nullptr;
}

void TApplication::Initialize(std::wstring title) {
  com_ = std::make_unique<ComApartment>();
  threadId_ = ::GetCurrentThreadId();
  title_ = std::move(title);
  // It owns, and runs what other threads synchronize.
  RegisterWindowClass({.name = kApplicationClass, .procedure = &TApplication::HiddenWindowProc, .programIcon = true});
  handle_.reset(::CreateWindowExW(0, kApplicationClass, title_.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
}

int MainWindowShowCommand(int requested) {
  switch (requested) {
    case SW_SHOWMAXIMIZED:
      return SW_SHOWMAXIMIZED;
    case SW_SHOWMINNOACTIVE:
      return SW_SHOWMINNOACTIVE;
    default:
      return SW_SHOWNORMAL;
  }
}

void TApplication::Run(int showCommand) {
  if (mainForm_) {
    try {
      mainForm_->ShowFirst(MainWindowShowCommand(showCommand));
    } catch (...) {
      HandleException();
    }
  }
  while (!terminated_ && ProcessMessage()) {
  }
}

void TApplication::Terminate() {
  // A menu's own loop takes the quit message for itself and goes on, so the
  // end is also kept here, where each of our loops looks before it waits.
  terminated_ = true;
  ::EndMenu();
  if (foreignCommands_ > 0) {
    quitHeld_ = true;
    DismissForeignBoxes();
    // The command may go on to ask again (a second box after the first).
    ::SetTimer(handle_.get(), kDismissTimer, kDismissEvery, nullptr);
    return;
  }
  ::PostQuitMessage(0);
}

TApplication::ForeignCommandScope::ForeignCommandScope() { ++Application().foreignCommands_; }

TApplication::ForeignCommandScope::~ForeignCommandScope() {
  TApplication& application = Application();
  if (--application.foreignCommands_ > 0 || !application.quitHeld_) return;
  application.quitHeld_ = false;
  ::KillTimer(application.handle_.get(), kDismissTimer);
  ::PostQuitMessage(0);
}

void TApplication::DismissForeignBoxes() const noexcept {
  std::vector<HWND> windows;
  ::EnumThreadWindows(threadId_, &CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (const HWND box : windows) {
    if (!IsForeignBox(box)) continue;
    // Never the button that goes on: Cancel stops the whole command, No skips
    // this item, the close box is all a box without either offers.
    if (const HWND cancel = ::GetDlgItem(box, IDCANCEL))
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    else if (const HWND no = ::GetDlgItem(box, IDNO))
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(no));
    else
      ::PostMessageW(box, WM_CLOSE, 0, 0);
  }
}

bool TApplication::ProcessMessage() {
  if (terminated_) return false;
  MSG msg;
  const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    terminated_ = true;
    return false;
  }
  const HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  // Tab and Shift+Tab walk the controls of our forms.
  if (dynamic_cast<TForm*>(TWindow::FromHandle(root)) && ::IsDialogMessageW(root, &msg)) return true;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
  return true;
}

void TApplication::RunModalLoop(HWND modalWindow, const bool& done) {
  DisabledTaskWindows disabled(modalWindow);
  while (!done && !terminated_) {
    if (!ProcessMessage()) break;
  }
}

LRESULT CALLBACK TApplication::HiddenWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kDismissTimer && g_application) {
    g_application->DismissForeignBoxes();
    return 0;
  }
  if (msg != kSynchronize) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  try {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
  } catch (...) {
    Application().HandleException();
  }
  return 0;
}

void TApplication::Synchronize(const std::function<void()>& action) {
  if (::GetCurrentThreadId() == threadId_ || !handle_) {
    try {
      action();
    } catch (...) {
      HandleException();
    }
    return;
  }
  // A sent message runs on the window's thread while this one waits.
  ::SendMessageW(handle_.get(), kSynchronize, 0, reinterpret_cast<LPARAM>(&action));
}

bool TApplication::WaitServingSynchronize(HANDLE object, DWORD milliseconds) {
  DWORD woken;
  while ((woken = ::MsgWaitForMultipleObjects(1, &object, FALSE, milliseconds, QS_SENDMESSAGE)) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // runs the sent ones
  }
  return woken == WAIT_OBJECT_0;
}

void TApplication::HandleException() noexcept {
  try {
    throw;
  } catch (const Exception& error) {
    ShowException(InnermostMessage(error));
  } catch (const std::bad_alloc&) {
    ShowException(L"Out of memory");
  } catch (...) {
    ShowException(L"Unexpected error");
  }
}

void TApplication::ShowException(const std::wstring& message) noexcept {
  try {
    ShowErrorBox(UserWindow(), WithFinalPeriod(message), title_);
  } catch (...) {
  }
}

void TApplication::ShowErrorBox(HWND owner, const std::wstring& text, const std::wstring& caption) noexcept {
  // The box's own loop goes on serving messages; an error meanwhile would
  // open a box inside it, and a held key or a repeated click would stack
  // them without end. The open box already tells the user what is wrong.
  if (showingError_) return;
  const FlagScope showing(showingError_);
  if (const HWND capture = ::GetCapture()) ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
  const HWND active = ::GetActiveWindow();
  const HWND focus = ::GetFocus();
  {
    const DisabledTaskWindows disabled(owner);
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof box;
    box.hwndOwner = owner;
    box.lpszText = text.c_str();
    box.lpszCaption = caption.c_str();
    box.dwStyle = MB_OK | MB_ICONERROR;
    ::MessageBoxIndirectW(&box);
  }
  if (active && ::IsWindow(active)) ::SetActiveWindow(active);
  if (focus && ::IsWindow(focus)) ::SetFocus(focus);
}

HWND TApplication::UserWindow() const {
  const HWND active = ::GetActiveWindow();
  return active ? active : ::GetLastActivePopup(handle_.get());
}

// Owned by the window the user was in: the platform disables it for the box
// and enables it again before it looks for a window to activate, so the user
// lands back there. Owned by the hidden window, with the picker still
// disabled when the box closes, Windows would activate another program.
void ShowErrorBox(const std::wstring& message) { Application().ShowErrorBox(Application().UserWindow(), message, L"Error"); }

}  // namespace snapvik
