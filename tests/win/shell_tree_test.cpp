// Namespace items and the shell folder tree against real folders.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/paths.h"
#include "framework/application.h"
#include "framework/form.h"
#include "picker/shell_folder.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"
#include "shell_tree_support.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::BoxCloser;
using testing::TestFolder;
using testing::WriteBytes;
using namespace tree_test;

TEST_F(ShellTree, TheDesktopItemIsTheEmptyList) {
  ASSERT_NE(DesktopFolder, nullptr);
  EXPECT_EQ(IDSize(DesktopFolder->AbsoluteID()), 2u);
  EXPECT_EQ(IDSize(DesktopFolder->RelativeID()), 2u);
  EXPECT_EQ(DesktopFolder->Parent(), nullptr);
  EXPECT_EQ(DesktopFolder->Level(), 0);
}

TEST_F(ShellTree, AVirtualFolderIsNamedPlainlyNeverByItsClassIdentifier) {
  PIDLIST_ABSOLUTE raw = nullptr;
  ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &raw), S_OK);
  const UniqueAbsoluteID id = Adopt(raw);
  const auto computer = FolderFromAbsoluteID(id.get());
  const std::wstring path = computer->PathName();
  EXPECT_FALSE(path.empty());
  EXPECT_NE(path.substr(0, 3), L"::{") << path.c_str();
  EXPECT_EQ(path, computer->DisplayName(seSystem));
  EXPECT_EQ(ShellDisplayName(nullptr, id.get(), 0, seSystem), L"parentfolder = nil");
}

TEST_F(ShellTree, ANameTheShellGivesAsEightBitTextIsRead) {
  STRRET name{};
  name.uType = STRRET_CSTR;
  ::lstrcpyA(name.cStr, "?1 Plain name");
  EXPECT_EQ(StrRetText(DesktopFolder->RelativeID(), name), L"1 Plain name");
}

TEST_F(ShellTree, APathRootShowsItsNameReadsBackWithASeparatorAndLoadsSorted) {
  TestFolder folder;
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma"}) MakeDir(folder / name);
  WriteBytes(folder / L"file.txt", "x");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  const HTREEITEM root = host.tree.FirstNode();
  ASSERT_NE(root, nullptr);
  const std::wstring name = Folder(folder).substr(Folder(folder).rfind(L'\\') + 1);
  EXPECT_EQ(host.tree.TextOf(root), name);
  EXPECT_EQ(host.tree.Root(), folder.Path());
  EXPECT_TRUE(host.tree.Expanded(root));
  EXPECT_EQ(host.tree.Selected(), root);
  std::vector<std::wstring> children;
  for (HTREEITEM c = host.tree.FirstChild(root); c; c = host.tree.NextSibling(c)) children.push_back(host.tree.TextOf(c));
  EXPECT_EQ(children, (std::vector<std::wstring>{L"Alpha", L"beta", L"gamma"}));  // the shell's order, no file
  EXPECT_EQ(host.tree.Path(), Folder(folder));
  EXPECT_EQ(host.tree.FolderAt(2)->PathName(), folder / L"beta");
  // The caption label sits above the tree.
  RECT label;
  ::GetWindowRect(host.tree.LabelHandle(), &label);
  ::MapWindowPoints(nullptr, host.Handle(), reinterpret_cast<POINT*>(&label), 2);
  EXPECT_EQ(label.left, 8);
  EXPECT_EQ(label.top, 20 - (label.bottom - label.top) - 4);
}

TEST_F(ShellTree, DrivesAsRootAndTheSameRootInAnotherCase) {
  TreeHost host;
  host.tree.Loaded();  // the desktop
  const HTREEITEM desktop = host.tree.FirstNode();
  EXPECT_EQ(host.tree.Root(), L"rfDesktop");
  host.tree.SetRoot(L"RFDESKTOP");
  EXPECT_EQ(host.tree.Root(), L"rfDesktop");
  EXPECT_EQ(host.tree.FirstNode(), desktop);  // not rebuilt

  host.tree.SetRoot(L"C:");
  EXPECT_EQ(host.tree.Root(), L"C:\\");
  EXPECT_EQ(host.tree.TextOf(host.tree.FirstNode()), L"C:");
  host.tree.SetRoot(L"rfDesktop");
  host.tree.SetRoot(L"C");
  EXPECT_EQ(host.tree.Root(), L"C:\\");
  EXPECT_EQ(host.tree.TextOf(host.tree.FirstNode()), L"C:");
}

TEST_F(ShellTree, AnUnresolvableRootIsReportedAndTheOldOneKept) {
  TestFolder folder;
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  BoxCloser closer(::GetCurrentThreadId(), host.Handle(), kDone);
  host.tree.SetRoot(folder / L"missing");
  const auto boxes = closer.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, L"Error");
  EXPECT_EQ(boxes[0].text, L"Error Setting Path : " + folder.Path() + L"missing\\");
  EXPECT_EQ(host.tree.Root(), folder.Path());
  EXPECT_EQ(host.tree.Path(), Folder(folder));
}

