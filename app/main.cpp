// Start-up: the version switch, the application object, the main window, the loop.
#include <windows.h>

#include <commctrl.h>

#include "app/main_form.h"
#include "app/app_title.h"
#include "app/command_line.h"
#include "common/win_text.h"
#include "framework/application.h"
#include "picker/shell_module.h"

namespace {

constexpr wchar_t kVersionBanner[] = L"Snapvik window controls, version 1.0";

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  using namespace snapvik;
  TApplication application;
  try {
    // The common controls' classes, before the first window: the picker's tree
    // view, and the standard controls in their themed versions.
    const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&classes);
    const std::wstring title = ApplicationTitleFromPath(ModuleFileName(), &LowerInPlace);
    if (HasVersionSwitch(::GetCommandLineW())) ::MessageBoxW(nullptr, kVersionBanner, title.c_str(), MB_OK);
    application.Initialize(title);
    const ShellModule shell;
    TForm1 form;
    application.SetMainForm(&form);
    application.Run(showCommand);
    application.SetMainForm(nullptr);
  } catch (...) {
    application.HandleException();
  }
  return 0;
}
