#include "picker/shell_folder.h"

#include <shellapi.h>

#include <atomic>

#include "common/errors.h"
#include "common/handles.h"
#include "common/paths.h"
#include "common/win_error.h"
#include "common/win_text.h"
#include "common/wine.h"

namespace snapvik {

TacShellFolder* DesktopFolder = nullptr;

namespace {

std::atomic<long> g_liveFolders{0};
long long g_iconLookups = 0;  // user-interface thread only

constexpr DWORD kForParsing = 0x8000;  // SHGDN_FORPARSING
constexpr DWORD kInFolder = 0x1;       // SHGDN_INFOLDER

// The first item of a list, for its length.
const SHITEMID* FirstItem(PCUIDLIST_RELATIVE id) { return id ? &id->mkid : nullptr; }

// 8-bit text in the system code page, up to its terminating zero or `limit` bytes.
std::wstring AnsiText(const char* start, size_t limit) {
  size_t length = 0;
  while (length < limit && start[length]) ++length;
  if (!length) return {};
  return SystemAnsiCodec().ToWide(std::string_view(start, length));
}

void ThrowPlatformError(HRESULT result) { throw EOSError(SystemErrorText(static_cast<DWORD>(result))); }

// The desktop's own identifier, as the platform gives it.
UniqueAbsoluteID DesktopID() {
  PIDLIST_ABSOLUTE raw = nullptr;
  const HRESULT result = ::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &raw);
  UniqueAbsoluteID id = Adopt(raw);
  if (FAILED(result) || !id) ThrowPlatformError(result);
  return id;
}

// The previous error mode back on every path.
class QuietErrorMode {
 public:
  QuietErrorMode() noexcept : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~QuietErrorMode() { ::SetErrorMode(previous_); }
  QuietErrorMode(const QuietErrorMode&) = delete;
  QuietErrorMode& operator=(const QuietErrorMode&) = delete;