TEST_F(ShellTree, WritingPathSelectsThroughHiddenFoldersAndNotFiles) {
  TestFolder folder;
  MakeDir(folder / L"hidden");
  ::SetFileAttributesW((folder / L"hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  MakeDir(folder / L"hidden\\inner");
  WriteBytes(folder / L"file.txt", "x");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();

  const int before = host.changes;
  host.tree.SetPath(Folder(folder));  // already selected: nothing happens
  EXPECT_EQ(host.changes, before);

  host.tree.SetPath(folder / L"hidden\\inner");
  EXPECT_EQ(host.tree.Path(), folder / L"hidden\\inner");
  EXPECT_TRUE(host.tree.Expanded(Child(host.tree, host.tree.FirstNode(), L"hidden")));

  host.tree.SetPath(folder / L"file.txt");
  EXPECT_EQ(host.tree.Selected(), nullptr);
  EXPECT_EQ(host.tree.Path(), L"");

  try {
    host.tree.SetPath(L"Q:\\no\\such\\drive");
    FAIL() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), L"Error Setting Path");
  }
}

TEST_F(ShellTree, RefreshKeepsUnchangedNodesExpansionSelectionAndTopAndShowsNewFoldersInOrder) {
  TestFolder folder;
  for (const wchar_t* name : {L"a", L"a\\deep", L"a\\deep\\deeper", L"c"}) MakeDir(folder / name);
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.SetPath(folder / L"a\\deep\\deeper");
  const HTREEITEM root = host.tree.FirstNode();
  TacShellFolder* before = host.tree.SelectedFolder();
  const HTREEITEM nodeC = Child(host.tree, root, L"c");
  MakeDir(folder / L"b");

  host.tree.Refresh(root);
  const HTREEITEM renewed = host.tree.FirstNode();
  std::vector<std::wstring> children;
  for (HTREEITEM c = host.tree.FirstChild(renewed); c; c = host.tree.NextSibling(c)) children.push_back(host.tree.TextOf(c));
  EXPECT_EQ(children, (std::vector<std::wstring>{L"a", L"b", L"c"}));
  const HTREEITEM a = Child(host.tree, renewed, L"a");
  EXPECT_TRUE(host.tree.Expanded(a));
  EXPECT_TRUE(host.tree.Expanded(Child(host.tree, a, L"deep")));
  EXPECT_EQ(host.tree.Path(), folder / L"a\\deep\\deeper");
  // What did not change keeps its node and item: a big folder is not rebuilt.
  EXPECT_EQ(host.tree.SelectedFolder(), before);
  EXPECT_EQ(Child(host.tree, renewed, L"c"), nodeC);
  EXPECT_EQ(host.tree.TopItem(), renewed);

  // A selected folder deleted on disk leaves nothing selected.
  ::RemoveDirectoryW((folder / L"a\\deep\\deeper").c_str());
  host.tree.Refresh(host.tree.FirstNode());
  EXPECT_EQ(host.tree.Selected(), nullptr);
}

TEST_F(ShellTree, AChildRefusedWhileAFolderIsReadAgainLeavesTheRestOfTheReadingWhole) {
  TestFolder folder;
  for (const wchar_t* name : {L"a", L"b", L"x"}) MakeDir(folder / name);
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.OnAddFolder = [](TacCustomShellTreeView*, TacShellFolder* item, bool& canAdd) {
    canAdd = item->DisplayName(seSystem) != L"refused";
  };
  ASSERT_TRUE(::RemoveDirectoryW((folder / L"x").c_str()));
  RenameCase(folder / L"b", folder / L"B");
  MakeDir(folder / L"refused");
  host.tree.Refresh(host.tree.FirstNode());
  EXPECT_EQ(ChildTexts(host.tree, host.tree.FirstNode()), (std::vector<std::wstring>{L"a", L"B"}));
}

TEST_F(ShellTree, AFolderRenamedInTheTreeMovesToItsPlaceInTheShellsOrder) {
  TestFolder folder;
  for (const wchar_t* name : {L"a", L"a\\inner", L"m", L"z"}) MakeDir(folder / name);
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.SetPath(folder / L"a");
  const HWND editor = host.tree.EditText(host.tree.Selected());
  ASSERT_NE(editor, nullptr);
  ::SetWindowTextW(editor, L"q");
  host.tree.EndEdit(false);
  Drain();
  const std::vector<std::wstring> inOrder = {L"m", L"q", L"z"};
  EXPECT_EQ(ChildTexts(host.tree, host.tree.FirstNode()), inOrder);
  EXPECT_EQ(host.tree.Path(), folder / L"q");
  host.tree.Refresh(host.tree.FirstNode());
  EXPECT_EQ(ChildTexts(host.tree, host.tree.FirstNode()), inOrder);
  EXPECT_EQ(host.tree.Path(), folder / L"q");
  host.tree.Expand(host.tree.Selected());
  EXPECT_EQ(ChildTexts(host.tree, host.tree.Selected()), std::vector<std::wstring>{L"inner"});
}

