#include "framework/application.h"

#include <commctrl.h>

#include <algorithm>
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

// A dialog box of the platform's kind, the kind the shell's questions are.
bool IsDialogBox(HWND window) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  return std::wstring_view(name) == L"#32770";
}

BOOL CALLBACK FindProgressBar(HWND child, LPARAM found) {
  wchar_t name[32] = {};
  ::GetClassNameW(child, name, 32);
  if (std::wstring_view(name) != PROGRESS_CLASSW) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

bool ShowsProgress(HWND box) {
  bool found = false;
  ::EnumChildWindows(box, &FindProgressBar, reinterpret_cast<LPARAM>(&found));
  return found;
}

struct WindowList {
  std::vector<HWND> windows;
  bool complete = true;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  auto* collected = reinterpret_cast<WindowList*>(list);
  try {
    collected->windows.push_back(window);
    return TRUE;
  } catch (...) {
    collected->complete = false;
    return FALSE;
  }
}

// The top-level windows of a thread; throws when they cannot all be held.
std::vector<HWND> ThreadWindows(DWORD thread) {
  WindowList list;
  ::EnumThreadWindows(thread, &CollectWindow, reinterpret_cast<LPARAM>(&list));
  if (!list.complete) throw std::bad_alloc();
  return std::move(list.windows);
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
  if (foreignCommand_) {
    quitHeld_ = true;
    DismissForeignBoxes();
    // The command may go on to ask again (a second box after the first).
    ::SetTimer(handle_.get(), kDismissTimer, kDismissEvery, nullptr);
    return;
  }
  ::PostQuitMessage(0);
}

TApplication::ForeignCommandScope::ForeignCommandScope(HWND commandWindow)
    : owner_(commandWindow ? ::GetAncestor(commandWindow, GA_ROOT) : nullptr), outer_(Application().foreignCommand_) {
  // A top-level window's owner is never a child: the platform gives a box
  // for a child window to the child's top-level window.
  before_ = ThreadWindows(::GetCurrentThreadId());
  std::sort(before_.begin(), before_.end());
  Application().foreignCommand_ = this;
}

TApplication::ForeignCommandScope::~ForeignCommandScope() {
  TApplication& application = Application();
  application.foreignCommand_ = outer_;
  if (outer_ || !application.quitHeld_) return;
  application.quitHeld_ = false;
  ::KillTimer(application.handle_.get(), kDismissTimer);
  ::PostQuitMessage(0);
}

bool TApplication::IsCommandsBox(const ForeignCommandScope& command, HWND window) const noexcept {
  if (!command.owner_ || window == errorBox_ || TWindow::FromHandle(window)) return false;
  if (std::binary_search(command.before_.begin(), command.before_.end(), window)) return false;
  if (!IsDialogBox(window) || !::IsWindowVisible(window) || !::IsWindowEnabled(window) || ShowsProgress(window))
    return false;
  // Owned by the command's window, or by a box of the command's owned by it.
  for (HWND owner = ::GetWindow(window, GW_OWNER); owner; owner = ::GetWindow(owner, GW_OWNER)) {
    if (owner == command.owner_) return true;
    if (owner == errorBox_ || TWindow::FromHandle(owner)) return false;
  }
  return false;
}

void TApplication::DismissForeignBoxes() const noexcept {
  WindowList list;  // what could not be held waits for the next tick of the timer
  ::EnumThreadWindows(threadId_, &CollectWindow, reinterpret_cast<LPARAM>(&list));
  for (const HWND box : list.windows) {
    bool commands = false;
    for (const ForeignCommandScope* command = foreignCommand_; command && !commands; command = command->outer_)
      commands = IsCommandsBox(*command, box);
    if (!commands) continue;
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
    // The box is the first window made on this thread from here: noted, so
    // that an end during a shell command never takes it for the shell's.
    errorBox_ = nullptr;
    const HHOOK noting = ::SetWindowsHookExW(WH_CBT, &TApplication::NoteErrorBox, nullptr, ::GetCurrentThreadId());
    ::MessageBoxIndirectW(&box);
    if (noting) ::UnhookWindowsHookEx(noting);
    errorBox_ = nullptr;
  }
  if (active && ::IsWindow(active)) ::SetActiveWindow(active);
  if (focus && ::IsWindow(focus)) ::SetFocus(focus);
}

LRESULT CALLBACK TApplication::NoteErrorBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_application && !g_application->errorBox_) {
    const CREATESTRUCTW& made = *reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    if (!(made.style & WS_CHILD)) g_application->errorBox_ = reinterpret_cast<HWND>(wParam);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
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
