#include "app/app_title.h"

namespace snapvik {

std::wstring ApplicationTitleFromPath(std::wstring_view modulePath, void (*lowerInPlace)(std::wstring&)) {
  const size_t slash = modulePath.find_last_of(L"\\:");
  std::wstring_view name = slash == std::wstring_view::npos ? modulePath : modulePath.substr(slash + 1);
  name = name.substr(0, name.find(L'.'));
  if (name.empty()) return std::wstring();
  std::wstring rest(name.substr(1));
  lowerInPlace(rest);
  return std::wstring(1, name[0]) + rest;
}

}  // namespace snapvik