TEST_F(ShellTree, ARenamedFolderIsReadUnderItsNewName) {
  TestFolder folder;
  MakeDir(folder / L"old");
  MakeDir(folder / L"old\\inner");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  TacShellFolder* item = host.tree.FolderOf(host.tree.FirstChild(host.tree.FirstNode()));
  ASSERT_NE(item->ShellFolder(), nullptr);  // bound under the old name
  ASSERT_TRUE(item->Rename(L"new"));
  ASSERT_NE(item->ShellFolder(), nullptr);
  EXPECT_TRUE(FolderHasItems(item->ShellFolder(), SHCONTF_FOLDERS));
}

TEST_F(ShellTree, RenamingInPlaceRenamesOnDiskAndAClashIsReported) {
  TestFolder folder;
  MakeDir(folder / L"New folder1");
  MakeDir(folder / L"taken");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.SetPath(folder / L"New folder1");

  // Escape changes nothing.
  HWND editor = host.tree.EditText(host.tree.Selected());
  ASSERT_NE(editor, nullptr);
  ::SetWindowTextW(editor, L"ignored");
  host.tree.EndEdit(true);
  Drain();
  EXPECT_TRUE(testing::Exists(folder / L"New folder1"));

  // A name a sibling holds: the message, and the folder keeps its name.
  editor = host.tree.EditText(host.tree.Selected());
  ::SetWindowTextW(editor, L"taken");
  {
    BoxCloser closer(::GetCurrentThreadId(), host.Handle(), kDone);
    host.tree.EndEdit(false);
    const auto boxes = closer.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Rename to taken failed.");
  }
  Drain();
  EXPECT_TRUE(testing::Exists(folder / L"New folder1"));
  EXPECT_EQ(host.tree.TextOf(host.tree.Selected()), L"New folder1");

  editor = host.tree.EditText(host.tree.Selected());
  ::SetWindowTextW(editor, L"Renamed");
  host.tree.EndEdit(false);
  Drain();
  EXPECT_TRUE(testing::Exists(folder / L"Renamed"));
  EXPECT_FALSE(testing::Exists(folder / L"New folder1"));
  EXPECT_EQ(host.tree.Path(), folder / L"Renamed");
  EXPECT_EQ(host.tree.TextOf(host.tree.Selected()), L"Renamed");
  EXPECT_TRUE(SameID(host.tree.SelectedFolder()->AbsoluteID(), FolderFromAbsoluteID(host.tree.SelectedFolder()->AbsoluteID())->AbsoluteID()));
}

TEST_F(ShellTree, F2OpensTheSelectedFoldersNameForEditing) {
  TestFolder folder;
  MakeDir(folder / L"named");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.SetPath(folder / L"named");
  ::SendMessageW(host.tree.Handle(), WM_KEYDOWN, VK_F2, 0);
  const HWND editor = TreeView_GetEditControl(host.tree.Handle());
  ASSERT_NE(editor, nullptr);
  wchar_t text[32] = {};
  ::GetWindowTextW(editor, text, 32);
  EXPECT_STREQ(text, L"named");
  host.tree.EndEdit(true);
  Drain();
  EXPECT_TRUE(testing::Exists(folder / L"named"));
}

TEST_F(ShellTree, AnEmptyFolderLosesItsButtonAndChildrenLoadOnce) {
  TestFolder folder;
  MakeDir(folder / L"empty");
  MakeDir(folder / L"full");
  MakeDir(folder / L"full\\one");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  const HTREEITEM root = host.tree.FirstNode();
  const HTREEITEM empty = Child(host.tree, root, L"empty");
  const HTREEITEM full = Child(host.tree, root, L"full");
  TreeView_Expand(host.tree.Handle(), empty, TVE_EXPAND);
  TVITEMW query{};
  query.mask = TVIF_CHILDREN | TVIF_HANDLE;
  query.hItem = empty;
  TreeView_GetItem(host.tree.Handle(), &query);
  EXPECT_EQ(query.cChildren, 0);

  TreeView_Expand(host.tree.Handle(), full, TVE_EXPAND);
  const HTREEITEM one = host.tree.FirstChild(full);
  TacShellFolder* item = host.tree.FolderOf(one);
  MakeDir(folder / L"full\\two");
  TreeView_Expand(host.tree.Handle(), full, TVE_COLLAPSE);
  TreeView_Expand(host.tree.Handle(), full, TVE_EXPAND);
  EXPECT_EQ(host.tree.FirstChild(full), one);
  EXPECT_EQ(host.tree.FolderOf(one), item);
  EXPECT_EQ(host.tree.ChildCount(full), 1);  // not read again
}

