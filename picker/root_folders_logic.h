#pragma once
// The root names of the shell folder tree and the special folders they stand for.
#include <optional>
#include <span>
#include <string_view>

namespace snapvik {

enum TacRootFolder {
  rfDesktop, rfMyComputer, rfNetwork, rfRecycleBin, rfAppData, rfCommonDesktopDirectory, rfCommonPrograms,
  rfCommonStartMenu, rfCommonStartup, rfControlPanel, rfDesktopDirectory, rfFavorites, rfFonts, rfInternet,
  rfPersonal, rfPrinters, rfPrintHood, rfPrograms, rfRecent, rfSendTo, rfStartMenu, rfStartup, rfTemplates
};

struct RootFolderName {
  TacRootFolder root;
  const wchar_t* name;
  int csidl;  // the platform's special-folder number
};

// All 23, in order.
std::span<const RootFolderName> RootFolderNames();

// The entry a root text names, ASCII case ignored; none for a path.
std::optional<RootFolderName> FindRootFolder(std::wstring_view text);

}  // namespace snapvik
