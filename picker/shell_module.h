#pragma once
// The shell module's process-wide state: the small system image list, the
// desktop item and the component object library, from start to end.
#include <windows.h>

#include <commctrl.h>

#include <memory>

namespace snapvik {

class TacShellFolder;

class ShellModule {
 public:
  ShellModule();   // the image list, DesktopFolder, then OleInitialize
  ~ShellModule();  // DesktopFolder, OleUninitialize, then the image list
  ShellModule(const ShellModule&) = delete;
  ShellModule& operator=(const ShellModule&) = delete;

 private:
  std::unique_ptr<TacShellFolder> desktop_;
  bool oleInitialized_ = false;
};

// The platform's small system image list, shared (never destroyed), without
// a background colour; none before the module starts or when the platform has none.
HIMAGELIST SystemSmallImages();

}  // namespace snapvik