// The node's images as the control reports them.
TVITEMW Images(const TsTreeView& tree, HTREEITEM node) {
  TVITEMW item{};
  item.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  item.hItem = node;
  TreeView_GetItem(tree.Handle(), &item);
  return item;
}

TEST_F(ShellTree, ANodesIconsAreTheSystemsOwnLookedUpWhenTheNodeIsDrawn) {
  TestFolder folder;
  constexpr int kChildren = 60;  // three screens
  for (int i = 0; i < kChildren; ++i) MakeDir(folder / (L"sub" + std::to_wstring(100 + i)));
  TreeHost host;
  ::ShowWindow(host.Handle(), SW_SHOWNOACTIVATE);
  const HWND tree = host.tree.Handle();
  host.tree.SetRoot(Folder(folder));
  const long long before = TacShellFolder::IconLookups();
  host.tree.Loaded();  // the root expanded and selected
  ::UpdateWindow(tree);
  const HTREEITEM root = host.tree.FirstNode();
  ASSERT_EQ(host.tree.ChildCount(root), kChildren);
  // Only the drawn nodes: the normal icon of each row on the screen (the last
  // one perhaps partly), and the open form of the selected root.
  const long long firstScreen = TacShellFolder::IconLookups() - before;
  const auto rows = static_cast<long long>(TreeView_GetVisibleCount(tree));
  EXPECT_GE(firstScreen, rows);
  EXPECT_LE(firstScreen, rows + 2);

  auto expectSystemIcons = [&](HTREEITEM node, bool selected) {
    const TacShellFolder* item = host.tree.FolderOf(node);
    const TVITEMW images = Images(host.tree, node);
    EXPECT_EQ(images.iImage, ShellIconIndex(item->AbsoluteID(), false, false));
    if (selected) {
      const int open = ShellIconIndex(item->AbsoluteID(), false, true);
      EXPECT_EQ(images.iSelectedImage, open ? open : images.iImage);
    }
  };
  expectSystemIcons(root, true);
  expectSystemIcons(host.tree.FirstChild(root), false);

  // The last node, off the screen so far, gets its icon as it scrolls into view, and keeps it.
  HTREEITEM last = host.tree.FirstChild(root);
  while (host.tree.NextSibling(last)) last = host.tree.NextSibling(last);
  const long long beforeScroll = TacShellFolder::IconLookups();
  TreeView_EnsureVisible(tree, last);
  ::UpdateWindow(tree);
  const long long scrolled = TacShellFolder::IconLookups();
  EXPECT_GE(scrolled - beforeScroll, rows - 1);  // a screen of new nodes
  EXPECT_LE(scrolled - beforeScroll, rows + 1);
  expectSystemIcons(last, false);
  EXPECT_EQ(TacShellFolder::IconLookups(), scrolled);  // answered from the node's item

  // Selected and drawn: its open form.
  host.tree.Select(last);
  ::UpdateWindow(tree);
  expectSystemIcons(last, true);

  // Renamed, its item's icon is looked up again when it is drawn next.
  ASSERT_TRUE(host.tree.FolderOf(last)->Rename(L"renamed"));
  const long long beforeRename = TacShellFolder::IconLookups();
  ::InvalidateRect(tree, nullptr, TRUE);
  ::UpdateWindow(tree);
  EXPECT_GE(TacShellFolder::IconLookups() - beforeRename, 2);
  expectSystemIcons(last, true);

  // Left idle, the tree looks up the page beyond its view, so that the page
  // scrolled in next is drawn with no look-up, and with the system's icons.
  TreeView_SelectSetFirstVisible(tree, root);
  ::UpdateWindow(tree);
  for (int turns = 0; host.tree.LookingAhead() && turns < 10000; ++turns) Application().ProcessMessage();
  ASSERT_FALSE(host.tree.LookingAhead());
  const long long idle = TacShellFolder::IconLookups();
  ::SendMessageW(tree, WM_VSCROLL, SB_PAGEDOWN, 0);
  ::UpdateWindow(tree);
  EXPECT_EQ(TacShellFolder::IconLookups(), idle);
  expectSystemIcons(TreeView_GetFirstVisible(tree), false);
}

