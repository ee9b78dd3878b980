// The tree's look-ahead of icons on a file system that answers slowly.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "common/handles.h"
#include "framework/application.h"
#include "framework/form.h"
#include "picker/icon_look_ahead.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::TestFolder;

// Stands in a share that takes long to give an icon: the look-up says it is
// there, then is held until the test lets it go.
HANDLE g_lookUpEntered = nullptr;
HANDLE g_lookUpMayGo = nullptr;
void HeldLookUp() {
  ::SetEvent(g_lookUpEntered);
  ::WaitForSingleObject(g_lookUpMayGo, 10000);
}

// Serves this thread's messages until `object` is signalled or the time is up.
bool ServeUntil(HANDLE object, DWORD milliseconds) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD woken = ::MsgWaitForMultipleObjects(1, &object, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) return true;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

class TreeWindow : public TForm {
 public:
  TreeWindow() {
    CreateForm({L"TLookAheadHost", L"Tree", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 400, nullptr});
    tree.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
    tree.Create(Handle(), {"sShellTreeView1", {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
  }
  TsShellTreeView tree;
};

class LookAhead : public ::testing::Test {
 protected:
  void SetUp() override {
    application_.Initialize(L"LookAhead");
    module_.emplace();
  }
  void TearDown() override { module_.reset(); }
  TApplication application_;
  std::optional<ShellModule> module_;
};

TEST_F(LookAhead, ClosingTheTreeNeverWaitsForALookUpAndTheThreadEndsOnItsOwn) {
  TestFolder folder;
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(::CreateDirectoryW((folder / (L"sub" + std::to_wstring(100 + i))).c_str(), nullptr));
  std::wstring root = folder.Path();
  root.pop_back();
  const UniqueKernelHandle entered(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  const UniqueKernelHandle mayGo(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_lookUpEntered = entered.get();
  g_lookUpMayGo = mayGo.get();
  struct Unhook {
    ~Unhook() {
      ::SetEvent(g_lookUpMayGo);
      IconLookAhead::BeforeEachLookUp = nullptr;
    }
  } unhook;
  const long before = IconLookAhead::Threads();
  auto window = std::make_unique<TreeWindow>();
  ::ShowWindow(window->Handle(), SW_SHOWNOACTIVATE);
  window->tree.SetRoot(root);
  window->tree.Loaded();
  IconLookAhead::BeforeEachLookUp = &HeldLookUp;
  ::UpdateWindow(window->tree.Handle());
  // Left idle, the tree's thread looks up the rows below the view, and is held inside the first.
  ASSERT_TRUE(ServeUntil(entered.get(), 10000)) << "no look-up ahead";
  EXPECT_EQ(IconLookAhead::Threads(), before + 1);
  // The tree goes as in a close (timed alone: Wine takes long to hide a top-level window without a window manager).
  const ULONGLONG started = ::GetTickCount64();
  ::DestroyWindow(window->tree.Handle());
  // The 200 ms a close may take to hand over; it waits for nothing here.
  EXPECT_LE(::GetTickCount64() - started, 200u) << "the close waited for the look-up";
  EXPECT_EQ(window->tree.Handle(), nullptr);
  window.reset();
  EXPECT_EQ(IconLookAhead::Threads(), before + 1);  // still inside the file system
  ::SetEvent(mayGo.get());
  const ULONGLONG deadline = ::GetTickCount64() + 10000;
  while (IconLookAhead::Threads() > before && ::GetTickCount64() < deadline) ::Sleep(5);
  EXPECT_EQ(IconLookAhead::Threads(), before) << "the thread let go did not end";
}

}  // namespace
}  // namespace snapvik
