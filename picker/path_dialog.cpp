#include "picker/path_dialog.h"

#include <shellapi.h>
#include <shlobj.h>

#include "common/paths.h"
#include "framework/application.h"
#include "framework/font.h"
#include "picker/existing_dir.h"
#include "picker/id_list.h"
#include "picker/picker_strings.h"

namespace snapvik {

namespace {

constexpr int kTreeId = 100;
constexpr int kCreateId = 101;
constexpr int kStripId = 102;
constexpr int kRootLabelId = 103;
constexpr int kFirstRootButtonId = 200;

std::wstring LoadText(UINT id, const wchar_t* fallback) {
  const wchar_t* text = nullptr;
  // With 0 for the length the platform hands out the resource's own text, unterminated.
  const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring(fallback);
}

ControlSpec SpecOf(PickerControl control, const wchar_t* text = L"") {
  const PickerControlDesign& design = PickerDesign(control);
  return {design.name, design.bounds, text, 0};
}

// The system's large image list, once it has been had; asked again after a failure.
HIMAGELIST LargeSystemImages() {
  static HIMAGELIST images = nullptr;
  if (!images) {
    SHFILEINFOW info{};
    images = reinterpret_cast<HIMAGELIST>(::SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX));
  }
  return images;
}

// A special folder's display name and large icon.
struct SpecialFolder {
  std::wstring name;
  int image = -1;
};
SpecialFolder DescribeSpecialFolder(int csidl) {
  PIDLIST_ABSOLUTE raw = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &raw))) return {};
  const UniqueAbsoluteID id = Adopt(raw);
  SHFILEINFOW info{};
  if (!::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(id.get()), 0, &info, sizeof info,
                        SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX))
    return {};
  return {info.szDisplayName, info.iIcon};
}

}  // namespace

const PickerTexts& PickerTextsOfProgram() {
  static const PickerTexts texts{LoadText(IDS_PICKER_TITLE, L"Select directory"), LoadText(IDS_PICKER_ROOT, L"Root :"),
                                 LoadText(IDS_PICKER_OK, L"OK"), LoadText(IDS_PICKER_CANCEL, L"Cancel"),
                                 LoadText(IDS_PICKER_CREATE, L"Create")};
  return texts;
}

// ---- TPathDialogForm ----

TPathDialogForm::TPathDialogForm(HWND owner) : font_(MakeFont(FontDescription{})) {
  CreateForm({L"TPathDialogForm", L"PathDialogForm", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT,
              kPickerOuterSize.width, kPickerOuterSize.height, owner, FormSize::Outer, FormCentre::WorkArea});
  SetMinimumSize(kPickerMinimumSize);
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  const HFONT font = font_.get();

  // In tab order.
  sShellTreeView1.ShowRoot = false;
  sShellTreeView1.Indent = 19;
  sShellTreeView1.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
  sShellTreeView1.ShowExt = seSystem;
  sShellTreeView1.BoundLabel = {true, L" ", 4, sclTopLeft, 0};
  sShellTreeView1.OnChange = [this](HTREEITEM node) { sShellTreeView1Change(node); };
  sShellTreeView1.Create(Handle(), SpecOf(PickerControl::Tree), PickerDesign(PickerControl::Tree).bounds, kTreeId,
                         font);
  sShellTreeView1.SetAutoRefresh(false);

  sBitBtn1.Default = true;
  sBitBtn1.ModalResult = mrOk;
  sBitBtn1.OnClick = [this] { sBitBtn1Click(); };
  sBitBtn1.Create(Handle(), SpecOf(PickerControl::Ok, L"OK"), PickerDesign(PickerControl::Ok).bounds, IDOK, font);
  sBitBtn2.ModalResult = mrCancel;
  sBitBtn2.OnClick = [this] { sBitBtn2Click(); };
  sBitBtn2.Create(Handle(), SpecOf(PickerControl::Cancel, L"Cancel"), PickerDesign(PickerControl::Cancel).bounds,
                  IDCANCEL, font);
  sBitBtn3.OnClick = [this] { sBitBtn3Click(); };
  sBitBtn3.Create(Handle(), SpecOf(PickerControl::Create, L"Create"), PickerDesign(PickerControl::Create).bounds,
                  kCreateId, font);
  sBitBtn3.SetEnabled(false);
  sScrollBox1.Create(Handle(), SpecOf(PickerControl::Strip), PickerDesign(PickerControl::Strip).bounds, kStripId, font);
  sScrollBox1.SetVisible(false);
  sLabel1.Create(Handle(), SpecOf(PickerControl::RootLabel), PickerDesign(PickerControl::RootLabel).bounds,
                 kRootLabelId, font);

  sShellTreeView1.Loaded();
  InitLngCaptions();
}

