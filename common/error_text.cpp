#include "common/error_text.h"

namespace snapvik {

std::wstring WithFinalPeriod(std::wstring_view text) {
  std::wstring out(text);
  if (!out.empty() && out.back() > L'.') out.push_back(L'.');
  return out;
}

std::wstring TrimSystemMessage(std::wstring_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] <= L' ' || text[end - 1] == L'.')) --end;
  return std::wstring(text.substr(0, end));
}

static std::wstring FileErrorText(std::wstring_view verb, std::wstring_view fullPath,
                                  std::wstring_view systemText) {
  std::wstring out = L"Cannot ";
  out.append(verb).append(L" file \"").append(fullPath).append(L"\". ").append(systemText);
  return out;
}

std::wstring CreateFileErrorText(std::wstring_view fullPath, std::wstring_view systemText) {
  return FileErrorText(L"create", fullPath, systemText);
}

std::wstring OpenFileErrorText(std::wstring_view fullPath, std::wstring_view systemText) {
  return FileErrorText(L"open", fullPath, systemText);
}

std::wstring ListIndexErrorText(long long index) {
  return L"List index out of bounds (" + std::to_wstring(index) + L")";
}

}  // namespace snapvik
