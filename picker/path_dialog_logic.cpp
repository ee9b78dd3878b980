#include "picker/path_dialog_logic.h"

#include "common/paths.h"

namespace snapvik {

namespace {

constexpr std::array<RootButtonRow, 4> kRootButtons = {{
    {L"rfDesktop", 0, 0x00},
    {L"rfMyComputer", 1, 0x11},
    {L"rfPersonal", 14, 0x05},
    {L"rfNetwork", 2, 0x12},
}};

constexpr std::array<PickerControlDesign, 6> kControls = {{
    {PickerControl::Tree, "sShellTreeView1", {8, 20, 321, 319}, akLeft | akTop | akRight | akBottom},
    {PickerControl::Ok, "sBitBtn1", {173, 344, 75, 25}, akRight | akBottom},
    {PickerControl::Cancel, "sBitBtn2", {250, 344, 75, 25}, akRight | akBottom},
    {PickerControl::Create, "sBitBtn3", {12, 344, 75, 25}, akLeft | akBottom},
    {PickerControl::Strip, "sScrollBox1", {8, 20, 101, 318}, akLeft | akTop | akBottom},
    {PickerControl::RootLabel, "sLabel1", {8, 3, 0, 13}, akLeft | akTop},
}};

}  // namespace

NewFolderChoice NewFolderName(const std::wstring& folder, const std::function<DirectoryState(const std::wstring&)>& probe,
                              long last) {
  const std::wstring stem = AddPathSeparator(folder) + L"New folder";
  for (long n = 1; n <= last; ++n) {
    std::wstring candidate = stem + std::to_wstring(n);
    const DirectoryState state = probe(candidate);
    if (state == DirectoryState::Unreadable) return {std::move(candidate), false};
    if (state == DirectoryState::Missing) return {std::move(candidate), true};
  }
  return {};
}

std::wstring CannotCreateMessage(const std::wstring& path) { return L"Directory " + path + L" can`t be created!"; }

std::wstring VanishedFolderMessage(const std::wstring& path) {
  if (path.empty()) return L"No folder is selected!";
  return L"Directory " + path + L" no longer exists!";
}

std::span<const RootButtonRow> RootButtonRows() { return kRootButtons; }

std::wstring RootNameOfTag(int tag) {
  for (const RootButtonRow& row : kRootButtons)
    if (row.rootIndex == tag) return row.root;
  return {};
}

std::span<const PickerControlDesign> PickerControls() { return kControls; }

const PickerControlDesign& PickerDesign(PickerControl control) {
  for (const PickerControlDesign& design : kControls)
    if (design.control == control) return design;
  return kControls[0];
}

}  // namespace snapvik
