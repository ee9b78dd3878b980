// Reading a folder again against a fresh open of it, on random changes made on disk.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "shell_tree_support.h"
#include "test_support.h"

namespace snapvik {
namespace {

using namespace tree_test;
using testing::ListFolder;

// One row as the user sees it.
struct Row {
  int level;
  std::wstring text;
  int hasChildren, image, selectedImage;
  UINT overlay;
  bool expanded, selected;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  std::string text(row.text.begin(), row.text.end());
  return out << std::string(static_cast<size_t>(row.level) * 2, ' ') << text << " children " << row.hasChildren
             << " icons " << row.image << "/" << row.selectedImage << " overlay " << row.overlay
             << (row.expanded ? " expanded" : "") << (row.selected ? " selected" : "");
}

// The rows shown: every node whose parents are all expanded, in order.
std::vector<Row> Rows(const TsTreeView& tree) {
  std::vector<Row> rows;
  std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM node, int level) {
    for (; node; node = tree.NextSibling(node)) {
      TVITEMW item{};
      item.mask = TVIF_HANDLE | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
      item.hItem = node;
      item.stateMask = TVIS_OVERLAYMASK | TVIS_EXPANDED | TVIS_SELECTED;
      TreeView_GetItem(tree.Handle(), &item);
      const bool expanded = (item.state & TVIS_EXPANDED) != 0;
      rows.push_back({level, tree.TextOf(node), item.cChildren, item.iImage, item.iSelectedImage,
                      item.state & TVIS_OVERLAYMASK, expanded, (item.state & TVIS_SELECTED) != 0});
      if (expanded) walk(tree.FirstChild(node), level + 1);
    }
  };
  walk(tree.FirstNode(), 0);
  return rows;
}

void RemoveFolder(const std::wstring& path) {
  for (const std::wstring& name : ListFolder(path + L"\\")) RemoveFolder(path + L"\\" + name);
  ASSERT_TRUE(::RemoveDirectoryW(path.c_str())) << path.c_str();
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
  return text;
}

class Changes {
 public:
  explicit Changes(unsigned seed) : random_(seed) {}
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  // A name no entry of `folder` holds, letter case aside: one or two letters, either case.
  std::wstring FreeName(const std::wstring& folder) {
    std::set<std::wstring> taken;
    for (const std::wstring& name : ListFolder(folder + L"\\")) taken.insert(Lower(name));
    for (;;) {
      std::wstring name(1 + Pick(2), L'a');
      for (wchar_t& c : name) c = static_cast<wchar_t>((Pick(2) ? L'a' : L'A') + Pick(8));
      if (!taken.count(Lower(name))) return name;
    }
  }
  void Make(const std::wstring& folder) { MakeDir(folder + L"\\" + FreeName(folder)); }
  void Rename(const std::wstring& path) {
    const std::wstring parent = path.substr(0, path.rfind(L'\\'));
    ASSERT_TRUE(::MoveFileW(path.c_str(), (parent + L"\\" + FreeName(parent)).c_str()));
  }
  void RenameCase(const std::wstring& path) {
    const size_t cut = path.rfind(L'\\') + 1;
    std::wstring other = path;
    for (size_t i = cut; i < other.size(); ++i)
      other[i] = static_cast<wchar_t>(::iswupper(other[i]) ? ::towlower(other[i]) : ::towupper(other[i]));
    tree_test::RenameCase(path, other);
  }