 private:
  UINT previous_;
};

std::wstring NameOf(IShellFolder* folder, PCUIDLIST_RELATIVE ID, DWORD flags, TacShowExtension ShowExt,
                    bool askedAgain) {
  if (!folder) return L"parentfolder = nil";
  const auto child = reinterpret_cast<PCUITEMID_CHILD>(ID);
  STRRET strret{};
  folder->GetDisplayNameOf(child, flags, &strret);
  std::wstring result = StrRetText(ID, strret);
  if (ShowExt != seSystem) {
    const std::wstring shown = ExtensionOf(result);
    STRRET parsing{};
    folder->GetDisplayNameOf(child, kForParsing, &parsing);
    const std::wstring path = StrRetText(ID, parsing);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      result = ApplyShowExtension(std::move(result), ShowExt, shown, ExtensionOf(path));
  }
  if (!askedAgain && IsClassIdName(result)) return NameOf(folder, ID, 0, ShowExt, true);
  return result;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The name the entry at `path` has on disk (found with letter case ignored); empty when none is there.
std::wstring NameOnDisk(const std::wstring& path) {
  WIN32_FIND_DATAW entry{};
  const UniqueFind find(::FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
  return find ? std::wstring(entry.cFileName) : std::wstring();
}

// Gives a folder another letter case of its name by way of a free name in
// between, each step checked: a failed second step is undone, and a folder
// that cannot even be moved back is reported to the shell where it now is.
bool MoveToOtherCase(const std::wstring& from, const std::wstring& to) {
  for (int n = 1; n <= 100; ++n) {
    const std::wstring between = to + L".~" + std::to_wstring(n);
    if (!::MoveFileW(from.c_str(), between.c_str())) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
      return false;
    }
    if (::MoveFileW(between.c_str(), to.c_str())) return true;
    if (!::MoveFileW(between.c_str(), from.c_str()))
      ::SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATHW, from.c_str(), between.c_str());
    return false;
  }
  return false;
}

// Moves a folder to another name in the same folder, never over anything.
bool MoveFolderName(const std::wstring& from, const std::wstring& to) {
  if (SameTextIgnoringCase(from, to)) return MoveToOtherCase(from, to);
  return ::MoveFileW(from.c_str(), to.c_str()) != FALSE;
}

// Whether another entry of the folder holding `path` has `name`, letter case
// ignored: Windows takes the two as one. The entry at `path` itself aside.
bool NameHeldBeside(const std::wstring& path, const std::wstring& name) {
  const std::wstring folder = FolderOf(path);
  const std::wstring own = path.substr(folder.size());
  WIN32_FIND_DATAW entry{};
  const UniqueFind find(::FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return false;  // unreadable: the move itself never replaces
  do {
    const std::wstring entryName = entry.cFileName;
    if (entryName != own && SameTextIgnoringCase(entryName, name)) return true;
  } while (::FindNextFileW(find.get(), &entry));
  return false;
}

}  // namespace

ComPtr<IShellFolder> DesktopShellFolder() {
  ComPtr<IShellFolder> desktop;
  const HRESULT result = ::SHGetDesktopFolder(&desktop);
  if (FAILED(result) || !desktop) ThrowPlatformError(result);
  return desktop;
}

TacShellFolder::TacShellFolder(TacShellFolder* AParent, PCUIDLIST_RELATIVE ID, ComPtr<IShellFolder> SF)
    : FIShellFolder(std::move(SF)) {
  FParent = AParent;
  FPIDL = RelativeCopy(ID);
  FFullPIDL = AParent ? Concat(AParent->AbsoluteID(), ID) : Concat(DesktopID().get(), ID);
  if (!FParent) FParent = DesktopFolder;
  if (AParent)
    for (const TacShellFolder* up = FParent->FParent; up; up = up->FParent) ++FLevel;
  ++g_liveFolders;
}

TacShellFolder::TacShellFolder(TacShellFolder& AParent, PCUIDLIST_RELATIVE ID, BindLater)
    : TacShellFolder(&AParent, ID, nullptr) {
  FBindPending = true;
}

TacShellFolder::~TacShellFolder() { --g_liveFolders; }

IShellFolder* TacShellFolder::ShellFolder() const {
  if (FBindPending) {
    FIShellFolder = BindShellFolder(FParent->ShellFolder(), RelativeID(), nullptr);
    FBindPending = false;
  }
  return FIShellFolder.Get();
}

long TacShellFolder::LiveCount() { return g_liveFolders; }

ComPtr<IShellFolder> TacShellFolder::ParenTacShellFolder() const {
  if (FParent) return FParent->ShellFolder();
  return DesktopShellFolder();
}

uint32_t TacShellFolder::Attributes(uint32_t inMask) const {
  SFGAOF mask = inMask;  // a query that fails leaves them all set
  if (const ComPtr<IShellFolder> folder = ParenTacShellFolder()) {
    auto child = reinterpret_cast<PCUITEMID_CHILD>(RelativeID());
    folder->GetAttributesOf(1, &child, &mask);
  }
  return mask;
}

std::wstring TacShellFolder::DisplayName(TacShowExtension ShowExt) const {
  const ComPtr<IShellFolder> folder = ParenTacShellFolder();
  if (!folder) return L"?";
  return ShellDisplayName(folder.Get(), RelativeID(), kInFolder, ShowExt);
}

std::wstring TacShellFolder::PathName() const {
  return ShellDisplayName(DesktopShellFolder().Get(), AbsoluteID(), kForParsing, seSystem);
}

bool TacShellFolder::SubFolders() const { return Attributes(SFGAO_HASSUBFOLDER) & SFGAO_HASSUBFOLDER; }

bool TacShellFolder::IsFolder(std::wstring_view Name, bool OpenZipFiles) const {
  if (!OpenZipFiles && IsZipName(Name)) return false;
  return Attributes(SFGAO_FOLDER) & SFGAO_FOLDER;
}

bool TacShellFolder::IsFile(std::wstring_view Name, bool OpenZipFiles) const {
  if (!OpenZipFiles && IsZipName(Name)) return true;
  const uint32_t bits = Attributes(SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_LINK);
  return (bits & SFGAO_FILESYSTEM) && !(bits & SFGAO_FOLDER) && !(bits & SFGAO_LINK);
}

bool TacShellFolder::IsFileFolder() const {
  const uint32_t bits = Attributes(SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_LINK);
  return (bits & SFGAO_FILESYSTEM) && (bits & SFGAO_FOLDER) && !(bits & SFGAO_LINK);
}

bool TacShellFolder::IsReadOnly() const { return Attributes(SFGAO_READONLY) & SFGAO_READONLY; }

TacShellFolderCapabilities TacShellFolder::Capabilities() const {
  return CapabilitiesFromAttributes(Attributes(kCapabilityInMask));
}

TacShellFolderProperties TacShellFolder::Properties() const {
  if (!ParenTacShellFolder()) return {};
  const uint32_t first = Attributes(kPropertyInMaskFirst);
  const uint32_t second = Attributes(kPropertyInMaskSecond);
  return PropertiesFromAttributes(first, second);
}

int TacShellFolder::ImageIndex(bool LargeIcon) const { return ShellIconIndex(AbsoluteID(), LargeIcon, false); }

int TacShellFolder::SmallIcon(bool Open) const {
  int& cached = FSmallIcons[Open ? 1 : 0];
  if (cached == kNotLookedUp) {
    ++g_iconLookups;
    cached = ShellIconIndex(AbsoluteID(), false, Open);
  }
  return cached;
}

long long TacShellFolder::IconLookups() { return g_iconLookups; }

bool TacShellFolder::ExecuteDefault() const {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST;
  info.lpIDList = const_cast<ITEMIDLIST*>(AbsoluteID());
  info.nShow = SW_SHOW;
  return ::ShellExecuteExW(&info) != FALSE;
}

bool TacShellFolder::Rename(const std::wstring& NewName) {
  if (!Capabilities().Has(fcCanRename)) return false;
  const ComPtr<IShellFolder> folder = ParenTacShellFolder();
  const std::wstring failed = L"Rename to " + NewName + L" failed";
  // A folder on disk: where it is and where it goes.
  std::wstring oldPath, newPath;
  if (IsFileFolder()) oldPath = PathName();
  if (!oldPath.empty() && oldPath.back() != L'\\') {  // not a drive, whose name is its label
    newPath = FolderOf(oldPath) + NewName;
    // Refused before anything moves: the shell would apply some of these,
    // and the folder could then not be chosen, or be another's.
    if (!IsNameWindowsTakes(NewName) || !FolderPathFits(newPath) || NameHeldBeside(oldPath, NewName))
      throw EOSError(failed);
  } else {
    oldPath.clear();
  }
  if (!oldPath.empty() && oldPath == newPath) return true;
  PITEMID_CHILD renamed = nullptr;
  const HRESULT result =
      folder ? folder->SetNameOf(nullptr, reinterpret_cast<PCUITEMID_CHILD>(RelativeID()), NewName.c_str(),
                                 SHGDN_NORMAL, &renamed)
             : E_FAIL;
  UniqueRelativeID newID = Adopt(reinterpret_cast<PIDLIST_RELATIVE>(renamed));
  if (result == S_OK) {
    // A file system that ignores case may take a change of letter case alone
    // as done without doing it: then, and only then, the name is changed on disk.
    const std::wstring oldName = oldPath.substr(FolderOf(oldPath).size());
    if (!oldPath.empty() && SameTextIgnoringCase(oldPath, newPath) && NameOnDisk(oldPath) == oldName) {
      if (!MoveToOtherCase(oldPath, newPath)) throw EOSError(failed);
      ::SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATHW, oldPath.c_str(), newPath.c_str());
    }
  } else {
    // Wine's desktop lists its folders as renamable, then refuses every
    // rename: there, and only there, the folder is renamed on disk. On
    // Windows the shell may refuse for a reason of its own, and that stands.
    newID.reset();
    if (oldPath.empty() || !RunningUnderWine() || !MoveFolderName(oldPath, newPath)) throw EOSError(failed);
    ::SHChangeNotify(SHCNE_RENAMEFOLDER, SHCNF_PATHW, oldPath.c_str(), newPath.c_str());
  }
  if (!newID) {  // renamed, but the shell kept the new identifier to itself, or the shell was not asked
    PIDLIST_RELATIVE parsed = nullptr;
    if (folder)
      folder->ParseDisplayName(nullptr, nullptr, const_cast<wchar_t*>(NewName.c_str()), nullptr, &parsed, nullptr);
    newID = Adopt(parsed);
    if (!newID) throw EOSError(failed);
  }
  UniqueAbsoluteID full = FParent ? Concat(FParent->AbsoluteID(), newID.get())
                                  : AbsoluteCopy(reinterpret_cast<PCIDLIST_ABSOLUTE>(newID.get()));
  FPIDL = std::move(newID);
  FFullPIDL = std::move(full);
  FSmallIcons[0] = FSmallIcons[1] = kNotLookedUp;  // a new name may bring another icon
  // The folder bound under the old name may read nothing under the new one.
  FIShellFolder.Reset();
  FBindPending = FParent != nullptr;
  FRenamed = true;
  return true;
}

