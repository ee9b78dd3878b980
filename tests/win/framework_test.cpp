// The window framework on the real platform: the error boundary, the order in
// which objects and windows go, reflected notifications and the modal loop.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "app/main_form.h"
#include "common/errors.h"
#include "framework/application.h"
#include "framework/controls.h"
#include "framework/form.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::BoxCloser;
using testing::PumpUntil;

constexpr UINT kThrow = WM_APP + 1;
constexpr UINT kDone = WM_APP + 2;

// One application object for each test, as the program has one.
class Framework : public ::testing::Test {
 protected:
  void SetUp() override { application_.Initialize(L"Framework"); }
  TApplication application_;
};

// A form whose messages a test can answer first.
class TestForm : public TForm {
 public:
  explicit TestForm(HWND owner = nullptr) {
    CreateForm({L"TTestForm", L"Test", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 240, 120, owner});
  }
  std::function<std::optional<LRESULT>(UINT, WPARAM, LPARAM)> OnMessage;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (OnMessage)
      if (const std::optional<LRESULT> answer = OnMessage(msg, wParam, lParam)) return *answer;
    return TForm::HandleMessage(msg, wParam, lParam);
  }
};

ControlSpec Design(const char* name, LayoutRect bounds) { return {name, bounds, L"", 0}; }

TEST_F(Framework, AHandlerThatThrowsShowsTheErrorBoxAndTheLoopGoesOn) {
  TestForm form;
  bool done = false;
  form.OnMessage = [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == kThrow) throw EInvalidOperation(L"Something went wrong");
    if (msg == kDone) done = true;
    return std::nullopt;
  };
  BoxCloser closer(::GetCurrentThreadId(), form.Handle(), kDone);
  ::PostMessageW(form.Handle(), kThrow, 0, 0);
  PumpUntil(done);
  const auto boxes = closer.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, L"Framework");
  EXPECT_EQ(boxes[0].text, L"Something went wrong.");
  EXPECT_TRUE(::IsWindow(form.Handle()));
  EXPECT_FALSE(application_.Terminated());
}

TEST_F(Framework, AnErrorWhileAnErrorBoxIsOpenOpensNoSecondBox) {
  TestForm form;
  bool done = false;
  int thrown = 0;
  form.OnMessage = [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == kThrow) {
      ++thrown;
      throw EInvalidOperation(L"Error " + std::to_wstring(thrown));
    }
    if (msg == kDone) done = true;
    return std::nullopt;
  };
  BoxCloser closer(::GetCurrentThreadId(), form.Handle(), kDone, 2, 1500);
  for (int i = 0; i < 50; ++i) ::PostMessageW(form.Handle(), kThrow, 0, 0);
  PumpUntil(done);
  const auto boxes = closer.Boxes();
  EXPECT_EQ(thrown, 50);  // the box's loop served them all
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, L"Error 1.");
}

// A painted control whose painting fails.
class FailingPaint : public TCustomControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override {
    CreateCustom(parent, L"TFailingPaint", design, bounds, id, font);
  }

 protected:
  void Paint(HDC, const RECT&) override { throw EInvalidOperation(L"Cannot paint"); }
};

TEST_F(Framework, AFailedPaintStillValidatesTheWindowSoTheBoxShowsOnce) {
  TestForm form;
  FailingPaint control;
  control.Create(form.Handle(), Design("failing", {0, 0, 50, 20}), {0, 0, 50, 20}, 100, nullptr);
  bool done = false;
  form.OnMessage = [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == kDone) done = true;
    return std::nullopt;
  };
  BoxCloser closer(::GetCurrentThreadId(), form.Handle(), kDone, 2, 1500);
  ::ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
  ::UpdateWindow(control.Handle());
  PumpUntil(done);
  EXPECT_EQ(closer.Boxes().size(), 1u);
  EXPECT_FALSE(::GetUpdateRect(control.Handle(), nullptr, FALSE));
}

// Objects of a form that remember having been destroyed, and what the
// platform sends their windows after that.
std::set<const TWindow*> g_destroyed;
int g_messagesToDestroyed = 0;
int g_childrenGoneWithoutFont = 0;

constexpr wchar_t kOriginalProc[] = L"Test.OriginalProc";
constexpr wchar_t kFont[] = L"Test.Font";

