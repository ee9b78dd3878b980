#pragma once
// The platform's tree view with an attached caption label, and the label's settings.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

#include "common/handles.h"
#include "framework/controls.h"
#include "framework/layout.h"

namespace snapvik {

// The label a control carries above or beside it, in the control's parent.
struct TsBoundLabel {
  bool Active = false;
  std::wstring Caption;
  int Indent = 0;
  TsCaptionLayout Layout = sclLeft;
  int MaxWidth = 0;
};

// The platform's tree view with its attached caption label.
class TsTreeView : public TControl {
 public:
  ~TsTreeView() override;

  TsBoundLabel BoundLabel;
  bool ShowRoot = true;
  int Indent = 0;  // 0: the control's own
  std::function<void(HTREEITEM)> OnChange;

  void Create(HWND parent, const ControlSpec& design, LayoutRect bounds, int id, HFONT font) override;

  // The label's window and its text, after BoundLabel changed.
  HWND LabelHandle() const { return label_.get(); }
  void UpdateLabel();

  // The standard operations.
  HTREEITEM Selected() const;
  HTREEITEM FirstNode() const;
  HTREEITEM ParentOf(HTREEITEM node) const;
  HTREEITEM FirstChild(HTREEITEM node) const;
  HTREEITEM NextSibling(HTREEITEM node) const;
  HTREEITEM PreviousSibling(HTREEITEM node) const;
  HTREEITEM TopItem() const;
  int ChildCount(HTREEITEM node) const;
  bool Expanded(HTREEITEM node) const;
  std::wstring TextOf(HTREEITEM node) const;
  // The node after `node` in tree order, collapsed subtrees included.
  HTREEITEM NextInTreeOrder(HTREEITEM node) const;
  int LevelOf(HTREEITEM node) const;
  void Select(HTREEITEM node);
  void Expand(HTREEITEM node);
  // Opens the in-place editor on a node's label, or closes it.
  HWND EditText(HTREEITEM node);
  void EndEdit(bool cancel);
  bool IsEditing() const;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  LRESULT ReflectedNotify(const NMHDR& header) override;
  DWORD TreeStyle() const;
  // A query or update of `node`'s fields in `mask`.
  static TVITEMW ItemQuery(HTREEITEM node, UINT mask);

  // Platform notifications, for the layers above.
  virtual bool CanExpand(HTREEITEM /*node*/) { return true; }
  virtual bool CanChange(HTREEITEM /*node*/) { return true; }
  virtual void Changed(HTREEITEM node) {
    if (OnChange) OnChange(node);
  }
  virtual void Deleting(LPARAM /*data*/) {}
  // A node's images left to the callback (I_IMAGECALLBACK), as the control asks for them to draw it.
  virtual void NodeImages(TVITEMW& /*node*/) {}
  virtual bool Edited(HTREEITEM /*node*/, const wchar_t* /*text*/) { return true; }

 private:
  void PlaceLabel();
  UniqueWindow label_;
  HFONT font_ = nullptr;
  bool editEnded_ = true;
};

}  // namespace snapvik
