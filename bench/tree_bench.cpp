// Times expanding a folder of many subfolders in the shell folder tree, shown
// on the screen: from the expand request until the children are in the tree
// and the first screen of them is drawn with their icons. Beside it, in the
// same run: the same folder selected and expanded in the platform's own folder
// dialog (SHBrowseForFolderW), the floor (the platform calls the expansion
// must make for every child: enumeration, name, attributes), one
// page scrolled into view (beside the same number of icon look-ups made
// directly), and the icon look-ups and name comparisons made. Then a subfolder
// is made on disk and the folder's node read again; then the window is hidden
// and destroyed, as Cancel and closing the program do. During both steps a
// stand-in for the hot key is posted, and its wait is timed. Last, the memory
// of many opens and closes of the tree at a deep folder.
// Prints one line of JSON with medians in milliseconds.
//   tree_bench.exe <empty folder\> <runs> <count>...
// The peak memory of an expansion, measured from outside:
//   tree_bench.exe <folder\> memory <count> <expand: 0 or 1>
// The picker's own path alone (its window, the tree at the Desktop):
//   tree_bench.exe <folder\> desktop <count>...
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "tree_bench_desktop.h"
#include "framework/application.h"
#include "framework/form.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"

using namespace snapvik;
using bench::Median;
using bench::Now;

namespace {

constexpr int kPages = 10;
constexpr int kBrowseAtMost = 5000;  // Wine's dialog grows as n squared: 85 s at 5,000
constexpr double kHotKeyDelay = 20;  // ms after a step's start
constexpr double kHotKeyWait = 30000;
constexpr int kCycles = 300, kWarmCycles = 20, kDepth = 12;

// An empty top-level window, shown; the tree's window is the same with the tree in it.
class Blank : public TForm {
 public:
  explicit Blank(bool shown = true) {
    CreateForm({L"TTreeBench", L"Tree", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 380, nullptr});
    if (shown) ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
  }
};

class Host : public Blank {
 public:
  explicit Host(bool shown = true) : Blank(false) {
    tree.ShowRoot = false;
    tree.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
    tree.Create(Handle(), {"sShellTreeView1", {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    if (shown) ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    ::ShowWindow(tree.Handle(), SW_SHOWNOACTIVATE);
  }
  TsShellTreeView tree;
};

// ---- The hot key pressed during a step ----
// Captures run on the thread of the windows, so a hot key pressed during a
// long step waits for it. Its stand-in is posted by another thread a fixed
// time after the step starts, to a window of this thread that outlives every
// step; the message is handled where the thread's loop picks it up.

constexpr UINT kHotKey = WM_APP + 1;
double g_keyHandled = -1;
bool g_inStep = false, g_keyInStep = false;

LRESULT CALLBACK KeyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != kHotKey) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  g_keyHandled = Now();
  g_keyInStep = g_inStep;
  return 0;
}

// A message-only window: never on the screen.
HWND MakeKeyWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &KeyWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TTreeBenchKey";
  ::RegisterClassW(&wc);
  return ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

struct KeyLateness {
  double ms = -1;        // handled - posted; -1: not handled within kHotKeyWait
  bool inStep = false;   // handled by a loop inside the step
  bool afterStep = false;  // posted after the step had ended
};

class HotKeyDuring {
 public:
  explicit HotKeyDuring(HWND target) : target_(target) {
    started_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (started_) thread_ = ::CreateThread(nullptr, 0, &HotKeyDuring::Post, this, 0, nullptr);
  }
  ~HotKeyDuring() {
    if (thread_) {
      ::SetEvent(started_);
      ::WaitForSingleObject(thread_, INFINITE);
      ::CloseHandle(thread_);
    }
    if (started_) ::CloseHandle(started_);
  }
  HotKeyDuring(const HotKeyDuring&) = delete;
  HotKeyDuring& operator=(const HotKeyDuring&) = delete;

  // Right before the step.
  void Start() {
    g_keyHandled = -1;
    g_inStep = true;
    start_ = Now();
    ::SetEvent(started_);
  }
  // Right after the step: the thread's loop runs until the message is handled.
  KeyLateness Lateness() {
    g_inStep = false;
    const double ended = Now();
    KeyLateness late;
    if (!thread_) return late;
    MSG msg;
    while (g_keyHandled < 0 && Now() - ended < kHotKeyWait) {
      if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      } else {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      }
    }
    ::WaitForSingleObject(thread_, INFINITE);
    if (g_keyHandled < 0) return late;
    late.ms = g_keyHandled - posted_.load();
    late.inStep = g_keyInStep;
    late.afterStep = posted_.load() >= ended;
    return late;
  }

