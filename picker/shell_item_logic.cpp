#include "picker/shell_item_logic.h"

#include <algorithm>

#include "common/ascii_case.h"

namespace snapvik {

namespace {

struct CapabilityBit {
  TacShellFolderCapability member;
  uint32_t bit;
};
constexpr CapabilityBit kCapabilityBits[] = {
    {fcCanCopy, 0x1},     {fcCanDelete, 0x20},   {fcCanLink, 0x4},        {fcCanMove, 0x2},
    {fcCanRename, 0x10},  {fcDropTarget, 0x100}, {fcHasPropSheet, 0x40},
};

struct PropertyBit {
  TacShellFolderProperty member;
  uint32_t bit;
  bool firstQuery;
};
constexpr PropertyBit kPropertyBits[] = {
    {fpCut, 0x8000, true},           {fpIsLink, 0x10000, true},
    {fpReadOnly, 0x40000, true},     {fpShared, 0x20000, true},
    {fpFileSystem, 0x40000000, false}, {fpFileSystemAncestor, 0x10000000, false},
    {fpRemovable, 0x2000000, false}, {fpValidate, 0x1000000, false},
};

}  // namespace

std::wstring RepairQuestionMarks(std::wstring text) {
  if (text.size() >= 2 && text[0] == L'?' && text[1] >= L'0' && text[1] <= L'9')
    text.erase(std::remove(text.begin(), text.end(), L'?'), text.end());
  return text;
}

bool IsClassIdName(std::wstring_view name) { return name.substr(0, 3) == L"::{"; }

std::wstring ExtensionOf(std::wstring_view path) {
  const size_t at = path.find_last_of(L".\\:");
  if (at == std::wstring_view::npos || path[at] != L'.') return std::wstring();
  return std::wstring(path.substr(at));
}

bool IsZipName(std::wstring_view name) { return SameIgnoringAsciiCase(ExtensionOf(name), L".zip"); }

std::wstring ApplyShowExtension(std::wstring name, TacShowExtension mode, std::wstring_view shownExtension,
                                std::wstring_view fileExtension) {
  if (mode == seShow && shownExtension != fileExtension) name.append(fileExtension);
  if (mode == seHide && !shownExtension.empty())
    name.erase(name.size() - std::min(name.size(), shownExtension.size()));
  return name;
}

std::wstring LastPathComponent(std::wstring_view path) {
  if (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
  const size_t slash = path.rfind(L'\\');
  return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

TacShellFolderCapabilities CapabilitiesFromAttributes(uint32_t attributes) {
  TacShellFolderCapabilities set;
  for (const CapabilityBit& c : kCapabilityBits)
    if (attributes & c.bit) set.Add(c.member);
  return set;
}

TacShellFolderProperties PropertiesFromAttributes(uint32_t first, uint32_t second) {
  TacShellFolderProperties set;
  for (const PropertyBit& p : kPropertyBits)
    if ((p.firstQuery ? first : second) & p.bit) set.Add(p.member);
  return set;
}

}  // namespace snapvik
