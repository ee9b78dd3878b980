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

// The same path, ASCII case ignored.
bool SamePath(std::wstring_view a, std::wstring_view b);

}  // namespace snapvik