// Sits in front of a child's window procedure: a message for a window whose
// link names a destroyed object is counted and not passed on.
LRESULT CALLBACK Watch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto original = reinterpret_cast<WNDPROC>(::GetPropW(hwnd, kOriginalProc));
  if (const TWindow* linked = TWindow::FromHandle(hwnd); linked && g_destroyed.count(linked)) {
    ++g_messagesToDestroyed;
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  if (msg == WM_DESTROY) {
    const auto font = static_cast<HGDIOBJ>(::GetPropW(hwnd, kFont));
    if (font && ::GetObjectType(font) != OBJ_FONT) ++g_childrenGoneWithoutFont;
  }
  if (msg == WM_NCDESTROY) {
    ::RemovePropW(hwnd, kFont);
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::RemovePropW(hwnd, kOriginalProc);
  }
  return ::CallWindowProcW(original, hwnd, msg, wParam, lParam);
}

void WatchChildren(HWND parent) {
  for (HWND c = ::GetWindow(parent, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    ::SetPropW(c, kFont, reinterpret_cast<HANDLE>(::SendMessageW(c, WM_GETFONT, 0, 0)));
    ::SetPropW(c, kOriginalProc, reinterpret_cast<HANDLE>(::GetWindowLongPtrW(c, GWLP_WNDPROC)));
    ::SetWindowLongPtrW(c, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Watch));
  }
}

template <typename Control>
class Remembered : public Control {
 public:
  ~Remembered() override { g_destroyed.insert(this); }
};

class FormWithControls : public TestForm {
 public:
  FormWithControls() {
    panel.Create(Handle(), Design("panel", {}), {0, 50, 100, 1}, 100, nullptr);
    edit.Create(Handle(), Design("edit", {}), {0, 0, 100, 20}, 101, nullptr);
  }
  Remembered<TPanel> panel;
  Remembered<TEdit> edit;
};

TEST_F(Framework, AFormDestroyedWithItsWindowOpenSendsNothingToDestroyedObjects) {
  g_destroyed.clear();
  g_messagesToDestroyed = 0;
  g_childrenGoneWithoutFont = 0;
  HWND window, panel, edit;
  {
    FormWithControls form;
    window = form.Handle(), panel = form.panel.Handle(), edit = form.edit.Handle();
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    WatchChildren(window);
  }
  EXPECT_EQ(g_destroyed.size(), 2u);
  EXPECT_EQ(g_messagesToDestroyed, 0);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_FALSE(::IsWindow(panel));
  EXPECT_FALSE(::IsWindow(edit));
}

// The platform destroys a form's window, and its controls' with it, while
// the objects live on (a parent destroyed by someone else, say).
TEST_F(Framework, EveryLinkEndsWithItsWindowEvenWhenThePlatformDestroysIt) {
  auto form = std::make_unique<FormWithControls>();
  TButton button;
  TCheckBox box;
  TLabel label;
  button.Create(form->Handle(), Design("button", {}), {0, 30, 80, 24}, 102, nullptr);
  box.Create(form->Handle(), Design("box", {}), {0, 60, 80, 20}, 103, nullptr);
  label.Create(form->Handle(), Design("label", {}), {0, 90, 80, 20}, 104, nullptr);
  const std::vector<std::pair<TWindow*, HWND>> linked = {{form.get(), form->Handle()},
                                                          {&form->edit, form->edit.Handle()},
                                                          {&form->panel, form->panel.Handle()},
                                                          {&button, button.Handle()},
                                                          {&box, box.Handle()},
                                                          {&label, label.Handle()}};
  for (const auto& [object, window] : linked) ASSERT_EQ(TWindow::FromHandle(window), object);
  ASSERT_TRUE(::DestroyWindow(form->Handle()));
  for (const auto& [object, window] : linked) {
    EXPECT_FALSE(::IsWindow(window));
    // A handle the platform gives out again is not ours, and no object still holds one to destroy.
    EXPECT_EQ(TWindow::FromHandle(window), nullptr) << object;
    EXPECT_EQ(object->Handle(), nullptr) << object;
  }
  // The controls still answer as such, and their ends destroy nothing.
  button.SetText(L"gone");
  EXPECT_EQ(button.Text(), L"");
  form.reset();
}

TEST_F(Framework, TheMainWindowsFontOutlivesEveryControl) {
  g_childrenGoneWithoutFont = 0;
  HWND window;
  {
    TForm1 form;
    window = form.Handle();
    WatchChildren(window);
  }
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(g_childrenGoneWithoutFont, 0);
}

// A control that fails half way through its creation.
HWND g_halfMade = nullptr;
class FailsAfterItsWindow : public TCustomControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override {
    CreateCustom(parent, L"TFailsAfterItsWindow", design, bounds, id, font);
    g_halfMade = Handle();
    throw EOutOfResources(L"Out of system resources");
  }

 protected:
  void Paint(HDC, const RECT&) override {}
};

