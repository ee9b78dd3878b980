#include "common/paths.h"

namespace snapvik {

std::wstring FolderOf(std::wstring_view path) {
  const size_t last = path.find_last_of(L"\\/:");
  return last == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, last + 1));
}

}  // namespace snapvik
