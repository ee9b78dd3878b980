#pragma once
// The shell folder tree: the framework's tree view showing the shell
// namespace below one root, loaded as nodes expand.
// Each node owns the TacShellFolder in its data.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/tree_view.h"
#include "picker/change_notifier.h"
#include "picker/icon_look_ahead.h"
#include "picker/shell_context_menu.h"
#include "picker/shell_folder.h"

namespace snapvik {

enum TacShellObjectType { otFolders, otNonFolders, otHidden };
using TacShellObjectTypes = unsigned;  // bits (1 << TacShellObjectType)
inline constexpr TacShellObjectTypes ObjectTypesOf(std::initializer_list<TacShellObjectType> members) {
  TacShellObjectTypes set = 0;
  for (TacShellObjectType m : members) set |= 1u << m;
  return set;
}
// The enumeration flags (SHCONTF_*) of a set.
DWORD EnumerationFlags(TacShellObjectTypes types);

// All the namespace logic of the tree.
class TacCustomShellTreeView : public TsTreeView, public IacShellCommandVerb {
 public:
  TacCustomShellTreeView();
  ~TacCustomShellTreeView() override;

  // Options; set them, then call Loaded once the control exists.
  TacShellObjectTypes ObjectTypes = ObjectTypesOf({otFolders});
  TacShowExtension ShowExt = seSystem;
  bool AutoContextMenus = true;
  bool RightClickSelect = true;
  std::function<void(TacCustomShellTreeView*, TacShellFolder*, bool&)> OnAddFolder;
  std::function<bool(HTREEITEM)> OnExpanding;
  std::function<bool(HTREEITEM)> OnChanging;
  std::function<void(HTREEITEM, std::wstring&)> OnEdited;

  // After the options were set: builds the tree from the root.
  void Loaded();

  const std::wstring& Root() const { return FRoot; }
  void SetRoot(const std::wstring& value);
  void SetObjectTypes(TacShellObjectTypes value);
  bool UseShellImages() const { return FUseShellImages; }
  void SetUseShellImages(bool value);
  bool AutoRefresh() const { return FAutoRefresh; }
  // On: the selected folder is watched, and each change in it refreshes its node.
  void SetAutoRefresh(bool value);
  TacShellChangeNotifier* Notifier() const { return FNotifier.get(); }
  bool Updating() const { return FUpdating; }

  std::wstring Path() const;
  void SetPath(const std::wstring& path);

  TacShellFolder* SelectedFolder() const;
  TacShellFolder* FolderOf(HTREEITEM node) const;
  TacShellFolder* FolderAt(int index) const;
  TacShellFolder* RootFolder() const { return FRootFolder.get(); }

  void Refresh(HTREEITEM node);
  void RefreshSelected();
  HTREEITEM FindNodeByID(PCIDLIST_ABSOLUTE id, HTREEITEM start) const;

  // A context menu asked for at `position` (client pixels): the shell's menu for the selected item.
  void DoContextPopup(POINT position, bool& handled);
  void ExecuteCommand(const std::string& Verb, bool& Handled) override;
  void CommandCompleted(const std::string& Verb, bool Succeeded) override;

