// Shows the shell folder tree in a small window, as the picker does, for a
// look at it: the desktop as root, the folder given expanded and selected;
// or the picker itself, with its root strip if asked.
//   tree_look.exe [folder]
//   tree_look.exe --picker [--roots]
#include <windows.h>

#include <string>

#include "framework/application.h"
#include "framework/form.h"
#include "picker/path_dialog.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"

using namespace snapvik;

namespace {

class LookForm : public TForm {
 public:
  LookForm() {
    CreateForm({L"TTreeLook", L"Select directory", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 380, nullptr});
    tree.ShowRoot = false;
    tree.Indent = 19;
    tree.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
    tree.BoundLabel = {true, L"\x0412\x044B\x0431\x0435\x0440\x0438\x0442\x0435 \x0434\x0438\x0440\x0435\x043A\x0442\x043E\x0440\x0438\x044E", 4, sclTopLeft, 0};
    tree.Create(Handle(), {"sShellTreeView1", {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
  }
  TsShellTreeView tree;

 protected:
  void DoClose() override { Application().Terminate(); }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  TApplication application;
  try {
    application.Initialize(L"Tree look");
    ShellModule shell;
    if (argc > 1 && std::wstring(argv[1]) == L"--picker") {
      TsPathDialog picker;
      picker.Caption = L"\x0412\x044B\x0431\x0435\x0440\x0438\x0442\x0435 \x0434\x0438\x0440\x0435\x043A\x0442\x043E\x0440\x0438\x044E";
      picker.ShowRootBtns = argc > 2 && std::wstring(argv[2]) == L"--roots";
      picker.Execute();
      return 0;
    }
    LookForm form;
    form.tree.Loaded();
    if (argc > 1) form.tree.SetPath(argv[1]);
    form.ShowFirst(SW_SHOWNORMAL);
    while (application.ProcessMessage()) {
    }
  } catch (...) {
    application.HandleException();
  }
  return 0;
}