TEST_F(ShellTree, RenamingAnItemTwoLevelsDownKeepsItsIdentifierTrue) {
  TestFolder folder;
  MakeDir(folder / L"x");
  MakeDir(folder / L"x\\old");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.SetPath(folder / L"x\\old");
  TacShellFolder* item = host.tree.SelectedFolder();
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->Capabilities().Has(fcCanRename));
  ASSERT_TRUE(item->Rename(L"new"));
  PIDLIST_RELATIVE parsed = nullptr;
  std::wstring path = folder / L"x\\new";
  ASSERT_EQ(DesktopShellFolder()->ParseDisplayName(nullptr, nullptr, path.data(), nullptr, &parsed, nullptr), S_OK);
  const UniqueAbsoluteID expected = Adopt(reinterpret_cast<PIDLIST_ABSOLUTE>(parsed));
  EXPECT_TRUE(SameID(item->AbsoluteID(), expected.get()));
  EXPECT_EQ(item->PathName(), path);
}

TEST_F(ShellTree, ARefreshThatArrivesWhileChildrenLoadWaitsUntilTheyAreIn) {
  TestFolder folder;
  for (const wchar_t* name : {L"outer", L"outer\\one", L"outer\\two", L"outer\\three"}) MakeDir(folder / name);
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  // A message loop in the middle of the loading, as a window of the shell's
  // own would run, with a refresh of the root (the loading node's parent) posted.
  int added = 0;
  host.tree.OnAddFolder = [&](TacCustomShellTreeView*, TacShellFolder*, bool&) {
    if (added++ != 0) return;
    // Made after the loading's enumeration: only the refresh can show it.
    MakeDir(folder / L"outer\\four");
    ::PostMessageW(host.tree.Handle(), WM_USER + 1, 0, 0);
    Drain();
  };
  BoxCloser closer(::GetCurrentThreadId(), host.Handle(), kDone, 1, 3000);
  host.tree.Expand(Child(host.tree, host.tree.FirstNode(), L"outer"));
  Drain();
  EXPECT_TRUE(closer.Boxes().empty()) << "an error was shown";
  const HTREEITEM outer = Child(host.tree, host.tree.FirstNode(), L"outer");
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(ChildTexts(host.tree, host.tree.FirstNode()), std::vector<std::wstring>{L"outer"});
  EXPECT_TRUE(host.tree.Expanded(outer));
  EXPECT_EQ(ChildTexts(host.tree, outer), (std::vector<std::wstring>{L"four", L"one", L"three", L"two"}))
      << "the refresh waited, then read the folders again";
}

// Tells of the selection moving when the selected node is deleted, to the
// node Windows' control moves it to (Wine's stays silent): the next sibling,
// else the parent, else the previous sibling.
class SelectionTellingHost : public TreeHost {
 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_NOTIFY) {
      const auto& deleted = *reinterpret_cast<const NMTREEVIEWW*>(lParam);
      const HWND control = deleted.hdr.hwndFrom;
      if (deleted.hdr.code == TVN_DELETEITEMW && deleted.itemOld.hItem == TreeView_GetSelection(control)) {
        NMTREEVIEWW moved{};
        moved.hdr = deleted.hdr;
        moved.action = TVC_UNKNOWN;
        moved.itemOld = deleted.itemOld;
        const HTREEITEM gone = deleted.itemOld.hItem;
        HTREEITEM next = TreeView_GetNextSibling(control, gone);
        if (!next) next = TreeView_GetParent(control, gone);
        if (!next) next = TreeView_GetPrevSibling(control, gone);
        moved.itemNew.mask = TVIF_HANDLE | TVIF_PARAM;
        moved.itemNew.hItem = next;
        if (next) TreeView_GetItem(control, &moved.itemNew);
        for (UINT code : {TVN_SELCHANGINGW, TVN_SELCHANGEDW}) {
          moved.hdr.code = code;
          TreeHost::HandleMessage(WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(&moved));
        }
      }
    }
    return TreeHost::HandleMessage(msg, wParam, lParam);
  }
};

