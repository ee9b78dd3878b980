#pragma once
// The folder picker: the component that holds its settings and last result,
// and the window that each run makes, shows modally and destroys.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/handles.h"
#include "framework/controls.h"
#include "framework/form.h"
#include "picker/existing_dir.h"
#include "picker/path_dialog_logic.h"
#include "picker/root_strip.h"
#include "picker/shell_tree.h"

namespace snapvik {

class TsBitBtn final : public TButton {};
class TsLabel final : public TLabel {};

class TPathDialogForm final : public TForm {
 public:
  // The window with its controls; the tree shows its root.
  explicit TPathDialogForm(HWND owner);

 private:
  // First, so that it outlives the controls that draw with it.
  UniqueFont font_;

 public:
  TsShellTreeView sShellTreeView1;
  TsBitBtn sBitBtn1, sBitBtn2, sBitBtn3;
  TsScrollBox sScrollBox1;
  TsLabel sLabel1;
  TImageList ImageList1;

  void InitLngCaptions();
  void GenerateButtons();
  void UpdateAnchors();
  const std::vector<std::unique_ptr<TsSpeedButton>>& RootButtons() const { return rootButtons_; }

  // How Create tests a candidate name; another program may make it between the test and the create.
  std::function<DirectoryState(const std::wstring&)> ProbeNewFolder = &ProbeDirectory;

  void sShellTreeView1Change(HTREEITEM node);
  void sBitBtn1Click();
  void sBitBtn2Click();
  void sBitBtn3Click();
  void BtnOnClick(TsSpeedButton& sender);

 private:
  // OK found the selected folder gone: says so, the tree read again at its parent.
  void ChooseAgain();
  std::vector<std::unique_ptr<TsSpeedButton>> rootButtons_;
};

class TsPathDialog {
 public:
  std::wstring Path;
  std::wstring Root = L"rfDesktop";
  std::wstring Caption;
  bool NoChangeDir = false;
  bool ShowRootBtns = false;
  TSelectDirOpts DialogOptions = kDefaultDialogOptions;

  // Shows the picker modally; true when it closed with OK on an existing
  // directory, which Path then holds; otherwise Path is left alone.
  bool Execute();
};

// The picker's texts from the program's string table, read once per process.
struct PickerTexts {
  std::wstring title, root, ok, cancel, create;
};
const PickerTexts& PickerTextsOfProgram();

}  // namespace snapvik
