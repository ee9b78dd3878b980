#pragma once
#include <string>
#include <string_view>

namespace snapvik {

// Everything up to and including the last "\", "/" or ":"; empty for a bare name.
std::wstring FolderOf(std::wstring_view path);

// A folder text that ends in one "\": a final "/" becomes "\", a bare drive
// letter "C" becomes "C:\", an empty text stays empty.
std::wstring AddPathSeparator(std::wstring_view path);

// A path from a drive ("C:\...") or a share ("\\server\..."), as the shell's
// parsing names of file-system items are; virtual items have plain names.
bool IsFileSystemPath(std::wstring_view path);

// Whether `path` lies inside `folder` (not `folder` itself), ASCII case ignored.
bool IsInsideFolder(std::wstring_view folder, std::wstring_view path);

// The longest folder path the program makes or gives a folder: the
// platform's limit for a new directory, which leaves room inside it for a
// file of a short name (MAX_PATH less 12, with its terminator). Longer ones
// are made by some systems, but the shell then cannot list or open them.
inline constexpr size_t kLongestFolderPath = 247;
inline bool FolderPathFits(std::wstring_view path) { return path.size() <= kLongestFolderPath; }

// A name of one entry: not empty, not "." or "..", and none of the
// characters that separate or match names or that a file name cannot hold.
bool IsPlainFileName(std::wstring_view name);

// A plain name that Windows also takes for a new entry: no trailing dot or
// space (it would drop them, and the entry would be another's), and no device
// name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9, COM¹ to COM³, LPT1
// to LPT9, LPT¹ to LPT³), with an extension or not.
bool IsNameWindowsTakes(std::wstring_view name);

}  // namespace snapvik
