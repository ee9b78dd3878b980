#include "picker/shell_module.h"

#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include "picker/shell_folder.h"

namespace snapvik {

namespace {

HIMAGELIST g_systemSmallImages = nullptr;

}  // namespace

HIMAGELIST SystemSmallImages() { return g_systemSmallImages; }

ShellModule::ShellModule() {
  SHFILEINFOW info{};
  if (const auto list = reinterpret_cast<HIMAGELIST>(
          ::SHGetFileInfoW(L"C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON))) {
    g_systemSmallImages = list;
    ::ImageList_SetBkColor(list, CLR_NONE);
  }
  PIDLIST_ABSOLUTE desktop = nullptr;
  if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop)) && desktop) {
    const UniqueAbsoluteID id = Adopt(desktop);
    desktop_ = std::make_unique<TacShellFolder>(nullptr, id.get(), DesktopShellFolder());
    DesktopFolder = desktop_.get();
  }
  oleInitialized_ = SUCCEEDED(::OleInitialize(nullptr));
}

ShellModule::~ShellModule() {
  DesktopFolder = nullptr;
  desktop_.reset();
  if (oleInitialized_) ::OleUninitialize();
  g_systemSmallImages = nullptr;  // shared with the platform: never destroyed
}

}  // namespace snapvik
