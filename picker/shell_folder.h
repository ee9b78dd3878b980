#pragma once
// One item of the shell namespace, and the helpers that name, bind and
// compare items. Everything here runs on the user-interface thread.
#include <windows.h>

#include <shlobj.h>

#include <limits>
#include <memory>
#include <string>

#include "common/com.h"
#include "picker/id_list.h"
#include "picker/shell_item_logic.h"

namespace snapvik {

class TacShellFolder {
 public:
  // `ID` is the item's identifier relative to `AParent` (copied); `SF` its
  // own folder interface, or none. Without a parent the identifier is taken
  // from the desktop, and the parent becomes DesktopFolder.
  TacShellFolder(TacShellFolder* AParent, PCUIDLIST_RELATIVE ID, ComPtr<IShellFolder> SF);
  // A child of `AParent` whose own folder interface is bound from the
  // parent's (BindShellFolder) when it is first asked for.
  struct BindLater {};
  TacShellFolder(TacShellFolder& AParent, PCUIDLIST_RELATIVE ID, BindLater);
  ~TacShellFolder();
  TacShellFolder(const TacShellFolder&) = delete;
  TacShellFolder& operator=(const TacShellFolder&) = delete;

  PCIDLIST_ABSOLUTE AbsoluteID() const { return FFullPIDL.get(); }
  PCUIDLIST_RELATIVE RelativeID() const { return FPIDL.get(); }
  TacShellFolder* Parent() const { return FParent; }
  int Level() const { return FLevel; }
  IShellFolder* ShellFolder() const;
  HWND ViewHandle() const { return FViewHandle; }

  // The folder that holds this item: the parent's interface (which may be none), else the desktop's.
  ComPtr<IShellFolder> ParenTacShellFolder() const;

  std::wstring DisplayName(TacShowExtension ShowExt) const;
  std::wstring PathName() const;

  bool SubFolders() const;
  bool IsFolder(std::wstring_view Name = {}, bool OpenZipFiles = true) const;
  bool IsFile(std::wstring_view Name = {}, bool OpenZipFiles = true) const;
  bool IsFileFolder() const;
  bool IsReadOnly() const;
  TacShellFolderCapabilities Capabilities() const;
  TacShellFolderProperties Properties() const;
  int ImageIndex(bool LargeIcon) const;
  // The small icon's index in the system image list, normal or open: looked
  // up when first asked, then kept until the item is renamed.
  int SmallIcon(bool Open) const;
  bool SmallIconKnown(bool Open) const { return FSmallIcons[Open ? 1 : 0] != kNotLookedUp; }
  // The normal small icon, looked up elsewhere for this identifier.
  void KnowSmallIcon(int index) const { FSmallIcons[0] = index; }
  // Looked up again when next asked: the item may show another icon now.
  void ForgetIcons() const { FSmallIcons[0] = FSmallIcons[1] = kNotLookedUp; }
  bool ExecuteDefault() const;

  // True when the item now has the new name; false when it may not be
  // renamed; "Rename to %s failed" when the shell refuses, or, before
  // anything is renamed, for a name Windows refuses or that is too long.
  bool Rename(const std::wstring& NewName);
  // Renamed since it was made: its node may stand out of the shell's order.
  bool Renamed() const { return FRenamed; }

  // How many items are alive; for checks that nothing is left behind.
  static long LiveCount();
  // How many small icons were looked up since start; for checks and the benchmark.
  static long long IconLookups();

 private:
  // The asked bits, preset in the mask, as the holding folder reports them.
  uint32_t Attributes(uint32_t inMask) const;

  UniqueRelativeID FPIDL;
  UniqueAbsoluteID FFullPIDL;
  TacShellFolder* FParent = nullptr;
  mutable ComPtr<IShellFolder> FIShellFolder;
  mutable bool FBindPending = false;
  int FLevel = 0;
  HWND FViewHandle = nullptr;
  static constexpr int kNotLookedUp = std::numeric_limits<int>::min();
  mutable int FSmallIcons[2] = {kNotLookedUp, kNotLookedUp};  // normal, open
  bool FRenamed = false;
};

// The desktop item, from the shell module's start to its end.
extern TacShellFolder* DesktopFolder;

// The desktop's folder interface, anew for each use; a failure throws.
ComPtr<IShellFolder> DesktopShellFolder();

// The text of an item in `folder` by the given flags and extension rule;
// a class-identifier name ("::{") is asked again as a plain name.
std::wstring ShellDisplayName(IShellFolder* folder, PCUIDLIST_RELATIVE ID, DWORD flags, TacShowExtension ShowExt);

// The text a STRRET holds, with the "?" repair.
std::wstring StrRetText(PCUIDLIST_RELATIVE ID, STRRET& strret);

// The folder interface of the child `ID` of `parent`, tried four ways; may be none.
ComPtr<IShellFolder> BindShellFolder(IShellFolder* parent, PCUIDLIST_RELATIVE ID, HWND window);

// A new item, child of DesktopFolder, for an absolute identifier.
std::unique_ptr<TacShellFolder> FolderFromAbsoluteID(PCIDLIST_ABSOLUTE ID);

// Whether two absolute identifiers name the same item.
bool SameID(PCIDLIST_ABSOLUTE a, PCIDLIST_ABSOLUTE b);

// Whether enumerating `folder` with `flags` gives a first item; no
// critical-error box meanwhile.
bool FolderHasItems(IShellFolder* folder, DWORD flags);

// The system image list's index of an item's icon.
int ShellIconIndex(PCIDLIST_ABSOLUTE ID, bool Large, bool Open);

}  // namespace snapvik
