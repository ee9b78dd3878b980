// The picker's own path, timed in its real window: the tree rooted at the
// Desktop, a folder of many subfolders on it expanded, read again after a
// change on disk, and OK pressed on a subfolder removed from outside until
// the box that says so shows.
#include "tree_bench_desktop.h"

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "framework/application.h"
#include "picker/path_dialog.h"

namespace snapvik::bench {
namespace {

double g_boxShown = -1;
HHOOK g_hook = nullptr;

// The box is timed as it is activated, and answered at once.
LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770" && g_boxShown < 0) {
      g_boxShown = Now();
      ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
  }
  return ::CallNextHookEx(g_hook, code, wParam, lParam);
}

std::wstring DesktopPath() {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

HTREEITEM ChildNamed(const TsShellTreeView& tree, HTREEITEM parent, const std::wstring& name) {
  for (HTREEITEM c = tree.FirstChild(parent); c; c = tree.NextSibling(c))
    if (tree.TextOf(c) == name) return c;
  return nullptr;
}

std::vector<std::wstring> ChildTexts(const TsShellTreeView& tree, HTREEITEM parent) {
  std::vector<std::wstring> texts;
  for (HTREEITEM c = tree.FirstChild(parent); c; c = tree.NextSibling(c)) texts.push_back(tree.TextOf(c));
  return texts;
}

// A picker window as a run makes it, shown.
std::unique_ptr<TPathDialogForm> ShownPicker() {
  auto form = std::make_unique<TPathDialogForm>(Application().Handle());
  form->sShellTreeView1.Select(form->sShellTreeView1.FirstNode());
  ::ShowWindow(form->Handle(), SW_SHOWNOACTIVATE);
  ::UpdateWindow(form->Handle());
  return form;
}

void RemoveAll(const std::wstring& folder, int count) {
  for (int i = 0; i < count; ++i) ::RemoveDirectoryW((folder + L"\\Folder " + std::to_wstring(i)).c_str());
  ::RemoveDirectoryW((folder + L"\\Folder new").c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

DesktopRun TimeDesktop(int count) {
  DesktopRun run;
  const std::wstring name = L"bench-desktop-" + std::to_wstring(count);
  const std::wstring folder = DesktopPath() + L"\\" + name;
  RemoveAll(folder, count);
  ::CreateDirectoryW(folder.c_str(), nullptr);
  for (int i = 0; i < count; ++i) ::CreateDirectoryW((folder + L"\\Folder " + std::to_wstring(i)).c_str(), nullptr);
  const long long comparisons = TacCustomShellTreeView::Comparisons();
  std::vector<std::wstring> shown;
  {
    const auto form = ShownPicker();
    TsShellTreeView& tree = form->sShellTreeView1;
    HTREEITEM node = ChildNamed(tree, tree.FirstNode(), name);
    if (!node) return run;
    const double t0 = Now();
    TreeView_Expand(tree.Handle(), node, TVE_EXPAND);
    ::UpdateWindow(tree.Handle());
    run.expand = Now() - t0;

    ::CreateDirectoryW((folder + L"\\Folder new").c_str(), nullptr);
    const double t1 = Now();
    tree.Refresh(node);
    ::UpdateWindow(tree.Handle());
    run.readAgain = Now() - t1;
    node = ChildNamed(tree, tree.FirstNode(), name);
    run.afterReadAgain = node ? tree.ChildCount(node) : 0;

    // A subfolder in the middle selected, then removed from outside.
    const std::wstring chosen = L"Folder " + std::to_wstring(count / 2);
    if (HTREEITEM child = node ? ChildNamed(tree, node, chosen) : nullptr) {
      tree.Select(child);
      ::UpdateWindow(tree.Handle());
      ::RemoveDirectoryW((folder + L"\\" + chosen).c_str());
      g_boxShown = -1;
      g_hook = ::SetWindowsHookExW(WH_CBT, &WatchBoxes, nullptr, ::GetCurrentThreadId());
      const double t2 = Now();
      form->sBitBtn1Click();
      if (g_hook) ::UnhookWindowsHookEx(g_hook);
      g_hook = nullptr;
      run.boxShown = g_boxShown >= 0;
      run.ok = run.boxShown ? g_boxShown - t2 : Now() - t2;
      node = ChildNamed(tree, tree.FirstNode(), name);
      if (node) {
        run.afterOk = tree.ChildCount(node);
        shown = ChildTexts(tree, node);
      }
    }
  }
  run.comparisons = TacCustomShellTreeView::Comparisons() - comparisons;
  {
    // What a fresh open lists.
    const auto fresh = ShownPicker();
    TsShellTreeView& tree = fresh->sShellTreeView1;
    if (HTREEITEM node = ChildNamed(tree, tree.FirstNode(), name)) {
      TreeView_Expand(tree.Handle(), node, TVE_EXPAND);
      run.likeFreshOpen = !shown.empty() && ChildTexts(tree, node) == shown;
    }
  }
  RemoveAll(folder, count);
  return run;
}

std::string DesktopRunJson(const DesktopRun& run) {
  char text[512];
  std::snprintf(text, sizeof text,
                "{\"expand\":%.2f,\"read_again\":%.2f,\"after_read_again\":%d,\"ok\":%.2f,\"box_shown\":%s,"
                "\"after_ok\":%d,\"like_fresh_open\":%s,\"comparisons\":%lld}",
                run.expand, run.readAgain, run.afterReadAgain, run.ok, run.boxShown ? "true" : "false", run.afterOk,
                run.likeFreshOpen ? "true" : "false", run.comparisons);
  return text;
}

}  // namespace snapvik::bench
