// Reading a folder again: unchanged children keep their nodes, the rest
// follow the plan, and what the kept rows show is read afresh.
#include <string>
#include <string_view>
#include <vector>

#include "common/flag_scope.h"
#include "picker/read_again_logic.h"
#include "picker/shell_tree.h"
#include "picker/shell_tree_parts.h"

namespace snapvik {

UniqueAbsoluteID TacCustomShellTreeView::NodeID(HTREEITEM node) const {
  const TacShellFolder* item = FolderOf(node);
  return item ? AbsoluteCopy(item->AbsoluteID()) : UniqueAbsoluteID();
}

void TacCustomShellTreeView::Refresh(HTREEITEM node) {
  TacShellFolder* item = FolderOf(node);
  if (!item || !item->ShellFolder()) return;
  if (busy_) {
    // Inside a call that still holds nodes: once it has returned.
    Defer(Deferred::Kind::RefreshFolder, AbsoluteCopy(item->AbsoluteID()));
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
    lookAhead_.Forget();  // icons found under identifiers that may show others now
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
    RowLook shown;  // what its row shows now
  };
  std::vector<Held> held;
  std::vector<std::string_view> heldKeys, foundKeys;
  std::vector<bool> outOfPlace;
  for (HTREEITEM child = FirstChild(node); child; child = NextSibling(child)) {
    // All a row shows in one question: each one makes the control search its nodes.
    wchar_t text[MAX_PATH * 2] = {};
    TVITEMW row = ItemQuery(child, TVIF_PARAM | TVIF_TEXT | TVIF_CHILDREN | TVIF_STATE);
    row.stateMask = TVIS_OVERLAYMASK;
    row.pszText = text;
    row.cchTextMax = MAX_PATH * 2;
    if (!TreeView_GetItem(Handle(), &row)) row.lParam = 0;
    auto* item = reinterpret_cast<TacShellFolder*>(row.lParam);
    held.push_back({child, item, {text, row.cChildren != 0, (row.state & TVIS_OVERLAYMASK) == kSharedOverlay}});
    heldKeys.push_back(item ? IDBytes(item->RelativeID()) : std::string_view());
    outOfPlace.push_back(item && item->Renamed());
  }
  for (const UniqueRelativeID& id : found) foundKeys.push_back(IDBytes(id.get()));
  const ReadAgainPlan plan = PlanReadAgain(
      heldKeys, foundKeys,
      [&folder](std::string_view a, std::string_view b) {
        return ShellOrder(*folder.Get(), reinterpret_cast<PCUIDLIST_RELATIVE>(a.data()),
                          reinterpret_cast<PCUIDLIST_RELATIVE>(b.data()));
      },
      outOfPlace);

  // The same item under other bytes (a time stamp the shell keeps in the
  // identifier moves whenever the folder is read) keeps its node as long as
  // it shows the same name; only a folder with another name gets a new node.
  using Fate = ReadAgainPlan::Fate;
  std::vector<Fate> fates = plan.fates;
  for (size_t f = 0; f < found.size(); ++f) {
    const size_t i = plan.heldOf[f];
    if (i == ReadAgainPlan::kNone || fates[i] != Fate::Renewed || !held[i].item) continue;
    const TacShellFolder fresh(*parent, found[f].get(), TacShellFolder::BindLater{});
    if (fresh.DisplayName(ShowExt) == held[i].item->DisplayName(ShowExt)) fates[i] = Fate::Kept;
  }

  // New nodes first, each after the one before it in the shell's order; the
  // held ones all stay until then. A child the OnAddFolder handler refuses
  // deletes its own node; any other deletion meanwhile (the handler may run
  // a message loop) leaves the rest undone: nothing more on a guess.
  unsigned long expected = deletions_;
  struct Renewal {
    HTREEITEM old, renewed;
  };
  std::vector<Renewal> renewals;
  std::vector<HTREEITEM> gone;
  HTREEITEM after = TVI_FIRST;
  for (const size_t f : plan.order) {
    const size_t i = plan.heldOf[f];
    if (i != ReadAgainPlan::kNone && fates[i] == Fate::Kept) {
      after = held[i].node;
      continue;
    }
    const HTREEITEM added =
        AddFolderNode(node, after, std::make_unique<TacShellFolder>(*parent, found[f].get(), TacShellFolder::BindLater{}));
    if (!added) ++expected;
    if (deletions_ != expected) return;
    if (added) after = added;
    if (i == ReadAgainPlan::kNone) continue;
    if (added)
      renewals.push_back({held[i].node, added});
    else
      gone.push_back(held[i].node);  // refused in its new form
  }

  for (const Renewal& renewal : renewals) {
    ExpandLike(renewal.old, renewal.renewed);
    TreeView_DeleteItem(Handle(), renewal.old);
  }
  for (size_t i = 0; i < held.size(); ++i)
    if (fates[i] == Fate::Gone) gone.push_back(held[i].node);
  for (const HTREEITEM child : gone) TreeView_DeleteItem(Handle(), child);
  // A kept row shows what a new one would: its name, mark and overlay may
  // have changed under the same identifier (a drive's label, a first
  // subfolder, a share), and so may its icons.
  std::vector<HTREEITEM> readAgain;
  for (size_t i = 0; i < held.size(); ++i) {
    const HTREEITEM child = held[i].node;
    if (fates[i] != Fate::Kept || !held[i].item) continue;
    const TacShellFolder& item = *held[i].item;
    item.ForgetIcons();
    const RowLook look = LookOf(item);
    const bool loaded = FirstChild(child) != nullptr;
    const bool open = loaded && Expanded(child);
    if (open) {
      readAgain.push_back(child);  // its mark follows what it holds
    } else if (loaded) {
      // Loaded once and closed since: loaded afresh when opened again.
      TreeView_Expand(Handle(), child, TVE_COLLAPSE | TVE_COLLAPSERESET);
    }
    TVITEMW update = ItemQuery(child, 0);
    if (look.text != held[i].shown.text) {
      update.mask |= TVIF_TEXT;
      update.pszText = const_cast<wchar_t*>(look.text.c_str());
    }
    if (!open && (loaded || look.hasChildren != held[i].shown.hasChildren)) {
      update.mask |= TVIF_CHILDREN;
      update.cChildren = look.hasChildren ? 1 : 0;
    }
    if (look.shared != held[i].shown.shared) {
      update.mask |= TVIF_STATE;
      update.state = look.shared ? kSharedOverlay : 0;
      update.stateMask = TVIS_OVERLAYMASK;
    }
    if (update.mask != TVIF_HANDLE) TreeView_SetItem(Handle(), &update);
  }
  const bool holds = FirstChild(node) != nullptr;
  SetHasChildren(node, holds);
  // Emptied, it shows closed, as a fresh open would.
  if (!holds) TreeView_SetItemState(Handle(), node, 0, TVIS_EXPANDED);
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

}  // namespace snapvik
