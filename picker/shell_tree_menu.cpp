// The tree's side of the shell's context menu: the clicks and keys that ask
// for it, the menu messages it takes while up, and the verbs the tree runs itself.
#include "picker/shell_tree.h"

#include <windowsx.h>

#include "common/ascii_case.h"
#include "common/paths.h"

namespace snapvik {

std::optional<LRESULT> TacCustomShellTreeView::MenuMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_MEASUREITEM:
    case WM_INITMENUPOPUP:
    case WM_MENUCHAR:
      // The shell's context menu, when one is up, takes them; the control never does.
      return ForwardMenuMessage(msg, wParam, lParam).value_or(0);
    case WM_DRAWITEM:
      // Owner-drawn items of the shell's menu.
      return ForwardMenuMessage(msg, wParam, lParam);
    case WM_RBUTTONDOWN:
      if (RightClickSelect) {
        TVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (HTREEITEM node = TreeView_HitTest(Handle(), &hit); node && (hit.flags & TVHT_ONITEM)) Select(node);
      }
      return std::nullopt;
    case WM_SYSKEYDOWN:
      // Shift+F10 asks for the context menu, as the menu key does. Wine's
      // default handling does not make it one; Windows' would, so the key
      // stops here and the menu shows once.
      if (wParam == VK_F10 && ::GetKeyState(VK_SHIFT) < 0) {
        ::SendMessageW(Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Handle()), MAKELPARAM(0xFFFF, 0xFFFF));
        return 0;
      }
      return std::nullopt;
    case WM_CONTEXTMENU: {
      POINT position{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      // From the keyboard the position is (-1, -1): two 16-bit halves, not a
      // pointer-sized -1, in a 64-bit program.
      if (position.x == -1 && position.y == -1) {
        // From the keyboard: below the selected node's text.
        RECT item{};
        if (HTREEITEM node = Selected(); node && TreeView_GetItemRect(Handle(), node, &item, TRUE))
          position = {item.left, item.bottom};
        else
          position = {0, 0};
      } else {
        ::ScreenToClient(Handle(), &position);
      }
      bool handled = false;
      DoContextPopup(position, handled);
      if (handled) return 0;
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

LRESULT TacCustomShellTreeView::ReflectedNotify(const NMHDR& header) {
  if (header.code == NM_RCLICK) {
    // The right button's release: the menu at the mouse, and no second request from the control.
    const DWORD at = ::GetMessagePos();
    POINT position{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    ::ScreenToClient(Handle(), &position);
    bool handled = false;
    DoContextPopup(position, handled);
    return handled ? TRUE : FALSE;
  }
  return TsTreeView::ReflectedNotify(header);
}

void TacCustomShellTreeView::ExecuteCommand(const std::string& Verb, bool& Handled) {
  const TacShellFolder* selected = SelectedFolder();
  commandItem_ = selected ? AbsoluteCopy(selected->AbsoluteID()) : UniqueAbsoluteID();
  if (SameIgnoringAsciiCase(Verb, "rename")) {
    if (HTREEITEM node = Selected()) {
      EditText(node);
      Handled = true;
    }
  } else if (SameIgnoringAsciiCase(Verb, "open")) {
    wchar_t saved[MAX_PATH] = {};
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, saved);
    FSavePath.assign(saved, length < MAX_PATH ? length : 0);
    if (selected) ::SetCurrentDirectoryW(snapvik::FolderOf(selected->PathName()).c_str());
  }
}

void TacCustomShellTreeView::CommandCompleted(const std::string& Verb, bool Succeeded) {
  if (SameIgnoringAsciiCase(Verb, "open")) {
    // Back whether the shell opened the item or not.
    if (!FSavePath.empty()) ::SetCurrentDirectoryW(FSavePath.c_str());
    FSavePath.clear();
    commandItem_.reset();
    return;
  }
  // The command may have run a message loop (a confirmation is a modal box):
  // the node is looked up again by its item.
  const UniqueAbsoluteID id = std::move(commandItem_);
  const HTREEITEM node = id ? FindNodeByID(id.get(), FirstNode()) : Selected();
  if (!Succeeded || !node) return;
  if (SameIgnoringAsciiCase(Verb, "delete"))
    FollowDeletion(node);
  else if (SameIgnoringAsciiCase(Verb, "paste"))
    Refresh(node);
}

void TacCustomShellTreeView::FollowDeletion(HTREEITEM node) {
  TacShellFolder* item = FolderOf(node);
  if (!item) return;
  const HTREEITEM parent = ParentOf(node);
  const std::wstring path = item->PathName();
  // A node goes only when its folder is really gone: the user may have said
  // No, or the shell may have done nothing. A virtual item, or the root, is
  // never removed on a guess: its parent is read again instead.
  if (!parent || !IsFileSystemPath(path)) {
    Refresh(parent ? parent : node);
    return;
  }
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  const DWORD error = ::GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return;
  TreeView_DeleteItem(Handle(), node);  // frees the item
}

}  // namespace snapvik