std::wstring StrRetText(PCUIDLIST_RELATIVE ID, STRRET& strret) {
  std::wstring text;
  switch (strret.uType) {
    case STRRET_WSTR:
      if (strret.pOleStr) {
        text = strret.pOleStr;
        ::CoTaskMemFree(strret.pOleStr);
        strret.pOleStr = nullptr;
      }
      break;
    case STRRET_OFFSET:
      if (const SHITEMID* item = FirstItem(ID); item && strret.uOffset < item->cb) {
        const char* start = reinterpret_cast<const char*>(item) + strret.uOffset;
        text = AnsiText(start, item->cb - strret.uOffset);
      }
      break;
    case STRRET_CSTR:
      text = AnsiText(strret.cStr, sizeof strret.cStr);
      break;
    default:
      break;
  }
  return RepairQuestionMarks(std::move(text));
}

std::wstring ShellDisplayName(IShellFolder* folder, PCUIDLIST_RELATIVE ID, DWORD flags, TacShowExtension ShowExt) {
  return NameOf(folder, ID, flags, ShowExt, false);
}

ComPtr<IShellFolder> BindShellFolder(IShellFolder* parent, PCUIDLIST_RELATIVE ID, HWND window) {
  ComPtr<IShellFolder> folder;
  auto child = reinterpret_cast<PCUITEMID_CHILD>(ID);
  if (parent) {
    if (FAILED(parent->BindToObject(ID, nullptr, IID_IShellFolder, &folder))) folder.Reset();
    if (!folder && FAILED(parent->GetUIObjectOf(window, 1, &child, IID_IShellFolder, nullptr, &folder)))
      folder.Reset();
    if (!folder && FAILED(parent->CreateViewObject(window, IID_IShellFolder, &folder))) folder.Reset();
  }
  if (!folder && FAILED(DesktopShellFolder()->BindToObject(ID, nullptr, IID_IShellFolder, &folder)))
    folder.Reset();
  return folder;
}

