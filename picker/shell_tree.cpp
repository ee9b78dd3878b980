#include "picker/shell_tree.h"

#include <shellapi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "common/errors.h"
#include "common/flag_scope.h"
#include "common/paths.h"
#include "common/win_error.h"
#include "framework/application.h"
#include "picker/read_again_logic.h"
#include "picker/root_folders_logic.h"
#include "picker/same_item.h"
#include "picker/shell_module.h"

namespace snapvik {

namespace {

constexpr UINT kRefreshSelected = WM_USER + 1;  // posted by the change watcher
constexpr UINT kRootChangeWaited = WM_USER + 3;  // a new root, once no call holds nodes
constexpr UINT kRefreshQueued = WM_USER + 2;    // folders read again once the tree is free: a renamed folder's parent, ...

long long g_comparisons = 0;

// The hourglass while the tree enumerates, the previous cursor back afterwards.
class WaitCursor {
 public:
  WaitCursor() noexcept : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { ::SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

// The item a path names, by the desktop's parsing of its full form; none when the shell cannot parse it.
UniqueAbsoluteID ParsePath(const std::wstring& path) {
  std::wstring full = FullPathName(path);
  ULONG eaten = static_cast<ULONG>(path.size());
  PIDLIST_RELATIVE parsed = nullptr;
  ULONG attributes = 0;
  const HRESULT result =
      DesktopShellFolder()->ParseDisplayName(nullptr, nullptr, full.data(), &eaten, &parsed, &attributes);
  UniqueAbsoluteID id = Adopt(reinterpret_cast<PIDLIST_ABSOLUTE>(parsed));
  if (FAILED(result)) id.reset();
  return id;
}

// The children `folder` lists now; none when it cannot be read. The shell
// may show a window of its own here (credentials for a share, a missing
// disk) and run a message loop.
std::vector<UniqueRelativeID> EnumerateChildren(IShellFolder& folder, DWORD flags) {
  std::vector<UniqueRelativeID> ids;
  ComPtr<IEnumIDList> items;
  if (folder.EnumObjects(Application().Handle(), flags, &items) != S_OK || !items) return ids;
  PITEMID_CHILD id = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &id, &fetched) == S_OK) ids.push_back(Adopt(reinterpret_cast<PIDLIST_RELATIVE>(id)));
  return ids;
}

// Each item of a list, its count included, without the terminator.
std::vector<std::string_view> IDItems(const void* id) {
  std::vector<std::string_view> items;
  const char* at = static_cast<const char*>(id);
  const char* end = at + (IDSize(id) >= 2 ? IDSize(id) - 2 : 0);
  while (at && at + 2 <= end) {
    const size_t count = static_cast<unsigned char>(at[0]) | (static_cast<size_t>(static_cast<unsigned char>(at[1])) << 8);
    if (count < 2 || at + count > end) break;
    items.emplace_back(at, count);
    at += count;
  }
  return items;
}

std::string_view IDBytes(PCUIDLIST_RELATIVE id) {
  return {reinterpret_cast<const char*>(id), IDSize(id)};
}

// A node's icons: the item's small icon, and its open form while selected,
// both asked for when the control first draws the node (NodeImages).
void SetIcons(TVITEMW& update) {
  update.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  update.iImage = I_IMAGECALLBACK;
  update.iSelectedImage = I_IMAGECALLBACK;
}

}  // namespace

// Redrawing off while the nodes change, on again (and repainted) when the outermost bracket closes.
class TacCustomShellTreeView::UpdateBracket {
 public:
  explicit UpdateBracket(TacCustomShellTreeView& tree) noexcept : tree_(tree) {
    if (tree_.updateDepth_++ == 0) ::SendMessageW(tree_.Handle(), WM_SETREDRAW, FALSE, 0);
  }
  ~UpdateBracket() {
    if (--tree_.updateDepth_ == 0) {
      ::SendMessageW(tree_.Handle(), WM_SETREDRAW, TRUE, 0);
      ::InvalidateRect(tree_.Handle(), nullptr, TRUE);
    }
  }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