HWND g_formMade = nullptr, g_editMade = nullptr;
class FormThatFailsToBuild : public TestForm {
 public:
  FormThatFailsToBuild() {
    g_formMade = Handle();
    edit.Create(Handle(), Design("edit", {}), {0, 0, 100, 20}, 100, nullptr);
    g_editMade = edit.Handle();
    failing.Create(Handle(), Design("failing", {}), {0, 30, 100, 20}, 101, nullptr);
  }
  TEdit edit;
  FailsAfterItsWindow failing;
};

TEST_F(Framework, AControlThatFailsHalfWayLeavesNothingBehind) {
  EXPECT_THROW(FormThatFailsToBuild form, EOutOfResources);
  ASSERT_NE(g_halfMade, nullptr);
  EXPECT_FALSE(::IsWindow(g_halfMade));
  EXPECT_FALSE(::IsWindow(g_editMade));
  EXPECT_FALSE(::IsWindow(g_formMade));
  EXPECT_EQ(::FindWindowW(L"TTestForm", nullptr), nullptr);
}

// A tree view that counts the selection changes it reports.
class CountingTree : public TControl {
 public:
  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override {
    CreateHandle({parent, WC_TREEVIEWW, L"", WS_TABSTOP, 0, bounds, id, font}, design.name);
  }
  LRESULT ReflectedNotify(const NMHDR& header) override {
    if (header.code == TVN_SELCHANGEDW || header.code == TVN_SELCHANGEDA) ++selectionChanges;
    return 0;
  }
  HTREEITEM Add(const wchar_t* text) {
    TVINSERTSTRUCTW item{};
    item.hInsertAfter = TVI_LAST;
    item.item.mask = TVIF_TEXT;
    item.item.pszText = const_cast<wchar_t*>(text);
    return reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  }
  int selectionChanges = 0;
};

TEST_F(Framework, CommandsAndNotificationsReachTheirControlsObject) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TREEVIEW_CLASSES};
  ::InitCommonControlsEx(&classes);
  TestForm form;
  TButton button;
  CountingTree tree;
  button.Create(form.Handle(), {"button", {}, L"Press", 0}, {0, 0, 80, 24}, 100, nullptr);
  tree.Create(form.Handle(), Design("tree", {}), {0, 30, 120, 80}, 101, nullptr);
  int clicks = 0;
  button.OnClick = [&] { ++clicks; };

  ::SendMessageW(button.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);

  const HTREEITEM second = (tree.Add(L"one"), tree.Add(L"two"));
  ::SendMessageW(tree.Handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(second));
  EXPECT_EQ(tree.selectionChanges, 1);

  // A child that is not ours, whose user data holds what another program put there.
  const UniqueWindow foreign(::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_PUSHBUTTON, 0, 0, 10, 10,
                                               form.Handle(), nullptr, nullptr, nullptr));
  ::SetWindowLongPtrW(foreign.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&clicks));
  ::SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(foreign.get()));
  NMHDR header{foreign.get(), 0, TVN_SELCHANGEDW};
  ::SendMessageW(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(tree.selectionChanges, 1);
}

TEST_F(Framework, AModalLoopKeepsServingTheMainWindowsHotKey) {
  TestForm main;
  TestForm modal(main.Handle());
  ::ShowWindow(main.Handle(), SW_SHOWNOACTIVATE);
  ::ShowWindow(modal.Handle(), SW_SHOWNOACTIVATE);
  int hotKeys = 0;
  bool mainEnabledMeanwhile = true, done = false;
  main.OnMessage = [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg != WM_HOTKEY) return std::nullopt;
    ++hotKeys;
    mainEnabledMeanwhile = ::IsWindowEnabled(main.Handle());
    return 0;
  };
  modal.OnMessage = [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg != kDone) return std::nullopt;
    done = true;
    return 0;
  };
  ::PostMessageW(main.Handle(), WM_HOTKEY, 0x41, 0);
  ::PostMessageW(modal.Handle(), kDone, 0, 0);
  application_.RunModalLoop(modal.Handle(), done);
  EXPECT_EQ(hotKeys, 1);
  EXPECT_FALSE(mainEnabledMeanwhile);
  EXPECT_TRUE(::IsWindowEnabled(main.Handle()));
}


// A dialog box of the platform's kind, made without its own loop, with one
// button; closed when a button is pressed or it is asked to close.
INT_PTR CALLBACK BoxProc(HWND box, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_COMMAND || msg == WM_CLOSE) {
    ::DestroyWindow(box);
    return TRUE;
  }
  return FALSE;
}