 private:
  static DWORD WINAPI Post(void* self) {
    auto& probe = *static_cast<HotKeyDuring*>(self);
    ::WaitForSingleObject(probe.started_, INFINITE);
    while (Now() - probe.start_ < kHotKeyDelay) ::Sleep(1);
    probe.posted_ = Now();
    ::PostMessageW(probe.target_, kHotKey, 0, 0);
    return 0;
  }

  HWND target_;
  HANDLE started_ = nullptr, thread_ = nullptr;
  double start_ = 0;  // written before the event is set, read after it
  std::atomic<double> posted_{0};
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
  std::vector<double> pagesBeyond;  // then on, past the look-ahead's reach
  long long pageLookups = 0, rowLookups = 0, beyondLookups = 0;
  double pageFloor = 0;  // the page's look-ups alone, made directly
  double refresh = 0;     // the folder read again after a change on disk, drawn
  int refreshed = 0;      // its children after it
  long long refreshLookups = 0;
  bool newSeen = false;   // the new subfolder among them
  KeyLateness refreshKey;
  double hide = 0;        // the window hidden before its teardown
  double teardown = 0;    // the window with the tree destroyed
  bool freed = false;     // every item of the program freed with it
  KeyLateness teardownKey;
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

// The tree rooted at `base`, its child `name` expanded and drawn, then scrolled
// page by page; the folder read again after a change on disk; the window torn down.
TreeRun TimeTree(const std::wstring& base, const std::wstring& name, HWND keyWindow) {
  TreeRun run;
  const long liveBefore = TacShellFolder::LiveCount();
  auto owner = std::make_unique<Host>();
  Host& host = *owner;
  host.tree.SetRoot(base);
  host.tree.Loaded();
  ::UpdateWindow(host.Handle());
  const HWND tree = host.tree.Handle();
  HTREEITEM node = ChildNamed(host.tree.Handle(), host.tree.FirstNode(), name);
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
  // Pages in a row, with no pause: first those the look-ahead reached while
  // the user paused, then as many beyond its reach, each icon looked up as
  // its node is drawn.
  const long long beforeRow = TacShellFolder::IconLookups();
  for (int p = 0; p < 2 * kPages; ++p) {
    if (p == kPages) run.rowLookups = TacShellFolder::IconLookups() - beforeRow;
    const double t1 = Now();
    ::SendMessageW(tree, WM_VSCROLL, SB_PAGEDOWN, 0);
    ::UpdateWindow(tree);
    (p < kPages ? run.pagesInARow : run.pagesBeyond).push_back(Now() - t1);
  }
  run.beyondLookups = TacShellFolder::IconLookups() - beforeRow - run.rowLookups;
  // The floor of a page: as many look-ups, made directly for nodes of the same folder.
  std::vector<PCIDLIST_ABSOLUTE> paged;
  for (HTREEITEM c = host.tree.FirstChild(node); c && paged.size() < static_cast<size_t>(run.beyondLookups);
       c = host.tree.NextSibling(c))
    paged.push_back(host.tree.FolderOf(c)->AbsoluteID());
  const double t2 = Now();
  for (PCIDLIST_ABSOLUTE id : paged) ShellIconIndex(id, false, false);
  run.pageFloor = (Now() - t2) / kPages;

  // One subfolder more on disk; the folder's node read again and drawn.
  const std::wstring added = base + name + L"\\Folder new";
  ::CreateDirectoryW(added.c_str(), nullptr);
  {
    HotKeyDuring key(keyWindow);
    const long long before = TacShellFolder::IconLookups();
    key.Start();
    const double t3 = Now();
    host.tree.Refresh(node);
    ::UpdateWindow(tree);
    run.refresh = Now() - t3;
    run.refreshKey = key.Lateness();
    run.refreshLookups = TacShellFolder::IconLookups() - before;
  }
  node = ChildNamed(tree, host.tree.FirstNode(), name);
  run.refreshed = node ? host.tree.ChildCount(node) : 0;
  run.newSeen = node && ChildNamed(tree, node, L"Folder new");

  // Cancel: the window is hidden, then destroyed with the loaded nodes. Under
  // Xvfb with no window manager, Wine waits for one whenever a window is
  // hidden: timed apart.
  const double t4 = Now();
  ::ShowWindow(host.Handle(), SW_HIDE);
  run.hide = Now() - t4;
  {
    HotKeyDuring key(keyWindow);
    key.Start();
    const double t5 = Now();
    owner.reset();
    run.teardown = Now() - t5;
    run.teardownKey = key.Lateness();
  }
  run.freed = TacShellFolder::LiveCount() == liveBefore;
  ::RemoveDirectoryW(added.c_str());
  return run;
}

// The same hide for an empty window, shown and drawn.
double HideBlank() {
  Blank blank;
  ::UpdateWindow(blank.Handle());
  const double t = Now();
  ::ShowWindow(blank.Handle(), SW_HIDE);
  return Now() - t;
}

// ---- Memory over many opens and closes at a deep folder ----

// The process's private bytes. Wine leaves PrivateUsage at 0 and counts the
// same commit in PagefileUsage (its anonymous resident memory): that one then.
struct Private {
  SIZE_T bytes = 0;
  bool fromPagefile = false;
};
Private PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  if (counters.PrivateUsage) return {counters.PrivateUsage, false};
  return {counters.PagefileUsage, true};
}

void Drain() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// What the tree draws, into memory: the window is never shown, so that no
// hide waits for a window manager.
void DrawUnshown(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  const HDC screen = ::GetDC(nullptr);
  const HDC dc = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, r.right, r.bottom);
  ::ReleaseDC(nullptr, screen);
  if (dc && bitmap) {
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    ::SelectObject(dc, old);
  }
  if (bitmap) ::DeleteObject(bitmap);
  if (dc) ::DeleteDC(dc);
}