void TPathDialogForm::InitLngCaptions() {
  const PickerTexts& texts = PickerTextsOfProgram();
  ::SetWindowTextW(Handle(), texts.title.c_str());
  sLabel1.SetText(texts.root);
  sBitBtn1.SetText(texts.ok);
  sBitBtn2.SetText(texts.cancel);
  sBitBtn3.SetText(texts.create);
  // The label follows its text.
  LayoutRect bounds = sLabel1.Bounds();
  const SIZE size = TextExtent(font_.get(), texts.root.c_str());
  bounds.width = size.cx;
  bounds.height = size.cy;
  sLabel1.SetBounds(bounds);
}

void TPathDialogForm::UpdateAnchors() {
  for (const PickerControlDesign& design : PickerControls()) {
    switch (design.control) {
      case PickerControl::Tree: SetAnchors(sShellTreeView1, design.anchors); break;
      case PickerControl::Ok: SetAnchors(sBitBtn1, design.anchors); break;
      case PickerControl::Cancel: SetAnchors(sBitBtn2, design.anchors); break;
      case PickerControl::Create: SetAnchors(sBitBtn3, design.anchors); break;
      case PickerControl::Strip: SetAnchors(sScrollBox1, design.anchors); break;
      case PickerControl::RootLabel: SetAnchors(sLabel1, design.anchors); break;
    }
  }
}

void TPathDialogForm::GenerateButtons() {
  sScrollBox1.SetColor(SystemColor(COLOR_APPWORKSPACE));
  if (HIMAGELIST images = LargeSystemImages()) ImageList1.SetHandle(images);
  int id = kFirstRootButtonId;
  for (const RootButtonRow& row : RootButtonRows()) {
    const SpecialFolder folder = DescribeSpecialFolder(row.csidl);
    auto button = std::make_unique<TsSpeedButton>();
    button->Images = &ImageList1;
    button->ImageIndex = folder.image;
    button->Tag = row.rootIndex;
    button->Color = SystemColor(COLOR_APPWORKSPACE);
    button->OnClick = [this](TsSpeedButton& sender) { BtnOnClick(sender); };
    button->Create(sScrollBox1.Handle(), {"", {}, folder.name.c_str(), 0},
                   {0, 0, 0, kRootButtonHeight}, id++, font_.get());
    sScrollBox1.AlignTop(*button, kRootButtonHeight);
    rootButtons_.push_back(std::move(button));
  }
}

void TPathDialogForm::BtnOnClick(TsSpeedButton& sender) { sShellTreeView1.SetRoot(RootNameOfTag(sender.Tag)); }

void TPathDialogForm::sShellTreeView1Change(HTREEITEM /*node*/) {
  const bool usable = IsExistingDir(sShellTreeView1.Path());
  sBitBtn1.SetEnabled(usable);
  sBitBtn3.SetEnabled(usable);
}

void TPathDialogForm::sBitBtn1Click() {
  if (sShellTreeView1.IsEditing()) {
    SetModalResult(mrNone);
    sShellTreeView1.EndEdit(false);
    ::SetFocus(sShellTreeView1.Handle());
  } else if (IsExistingDir(sShellTreeView1.Path())) {
    SetModalResult(mrOk);
  } else {
    SetModalResult(mrNone);
    ChooseAgain();
  }
}