 private:
  std::mt19937 random_;
};

// The path of a node's folder, letter case aside: what survives a change of case.
std::wstring KeyOf(const TacCustomShellTreeView& tree, HTREEITEM node) {
  const TacShellFolder* item = tree.FolderOf(node);
  return item ? Lower(item->PathName()) : std::wstring();
}

HTREEITEM NodeAt(TacCustomShellTreeView& tree, const std::wstring& key) {
  for (HTREEITEM node = tree.FirstNode(); node; node = tree.NextInTreeOrder(node))
    if (KeyOf(tree, node) == key) return node;
  return nullptr;
}

TEST_F(ShellTree, ReadingAFolderAgainShowsWhatAFreshOpenShowsOnRandomChanges) {
  TestFolder folder;
  const std::wstring root = Folder(folder);
  Changes changes(31);
  for (int i = 0; i < 6; ++i) changes.Make(root);
  TreeHost host;
  host.tree.SetRoot(root);
  host.tree.Loaded();
  constexpr int kRuns = 200;
  for (int run = 0; run < kRuns; ++run) {
    const HTREEITEM top = host.tree.FirstNode();
    std::vector<HTREEITEM> children;
    for (HTREEITEM c = host.tree.FirstChild(top); c; c = host.tree.NextSibling(c)) children.push_back(c);
    // Open one more child, or close one that does not hold the selection.
    if (!children.empty()) {
      const HTREEITEM child = children[changes.Pick(children.size())];
      if (!host.tree.Expanded(child))
        host.tree.Expand(child);
      else if (host.tree.ParentOf(host.tree.Selected()) != child && changes.Pick(3) == 0)
        TreeView_Expand(host.tree.Handle(), child, TVE_COLLAPSE);
    }
    const std::vector<Row> shown = Rows(host.tree);
    // Select a random row.
    {
      std::vector<HTREEITEM> visible;
      std::function<void(HTREEITEM)> walk = [&](HTREEITEM node) {
        for (; node; node = host.tree.NextSibling(node)) {
          visible.push_back(node);
          if (host.tree.Expanded(node)) walk(host.tree.FirstChild(node));
        }
      };
      walk(top);
      host.tree.Select(visible[changes.Pick(visible.size())]);
    }
    std::vector<std::wstring> expanded;
    for (HTREEITEM node = top; node; node = host.tree.NextInTreeOrder(node))
      if (host.tree.Expanded(node)) expanded.push_back(KeyOf(host.tree, node));
    const std::wstring selected = KeyOf(host.tree, host.tree.Selected());

    // Changes on disk, under the folder and in its open children.
    for (size_t step = 0, steps = 1 + changes.Pick(4); step < steps; ++step) {
      std::vector<std::wstring> names = ListFolder(root + L"\\");
      const size_t what = names.size() < 4 ? 0 : names.size() > 10 ? 1 : changes.Pick(6);
      const std::wstring child = names.empty() ? std::wstring() : root + L"\\" + names[changes.Pick(names.size())];
      if (what == 0) {
        changes.Make(root);
      } else if (what == 1) {
        RemoveFolder(child);
      } else if (what == 2) {
        changes.Rename(child);
      } else if (what == 3) {
        changes.RenameCase(child);
      } else if (what == 4) {
        // A first subfolder in a child, or in one of an open child's.
        const std::vector<std::wstring> inner = ListFolder(child + L"\\");
        if (inner.empty())
          changes.Make(child);
        else if (ListFolder(child + L"\\" + inner[0] + L"\\").empty())
          changes.Make(child + L"\\" + inner[0]);
      } else {
        // A change inside an open child.
        std::vector<std::wstring> open;
        for (const std::wstring& name : names)
          if (std::count(expanded.begin(), expanded.end(), Lower(root + L"\\" + name))) open.push_back(name);
        if (open.empty()) continue;
        const std::wstring inside = root + L"\\" + open[changes.Pick(open.size())];
        const std::vector<std::wstring> inner = ListFolder(inside + L"\\");
        const size_t how = inner.empty() ? 0 : changes.Pick(4);
        const std::wstring one = inner.empty() ? std::wstring() : inside + L"\\" + inner[changes.Pick(inner.size())];
        if (how == 0) changes.Make(inside);
        if (how == 1) RemoveFolder(one);
        if (how == 2) changes.Rename(one);
        if (how == 3) changes.RenameCase(one);
      }
      if (::testing::Test::HasFatalFailure()) return;
    }
    host.tree.Refresh(host.tree.FirstNode());

    // A fresh tree, opened where the first one stays open and selected where it is.
    TreeHost fresh;
    fresh.tree.SetRoot(root);
    fresh.tree.Loaded();
    for (const std::wstring& key : expanded)
      if (const HTREEITEM node = NodeAt(fresh.tree, key)) fresh.tree.Expand(node);
    fresh.tree.Select(selected.empty() ? nullptr : NodeAt(fresh.tree, selected));
    const std::vector<Row> expected = Rows(fresh.tree);
    const std::vector<Row> rows = Rows(host.tree);
    ASSERT_EQ(rows, expected) << "run " << run << "; before the changes:\n"
                              << ::testing::PrintToString(shown);
  }
}

}  // namespace
}  // namespace snapvik