HWND BoxOwnedBy(HWND owner, WORD button, bool showsProgress = false) {
  // The template in memory: the box, then its one item aligned to four bytes.
  std::vector<WORD> t;
  auto dword = [&](DWORD v) { t.push_back(LOWORD(v)), t.push_back(HIWORD(v)); };
  dword(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME);
  dword(0);
  t.insert(t.end(), {1, 10, 10, 120, 60, 0, 0});  // one item, place, size; no menu, the dialog class
  for (const wchar_t c : std::wstring(L"Question")) t.push_back(c);
  t.push_back(0);
  if (t.size() % 2) t.push_back(0);
  dword(WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON);
  dword(0);
  t.insert(t.end(), {10, 30, 50, 14, button, 0xFFFF, 0x0080});  // a button
  for (const wchar_t c : std::wstring(L"Answer")) t.push_back(c);
  t.insert(t.end(), {0, 0});
  const HWND box = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                                reinterpret_cast<const DLGTEMPLATE*>(t.data()), owner, &BoxProc, 0);
  if (box && showsProgress)
    ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 5, 100, 10, box, nullptr, nullptr, nullptr);
  return box;
}

void Drain() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

bool QuitWaits() {
  MSG msg;
  return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

constexpr UINT kEnd = WM_APP + 3;
constexpr UINT kLook = WM_APP + 4;

// The end of the program comes while a command of the shell runs for a
// control of `picker`, and while an error box of ours is open over it.
TEST_F(Framework, AnEndDuringAShellCommandAnswersOnlyTheBoxesTheCommandShowed) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&classes);
  TestForm picker, other;
  TEdit commandWindow;
  commandWindow.Create(picker.Handle(), Design("tree", {}), {0, 0, 100, 20}, 100, nullptr);
  ::ShowWindow(picker.Handle(), SW_SHOWNOACTIVATE);
  ::ShowWindow(other.Handle(), SW_SHOWNOACTIVATE);
  const HWND before = BoxOwnedBy(picker.Handle(), IDCANCEL);  // there before the command began
  HWND asks = nullptr, elsewhere = nullptr, progress = nullptr, ours = nullptr;
  bool oursOpenAfterTheAnswers = false;
  {
    const TApplication::ForeignCommandScope command(commandWindow.Handle());
    asks = BoxOwnedBy(picker.Handle(), IDNO);
    elsewhere = BoxOwnedBy(other.Handle(), IDCANCEL);
    progress = BoxOwnedBy(picker.Handle(), IDCANCEL, true);
    ASSERT_TRUE(before && asks && elsewhere && progress);
    picker.OnMessage = [&](UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
      if (msg == WM_TIMER && wParam == kEnd) {
        // A box shows once its loop is first idle, as timer messages come.
        ours = ::FindWindowW(L"#32770", L"Framework");  // the error box of ours
        if (!ours || !::IsWindowVisible(ours)) return 0;
        ::KillTimer(picker.Handle(), kEnd);
        application_.Terminate();
        ::PostMessageW(picker.Handle(), kLook, 0, 0);  // after the answers it posted
      } else if (msg == kLook) {
        // A few of the end's passes over the boxes later.
        ::SetTimer(picker.Handle(), kLook, 350, nullptr);
      } else if (msg == WM_TIMER && wParam == kLook) {
        ::KillTimer(picker.Handle(), kLook);
        oursOpenAfterTheAnswers = ::IsWindow(ours) && ::IsWindowVisible(ours);
        ::PostMessageW(ours, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      } else {
        return std::nullopt;
      }
      return 0;
    };
    ::SetTimer(picker.Handle(), kEnd, 20, nullptr);
    application_.ShowErrorBox(picker.Handle(), L"Ours", L"Framework");
    EXPECT_TRUE(oursOpenAfterTheAnswers) << "an error box of ours was answered as the command's";
    EXPECT_NE(ours, picker.Handle());
    // Once the box of ours is closed the command's box is answered, and no other.
    const ULONGLONG deadline = ::GetTickCount64() + 5000;
    while (::IsWindow(asks) && ::GetTickCount64() < deadline) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      Drain();
    }
    Drain();
    EXPECT_FALSE(::IsWindow(asks));
    EXPECT_TRUE(::IsWindow(before)) << "a box there before the command was answered";
    EXPECT_TRUE(::IsWindow(elsewhere)) << "a box another window owns was answered";
    EXPECT_TRUE(::IsWindow(progress)) << "a box that shows progress was cancelled";
    EXPECT_FALSE(QuitWaits());  // the end waits for the command
  }
  EXPECT_TRUE(QuitWaits());
  for (const HWND box : {before, elsewhere, progress}) ::DestroyWindow(box);
}

}  // namespace
}  // namespace snapvik