TEST_F(ShellTree, TheTreeCallsNoHandlerWhileItIsDestroyed) {
  TestFolder folder;
  MakeDir(folder / L"a");
  MakeDir(folder / L"b");
  SelectionTellingHost host;
  auto tree = std::make_unique<TsShellTreeView>();
  tree->ObjectTypes = ObjectTypesOf({otFolders, otHidden});
  tree->Create(host.Handle(), {"other", {}, L"", 0}, {8, 20, 200, 200}, 101,
               static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
  tree->SetRoot(Folder(folder));
  tree->Loaded();
  tree->Select(Child(*tree, tree->FirstNode(), L"b"));
  int calls = 0;
  tree->OnChange = [&](HTREEITEM) { ++calls; };
  tree->OnChanging = [&](HTREEITEM) { return ++calls, true; };
  tree.reset();  // the handlers' owner could be gone by now
  EXPECT_EQ(calls, 0);
}

TEST_F(ShellTree, ARefreshOfTheWatchedFolderKeepsItsWatchWhereverTheControlMovesTheSelection) {
  TestFolder folder;
  for (const wchar_t* name : {L"a", L"b", L"c"}) MakeDir(folder / name);
  SelectionTellingHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.SetAutoRefresh(true);
  host.tree.Select(Child(host.tree, host.tree.FirstNode(), L"b"));
  ASSERT_NE(host.tree.Notifier()->Thread(), nullptr);
  const int handOvers = host.tree.Notifier()->Thread()->OptionHandOvers();
  EXPECT_EQ(host.tree.Notifier()->Root(), folder / L"b");
  host.tree.RefreshSelected();
  EXPECT_EQ(host.tree.Notifier()->Thread()->OptionHandOvers(), handOvers) << "the watch moved away and back";
  EXPECT_EQ(host.tree.Path(), folder / L"b");
  // A selected folder gone from the disk: the watch follows the selection the control chose.
  ASSERT_TRUE(::RemoveDirectoryW((folder / L"b").c_str()));
  host.tree.Refresh(host.tree.FirstNode());
  EXPECT_EQ(host.tree.Notifier()->Root(), host.tree.Path());
  host.tree.SetAutoRefresh(false);
}

TEST_F(ShellTree, ANewRootWhileChildrenLoadWaitsUntilTheyAreIn) {
  TestFolder folder, other;
  for (const wchar_t* name : {L"outer", L"outer\\one", L"outer\\two"}) MakeDir(folder / name);
  MakeDir(other / L"elsewhere");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  // A shell window's message loop in the middle of the loading, where the root changes.
  int added = 0;
  host.tree.OnAddFolder = [&](TacCustomShellTreeView*, TacShellFolder*, bool&) {
    if (added++ == 0) host.tree.SetRoot(Folder(other));
  };
  host.tree.Expand(Child(host.tree, host.tree.FirstNode(), L"outer"));
  EXPECT_EQ(added, 2) << "the loading went on over the nodes it holds";
  host.tree.OnAddFolder = nullptr;
  Drain();
  EXPECT_EQ(ChildTexts(host.tree, host.tree.FirstNode()), std::vector<std::wstring>{L"elsewhere"});
}

TEST_F(ShellTree, AFolderOnTheDesktopIsSelectedThroughItsPathsOwnAncestors) {
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);
  const std::wstring folder = AddPathSeparator(desktop) + L"own-ancestors";
  const std::wstring inner = folder + L"\\inner";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  MakeDir(inner);
  TreeHost host;
  host.tree.Loaded();  // the Desktop
  host.tree.SetPath(inner);
  EXPECT_EQ(host.tree.Path(), inner);
  // Through the computer, the drive and every folder of the path, each one the path's own.
  HTREEITEM node = host.tree.Selected();
  std::vector<std::wstring> up;
  for (node = host.tree.ParentOf(node); node && host.tree.ParentOf(node); node = host.tree.ParentOf(node))
    up.push_back(host.tree.FolderOf(node)->PathName());
  ASSERT_GE(up.size(), 3u);
  EXPECT_EQ(up[0], folder);
  EXPECT_EQ(up[1], std::wstring(desktop));
  EXPECT_FALSE(IsFileSystemPath(up.back())) << "the computer, under the Desktop: " << up.size();
  EXPECT_EQ(up[up.size() - 2].size(), 3u) << "a drive";
  for (size_t i = 1; i + 1 < up.size(); ++i) EXPECT_TRUE(IsInsideFolder(up[i], up[i - 1])) << up[i - 1];
  ::RemoveDirectoryW(inner.c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace snapvik

namespace snapvik {
namespace {

// The shell's context menu, chosen from inside its own loop by a timer.
struct MenuChoice {
  std::wstring wanted;  // an item's text without its "&"
  std::vector<std::wstring> seen;
  bool chosen = false;
  RECT window{};  // where the menu showed, on the screen
  std::function<void()> whileOpen;  // run once the menu shows, before it is chosen from
};
MenuChoice* g_choice = nullptr;

BOOL CALLBACK FindMenuWindow(HWND hwnd, LPARAM out) {
  wchar_t cls[16] = {};
  ::GetClassNameW(hwnd, cls, 16);
  if (std::wstring(cls) != L"#32768" || !::IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(out) = hwnd;
  return FALSE;
}

void CALLBACK ChooseFromMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND window = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindMenuWindow, reinterpret_cast<LPARAM>(&window));
  if (!window || !g_choice || g_choice->chosen) return;
  ::GetWindowRect(window, &g_choice->window);
  if (g_choice->whileOpen) g_choice->whileOpen();
  const auto menu = reinterpret_cast<HMENU>(::SendMessageW(window, 0x01E1 /* MN_GETHMENU */, 0, 0));
  g_choice->seen.clear();
  wchar_t mnemonic = 0;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    std::wstring plain;
    wchar_t key = 0;
    for (const wchar_t* c = text; *c; ++c) {
      if (*c == L'&' && c[1]) key = static_cast<wchar_t>(::towlower(c[1]));
      if (*c != L'&') plain += *c;
    }
    if (!plain.empty()) g_choice->seen.push_back(plain);
    if (plain == g_choice->wanted) mnemonic = key;
  }
  g_choice->chosen = true;
  if (mnemonic)
    ::PostMessageW(window, WM_CHAR, mnemonic, 0);
  else
    ::EndMenu();
}

// A right click on `node`, as the mouse gives it, with `item` chosen from the menu that shows.
MenuChoice RightClickAndChoose(TsTreeView& tree, HTREEITEM node, const std::wstring& item) {
  MenuChoice choice;
  choice.wanted = item;
  g_choice = &choice;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &ChooseFromMenu);
  RECT r{};
  TreeView_GetItemRect(tree.Handle(), node, &r, TRUE);
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  ::PostMessageW(tree.Handle(), WM_RBUTTONUP, 0, at);
  ::SendMessageW(tree.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, at);
  ::KillTimer(nullptr, timer);
  g_choice = nullptr;
  return choice;
}

// The menu the keyboard asks for (Shift+F10, the menu key), with `item` chosen from it.
MenuChoice KeyboardMenuAndChoose(TsTreeView& tree, const std::wstring& item,
                                 std::function<void()> whileOpen = nullptr) {
  MenuChoice choice;
  choice.wanted = item;
  choice.whileOpen = std::move(whileOpen);
  g_choice = &choice;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &ChooseFromMenu);
  // The position as the platform sends it: the two 16-bit halves both -1.
  ::SendMessageW(tree.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree.Handle()), MAKELPARAM(0xFFFF, 0xFFFF));
  ::KillTimer(nullptr, timer);
  g_choice = nullptr;
  return choice;
}

