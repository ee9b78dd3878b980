#pragma once
// The picker's directory test.
#include <string>

#include "picker/path_dialog_logic.h"

namespace snapvik {

// What the platform tells of a path: its attributes, and for a link whether it opens.
DirectoryState ProbeDirectory(const std::wstring& path);

// A directory, or a path whose attributes cannot be read for a reason other than its absence.
bool IsExistingDir(const std::wstring& path);

}  // namespace snapvik
