// Times expanding a folder of many subfolders in the shell folder tree,
// against the floor: the platform calls the tree must make for them, in a
// plain loop (enumeration, binding, names, attributes, icon indices). Also
// counts the name comparisons of the sort against n log2 n. Prints one line
// of JSON with medians in milliseconds.
//   tree_bench.exe <empty folder\> <runs> <count>...
#include <windows.h>

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

class Host : public TForm {
 public:
  Host() {
    CreateForm({L"TTreeBench", L"Tree", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 380, nullptr});
    tree.ShowRoot = false;
    tree.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
    tree.Create(Handle(), {"sShellTreeView1", ControlKind::Panel, {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
  }
  TsShellTreeView tree;
};

// What the tree needs of each child, as plain platform calls.
int FloorOf(const std::wstring& folderPath) {
  ComPtr<IShellFolder> desktop = DesktopShellFolder();
  std::wstring path = folderPath;
  PIDLIST_RELATIVE parsed = nullptr;
  desktop->ParseDisplayName(nullptr, nullptr, path.data(), nullptr, &parsed, nullptr);
  const UniqueAbsoluteID folderID = Adopt(reinterpret_cast<PIDLIST_ABSOLUTE>(parsed));
  ComPtr<IShellFolder> folder;
  desktop->BindToObject(folderID.get(), nullptr, IID_IShellFolder, &folder);
  ComPtr<IEnumIDList> items;
  folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &items);
  int count = 0;
  PITEMID_CHILD id = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &id, &fetched) == S_OK) {
    const UniqueRelativeID child = Adopt(reinterpret_cast<PIDLIST_RELATIVE>(id));
    ComPtr<IShellFolder> bound;
    folder->BindToObject(child.get(), nullptr, IID_IShellFolder, &bound);
    STRRET name{};
    folder->GetDisplayNameOf(id, SHGDN_INFOLDER, &name);
    if (name.uType == STRRET_WSTR) ::CoTaskMemFree(name.pOleStr);
    SFGAOF attributes = SFGAO_HASSUBFOLDER;
    PCUITEMID_CHILD one = id;
    folder->GetAttributesOf(1, &one, &attributes);
    const UniqueAbsoluteID full = Concat(folderID.get(), child.get());
    SHFILEINFOW info{};
    ::SHGetFileInfoW(reinterpret_cast<const wchar_t*>(full.get()), 0, &info, sizeof info,
                     SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    ::SHGetFileInfoW(reinterpret_cast<const wchar_t*>(full.get()), 0, &info, sizeof info,
                     SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
    ++count;
  }
  return count;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tree_bench <empty folder\\> <runs> <count>...\n");
    return 2;
  }
  const std::wstring base = argv[1];
  const int runs = _wtoi(argv[2]);
  TApplication application;
  application.Initialize(L"Tree benchmark");
  ShellModule shell;

  std::printf("[");
  for (int a = 3; a < argc; ++a) {
    const int count = _wtoi(argv[a]);
    const std::wstring folder = base + L"n" + std::to_wstring(count);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < count; ++i) ::CreateDirectoryW((folder + L"\\Folder " + std::to_wstring(i)).c_str(), nullptr);

    std::vector<double> tree, floor;
    long long comparisons = 0;
    int loaded = 0;
    for (int r = 0; r < runs; ++r) {
      {
        Host host;
        host.tree.SetRoot(folder);
        const long long before = TacCustomShellTreeView::Comparisons();
        const double t0 = Now();
        host.tree.Loaded();  // resolves the root, expands it: enumerates and sorts every child
        tree.push_back(Now() - t0);
        comparisons = TacCustomShellTreeView::Comparisons() - before;
        loaded = host.tree.ChildCount(host.tree.FirstNode());
      }
      const double t1 = Now();
      FloorOf(folder);
      floor.push_back(Now() - t1);
    }
    const double nlogn = count * std::log2(static_cast<double>(count));
    std::printf("%s{\"count\":%d,\"loaded\":%d,\"tree\":%.2f,\"floor\":%.2f,\"comparisons\":%lld,\"nlogn\":%.0f}",
                a > 3 ? "," : "", count, loaded, Median(tree), Median(floor), comparisons, nlogn);
  }
  std::printf("]\n");
  return 0;
}
