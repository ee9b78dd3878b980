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
#include "picker/id_list_logic.h"
#include "picker/root_folders_logic.h"
#include "picker/same_item.h"
#include "picker/shell_module.h"
#include "picker/shell_tree_parts.h"

namespace snapvik {

namespace {

long long g_comparisons = 0;

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

// A node's icons: the item's small icon, and its open form while selected,
// both asked for when the control first draws the node (NodeImages).
void SetIcons(TVITEMW& update) {
  update.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  update.iImage = I_IMAGECALLBACK;
  update.iSelectedImage = I_IMAGECALLBACK;
}

}  // namespace

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

int ShellOrder(IShellFolder& folder, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b) {
  ++g_comparisons;
  return static_cast<short>(HRESULT_CODE(folder.CompareIDs(0, a, b)));
}

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
    Defer(Deferred::Kind::RootChange);
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
  const std::string prefix = IDOfItems(idItems, 0, startItems.size());
  if (!SameID(item->AbsoluteID(), reinterpret_cast<PCIDLIST_ABSOLUTE>(prefix.data()))) return nullptr;
  // Then one level at a time, each child compared by the folder that holds
  // it, which costs a fraction of a comparison through the desktop.
  HTREEITEM node = start;
  for (size_t level = startItems.size(); level < idItems.size(); ++level) {
    const TacShellFolder* parent = FolderOf(node);
    IShellFolder* folder = parent ? parent->ShellFolder() : nullptr;
    if (!folder) return nullptr;
    const std::string wanted = IDOfItems(idItems, level, level + 1);
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

TacCustomShellTreeView::RowLook TacCustomShellTreeView::LookOf(const TacShellFolder& item) const {
  RowLook look;
  look.text = item.DisplayName(ShowExt);
  look.hasChildren = (ObjectTypes & (1u << otNonFolders)) && item.ShellFolder()
                         ? FolderHasItems(item.ShellFolder(), EnumerationFlags(ObjectTypes))
                         : item.SubFolders();
  look.shared = item.Properties().Has(fpShared);
  return look;
}

HTREEITEM TacCustomShellTreeView::AddFolderNode(HTREEITEM parent, HTREEITEM after,
                                               std::unique_ptr<TacShellFolder> child) {
  TacShellFolder& item = *child;
  const RowLook look = LookOf(item);
  TVITEMW shown{};
  shown.mask = TVIF_TEXT | TVIF_CHILDREN | TVIF_STATE;
  shown.pszText = const_cast<wchar_t*>(look.text.c_str());
  if (FUseShellImages) SetIcons(shown);
  shown.cChildren = look.hasChildren ? 1 : 0;
  shown.state = look.shared ? kSharedOverlay : 0;
  shown.stateMask = TVIS_OVERLAYMASK;
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
    return ShellOrder(*folder.Get(), a->RelativeID(), b->RelativeID()) < 0;
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

void TacCustomShellTreeView::Queue(Deferred::Kind kind, UniqueAbsoluteID folder) {
  const bool asked = std::any_of(deferred_.begin(), deferred_.end(), [&](const Deferred& work) {
    return work.kind == kind && IDBytes(work.folder.get()) == IDBytes(folder.get());
  });
  if (!asked) deferred_.push_back({kind, std::move(folder)});
}

void TacCustomShellTreeView::Defer(Deferred::Kind kind, UniqueAbsoluteID folder) {
  Queue(kind, std::move(folder));
  // Asked while free (a rename's parent, once the editor has closed): soon.
  if (!busy_ && Handle()) ::PostMessageW(Handle(), kRunDeferred, 0, 0);
}

void TacCustomShellTreeView::ReleaseDeferred() {
  // A timer of its own, which comes only when the program is idle.
  const auto lookAhead = std::find_if(deferred_.begin(), deferred_.end(),
                                      [](const Deferred& work) { return work.kind == Deferred::Kind::LookAhead; });
  if (lookAhead != deferred_.end()) {
    deferred_.erase(lookAhead);
    lookAhead_.Arm(Handle());
  }
  if (!deferred_.empty()) ::PostMessageW(Handle(), kRunDeferred, 0, 0);
}

void TacCustomShellTreeView::RunDeferred() {
  // One at a time from the queue itself: what one asks for runs after it,
  // and what a failure leaves runs when the tree is next free.
  while (!busy_ && !deferred_.empty()) {
    const Deferred work = std::move(deferred_.front());
    deferred_.erase(deferred_.begin());
    switch (work.kind) {
      case Deferred::Kind::RefreshSelected:
        RefreshSelected();
        break;
      case Deferred::Kind::LookAhead:
        lookAhead_.Arm(Handle());
        break;
      case Deferred::Kind::RootChange:
        RootChanged();
        break;
      case Deferred::Kind::RefreshFolder:
        if (HTREEITEM node = FindNodeByID(work.folder.get(), FirstNode())) Refresh(node);
        break;
    }
  }
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
    Defer(Deferred::Kind::RefreshFolder, AbsoluteCopy(parentItem->AbsoluteID()));
  }
  return false;
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
        Defer(Deferred::Kind::RefreshSelected);
      else
        RefreshSelected();
      return 0;
    case kRunDeferred:
      RunDeferred();
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
        Defer(Deferred::Kind::LookAhead);
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
