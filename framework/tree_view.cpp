#include "framework/tree_view.h"

#include "common/errors.h"

namespace snapvik {

TsTreeView::~TsTreeView() = default;

TVITEMW TsTreeView::ItemQuery(HTREEITEM node, UINT mask) {
  TVITEMW item{};
  item.mask = mask | TVIF_HANDLE;
  item.hItem = node;
  return item;
}

DWORD TsTreeView::TreeStyle() const {
  return WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_EDITLABELS | (ShowRoot ? TVS_LINESATROOT : 0);
}

void TsTreeView::Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) {
  font_ = font;
  CreateHandle({parent, WC_TREEVIEWW, L"", TreeStyle(), WS_EX_CLIENTEDGE, bounds, id, font}, design.name);
  if (Indent > 0) ::SendMessageW(Handle(), TVM_SETINDENT, static_cast<WPARAM>(Indent), 0);
  UpdateLabel();
}

void TsTreeView::UpdateLabel() {
  if (!BoundLabel.Active) {
    label_.reset();
    return;
  }
  if (!label_) {
    // A label made without a caption shows the control's name.
    if (BoundLabel.Caption.empty()) {
      const std::string name = Name();
      BoundLabel.Caption.assign(name.begin(), name.end());
    }
    const DWORD wrap = BoundLabel.MaxWidth ? SS_EDITCONTROL : 0;
    label_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX | wrap, 0, 0, 0, 0,
                                   ::GetParent(Handle()), nullptr, ::GetModuleHandleW(nullptr), nullptr));
    if (!label_) throw EOutOfResources(L"Error creating window");
    if (font_) ::SendMessageW(label_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    // Just before the tree in the tab order, as a label of it.
    ::SetWindowPos(label_.get(), ::GetWindow(Handle(), GW_HWNDPREV) ? ::GetWindow(Handle(), GW_HWNDPREV) : HWND_TOP,
                   0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ::SetWindowTextW(label_.get(), BoundLabel.Caption.c_str());
  PlaceLabel();
}

void TsTreeView::PlaceLabel() {
  if (!label_) return;
  RECT tree;
  ::GetWindowRect(Handle(), &tree);
  ::MapWindowPoints(nullptr, ::GetParent(Handle()), reinterpret_cast<POINT*>(&tree), 2);
  SIZE size = TextExtent(font_ ? font_ : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)),
                         BoundLabel.Caption.c_str());
  if (BoundLabel.MaxWidth) {
    RECT wrapped{0, 0, BoundLabel.MaxWidth, 0};
    const WindowDc screen(nullptr);
    const SelectedObject selected(screen.get(), font_);
    ::DrawTextW(screen.get(), BoundLabel.Caption.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    size = {BoundLabel.MaxWidth, wrapped.bottom};
  }
  const LayoutPoint at =
      BoundLabelOrigin({tree.left, tree.top, tree.right - tree.left, tree.bottom - tree.top}, size.cx, size.cy,
                       BoundLabel.Layout, BoundLabel.Indent);
  ::SetWindowPos(label_.get(), nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  // Shown with the tree: by its own visible style, whatever its parent shows yet.
  ::ShowWindow(label_.get(), (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
}

LRESULT TsTreeView::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = TControl::HandleMessage(msg, wParam, lParam);
  if (msg == WM_WINDOWPOSCHANGED) PlaceLabel();
  if (msg == WM_SHOWWINDOW && label_) ::ShowWindow(label_.get(), wParam ? SW_SHOWNA : SW_HIDE);
  return result;
}

LRESULT TsTreeView::ReflectedNotify(const NMHDR& header) {
  switch (header.code) {
    case TVN_ITEMEXPANDINGW: {
      const auto& tv = reinterpret_cast<const NMTREEVIEWW&>(header);
      if (!(tv.action & TVE_EXPAND)) return FALSE;
      return CanExpand(tv.itemNew.hItem) ? FALSE : TRUE;
    }
    case TVN_SELCHANGINGW:
      return CanChange(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem) ? FALSE : TRUE;
    case TVN_SELCHANGEDW:
      Changed(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem);
      return 0;
    case TVN_DELETEITEMW:
      Deleting(reinterpret_cast<const NMTREEVIEWW&>(header).itemOld.lParam);
      return 0;
    case TVN_GETDISPINFOW:
      // The control's own record, which the answer is written into.
      NodeImages(const_cast<TVITEMW&>(reinterpret_cast<const NMTVDISPINFOW&>(header).item));
      return 0;
    case TVN_BEGINLABELEDITW:
      editEnded_ = false;
      return FALSE;
    case TVN_ENDLABELEDITW: {
      // One end per edit: Wine ends it a second time, committing, when the
      // editor loses the focus as it closes (after Escape too).
      if (editEnded_) return FALSE;
      editEnded_ = true;
      const auto& info = reinterpret_cast<const NMTVDISPINFOW&>(header);
      if (!info.item.pszText) return FALSE;  // cancelled
      return Edited(info.item.hItem, info.item.pszText) ? TRUE : FALSE;
    }
    default:
      return 0;
  }
}

HTREEITEM TsTreeView::Selected() const { return TreeView_GetSelection(Handle()); }
HTREEITEM TsTreeView::FirstNode() const { return TreeView_GetRoot(Handle()); }
HTREEITEM TsTreeView::ParentOf(HTREEITEM node) const { return TreeView_GetParent(Handle(), node); }
HTREEITEM TsTreeView::FirstChild(HTREEITEM node) const { return TreeView_GetChild(Handle(), node); }
HTREEITEM TsTreeView::NextSibling(HTREEITEM node) const { return TreeView_GetNextSibling(Handle(), node); }
HTREEITEM TsTreeView::PreviousSibling(HTREEITEM node) const { return TreeView_GetPrevSibling(Handle(), node); }
HTREEITEM TsTreeView::TopItem() const { return TreeView_GetFirstVisible(Handle()); }

int TsTreeView::ChildCount(HTREEITEM node) const {
  int count = 0;
  for (HTREEITEM child = FirstChild(node); child; child = NextSibling(child)) ++count;
  return count;
}

bool TsTreeView::Expanded(HTREEITEM node) const {
  return (TreeView_GetItemState(Handle(), node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

std::wstring TsTreeView::TextOf(HTREEITEM node) const {
  wchar_t buffer[MAX_PATH * 2] = {};
  TVITEMW item = ItemQuery(node, TVIF_TEXT);
  item.pszText = buffer;
  item.cchTextMax = MAX_PATH * 2;
  TreeView_GetItem(Handle(), &item);
  return buffer;
}

HTREEITEM TsTreeView::NextInTreeOrder(HTREEITEM node) const {
  if (HTREEITEM child = FirstChild(node)) return child;
  for (HTREEITEM up = node; up; up = ParentOf(up))
    if (HTREEITEM next = NextSibling(up)) return next;
  return nullptr;
}

int TsTreeView::LevelOf(HTREEITEM node) const {
  int level = 0;
  for (HTREEITEM up = ParentOf(node); up; up = ParentOf(up)) ++level;
  return level;
}

void TsTreeView::Select(HTREEITEM node) { TreeView_SelectItem(Handle(), node); }

void TsTreeView::Expand(HTREEITEM node) { TreeView_Expand(Handle(), node, TVE_EXPAND); }

HWND TsTreeView::EditText(HTREEITEM node) {
  ::SetFocus(Handle());
  return TreeView_EditLabel(Handle(), node);
}

void TsTreeView::EndEdit(bool cancel) { TreeView_EndEditLabelNow(Handle(), cancel ? TRUE : FALSE); }

bool TsTreeView::IsEditing() const { return TreeView_GetEditControl(Handle()) != nullptr; }

}  // namespace snapvik
