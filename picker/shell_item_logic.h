#pragma once
// The rules of namespace items that need no platform: display texts,
// extensions, the attribute bits behind capabilities and properties.
#include <cstdint>
#include <string>
#include <string_view>

namespace snapvik {

// How a display text treats file extensions.
enum TacShowExtension { seSystem = 0, seShow = 1, seHide = 2 };

// A name the shell gives as "?" then a digit loses every "?" it holds.
std::wstring RepairQuestionMarks(std::wstring text);

// A class-identifier parsing name ("::{...}"), which is no path.
bool IsClassIdName(std::wstring_view name);

// From the last "." of the last path component on; empty when there is none.
std::wstring ExtensionOf(std::wstring_view path);

// Whether a name's extension, lower-cased, is ".zip".
bool IsZipName(std::wstring_view name);

// The name after the extension rule, given the shown extension and that of
// the file the parsing name names (the caller asks only for files).
std::wstring ApplyShowExtension(std::wstring name, TacShowExtension mode, std::wstring_view shownExtension,
                                std::wstring_view fileExtension);

// The root node's text for a path root: its last component, a trailing separator left out.
std::wstring LastPathComponent(std::wstring_view path);

// Capabilities and properties as sets of their members, one bit each, in member order.
enum TacShellFolderCapability {
  fcCanCopy, fcCanDelete, fcCanLink, fcCanMove, fcCanRename, fcDropTarget, fcHasPropSheet
};
enum TacShellFolderProperty {
  fpCut, fpIsLink, fpReadOnly, fpShared, fpFileSystem, fpFileSystemAncestor, fpRemovable, fpValidate
};

// A set of enumeration members as bits: member m is bit (1 << m).
template <typename Member>
class MemberSet {
 public:
  constexpr MemberSet() = default;
  constexpr bool Has(Member m) const { return (bits_ >> m) & 1u; }
  constexpr void Add(Member m) { bits_ |= 1u << m; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint32_t Bits() const { return bits_; }
  bool operator==(const MemberSet&) const = default;

 private:
  uint32_t bits_ = 0;
};
using TacShellFolderCapabilities = MemberSet<TacShellFolderCapability>;
using TacShellFolderProperties = MemberSet<TacShellFolderProperty>;

inline constexpr uint32_t kCapabilityInMask = 0x177;
inline constexpr uint32_t kPropertyInMaskFirst = 0xFC000;  // fpCut to fpShared
inline constexpr uint32_t kPropertyInMaskSecond = 0;       // fpFileSystem to fpValidate

TacShellFolderCapabilities CapabilitiesFromAttributes(uint32_t attributes);
// The properties of the two queries: the first four from `first`, the last four from `second`.
TacShellFolderProperties PropertiesFromAttributes(uint32_t first, uint32_t second);

}  // namespace snapvik