void TPathDialogForm::ChooseAgain() {
  // Removed or renamed from outside since it was selected: its folder is
  // read again and selected, so that the tree shows what there is now.
  TsShellTreeView& tree = sShellTreeView1;
  const std::wstring path = tree.Path();
  if (const HTREEITEM selected = tree.Selected()) {
    const HTREEITEM parent = tree.ParentOf(selected);
    if (const TacShellFolder* item = tree.FolderOf(parent ? parent : selected)) {
      const UniqueAbsoluteID id = AbsoluteCopy(item->AbsoluteID());
      tree.Refresh(parent ? parent : selected);
      if (const HTREEITEM again = tree.FindNodeByID(id.get(), tree.FirstNode())) tree.Select(again);
    }
  }
  ::SetFocus(tree.Handle());
  ShowErrorBox(VanishedFolderMessage(path));
}

void TPathDialogForm::sBitBtn2Click() { SetModalResult(sShellTreeView1.IsEditing() ? mrNone : mrCancel); }

void TPathDialogForm::sBitBtn3Click() {
  const TacShellFolder* selected = sShellTreeView1.SelectedFolder();
  const std::wstring holder = selected ? selected->PathName() : std::wstring();
  NewFolderChoice choice = NewFolderName(holder, ProbeNewFolder);
  // A folder past the limit could be made here, but the tree could not show it.
  bool made = false;
  for (int tries = 0; !made && tries < 100 && choice.free && FolderPathFits(choice.path); ++tries) {
    made = ::CreateDirectoryW(choice.path.c_str(), nullptr) != FALSE;
    // A name another program took since the test is not ours: on to the next number.
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) break;
    if (!made) choice = NewFolderName(holder, ProbeNewFolder);
  }
  if (!made) {
    ShowErrorBox(CannotCreateMessage(choice.path));
    return;
  }
  TsShellTreeView& tree = sShellTreeView1;
  tree.Refresh(tree.Selected());
  for (HTREEITEM child = tree.FirstChild(tree.Selected()); child; child = tree.NextSibling(child)) {
    const TacShellFolder* item = tree.FolderOf(child);
    if (!item || item->PathName() != choice.path) continue;
    tree.Select(child);
    ::SetFocus(tree.Handle());
    tree.Expand(child);
    tree.EditText(child);
    tree.SetPath(choice.path);
    return;
  }
}

// ---- TsPathDialog ----

bool TsPathDialog::Execute() {
  std::wstring start = Path;
  if (start == L"." || !IsExistingDir(start)) start.clear();
  if (!NoChangeDir && !start.empty()) ::SetCurrentDirectoryW(start.c_str());

  HWND owner = Application().MainForm() ? Application().MainForm()->Handle() : ::GetActiveWindow();
  // Destroyed on every path, an error included.
  const auto form = std::make_unique<TPathDialogForm>(owner ? owner : Application().Handle());
  form->sBitBtn3.SetVisible(HasOption(DialogOptions, sdAllowCreate));
  if (ShowRootBtns) {
    const int shift = RootStripShift();
    const std::initializer_list<TControl*> moved = {&form->sShellTreeView1, &form->sBitBtn1, &form->sBitBtn2};
    for (TControl* control : moved) {
      LayoutRect bounds = control->Bounds();
      bounds.left += shift;
      control->SetBounds(bounds);
    }
    RECT window;
    ::GetWindowRect(form->Handle(), &window);
    ::SetWindowPos(form->Handle(), nullptr, 0, 0, window.right - window.left + shift + ::GetSystemMetrics(SM_CXFRAME),
                   window.bottom - window.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    form->GenerateButtons();
    form->sScrollBox1.SetVisible(true);
    form->sLabel1.SetVisible(true);
  } else {
    form->sScrollBox1.SetVisible(false);
    form->sLabel1.SetVisible(false);
  }
  form->UpdateAnchors();

  TsShellTreeView& tree = form->sShellTreeView1;
  tree.BoundLabel.Caption = Caption;
  tree.UpdateLabel();
  tree.SetRoot(Root);
  if (start.empty()) {
    if (HTREEITEM first = tree.FirstNode()) tree.Select(first);
  } else {
    tree.SetPath(start);
  }

  if (form->ShowModal() != mrOk) return false;
  // OK takes only a folder that is there; one gone meanwhile counts as Cancel.
  const std::wstring chosen = tree.Path();
  if (chosen.empty() || !IsExistingDir(chosen)) return false;
  Path = chosen;
  return true;
}

}  // namespace snapvik
