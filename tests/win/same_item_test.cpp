// The tree's search for a node by its item answers as the desktop's own
// comparison does, on many random cases.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/paths.h"
#include "framework/application.h"
#include "framework/form.h"
#include "picker/same_item.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"
#include "test_support.h"

namespace snapvik {
namespace {

class Host : public TForm {
 public:
  Host() {
    CreateForm({L"TSameItemHost", L"Tree", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 400, nullptr});
    tree.ShowRoot = false;
    tree.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
    tree.Create(Handle(), {"sShellTreeView1", {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
  }
  TsShellTreeView tree;
};

UniqueAbsoluteID Parsed(std::wstring path) {
  PIDLIST_RELATIVE parsed = nullptr;
  if (FAILED(DesktopShellFolder()->ParseDisplayName(nullptr, nullptr, path.data(), nullptr, &parsed, nullptr)))
    return UniqueAbsoluteID();
  return Adopt(reinterpret_cast<PIDLIST_ABSOLUTE>(parsed));
}

// The folders `folder` lists now.
std::vector<UniqueRelativeID> Listed(IShellFolder& folder) {
  std::vector<UniqueRelativeID> listed;
  ComPtr<IEnumIDList> list;
  if (folder.EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, &list) != S_OK || !list) return listed;
  PITEMID_CHILD child = nullptr;
  ULONG fetched = 0;
  while (list->Next(1, &child, &fetched) == S_OK) listed.push_back(Adopt(reinterpret_cast<PIDLIST_RELATIVE>(child)));
  return listed;
}

// Some ASCII letters in the other case.
std::wstring Flipped(std::wstring text, std::mt19937& random) {
  for (wchar_t& c : text) {
    if (random() % 2 == 0) continue;
    if (c >= L'a' && c <= L'z')
      c = static_cast<wchar_t>(c - L'a' + L'A');
    else if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

TEST(SameItem, AnswersAsTheDesktopDoesForEveryNodeOnManyRandomCases) {
  TApplication application;
  application.Initialize(L"Same item");
  ShellModule module;
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);
  const std::wstring base = AddPathSeparator(desktop) + L"same-item-" + std::to_wstring(::GetCurrentProcessId());
  std::mt19937 random(20261211);
  // Few letters, so that names meet again under other parents and in other cases.
  auto name = [&] {
    std::wstring text;
    for (int i = 0, n = 1 + static_cast<int>(random() % 2); i < n; ++i) text += static_cast<wchar_t>(L'a' + random() % 3);
    return text;
  };
  std::vector<std::wstring> folders;
  ::CreateDirectoryW(base.c_str(), nullptr);
  for (int i = 0; i < 8; ++i) {
    const std::wstring outer = base + L"\\" + name() + std::to_wstring(i % 3);
    if (!::CreateDirectoryW(outer.c_str(), nullptr)) continue;
    folders.push_back(outer);
    for (int j = 0, n = static_cast<int>(random() % 4); j < n; ++j) {
      const std::wstring inner = outer + L"\\" + name();
      if (::CreateDirectoryW(inner.c_str(), nullptr)) folders.push_back(inner);
    }
  }
  ASSERT_GE(folders.size(), 8u);

  {
    Host host;
    TsShellTreeView& tree = host.tree;
    tree.Loaded();  // the Desktop, as the picker roots it
    // The folder through the Desktop, all open; then one of its folders by
    // its path, which the shell gives through the computer: a second route.
    HTREEITEM node = nullptr;
    for (HTREEITEM c = tree.FirstChild(tree.FirstNode()); c && !node; c = tree.NextSibling(c))
      if (tree.FolderOf(c)->PathName() == base) node = c;
    ASSERT_TRUE(node);
    tree.Expand(node);
    for (HTREEITEM c = tree.FirstChild(node); c; c = tree.NextSibling(c)) tree.Expand(c);
    tree.SetPath(folders.back());
    ASSERT_EQ(tree.Path(), folders.back());

    std::vector<const TacShellFolder*> items;
    for (HTREEITEM n = tree.FirstNode(); n; n = tree.NextInTreeOrder(n)) items.push_back(tree.FolderOf(n));
    std::vector<UniqueAbsoluteID> ids;
    for (const TacShellFolder* item : items) ids.push_back(AbsoluteCopy(item->AbsoluteID()));
    // Parsed from paths, in other letter cases, and some no longer there.
    for (const std::wstring& folder : folders) {
      ids.push_back(Parsed(folder));
      ids.push_back(Parsed(Flipped(folder, random)));
      ids.push_back(Parsed(folder + L"\\gone"));
    }
    // The same folders listed again after a rename in letter case only: other bytes, the same item.
    for (const TacShellFolder* item : items) {
      if (item->Parent() == nullptr || item->PathName().rfind(base + L"\\", 0) != 0 || random() % 2) continue;
      const std::wstring path = item->PathName();
      const std::wstring other = FolderOf(path) + Flipped(LastPathComponent(path), random);
      if (other == path || !::MoveFileW(path.c_str(), other.c_str())) continue;
      if (IShellFolder* holder = item->Parent()->ShellFolder())
        for (UniqueRelativeID& child : Listed(*holder)) ids.push_back(Concat(item->Parent()->AbsoluteID(), child.get()));
      ::MoveFileW(other.c_str(), path.c_str());
    }
    // Listed afresh after some folders got another time, which the shell
    // keeps in the identifier: other bytes, the same items.
    for (const std::wstring& folder : folders) {
      if (random() % 2) continue;
      const HANDLE handle = ::CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (handle == INVALID_HANDLE_VALUE) continue;
      const FILETIME then{0x2A3D8000u, 0x01C0CB00u};  // early 2001
      ::SetFileTime(handle, nullptr, nullptr, &then);
      ::CloseHandle(handle);
    }
    for (const TacShellFolder* item : items) {
      if (item->PathName().rfind(base, 0) != 0 || !item->ShellFolder()) continue;
      for (UniqueRelativeID& child : Listed(*item->ShellFolder()))
        ids.push_back(Concat(item->AbsoluteID(), child.get()));
    }
    std::erase_if(ids, [](const UniqueAbsoluteID& id) { return !id; });

    // Each identifier against the nodes in tree order, as a search meets
    // them, with one matcher that learns the parents as it goes.
    int same = 0, sameOtherBytes = 0, asked = 0;
    for (int round = 0; round < 400; ++round) {
      const UniqueAbsoluteID& id = ids[random() % ids.size()];
      SameItemAs matcher(id.get());
      for (const TacShellFolder* item : items) {
        if (random() % 3 == 0) continue;
        const bool plain = SameID(item->AbsoluteID(), id.get());
        ASSERT_EQ(matcher(*item), plain) << "round " << round << ": " << item->PathName().c_str();
        ++asked;
        if (!plain) continue;
        ++same;
        if (IDSize(item->AbsoluteID()) != IDSize(id.get()) ||
            std::memcmp(item->AbsoluteID(), id.get(), IDSize(id.get())) != 0)
          ++sameOtherBytes;
      }
    }
    // Cases of every kind were met.
    EXPECT_GT(asked, 10000);
    EXPECT_GT(same, 100);
    EXPECT_GT(sameOtherBytes, 5);
    EXPECT_GT(ids.size(), items.size() + folders.size());
  }
  for (auto f = folders.rbegin(); f != folders.rend(); ++f) ::RemoveDirectoryW(f->c_str());
  ::RemoveDirectoryW(base.c_str());
}

}  // namespace
}  // namespace snapvik
