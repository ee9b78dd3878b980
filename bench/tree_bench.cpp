// Times expanding a folder of many subfolders in the shell folder tree, shown
// on the screen: from the expand request until the children are in the tree
// and the first screen of them is drawn with their icons. Beside it, in the
// same run: the same folder selected and expanded in the platform's own folder
// dialog (SHBrowseForFolderW), the floor (the platform calls the expansion
// must make for every child: enumeration, name, attributes), one
// page scrolled into view (beside the same number of icon look-ups made
// directly), and the icon look-ups and name comparisons made.
// Prints one line of JSON with medians in milliseconds.
//   tree_bench.exe <empty folder\> <runs> <count>...
// The peak memory of an expansion, measured from outside:
//   tree_bench.exe <folder\> memory <count> <expand: 0 or 1>
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "framework/application.h"
#include "framework/form.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"

using namespace snapvik;
using bench::Median;
using bench::Now;

namespace {

constexpr int kPages = 10;

class Host : public TForm {
 public:
  Host() {
    CreateForm({L"TTreeBench", L"Tree", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 380, nullptr});
    tree.ShowRoot = false;
    tree.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
    tree.Create(Handle(), {"sShellTreeView1", {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    ::ShowWindow(tree.Handle(), SW_SHOWNOACTIVATE);
  }
  TsShellTreeView tree;
};

std::wstring NodeText(HWND tree, HTREEITEM node) {
  wchar_t text[MAX_PATH] = {};
  TVITEMW shown{};
  shown.mask = TVIF_TEXT | TVIF_HANDLE;
  shown.hItem = node;
  shown.pszText = text;
  shown.cchTextMax = MAX_PATH;
  TreeView_GetItem(tree, &shown);
  return text;
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const std::wstring& name) {
  for (HTREEITEM c = TreeView_GetChild(tree, parent); c; c = TreeView_GetNextSibling(tree, c))
    if (NodeText(tree, c) == name) return c;
  return nullptr;
}

struct TreeRun {
  double expand = 0;
  long long lookups = 0, comparisons = 0;
  int loaded = 0, visible = 0;
  std::vector<double> pages;        // each after a pause
  std::vector<double> lookAhead;    // the idle work before each page
  std::vector<double> pagesInARow;  // with no pause between
  long long pageLookups = 0, rowLookups = 0;
  double pageFloor = 0;  // the page's look-ups alone, made directly
};

// Messages handled until the tree has looked up the icons around its view; the time it took.
double UntilIdle(const TsShellTreeView& tree) {
  const double t = Now();
  MSG msg;
  while (tree.LookingAhead() && Now() - t < 10000) {
    if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    } else {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
  }
  return Now() - t;
}

// The tree rooted at `base`, its child `name` expanded and drawn, then scrolled page by page.
TreeRun TimeTree(const std::wstring& base, const std::wstring& name) {
  TreeRun run;
  Host host;
  host.tree.SetRoot(base);
  host.tree.Loaded();
  ::UpdateWindow(host.Handle());
  const HWND tree = host.tree.Handle();
  const HTREEITEM node = ChildNamed(host.tree.Handle(), host.tree.FirstNode(), name);
  if (!node) return run;
  const long long lookups = TacShellFolder::IconLookups();
  const long long comparisons = TacCustomShellTreeView::Comparisons();
  const double t0 = Now();
  TreeView_Expand(tree, node, TVE_EXPAND);
  ::UpdateWindow(tree);
  run.expand = Now() - t0;
  run.lookups = TacShellFolder::IconLookups() - lookups;
  run.comparisons = TacCustomShellTreeView::Comparisons() - comparisons;
  run.loaded = host.tree.ChildCount(node);
  run.visible = static_cast<int>(TreeView_GetVisibleCount(tree));
  // A user pauses between pages: the tree looks the icons just out of view up meanwhile.
  run.lookAhead.push_back(UntilIdle(host.tree));
  for (int p = 0; p < kPages; ++p) {
    const long long before = TacShellFolder::IconLookups();
    const double t1 = Now();
    ::SendMessageW(tree, WM_VSCROLL, SB_PAGEDOWN, 0);
    ::UpdateWindow(tree);
    run.pages.push_back(Now() - t1);
    run.pageLookups += TacShellFolder::IconLookups() - before;
    run.lookAhead.push_back(UntilIdle(host.tree));
  }
  // Pages in a row, with no pause: each icon is looked up as its node is drawn.
  const long long beforeRow = TacShellFolder::IconLookups();
  for (int p = 0; p < kPages; ++p) {
    const double t1 = Now();
    ::SendMessageW(tree, WM_VSCROLL, SB_PAGEDOWN, 0);
    ::UpdateWindow(tree);
    run.pagesInARow.push_back(Now() - t1);
  }
  run.rowLookups = TacShellFolder::IconLookups() - beforeRow;
  // The floor of a page: as many look-ups, made directly for nodes of the same folder.
  std::vector<PCIDLIST_ABSOLUTE> paged;
  for (HTREEITEM c = host.tree.FirstChild(node); c && paged.size() < static_cast<size_t>(run.rowLookups);
       c = host.tree.NextSibling(c))
    paged.push_back(host.tree.FolderOf(c)->AbsoluteID());
  const double t2 = Now();
  for (PCIDLIST_ABSOLUTE id : paged) ShellIconIndex(id, false, false);
  run.pageFloor = (Now() - t2) / kPages;
  return run;
}

// What the expansion must ask the platform for every child, as plain calls:
// the enumeration, its name and its attributes (has-subfolders, shared).
// No icons, and no binding of the child.
void Floor(const std::wstring& folderPath) {
  ComPtr<IShellFolder> desktop = DesktopShellFolder();
  std::wstring path = folderPath;
  PIDLIST_RELATIVE parsed = nullptr;
  desktop->ParseDisplayName(nullptr, nullptr, path.data(), nullptr, &parsed, nullptr);
  const UniqueAbsoluteID folderID = Adopt(reinterpret_cast<PIDLIST_ABSOLUTE>(parsed));
  ComPtr<IShellFolder> folder;
  desktop->BindToObject(folderID.get(), nullptr, IID_IShellFolder, &folder);
  ComPtr<IEnumIDList> items;
  folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &items);
  PITEMID_CHILD id = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &id, &fetched) == S_OK) {
    const UniqueRelativeID child = Adopt(reinterpret_cast<PIDLIST_RELATIVE>(id));
    STRRET name{};
    folder->GetDisplayNameOf(id, SHGDN_INFOLDER, &name);
    if (name.uType == STRRET_WSTR) ::CoTaskMemFree(name.pOleStr);
    PCUITEMID_CHILD one = id;
    for (SFGAOF asked : {SFGAOF{SFGAO_HASSUBFOLDER}, SFGAOF{0xFC000}, SFGAOF{0}}) folder->GetAttributesOf(1, &one, &asked);
  }
}

// ---- The platform's folder dialog ----

struct BrowseRun {
  std::wstring target, name;
  std::wstring selected;  // the dialog's text of the node it selected
  int selectedByTree = 0;
  double ms = -1;
  int children = 0;
  bool loadedBySelection = false;
};
BrowseRun* g_browse = nullptr;

BOOL CALLBACK FindTree(HWND hwnd, LPARAM out) {
  wchar_t name[32] = {};
  ::GetClassNameW(hwnd, name, 32);
  if (std::wstring(name) != WC_TREEVIEWW) return TRUE;
  *reinterpret_cast<HWND*>(out) = hwnd;
  return FALSE;
}

// Once the dialog is on the screen: the folder selected through the dialog's own message, then expanded.
void CALLBACK SelectAndExpand(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(dialog, timer);
  HWND tree = nullptr;
  ::EnumChildWindows(dialog, &FindTree, reinterpret_cast<LPARAM>(&tree));
  if (tree && g_browse) {
    double t0 = Now();
    ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(g_browse->target.c_str()));
    double selected = Now();
    HTREEITEM node = TreeView_GetSelection(tree);
    g_browse->selected = NodeText(tree, node);
    if (g_browse->selected != g_browse->name) {
      // Wine's dialog now and then leaves its selection at the root: the folder's node selected as a click would.
      ++g_browse->selectedByTree;
      node = ChildNamed(tree, TreeView_GetRoot(tree), g_browse->name);
      TreeView_SelectItem(tree, node);
      g_browse->selected = node ? g_browse->name : L"";
      t0 = selected = Now();
    }
    g_browse->loadedBySelection = node && TreeView_GetChild(tree, node);
    TreeView_Expand(tree, node, TVE_EXPAND);
    ::UpdateWindow(tree);
    const double t1 = Now();
    // The selection's own cost counts only when it already loaded the children.
    g_browse->ms = t1 - (g_browse->loadedBySelection ? t0 : selected);
    for (HTREEITEM c = TreeView_GetChild(tree, node); c; c = TreeView_GetNextSibling(tree, c)) ++g_browse->children;
  }
  ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM, LPARAM) {
  if (msg == BFFM_INITIALIZED) ::SetTimer(dialog, 1, 0, &SelectAndExpand);
  return 0;
}

