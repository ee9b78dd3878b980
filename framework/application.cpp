#include "framework/application.h"

#include <new>

#include "common/error_text.h"
#include "common/errors.h"
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
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TApplication::HiddenWindowProc;  // it owns, and runs what other threads synchronize
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, L"MAINICON");
  wc.lpszClassName = kApplicationClass;
  ::RegisterClassExW(&wc);
  handle_.reset(::CreateWindowExW(0, kApplicationClass, title_.c_str(),
                                  WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr));
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

void TApplication::Terminate() { ::PostQuitMessage(0); }

bool TApplication::ProcessMessage() {
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
  // The box's own loop goes on serving messages; an error meanwhile would
  // open a box inside it, and a held key would stack them without end. The
  // open box already tells the user what is wrong.
  if (showingError_) return;
  showingError_ = true;
  try {
    if (const HWND capture = ::GetCapture()) ::SendMessageW(capture, WM_CANCELMODE, 0, 0);
    const std::wstring text = WithFinalPeriod(message);
    const HWND active = ::GetActiveWindow();
    const HWND focus = ::GetFocus();
    const HWND owner = active ? active : ::GetLastActivePopup(handle_.get());
    {
      DisabledTaskWindows disabled(owner);
      ::MessageBoxW(owner, text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
    }
    if (active && ::IsWindow(active)) ::SetActiveWindow(active);
    if (focus && ::IsWindow(focus)) ::SetFocus(focus);
  } catch (...) {
  }
  showingError_ = false;
}

void ShowErrorBox(const std::wstring& message) {
  MSGBOXPARAMSW box{};
  box.cbSize = sizeof box;
  box.hwndOwner = Application().Handle();
  box.lpszText = message.c_str();
  box.lpszCaption = L"Error";
  box.dwStyle = MB_OK | MB_ICONERROR;
  ::MessageBoxIndirectW(&box);
}

}  // namespace snapvik
