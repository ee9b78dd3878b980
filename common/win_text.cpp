#include "common/win_text.h"

#include <windows.h>

#include <climits>

namespace snapvik {

std::wstring SystemAnsiCodec::ToWide(std::string_view ansi) const {
  if (ansi.empty() || ansi.size() > INT_MAX) return std::wstring();
  const int n = static_cast<int>(ansi.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, nullptr, 0);
  std::wstring out(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, out.data(), length);
  return out;
}

std::string SystemAnsiCodec::FromWide(std::wstring_view text) const {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int n = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) ::WideCharToMultiByte(CP_ACP, 0, text.data(), n, out.data(), length, nullptr, nullptr);
  return out;
}

void LowerInPlace(std::wstring& text) {
  if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
}

std::wstring ModuleFileName() {
  std::wstring buffer(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace snapvik