BrowseRun TimeBrowse(const std::wstring& base, const std::wstring& name) {
  BrowseRun run;
  run.target = base + name;
  run.name = name;
  std::wstring path = base;
  PIDLIST_RELATIVE parsed = nullptr;
  DesktopShellFolder()->ParseDisplayName(nullptr, nullptr, path.data(), nullptr, &parsed, nullptr);
  const UniqueAbsoluteID root = Adopt(reinterpret_cast<PIDLIST_ABSOLUTE>(parsed));
  wchar_t chosen[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.pidlRoot = root.get();
  info.pszDisplayName = chosen;
  info.lpszTitle = L"Folder";
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = &BrowseCallback;
  g_browse = &run;
  Adopt(reinterpret_cast<PIDLIST_ABSOLUTE>(::SHBrowseForFolderW(&info)));  // cancelled: none
  g_browse = nullptr;
  return run;
}

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

// The tree with the folder of `count` subfolders expanded (or not), for its peak memory.
int Memory(const std::wstring& base, int count, bool expand) {
  const SIZE_T before = PeakWorkingSet();
  {
    Host host;
    host.tree.SetRoot(base);
    host.tree.Loaded();
    ::UpdateWindow(host.Handle());
    if (expand) {
      TreeView_Expand(host.tree.Handle(), ChildNamed(host.tree.Handle(), host.tree.FirstNode(), L"n" + std::to_wstring(count)),
                      TVE_EXPAND);
      ::UpdateWindow(host.tree.Handle());
    }
    std::printf("{\"peak_working_set_added\":%llu}\n", static_cast<unsigned long long>(PeakWorkingSet() - before));
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tree_bench <empty folder\\> <runs> <count>...\n"
                         "       tree_bench <folder\\> memory <count> <0|1>\n");
    return 2;
  }
  const std::wstring base = argv[1];
  TApplication application;
  application.Initialize(L"Tree benchmark");
  ShellModule shell;
  if (std::wstring(argv[2]) == L"memory" && argc == 5) return Memory(base, _wtoi(argv[3]), _wtoi(argv[4]) != 0);

  const int runs = _wtoi(argv[2]);
  std::printf("[");
  for (int a = 3; a < argc; ++a) {
    const int count = _wtoi(argv[a]);
    const std::wstring name = L"n" + std::to_wstring(count);
    const std::wstring folder = base + name;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) ::CreateDirectoryW((folder + L"\\Folder " + std::to_wstring(i)).c_str(), nullptr);

    std::vector<double> tree, floor, browse, pages, lookAhead, pagesInARow, pageFloor;
    TreeRun last;
    BrowseRun lastBrowse;
    int selectedByTree = 0;
    for (int r = 0; r < runs; ++r) {
      last = TimeTree(base, name);
      tree.push_back(last.expand);
      pages.insert(pages.end(), last.pages.begin(), last.pages.end());
      lookAhead.insert(lookAhead.end(), last.lookAhead.begin(), last.lookAhead.end());
      pagesInARow.insert(pagesInARow.end(), last.pagesInARow.begin(), last.pagesInARow.end());
      pageFloor.push_back(last.pageFloor);
      const double t1 = Now();
      Floor(folder);
      floor.push_back(Now() - t1);
      lastBrowse = TimeBrowse(base, name);
      if (lastBrowse.selected != name) lastBrowse.ms = -1;  // the folder was not found in the dialog
      browse.push_back(lastBrowse.ms);
      selectedByTree += lastBrowse.selectedByTree;
    }
    const double nlogn = count * std::log2(static_cast<double>(count));
    std::printf("%s{\"count\":%d,\"loaded\":%d,\"tree\":%.2f,\"lookups\":%lld,\"visible\":%d,"
                "\"page\":%.2f,\"page_lookups\":%.1f,\"look_ahead\":%.2f,\"page_in_a_row\":%.2f,"
                "\"row_lookups\":%.1f,\"page_floor\":%.2f,\"floor\":%.2f,"
                "\"browse\":%.2f,\"browse_loaded\":%d,\"browse_by_selection\":%s,\"browse_selected_by_tree\":%d,"
                "\"comparisons\":%lld,\"nlogn\":%.0f}",
                a > 3 ? "," : "", count, last.loaded, Median(tree), last.lookups, last.visible, Median(pages),
                static_cast<double>(last.pageLookups) / kPages, Median(lookAhead), Median(pagesInARow),
                static_cast<double>(last.rowLookups) / kPages, Median(pageFloor), Median(floor), Median(browse), lastBrowse.children,
                lastBrowse.loadedBySelection ? "true" : "false", selectedByTree, last.comparisons, nlogn);
    std::fflush(stdout);
  }
  std::printf("]\n");
  return 0;
}