  // How many CompareIDs the sorting asked since start; for the benchmark.
  static long long Comparisons();
  // Whether icons of nodes just out of view are still to be looked up at idle time.
  bool LookingAhead() const { return lookAhead_.Running(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool CanExpand(HTREEITEM node) override;
  bool CanChange(HTREEITEM node) override;
  void Deleting(LPARAM data) override;
  void NodeImages(TVITEMW& node) override;
  bool Edited(HTREEITEM node, const wchar_t* text) override;
  LRESULT ReflectedNotify(const NMHDR& header) override;

 private:
  class UpdateBracket;
  friend class UpdateBracket;
  class BusyScope;
  friend class BusyScope;

  void RootChanged();
  void BuildRoot();
  std::unique_ptr<TacShellFolder> ResolveRoot(std::wstring& newRoot);
  void FreeAllNodes();
  void LoadChildren(HTREEITEM node);
  // A new node owning `item`, showing what `shown` sets (an empty text otherwise).
  HTREEITEM AddNode(HTREEITEM parent, HTREEITEM after, std::unique_ptr<TacShellFolder> item, TVITEMW shown = {});
  // What a child's row shows, read afresh from the shell.
  struct RowLook {
    std::wstring text;
    bool hasChildren = false;
    bool shared = false;
  };
  RowLook LookOf(const TacShellFolder& item) const;
  // The node of an enumerated child under `parent`, after `after`; none when OnAddFolder refused it.
  HTREEITEM AddFolderNode(HTREEITEM parent, HTREEITEM after, std::unique_ptr<TacShellFolder> child);
  // Reads `node`'s folder again: unchanged children keep their nodes (those
  // open are read again in turn), gone ones go, new ones take their places.
  void ReadAgain(HTREEITEM node);
  // Opens in `renewed` what was open in `old`'s subtree.
  void ExpandLike(HTREEITEM old, HTREEITEM renewed);
  // The node of `id` reached from `start` through the nodes its items name,
  // level by level; none when `start` does not lead there that way.
  HTREEITEM DescendToID(PCIDLIST_ABSOLUTE id, HTREEITEM start) const;
  void SetHasChildren(HTREEITEM node, bool has);
  void SetPathFromID(PCIDLIST_ABSOLUTE id);
  void ApplyImageList();
  UniqueAbsoluteID NodeID(HTREEITEM node) const;
  void PostRefreshRequest();
  // Work asked for while a call held nodes, done once the tree is free, in
  // the order asked, each once.
  struct Deferred {
    enum class Kind { RefreshSelected, LookAhead, RootChange, RefreshFolder };
    Kind kind;
    UniqueAbsoluteID folder;  // RefreshFolder: the folder read again
  };
  void Defer(Deferred::Kind kind, UniqueAbsoluteID folder = {});
  // Queued only: posted when the busy call ends.
  void Queue(Deferred::Kind kind, UniqueAbsoluteID folder = {});
  // When the outermost busy call ends: the look-ahead armed, the rest posted.
  void ReleaseDeferred();
  // On the posted message: the deferred work, while the tree stays free.
  void RunDeferred();
  // The change watch follows `node`'s folder.
  void WatchNode(HTREEITEM node);
  // The messages of the shell's context menu and of asking for it; none for the others.
  std::optional<LRESULT> MenuMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // `node` when no node was deleted since `deletionsBefore` (a call that may
  // have run a message loop); otherwise the node that holds the item `id` now.
  HTREEITEM Revalidated(HTREEITEM node, unsigned long deletionsBefore, PCIDLIST_ABSOLUTE id) const;
  // After the shell's delete command: the node goes only when its folder is gone.
  void FollowDeletion(HTREEITEM node);

  std::wstring FRoot = L"rfDesktop";
  std::wstring FOldRoot;
  std::unique_ptr<TacShellFolder> FRootFolder;
  bool FUpdating = false;
  bool FAutoRefresh = false;
  bool FImageListChanging = false;
  bool FUseShellImages = true;
  bool loaded_ = false;
  int updateDepth_ = 0;
  // While the tree is inside a call that may run a message loop (the shell's
  // enumeration, its context menu and commands, an OnAddFolder handler),
  // refreshes wait: they would delete nodes that the call still holds.
  int busy_ = 0;
  std::vector<Deferred> deferred_;
  bool keepWatch_ = false;  // a refresh renews the selected node
  unsigned long deletions_ = 0;                    // nodes deleted since start
  UniqueAbsoluteID commandItem_;                   // the item a context-menu command is for
  bool destroying_ = false;
  bool freeingAll_ = false;  // the items go after the control's nodes
  IconLookAhead lookAhead_;
  std::unique_ptr<TacShellChangeNotifier> FNotifier;
  HTREEITEM FNodeToMonitor = nullptr;
  std::wstring FSavePath;  // the current directory while the shell opens an item
};

// The tree as the picker's window places it.
class TsShellTreeView final : public TacCustomShellTreeView {};

}  // namespace snapvik
