#pragma once
// What the tree's platform tests share: a window holding one tree, the
// fixture that checks nothing is left behind, folders made and renamed.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/form.h"
#include "picker/shell_folder.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"
#include "test_support.h"

namespace snapvik::tree_test {

using testing::TestFolder;

inline constexpr UINT kDone = WM_APP + 7;

// A window that holds one tree, as the picker does.
class TreeHost : public TForm {
 public:
  explicit TreeHost(TacShellObjectTypes types = ObjectTypesOf({otFolders, otHidden})) {
    CreateForm({L"TTreeHost", L"Tree", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 400, nullptr});
    tree.ShowRoot = false;
    tree.Indent = 19;
    tree.ObjectTypes = types;
    tree.BoundLabel = {true, L"Choose a folder", 4, sclTopLeft, 0};
    tree.Create(Handle(), {"sShellTreeView1", {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    tree.OnChange = [this](HTREEITEM) { ++changes; };
  }
  TsShellTreeView tree;
  int changes = 0;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == kDone) done = true;
    return TForm::HandleMessage(msg, wParam, lParam);
  }

 public:
  bool done = false;
};

class ShellTree : public ::testing::Test {
 protected:
  void SetUp() override {
    application_.Initialize(L"Tree");
    module_.emplace();
    liveItems_ = TacShellFolder::LiveCount();
    liveLists_ = ShellIds().Live();
  }
  void TearDown() override {
    module_.reset();
    // Every item a node owned, and every identifier list, given back.
    EXPECT_EQ(TacShellFolder::LiveCount(), liveItems_ - 1);  // the desktop item went with the module
    EXPECT_EQ(ShellIds().Live(), liveLists_ - 2);            // and its two lists
  }
  // Runs the queued messages (a rename's refresh comes through the queue).
  static void Drain() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  static HTREEITEM Child(const TsTreeView& tree, HTREEITEM parent, const std::wstring& text) {
    for (HTREEITEM c = tree.FirstChild(parent); c; c = tree.NextSibling(c))
      if (tree.TextOf(c) == text) return c;
    return nullptr;
  }
  static std::wstring Folder(const TestFolder& folder) {
    std::wstring path = folder.Path();
    path.pop_back();
    return path;
  }

  TApplication application_;
  std::optional<ShellModule> module_;
  long liveItems_ = 0, liveLists_ = 0;
};

inline void MakeDir(const std::wstring& path) { ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr)) << path.c_str(); }

inline std::vector<std::wstring> ChildTexts(const TsTreeView& tree, HTREEITEM node) {
  std::vector<std::wstring> texts;
  for (HTREEITEM c = tree.FirstChild(node); c; c = tree.NextSibling(c)) texts.push_back(tree.TextOf(c));
  return texts;
}

// Another letter case of a folder's name, by way of a name in between.
inline void RenameCase(const std::wstring& from, const std::wstring& to) {
  const std::wstring between = to + L".~case";
  ASSERT_TRUE(::MoveFileW(from.c_str(), between.c_str()));
  ASSERT_TRUE(::MoveFileW(between.c_str(), to.c_str()));
}

}  // namespace snapvik::tree_test