 private:
  TacCustomShellTreeView& tree_;
};

// Marks the tree busy inside a call that may run a message loop. When the
// outermost one ends, the refreshes that waited meanwhile are posted.
class TacCustomShellTreeView::BusyScope {
 public:
  explicit BusyScope(TacCustomShellTreeView& tree) noexcept : tree_(tree) {
    // The icons asked for ahead wait too: their timer would only find the tree busy.
    if (tree_.busy_++ == 0 && tree_.lookAhead_.Running()) {
      tree_.lookAhead_.Stop(tree_.Handle());
      tree_.lookAheadWaits_ = true;
    }
  }
  ~BusyScope() {
    if (--tree_.busy_ > 0 || !tree_.Handle()) return;
    if (std::exchange(tree_.lookAheadWaits_, false)) tree_.lookAhead_.Arm(tree_.Handle());
    if (tree_.selectedRefreshWaits_) {
      tree_.selectedRefreshWaits_ = false;
      ::PostMessageW(tree_.Handle(), kRefreshSelected, 0, 0);
    }
    if (!tree_.queuedRefreshes_.empty()) ::PostMessageW(tree_.Handle(), kRefreshQueued, 0, 0);
    if (std::exchange(tree_.rootChangeWaits_, false)) ::PostMessageW(tree_.Handle(), kRootChangeWaited, 0, 0);
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  TacCustomShellTreeView& tree_;
};

DWORD EnumerationFlags(TacShellObjectTypes types) {
  DWORD flags = 0;
  if (types & (1u << otFolders)) flags |= SHCONTF_FOLDERS;
  if (types & (1u << otNonFolders)) flags |= SHCONTF_NONFOLDERS;
  if (types & (1u << otHidden)) flags |= SHCONTF_INCLUDEHIDDEN;
  return flags;
}

TacCustomShellTreeView::TacCustomShellTreeView() : FNotifier(std::make_unique<TacShellChangeNotifier>(Application())) {}

TacCustomShellTreeView::~TacCustomShellTreeView() {
  // Deleting the nodes moves the selection, and the control tells of it; the
  // handlers' owners (the controls beside the tree) may be gone already.
  destroying_ = true;
  OnChange = nullptr;
  OnChanging = nullptr;
  OnAddFolder = nullptr;
  OnExpanding = nullptr;
  OnEdited = nullptr;
  FNotifier.reset();  // its worker posts to this window
  if (Handle()) FreeAllNodes();
}

long long TacCustomShellTreeView::Comparisons() { return g_comparisons; }

void TacCustomShellTreeView::Loaded() {
  loaded_ = true;
  ApplyImageList();
  BuildRoot();
}

void TacCustomShellTreeView::SetRoot(const std::wstring& value) {
  if (SameIgnoringAsciiCase(value, FRoot)) return;
  FOldRoot = FRoot;
  FRoot = value;
  if (!FUpdating) RootChanged();
}

void TacCustomShellTreeView::SetObjectTypes(TacShellObjectTypes value) {
  ObjectTypes = value;
  RootChanged();
}

void TacCustomShellTreeView::RootChanged() {
  if (FUpdating) return;
  // Every node goes with the old root; not while a call still holds some.
  if (busy_) {
    rootChangeWaits_ = true;
    return;
  }
  const FlagScope updating(FUpdating);
  BuildRoot();
}

TacShellFolder* TacCustomShellTreeView::FolderOf(HTREEITEM node) const {
  if (!node) return nullptr;
  TVITEMW item = ItemQuery(node, TVIF_PARAM);
  if (!TreeView_GetItem(Handle(), &item)) return nullptr;
  return reinterpret_cast<TacShellFolder*>(item.lParam);
}

TacShellFolder* TacCustomShellTreeView::SelectedFolder() const { return FolderOf(Selected()); }

TacShellFolder* TacCustomShellTreeView::FolderAt(int index) const {
  HTREEITEM node = FirstNode();
  for (int i = 0; node && i < index; ++i) node = NextInTreeOrder(node);
  return FolderOf(node);
}

std::wstring TacCustomShellTreeView::Path() const {
  const TacShellFolder* selected = SelectedFolder();
  return selected ? selected->PathName() : std::wstring();
}

void TacCustomShellTreeView::SetPath(const std::wstring& path) {
  const UniqueAbsoluteID id = ParsePath(path);
  if (!id) throw EOSError(L"Error Setting Path");
  // A folder can be reached by more than one identifier (a Desktop child is
  // also a path under the computer); the selected one already is this path.
  if (const TacShellFolder* selected = SelectedFolder(); selected && selected->PathName() == path) return;
  if (FUpdating) return;
  SetPathFromID(id.get());
}

void TacCustomShellTreeView::SetPathFromID(PCIDLIST_ABSOLUTE id) {
  if (FUpdating || !loaded_ || !FirstNode()) return;
  if (const TacShellFolder* selected = SelectedFolder(); selected && SameID(selected->AbsoluteID(), id)) return;
  const FlagScope updating(FUpdating);
  const UpdateBracket bracket(*this);
  HTREEITEM start = FirstNode();
  for (const UniqueAbsoluteID& ancestor : Ancestors(id)) {
    if (HTREEITEM found = FindNodeByID(ancestor.get(), start)) {
      TreeView_Expand(Handle(), found, TVE_EXPAND);
      start = found;
    }
  }
  TreeView_SelectItem(Handle(), FindNodeByID(id, start));
}

HTREEITEM TacCustomShellTreeView::FindNodeByID(PCIDLIST_ABSOLUTE id, HTREEITEM start) const {
  if (!start) return nullptr;
  if (HTREEITEM found = DescendToID(id, start)) return found;
  // Another route to the same item (a Desktop child is also a path under the
  // computer): every node asked, the desktop only where the bytes and the
  // holding folder cannot tell.
  SameItemAs same(id);
  const int level = LevelOf(start);
  HTREEITEM node = start;
  do {
    if (const TacShellFolder* item = FolderOf(node); item && same(*item)) return node;
    node = NextInTreeOrder(node);
  } while (node && LevelOf(node) > level);
  return nullptr;
}

HTREEITEM TacCustomShellTreeView::DescendToID(PCIDLIST_ABSOLUTE id, HTREEITEM start) const {
  const TacShellFolder* item = FolderOf(start);
  if (!item || !id) return nullptr;
  const std::vector<std::string_view> startItems = IDItems(item->AbsoluteID());
  const std::vector<std::string_view> idItems = IDItems(id);
  if (startItems.size() > idItems.size()) return nullptr;
  // `start` must be `id` or hold it: one comparison through the desktop.
  std::string prefix;
  for (size_t i = 0; i < startItems.size(); ++i) prefix.append(idItems[i]);
  prefix.append(2, '\0');
  if (!SameID(item->AbsoluteID(), reinterpret_cast<PCIDLIST_ABSOLUTE>(prefix.data()))) return nullptr;
  // Then one level at a time, each child compared by the folder that holds
  // it, which costs a fraction of a comparison through the desktop.
  HTREEITEM node = start;
  for (size_t level = startItems.size(); level < idItems.size(); ++level) {
    const TacShellFolder* parent = FolderOf(node);
    IShellFolder* folder = parent ? parent->ShellFolder() : nullptr;
    if (!folder) return nullptr;
    std::string wanted(idItems[level]);
    wanted.append(2, '\0');
    const auto* wantedID = reinterpret_cast<PCUIDLIST_RELATIVE>(wanted.data());
    HTREEITEM found = nullptr;
    for (HTREEITEM child = FirstChild(node); child && !found; child = NextSibling(child)) {
      const TacShellFolder* childItem = FolderOf(child);
      if (!childItem || IDItems(childItem->RelativeID()).size() != 1) continue;
      const HRESULT order = folder->CompareIDs(0, childItem->RelativeID(), wantedID);
      if (SUCCEEDED(order) && static_cast<short>(HRESULT_CODE(order)) == 0) found = child;
    }
    if (!found) return nullptr;
    node = found;
  }
  return node;
}

std::unique_ptr<TacShellFolder> TacCustomShellTreeView::ResolveRoot(std::wstring& newRoot) {
  auto identify = [](std::wstring& root) -> UniqueAbsoluteID {
    if (const std::optional<RootFolderName> named = FindRootFolder(root)) {
      PIDLIST_ABSOLUTE raw = nullptr;
      ::SHGetSpecialFolderLocation(nullptr, named->csidl, &raw);
      return Adopt(raw);
    }
    if (root.empty()) return UniqueAbsoluteID();
    root = AddPathSeparator(root);
    return ParsePath(root);
  };
  UniqueAbsoluteID id = identify(newRoot);
  if (!id) {
    const std::wstring error = L"Error Setting Path : " + newRoot;
    newRoot = FOldRoot;
    id = identify(newRoot);
    if (!id) throw EOSError(error);
    ShowErrorBox(error);
  }
  return FolderFromAbsoluteID(id.get());
}

void TacCustomShellTreeView::BuildRoot() {
  if (!loaded_ || !Handle()) return;
  std::wstring kept;
  try {
    FRootFolder = ResolveRoot(FRoot);
  } catch (const Exception& error) {
    kept = error.Message();
  }
  if (FRootFolder) {
    if (FirstNode()) FreeAllNodes();
    auto item = std::make_unique<TacShellFolder>(nullptr, FRootFolder->AbsoluteID(),
                                                 ComPtr<IShellFolder>(FRootFolder->ShellFolder()));
    TacShellFolder& root = *item;
    const HTREEITEM node = AddNode(TVI_ROOT, TVI_LAST, std::move(item));
    const std::wstring text = FindRootFolder(FRoot)
                                  ? ShellDisplayName(DesktopShellFolder().Get(), root.AbsoluteID(), 0, ShowExt)
                                  : LastPathComponent(FRoot);
    TVITEMW update = ItemQuery(node, TVIF_TEXT | TVIF_CHILDREN);
    update.pszText = const_cast<wchar_t*>(text.c_str());
    update.cChildren = root.SubFolders() ? 1 : 0;
    if (FUseShellImages) {
      SetIcons(update);
    }
    TreeView_SetItem(Handle(), &update);
    TreeView_Expand(Handle(), node, TVE_EXPAND);
    TreeView_SelectItem(Handle(), node);
    if (FNotifier) FNotifier->ReapplyOptions();
  }
  if (!kept.empty()) throw EOSError(kept);
}

void TacCustomShellTreeView::FreeAllNodes() {
  const UpdateBracket bracket(*this);
  // The items are freed here, after the control let go of its nodes: its
  // notices of each deletion may not reach this object while the window goes.
  std::vector<std::unique_ptr<TacShellFolder>> items;
  for (HTREEITEM node = FirstNode(); node; node = NextInTreeOrder(node)) items.emplace_back(FolderOf(node));
  const FlagScope freeing(freeingAll_);
  TreeView_DeleteAllItems(Handle());
  lookAhead_.End(Handle());
}

void TacCustomShellTreeView::Deleting(LPARAM data) {
  ++deletions_;
  if (!freeingAll_) delete reinterpret_cast<TacShellFolder*>(data);
}

HTREEITEM TacCustomShellTreeView::Revalidated(HTREEITEM node, unsigned long deletionsBefore,
                                              PCIDLIST_ABSOLUTE id) const {
  if (deletions_ == deletionsBefore) return node;
  return FindNodeByID(id, FirstNode());
}

void TacCustomShellTreeView::NodeImages(TVITEMW& node) {
  const auto* item = reinterpret_cast<const TacShellFolder*>(node.lParam);
  if (item && !item->SmallIconKnown(false))
    if (const std::optional<int> known = lookAhead_.Known(item->AbsoluteID())) item->KnowSmallIcon(*known);
  if (node.mask & TVIF_IMAGE) node.iImage = item ? item->SmallIcon(false) : 0;
  if (node.mask & TVIF_SELECTEDIMAGE) {
    // The open form shows only on the selected node: looked up when that is drawn.
    if (!item)
      node.iSelectedImage = 0;
    else if (!(node.state & TVIS_SELECTED))
      node.iSelectedImage = I_IMAGECALLBACK;
    else if ((node.iSelectedImage = item->SmallIcon(true)) == 0)
      node.iSelectedImage = item->SmallIcon(false);
  }
}

HTREEITEM TacCustomShellTreeView::AddNode(HTREEITEM parent, HTREEITEM after, std::unique_ptr<TacShellFolder> item,
                                          TVITEMW shown) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = after;
  insert.item = shown;
  insert.item.mask |= TVIF_TEXT | TVIF_PARAM;
  if (!insert.item.pszText) insert.item.pszText = const_cast<wchar_t*>(L"");
  insert.item.lParam = reinterpret_cast<LPARAM>(item.get());
  const HTREEITEM node = TreeView_InsertItem(Handle(), &insert);
  if (!node) throw EOutOfResources(L"Out of system resources");
  item.release();  // the node owns it now
  return node;
}

void TacCustomShellTreeView::SetHasChildren(HTREEITEM node, bool has) {
  TVITEMW item = ItemQuery(node, TVIF_CHILDREN);
  item.cChildren = has ? 1 : 0;
  TreeView_SetItem(Handle(), &item);
}

HTREEITEM TacCustomShellTreeView::AddFolderNode(HTREEITEM parent, HTREEITEM after,
                                               std::unique_ptr<TacShellFolder> child) {
  TacShellFolder& item = *child;
  const std::wstring text = item.DisplayName(ShowExt);
  TVITEMW shown{};
  shown.mask = TVIF_TEXT | TVIF_CHILDREN;
  shown.pszText = const_cast<wchar_t*>(text.c_str());
  if (FUseShellImages) SetIcons(shown);
  shown.cChildren = item.SubFolders() ? 1 : 0;
  if (item.Properties().Has(fpShared)) {
    shown.mask |= TVIF_STATE;
    shown.state = INDEXTOOVERLAYMASK(1);  // the image list's first overlay image
    shown.stateMask = TVIS_OVERLAYMASK;
  }
  if ((ObjectTypes & (1u << otNonFolders)) && item.ShellFolder())
    shown.cChildren = FolderHasItems(item.ShellFolder(), EnumerationFlags(ObjectTypes)) ? 1 : 0;
  // Inserted set up: each later change to a node makes the control search all its nodes for it.
  const HTREEITEM node = AddNode(parent, after, std::move(child), shown);
  bool canAdd = true;
  if (OnAddFolder) OnAddFolder(this, &item, canAdd);
  if (canAdd) return node;
  TreeView_DeleteItem(Handle(), node);  // frees the item
  return nullptr;
}

void TacCustomShellTreeView::LoadChildren(HTREEITEM node) {
  const BusyScope busy(*this);
  const WaitCursor wait;
  const UpdateBracket bracket(*this);
  TacShellFolder* parent = FolderOf(node);
  const ComPtr<IShellFolder> folder(parent ? parent->ShellFolder() : nullptr);
  if (!folder) return;
  const UniqueAbsoluteID parentID = AbsoluteCopy(parent->AbsoluteID());
  unsigned long deletions = deletions_;
  // Only identifiers are kept across the enumeration's message loop.
  const std::vector<UniqueRelativeID> ids = EnumerateChildren(*folder.Get(), EnumerationFlags(ObjectTypes));
  if (ids.empty()) return;
  node = Revalidated(node, deletions, parentID.get());
  if (!node || FirstChild(node)) return;  // gone meanwhile, or loaded by then
  parent = FolderOf(node);

  std::vector<std::unique_ptr<TacShellFolder>> children;
  children.reserve(ids.size());
  // Each child's own folder is bound when it is first needed (expanded, say), not for all of them now.
  for (const UniqueRelativeID& child : ids)
    children.push_back(std::make_unique<TacShellFolder>(*parent, child.get(), TacShellFolder::BindLater{}));
  // In the shell's own name order, once, after the last child.
  std::stable_sort(children.begin(), children.end(), [&folder](const auto& a, const auto& b) {
    ++g_comparisons;
    const HRESULT order = folder->CompareIDs(0, a->RelativeID(), b->RelativeID());
    return static_cast<short>(HRESULT_CODE(order)) < 0;
  });
  for (std::unique_ptr<TacShellFolder>& child : children) {
    deletions = deletions_;
    const bool added = AddFolderNode(node, TVI_LAST, std::move(child)) != nullptr;
    // An OnAddFolder handler may run a message loop as well: stop if the node went meanwhile.
    if (deletions_ != deletions + (added ? 0 : 1) &&
        (Revalidated(node, deletions, parentID.get()) != node || FolderOf(node) != parent))
      break;
  }
}

bool TacCustomShellTreeView::CanExpand(HTREEITEM node) {
  const bool answer = OnExpanding ? OnExpanding(node) : true;
  if (answer) {
    TacShellFolder* item = FolderOf(node);
    if (item && item->IsFolder(L"", true)) {
      TVITEMW query = ItemQuery(node, TVIF_CHILDREN);
      TreeView_GetItem(Handle(), &query);
      if (query.cChildren && !FirstChild(node)) LoadChildren(node);
    } else if (item) {
      const std::wstring path = item->PathName();
      ::ShellExecuteW(Handle(), nullptr, path.c_str(), nullptr, snapvik::FolderOf(path).c_str(), SW_HIDE);
    }
  }
  SetHasChildren(node, FirstChild(node) != nullptr);
  return answer;
}

bool TacCustomShellTreeView::CanChange(HTREEITEM node) {
  if (destroying_) return true;
  const bool answer = OnChanging ? OnChanging(node) : true;
  // The watch moves to the new selection's folder.
  if (answer && !FUpdating && !keepWatch_ && node) WatchNode(node);
  return answer;
}

void TacCustomShellTreeView::WatchNode(HTREEITEM node) {
  FNodeToMonitor = node;
  struct Clear {
    HTREEITEM& node;
    ~Clear() { node = nullptr; }
  } clear{FNodeToMonitor};
  SetAutoRefresh(FAutoRefresh);
}

void TacCustomShellTreeView::SetAutoRefresh(bool value) {
  FAutoRefresh = value;
  if (!loaded_) return;
  if (!value) {
    FNotifier.reset();
    return;
  }
  const TacShellFolder* watched = FNodeToMonitor ? FolderOf(FNodeToMonitor) : FRootFolder.get();
  const std::wstring folder = watched ? watched->PathName() : std::wstring();
  // One worker for as long as the option is on: a folder already watched
  // (refreshed, or selected again) keeps its watch, so no change in it is
  // missed; another folder is handed to the same worker, which watches it
  // before the tree lists it.
  if (FNotifier && FNotifier->Thread()) {
    FNotifier->SetRoot(folder);
    return;
  }
  FNotifier = std::make_unique<TacShellChangeNotifier>(Application());
  FNotifier->SetWatchSubTree(false);
  FNotifier->SetRoot(folder);
  FNotifier->SetOnChange([this] { PostRefreshRequest(); });
}

void TacCustomShellTreeView::DoContextPopup(POINT position, bool& handled) {
  if (!AutoContextMenus) return;
  handled = true;
  if (busy_) return;  // not while the shell is busy with this tree already
  // The menu's loop, and the command's own windows, run messages meanwhile.
  const BusyScope busy(*this);
  ShowShellContextMenu(*this, SelectedFolder(), position.x, position.y);
}

void TacCustomShellTreeView::PostRefreshRequest() { ::PostMessageW(Handle(), kRefreshSelected, 0, 0); }

void TacCustomShellTreeView::RefreshQueued() {
  std::vector<UniqueAbsoluteID> queued = std::move(queuedRefreshes_);
  queuedRefreshes_.clear();
  for (const UniqueAbsoluteID& id : queued)
    if (HTREEITEM node = FindNodeByID(id.get(), FirstNode())) Refresh(node);
}

bool TacCustomShellTreeView::Edited(HTREEITEM node, const wchar_t* text) {
  std::wstring name = text;
  if (OnEdited) OnEdited(node, name);
  TacShellFolder* item = FolderOf(node);
  if (!item || !item->Rename(name)) return false;
  TVITEMW update = ItemQuery(node, TVIF_TEXT);
  update.pszText = name.data();
  TreeView_SetItem(Handle(), &update);
  // The parent is read again once the editor has closed: the control still
  // holds the edited node until then.
  if (const TacShellFolder* parentItem = FolderOf(ParentOf(node))) {
    queuedRefreshes_.push_back(AbsoluteCopy(parentItem->AbsoluteID()));
    if (!busy_) ::PostMessageW(Handle(), kRefreshQueued, 0, 0);
  }
  return false;
}

UniqueAbsoluteID TacCustomShellTreeView::NodeID(HTREEITEM node) const {
  const TacShellFolder* item = FolderOf(node);
  return item ? AbsoluteCopy(item->AbsoluteID()) : UniqueAbsoluteID();
}

void TacCustomShellTreeView::Refresh(HTREEITEM node) {
  TacShellFolder* item = FolderOf(node);
  if (!item || !item->ShellFolder()) return;
  if (busy_) {
    // Inside a call that still holds nodes: once it has returned.
    queuedRefreshes_.push_back(AbsoluteCopy(item->AbsoluteID()));
    return;
  }
  const BusyScope busy(*this);
  const UniqueAbsoluteID top = NodeID(TopItem());
  const UniqueAbsoluteID selected = NodeID(Selected());
  {
    // The control may move the selection away from a node that goes, and
    // back: the watch stays, a change made meanwhile is seen.
    const FlagScope keepWatch(keepWatch_);
    const UpdateBracket bracket(*this);
    const WaitCursor wait;
    ReadAgain(node);
    // A node kept is still where it was; one renewed or gone is looked for.
    auto stillAt = [this](HTREEITEM now, const UniqueAbsoluteID& id) {
      const TacShellFolder* shown = FolderOf(now);
      return shown && IDBytes(shown->AbsoluteID()) == IDBytes(id.get());
    };
    if (selected && !stillAt(Selected(), selected))
      TreeView_SelectItem(Handle(), FindNodeByID(selected.get(), FirstNode()));
    if (top && !stillAt(TopItem(), top))
      if (HTREEITEM found = FindNodeByID(top.get(), FirstNode())) TreeView_SelectSetFirstVisible(Handle(), found);
  }
  // Where the selection is now (elsewhere when its folder is gone) is watched.
  if (FAutoRefresh && Selected()) WatchNode(Selected());
}

void TacCustomShellTreeView::ReadAgain(HTREEITEM node) {
  TacShellFolder* parent = FolderOf(node);
  const ComPtr<IShellFolder> folder(parent ? parent->ShellFolder() : nullptr);
  if (!folder) return;
  if (!FirstChild(node)) {
    LoadChildren(node);
    SetHasChildren(node, FirstChild(node) != nullptr);
    return;
  }
  const UniqueAbsoluteID parentID = AbsoluteCopy(parent->AbsoluteID());
  unsigned long deletions = deletions_;
  std::vector<UniqueRelativeID> found = EnumerateChildren(*folder.Get(), EnumerationFlags(ObjectTypes));
  node = Revalidated(node, deletions, parentID.get());
  if (!node) return;
  parent = FolderOf(node);

  struct Held {
    HTREEITEM node;
    TacShellFolder* item;
  };
  std::vector<Held> held;
  std::vector<std::string_view> heldKeys, foundKeys;
  for (HTREEITEM child = FirstChild(node); child; child = NextSibling(child)) {
    TacShellFolder* item = FolderOf(child);
    held.push_back({child, item});
    heldKeys.push_back(item ? IDBytes(item->RelativeID()) : std::string_view());
  }
  for (const UniqueRelativeID& id : found) foundKeys.push_back(IDBytes(id.get()));
  const ReadAgainPlan plan = PlanReadAgain(heldKeys, foundKeys, [&folder](std::string_view a, std::string_view b) {
    ++g_comparisons;
    const HRESULT order = folder->CompareIDs(0, reinterpret_cast<PCUIDLIST_RELATIVE>(a.data()),
                                             reinterpret_cast<PCUIDLIST_RELATIVE>(b.data()));
    return static_cast<int>(static_cast<short>(HRESULT_CODE(order)));
  });

  // The same item under other bytes (a time stamp the shell keeps in the
  // identifier moves whenever the folder is read) keeps its node as long as
  // it shows the same name; only a folder with another name gets a new node.
  std::vector<ReadAgainPlan::Fate> fates = plan.fates;
  for (size_t i = 0; i < held.size(); ++i) {
    if (fates[i] != ReadAgainPlan::Fate::Renewed) continue;
    const TacShellFolder fresh(*parent, found[plan.renewals[i]].get(), TacShellFolder::BindLater{});
    if (!held[i].item || fresh.DisplayName(ShowExt) != held[i].item->DisplayName(ShowExt)) continue;
    fates[i] = ReadAgainPlan::Fate::Kept;
    if (!FirstChild(held[i].node)) {
      TVITEMW shown = ItemQuery(held[i].node, TVIF_CHILDREN);
      TreeView_GetItem(Handle(), &shown);
      if ((shown.cChildren != 0) != fresh.SubFolders()) SetHasChildren(held[i].node, fresh.SubFolders());
    }
  }

  // New nodes first, placed among the held ones, which all stay until then.
  deletions = deletions_;
  auto add = [&](HTREEITEM after, size_t index) -> HTREEITEM {
    return AddFolderNode(node, after,
                         std::make_unique<TacShellFolder>(*parent, found[index].get(), TacShellFolder::BindLater{}));
  };
  struct Renewal {
    HTREEITEM old, renewed;
  };
  std::vector<Renewal> renewals;
  size_t next = 0;
  HTREEITEM after = TVI_FIRST;
  for (size_t i = 0; i <= held.size(); ++i) {
    for (; next < plan.added.size() && plan.added[next].second == i; ++next)
      if (HTREEITEM added = add(after, plan.added[next].first)) after = added;
    if (i == held.size()) break;
    after = held[i].node;
    if (fates[i] == ReadAgainPlan::Fate::Renewed)
      if (HTREEITEM renewed = add(after, plan.renewals[i])) renewals.push_back({held[i].node, renewed});
  }
  // An OnAddFolder handler may have run a message loop: nothing more on a guess.
  if (deletions_ != deletions) return;

  for (const Renewal& renewal : renewals) {
    ExpandLike(renewal.old, renewal.renewed);
    TreeView_DeleteItem(Handle(), renewal.old);
  }
  std::vector<HTREEITEM> readAgain;
  for (size_t i = 0; i < held.size(); ++i) {
    const HTREEITEM child = held[i].node;
    if (fates[i] == ReadAgainPlan::Fate::Gone) {
      TreeView_DeleteItem(Handle(), child);
    } else if (fates[i] == ReadAgainPlan::Fate::Kept && FirstChild(child)) {
      if (Expanded(child)) {
        readAgain.push_back(child);
      } else {
        // Loaded once and closed since: loaded afresh when opened again.
        TreeView_Expand(Handle(), child, TVE_COLLAPSE | TVE_COLLAPSERESET);
        SetHasChildren(child, held[i].item && held[i].item->SubFolders());
      }
    }
  }
  SetHasChildren(node, FirstChild(node) != nullptr);
  // Deletions wait while the tree is busy, so the kept nodes are still there.
  for (const HTREEITEM child : readAgain) ReadAgain(child);
}

void TacCustomShellTreeView::ExpandLike(HTREEITEM old, HTREEITEM renewed) {
  // The old subtree's expansions, parents first, each loading its children afresh.
  const int level = LevelOf(old);
  for (HTREEITEM node = old; node; node = NextInTreeOrder(node)) {
    if (node != old && LevelOf(node) <= level) break;
    if (!Expanded(node)) continue;
    if (node == old) {
      TreeView_Expand(Handle(), renewed, TVE_EXPAND);
    } else if (const TacShellFolder* item = FolderOf(node)) {
      if (HTREEITEM found = FindNodeByID(item->AbsoluteID(), renewed)) TreeView_Expand(Handle(), found, TVE_EXPAND);
    }
  }
}

void TacCustomShellTreeView::RefreshSelected() {
  if (HTREEITEM node = Selected()) Refresh(node);
}

void TacCustomShellTreeView::SetUseShellImages(bool value) {
  FUseShellImages = value;
  if (Handle()) ApplyImageList();
}

void TacCustomShellTreeView::ApplyImageList() {
  ::SendMessageW(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL,
                 reinterpret_cast<LPARAM>(FUseShellImages ? SystemSmallImages() : nullptr));
}

LRESULT TacCustomShellTreeView::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (const std::optional<LRESULT> result = MenuMessage(msg, wParam, lParam)) return *result;
  switch (msg) {
    case kRefreshSelected:
      // Posted by the watcher; it waits while the tree is inside a call that holds nodes.
      if (busy_)
        selectedRefreshWaits_ = true;
      else
        RefreshSelected();
      return 0;
    case kRefreshQueued:
      if (!busy_) RefreshQueued();
      return 0;
    case kRootChangeWaited:
      RootChanged();
      return 0;
    case WM_KEYDOWN:
      // F2 renames, as in the system's file manager: Wine's shell menu offers no Rename.
      if (wParam != VK_F2) break;
      if (const HTREEITEM node = Selected(); node && !IsEditing())
        if (const TacShellFolder* item = FolderOf(node); item && item->Capabilities().Has(fcCanRename)) EditText(node);
      return 0;
    case TVM_SETIMAGELIST:
      if (!FImageListChanging) {
        const FlagScope guard(FImageListChanging);
        return ::SendMessageW(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL,
                              reinterpret_cast<LPARAM>(FUseShellImages ? SystemSmallImages() : nullptr));
      }
      break;
    case WM_PAINT: {
      const LRESULT result = TsTreeView::HandleMessage(msg, wParam, lParam);
      if (busy_)
        lookAheadWaits_ = true;
      else
        lookAhead_.Arm(Handle());
      return result;
    }
    case IconLookAhead::kDoneMessage:
      return 0;  // wakes a loop that waits for the icons
    case WM_TIMER:
      if (wParam != IconLookAhead::kTimerId) break;
      if (!busy_) lookAhead_.Turn(Handle());  // else a call holds nodes: the next turn looks
      return 0;
    case WM_DESTROY:
      lookAhead_.Stop(Handle());
      FreeAllNodes();
      break;
    default:
      break;
  }
  return TsTreeView::HandleMessage(msg, wParam, lParam);
}

}  // namespace snapvik
