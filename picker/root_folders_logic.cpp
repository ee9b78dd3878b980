#include "picker/root_folders_logic.h"

#include <array>

#include "common/ascii_case.h"

namespace snapvik {

namespace {

constexpr std::array<RootFolderName, 23> kRootFolders = {{
    {rfDesktop, L"rfDesktop", 0x00},
    {rfMyComputer, L"rfMyComputer", 0x11},
    {rfNetwork, L"rfNetwork", 0x12},
    {rfRecycleBin, L"rfRecycleBin", 0x0A},
    {rfAppData, L"rfAppData", 0x1A},
    {rfCommonDesktopDirectory, L"rfCommonDesktopDirectory", 0x19},
    {rfCommonPrograms, L"rfCommonPrograms", 0x17},
    {rfCommonStartMenu, L"rfCommonStartMenu", 0x16},
    {rfCommonStartup, L"rfCommonStartup", 0x18},
    {rfControlPanel, L"rfControlPanel", 0x03},
    {rfDesktopDirectory, L"rfDesktopDirectory", 0x10},
    {rfFavorites, L"rfFavorites", 0x06},
    {rfFonts, L"rfFonts", 0x14},
    {rfInternet, L"rfInternet", 0x01},
    {rfPersonal, L"rfPersonal", 0x05},
    {rfPrinters, L"rfPrinters", 0x04},
    {rfPrintHood, L"rfPrintHood", 0x1B},
    {rfPrograms, L"rfPrograms", 0x02},
    {rfRecent, L"rfRecent", 0x08},
    {rfSendTo, L"rfSendTo", 0x09},
    {rfStartMenu, L"rfStartMenu", 0x0B},
    {rfStartup, L"rfStartup", 0x07},
    {rfTemplates, L"rfTemplates", 0x15},
}};

}  // namespace

std::span<const RootFolderName> RootFolderNames() { return kRootFolders; }

std::optional<RootFolderName> FindRootFolder(std::wstring_view text) {
  for (const RootFolderName& entry : kRootFolders)
    if (SameIgnoringAsciiCase(entry.name, text)) return entry;
  return std::nullopt;
}

}  // namespace snapvik