struct Cycles {
  Private warm, last;         // private bytes after the warm-up and after the last cycle
  int reached = 0;            // cycles that selected the deep folder
  int leaked = 0;             // cycles after which items of the program were still alive
  long long lookups = 0;      // icons looked up, all cycles
  double ms = 0;              // a cycle, mean
  double growth() const {
    return (static_cast<double>(last.bytes) - static_cast<double>(warm.bytes)) / (kCycles - kWarmCycles);
  }
};

// The picker's tree rooted at the Desktop, the deep folder selected through
// its path (every ancestor expanded), drawn, then the window destroyed.
Cycles TreeCycles(const std::wstring& deepest) {
  Cycles cycles;
  const long long lookups = TacShellFolder::IconLookups();
  const double t = Now();
  for (int c = 1; c <= kCycles; ++c) {
    const long live = TacShellFolder::LiveCount();
    {
      Host host(false);
      host.tree.Loaded();
      try {
        host.tree.SetPath(deepest);
      } catch (...) {
      }
      DrawUnshown(host.tree.Handle());
      if (host.tree.Path() == deepest) ++cycles.reached;
    }
    Drain();
    if (TacShellFolder::LiveCount() != live) ++cycles.leaked;
    if (c == kWarmCycles) cycles.warm = PrivateBytes();
  }
  cycles.last = PrivateBytes();
  cycles.ms = (Now() - t) / kCycles;
  cycles.lookups = TacShellFolder::IconLookups() - lookups;
  return cycles;
}

// Every child of `folder` enumerated with its name and attributes, as an expansion asks.
void Enumerate(IShellFolder* folder) {
  ComPtr<IEnumIDList> items;
  if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &items) != S_OK || !items) return;
  PITEMID_CHILD id = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &id, &fetched) == S_OK) {
    const UniqueRelativeID child = Adopt(reinterpret_cast<PIDLIST_RELATIVE>(id));
    STRRET name{};
    if (SUCCEEDED(folder->GetDisplayNameOf(id, SHGDN_INFOLDER, &name)) && name.uType == STRRET_WSTR)
      ::CoTaskMemFree(name.pOleStr);
    PCUITEMID_CHILD one = id;
    SFGAOF asked = SFGAO_HASSUBFOLDER | SFGAO_FOLDER;
    folder->GetAttributesOf(1, &one, &asked);
  }
}

