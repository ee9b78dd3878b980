#include "framework/application.h"

#include <new>

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
  ::PostQuitMessage(0);
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