std::unique_ptr<TacShellFolder> FolderFromAbsoluteID(PCIDLIST_ABSOLUTE ID) {
  const ComPtr<IShellFolder> desktop = DesktopShellFolder();
  ComPtr<IShellFolder> folder = BindShellFolder(desktop.Get(), ID, nullptr);
  if (!folder) folder = desktop;
  return std::make_unique<TacShellFolder>(DesktopFolder, ID, std::move(folder));
}

bool SameID(PCIDLIST_ABSOLUTE a, PCIDLIST_ABSOLUTE b) {
  return DesktopShellFolder()->CompareIDs(0, a, b) == 0;
}

bool FolderHasItems(IShellFolder* folder, DWORD flags) {
  if (!folder) return false;
  const QuietErrorMode quiet;
  ComPtr<IEnumIDList> items;
  if (folder->EnumObjects(nullptr, flags, &items) != S_OK || !items) return false;
  PITEMID_CHILD first = nullptr;
  ULONG fetched = 0;
  const bool any = items->Next(1, &first, &fetched) == S_OK;
  Adopt(reinterpret_cast<PIDLIST_RELATIVE>(first));  // given back at once
  return any;
}

int ShellIconIndex(PCIDLIST_ABSOLUTE ID, bool Large, bool Open) {
  UINT flags = SHGFI_PIDL | SHGFI_SYSICONINDEX;
  if (Open) flags |= SHGFI_OPENICON;
  if (!Large) flags |= SHGFI_SMALLICON;
  SHFILEINFOW info{};
  ::SHGetFileInfoW(reinterpret_cast<const wchar_t*>(ID), 0, &info, sizeof info, flags);
  return info.iIcon;
}

}  // namespace snapvik