TEST_F(ShellTree, TheKeyboardsMenuShowsUnderTheSelectedFoldersLabel) {
  TestFolder folder;
  MakeDir(folder / L"first");
  MakeDir(folder / L"second");
  TreeHost host;
  ::ShowWindow(host.Handle(), SW_SHOWNORMAL);
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  const HTREEITEM second = Child(host.tree, host.tree.FirstNode(), L"second");
  host.tree.Select(second);
  // The icons asked for ahead wait while the menu is up, and go on after it.
  bool lookingAheadInMenu = true;
  const MenuChoice choice =
      KeyboardMenuAndChoose(host.tree, L"(none)", [&] { lookingAheadInMenu = host.tree.LookingAhead(); });
  ASSERT_TRUE(choice.chosen) << "no menu showed";
  EXPECT_FALSE(lookingAheadInMenu);
  EXPECT_TRUE(host.tree.LookingAhead());
  EXPECT_NE(std::find(choice.seen.begin(), choice.seen.end(), L"Open"), choice.seen.end());
  RECT label{};
  TreeView_GetItemRect(host.tree.Handle(), second, &label, TRUE);
  POINT below{label.left, label.bottom};
  ::ClientToScreen(host.tree.Handle(), &below);
  EXPECT_EQ(choice.window.left, below.x);
  EXPECT_EQ(choice.window.top, below.y);
}

TEST_F(ShellTree, ARightClickSelectsTheNodeAndShowsTheShellsMenuWhoseRenameIsTheTreesEditor) {
  TestFolder folder;
  MakeDir(folder / L"first");
  MakeDir(folder / L"second");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  const HTREEITEM second = Child(host.tree, host.tree.FirstNode(), L"second");
  ASSERT_NE(second, nullptr);
  // Dismissed: nothing runs.
  const MenuChoice choice = RightClickAndChoose(host.tree, second, L"(none)");
  EXPECT_TRUE(choice.chosen) << "no menu showed";
  for (const wchar_t* item : {L"Open", L"Delete", L"Properties"})
    EXPECT_NE(std::find(choice.seen.begin(), choice.seen.end(), item), choice.seen.end()) << item;
  EXPECT_EQ(host.tree.Selected(), second);
  EXPECT_EQ(ActiveMenuHandler(), nullptr);
  EXPECT_FALSE(host.tree.IsEditing());

  // Wine's menu offers no Rename for a folder; its verb, as Windows' menu gives it.
  IacShellCommandVerb& verbs = host.tree;
  bool handled = false;
  verbs.ExecuteCommand("Rename", handled);
  EXPECT_TRUE(handled);
  ASSERT_TRUE(host.tree.IsEditing());
  ::SetWindowTextW(TreeView_GetEditControl(host.tree.Handle()), L"third");
  host.tree.EndEdit(false);
  Drain();
  EXPECT_TRUE(testing::Exists(folder / L"third"));
  EXPECT_FALSE(testing::Exists(folder / L"second"));
}