// The same path with plain platform calls and no tree: parsed; every
// ancestor and the folder bound, its children enumerated (as the tree's
// expansions do) and its small icon looked up.
Cycles PlatformCycles(const std::wstring& deepest) {
  Cycles cycles;
  const double t = Now();
  for (int c = 1; c <= kCycles; ++c) {
    PIDLIST_ABSOLUTE parsed = nullptr;
    ::SHParseDisplayName(deepest.c_str(), nullptr, &parsed, 0, nullptr);
    const UniqueAbsoluteID id = Adopt(parsed);
    if (id) {
      const ComPtr<IShellFolder> desktop = DesktopShellFolder();
      std::vector<UniqueAbsoluteID> chain = Ancestors(id.get());
      chain.push_back(AbsoluteCopy(id.get()));
      for (const UniqueAbsoluteID& each : chain) {
        ComPtr<IShellFolder> folder = desktop;
        if (each.get()->mkid.cb && FAILED(desktop->BindToObject(each.get(), nullptr, IID_IShellFolder, &folder))) folder.Reset();
        if (folder) Enumerate(folder.Get());
        SHFILEINFOW info{};
        ::SHGetFileInfoW(reinterpret_cast<const wchar_t*>(each.get()), 0, &info, sizeof info,
                         SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
      }
      ++cycles.reached;
    }
    Drain();
    if (c == kWarmCycles) cycles.warm = PrivateBytes();
  }
  cycles.last = PrivateBytes();
  cycles.ms = (Now() - t) / kCycles;
  return cycles;
}

std::string CyclesJson(const Cycles& c) {
  char text[256];
  std::snprintf(text, sizeof text,
                "{\"warm\":%llu,\"last\":%llu,\"growth\":%.1f,\"pagefile\":%s,\"reached\":%d,\"leaked\":%d,"
                "\"lookups\":%lld,\"ms\":%.1f}",
                static_cast<unsigned long long>(c.warm.bytes), static_cast<unsigned long long>(c.last.bytes), c.growth(),
                c.last.fromPagefile ? "true" : "false", c.reached,
                c.leaked, c.lookups, c.ms);
  return text;
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
                         "       tree_bench <folder\\> memory <count> <0|1>\n"
                         "       tree_bench <folder\\> desktop <count>...\n");
    return 2;
  }
  const std::wstring base = argv[1];
  TApplication application;
  application.Initialize(L"Tree benchmark");
  ShellModule shell;
  if (std::wstring(argv[2]) == L"memory" && argc == 5) return Memory(base, _wtoi(argv[3]), _wtoi(argv[4]) != 0);
  if (std::wstring(argv[2]) == L"desktop") {
    // The picker's own path alone, one line per count.
    for (int a = 3; a < argc; ++a)
      std::printf("{\"count\":%d,\"desktop\":%s}\n", _wtoi(argv[a]), bench::DesktopRunJson(bench::TimeDesktop(_wtoi(argv[a]))).c_str());
    return 0;
  }

  const int runs = _wtoi(argv[2]);
  const HWND keyWindow = MakeKeyWindow();
  const double blankHide = HideBlank();
  std::printf("{\"blank_hide\":%.1f,\"rows\":[", blankHide);
  for (int a = 3; a < argc; ++a) {
    const int count = _wtoi(argv[a]);
    const std::wstring name = L"n" + std::to_wstring(count);
    const std::wstring folder = base + name;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) ::CreateDirectoryW((folder + L"\\Folder " + std::to_wstring(i)).c_str(), nullptr);
    ::RemoveDirectoryW((folder + L"\\Folder new").c_str());  // left by a run that was stopped

    std::vector<double> tree, floor, browse, pages, lookAhead, pagesInARow, pagesBeyond, pageFloor, refresh, hide, teardown,
        refreshLate, teardownLate;
    TreeRun last;
    BrowseRun lastBrowse;
    int selectedByTree = 0, refreshInStep = 0, teardownInStep = 0, refreshKeyAfter = 0, teardownKeyAfter = 0,
        notRefreshed = 0, notFreed = 0;
    for (int r = 0; r < runs; ++r) {
      last = TimeTree(base, name, keyWindow);
      tree.push_back(last.expand);
      pages.insert(pages.end(), last.pages.begin(), last.pages.end());
      lookAhead.insert(lookAhead.end(), last.lookAhead.begin(), last.lookAhead.end());
      pagesInARow.insert(pagesInARow.end(), last.pagesInARow.begin(), last.pagesInARow.end());
      pagesBeyond.insert(pagesBeyond.end(), last.pagesBeyond.begin(), last.pagesBeyond.end());
      pageFloor.push_back(last.pageFloor);
      refresh.push_back(last.refresh);
      hide.push_back(last.hide);
      teardown.push_back(last.teardown);
      refreshLate.push_back(last.refreshKey.ms);
      teardownLate.push_back(last.teardownKey.ms);
      refreshInStep += last.refreshKey.inStep;
      teardownInStep += last.teardownKey.inStep;
      refreshKeyAfter += last.refreshKey.afterStep;
      teardownKeyAfter += last.teardownKey.afterStep;
      notRefreshed += last.refreshed != count + 1 || !last.newSeen;
      notFreed += !last.freed;
      const double t1 = Now();
      Floor(folder);
      floor.push_back(Now() - t1);
      if (count <= kBrowseAtMost) {
        lastBrowse = TimeBrowse(base, name);
        if (lastBrowse.selected != name) lastBrowse.ms = -1;  // the folder was not found in the dialog
      } else {
        lastBrowse = BrowseRun{};
        lastBrowse.ms = -2;  // not run
      }
      browse.push_back(lastBrowse.ms);
      selectedByTree += lastBrowse.selectedByTree;
    }
    // The picker's own path: its window, the tree rooted at the Desktop.
    const std::string desktop = bench::DesktopRunJson(bench::TimeDesktop(count));
    const double nlogn = count * std::log2(static_cast<double>(count));
    std::printf("%s{\"count\":%d,\"loaded\":%d,\"tree\":%.2f,\"lookups\":%lld,\"visible\":%d,"
                "\"page\":%.2f,\"page_lookups\":%.1f,\"look_ahead\":%.2f,\"page_in_a_row\":%.2f,"
                "\"row_lookups\":%.1f,\"page_beyond\":%.2f,\"beyond_lookups\":%.1f,\"page_floor\":%.2f,\"floor\":%.2f,"
                "\"browse\":%.2f,\"browse_loaded\":%d,\"browse_by_selection\":%s,\"browse_selected_by_tree\":%d,"
                "\"comparisons\":%lld,\"nlogn\":%.0f,"
                "\"refresh\":%.2f,\"refresh_lookups\":%lld,\"refreshed\":%d,\"not_refreshed\":%d,\"refresh_late\":%.2f,\"refresh_key_in_step\":%d,"
                "\"hide\":%.2f,\"teardown\":%.2f,\"not_freed\":%d,\"teardown_late\":%.2f,\"teardown_key_in_step\":%d,"
                "\"refresh_key_after_step\":%d,\"teardown_key_after_step\":%d,\"desktop\":%s}",
                a > 3 ? "," : "", count, last.loaded, Median(tree), last.lookups, last.visible, Median(pages),
                static_cast<double>(last.pageLookups) / kPages, Median(lookAhead), Median(pagesInARow),
                static_cast<double>(last.rowLookups) / kPages, Median(pagesBeyond),
                static_cast<double>(last.beyondLookups) / kPages, Median(pageFloor), Median(floor), Median(browse), lastBrowse.children,
                lastBrowse.loadedBySelection ? "true" : "false", selectedByTree, last.comparisons, nlogn,
                Median(refresh), last.refreshLookups, last.refreshed, notRefreshed, Median(refreshLate), refreshInStep,
                Median(hide), Median(teardown), notFreed, Median(teardownLate), teardownInStep,
                refreshKeyAfter, teardownKeyAfter, desktop.c_str());
    std::fflush(stdout);
  }

  // A chain of nested folders, opened and closed again and again.
  std::wstring deepest = base + L"deep";
  ::CreateDirectoryW(deepest.c_str(), nullptr);
  for (int d = 1; d <= kDepth; ++d) {
    deepest += L"\\d" + std::to_wstring(d);
    ::CreateDirectoryW(deepest.c_str(), nullptr);
  }
  const Cycles inTree = TreeCycles(deepest);
  const Cycles plain = PlatformCycles(deepest);
  std::printf("],\"cycles\":%d,\"warm_cycles\":%d,\"depth\":%d,\"tree_cycles\":%s,\"platform_cycles\":%s}\n", kCycles,
              kWarmCycles, kDepth, CyclesJson(inTree).c_str(), CyclesJson(plain).c_str());
  if (keyWindow) ::DestroyWindow(keyWindow);
  return 0;
}