TEST_F(ShellTree, TheMenusDeleteRemovesANodeOnlyWhenItsFolderIsGone) {
  TestFolder folder;
  MakeDir(folder / L"doomed");
  MakeDir(folder / L"kept");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  const HTREEITEM root = host.tree.FirstNode();
  // "No" in the confirmation: the folder stays, and so does its node.
  {
    BoxCloser closer(::GetCurrentThreadId(), host.Handle(), kDone, 1, 10000, IDNO);
    EXPECT_TRUE(RightClickAndChoose(host.tree, Child(host.tree, root, L"kept"), L"Delete").chosen);
    EXPECT_EQ(closer.Boxes().size(), 1u);
  }
  EXPECT_TRUE(testing::Exists(folder / L"kept"));
  EXPECT_NE(Child(host.tree, root, L"kept"), nullptr);
  {
    BoxCloser closer(::GetCurrentThreadId(), host.Handle(), kDone, 1, 10000, IDYES);
    EXPECT_TRUE(RightClickAndChoose(host.tree, Child(host.tree, root, L"doomed"), L"Delete").chosen);
    closer.Boxes();
  }
  EXPECT_FALSE(testing::Exists(folder / L"doomed"));
  EXPECT_EQ(Child(host.tree, root, L"doomed"), nullptr);
  EXPECT_NE(Child(host.tree, root, L"kept"), nullptr);

  // The node of the item the command was for, even when the selection moved
  // while the shell's command ran its own windows.
  MakeDir(folder / L"gone");
  host.tree.Refresh(root);
  const HTREEITEM renewed = host.tree.FirstNode();
  IacShellCommandVerb& verbs = host.tree;
  host.tree.Select(Child(host.tree, renewed, L"gone"));
  bool handled = false;
  verbs.ExecuteCommand("delete", handled);
  host.tree.Select(Child(host.tree, renewed, L"kept"));
  ::RemoveDirectoryW((folder / L"gone").c_str());
  verbs.CommandCompleted("delete", true);
  EXPECT_EQ(ChildTexts(host.tree, renewed), std::vector<std::wstring>{L"kept"});
  EXPECT_EQ(host.tree.Path(), folder / L"kept");
}

TEST_F(ShellTree, AVirtualItemOrTheRootIsNeverRemovedOnAGuess) {
  TreeHost host;
  host.tree.Loaded();  // the Desktop, with the computer in it
  IacShellCommandVerb& verbs = host.tree;
  const HTREEITEM root = host.tree.FirstNode();
  const size_t children = ChildTexts(host.tree, root).size();
  HTREEITEM computer = nullptr;
  for (HTREEITEM c = host.tree.FirstChild(root); c; c = host.tree.NextSibling(c))
    if (!IsFileSystemPath(host.tree.FolderOf(c)->PathName())) computer = c;
  ASSERT_NE(computer, nullptr);
  for (HTREEITEM node : {computer, root}) {
    host.tree.Select(node);
    bool handled = false;
    verbs.ExecuteCommand("delete", handled);
    verbs.CommandCompleted("delete", true);
    ASSERT_NE(host.tree.FirstNode(), nullptr);
    EXPECT_EQ(ChildTexts(host.tree, host.tree.FirstNode()).size(), children);
  }
}

TEST_F(ShellTree, OpenRunsInTheItemsFolderAndTheCurrentDirectoryComesBack) {
  TestFolder folder;
  MakeDir(folder / L"inner");
  TreeHost host;
  host.tree.SetRoot(Folder(folder));
  host.tree.Loaded();
  host.tree.SetPath(folder / L"inner");
  wchar_t before[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, before);
  IacShellCommandVerb& verbs = host.tree;
  bool handled = false;
  verbs.ExecuteCommand("OPEN", handled);
  EXPECT_FALSE(handled);  // the shell opens it
  wchar_t during[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, during);
  EXPECT_EQ(AddPathSeparator(during), folder.Path());
  verbs.CommandCompleted("open", true);
  wchar_t after[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_STREQ(after, before);
  // A failed open gives the directory back all the same.
  verbs.ExecuteCommand("open", handled);
  verbs.CommandCompleted("open", false);
  ::GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_STREQ(after, before);
  // A failed delete, or one that leaves the folder there, keeps the node.
  verbs.CommandCompleted("delete", false);
  verbs.CommandCompleted("delete", true);
  EXPECT_EQ(host.tree.Path(), folder / L"inner");
  // Other verbs are the shell's.
  handled = false;
  verbs.ExecuteCommand("properties", handled);
  EXPECT_FALSE(handled);
}

}  // namespace
}  // namespace snapvik
