#include "common/win_error.h"

#include "common/error_text.h"
#include "common/errors.h"
#include "common/handles.h"

namespace snapvik {

std::wstring SystemErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  const DWORD length =
      ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const UniqueLocalBuffer owner(buffer);
  return TrimSystemMessage(buffer ? std::wstring_view(buffer, length) : std::wstring_view());
}

std::wstring FullPathName(const std::wstring& name) {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length = ::GetFullPathNameW(name.c_str(), MAX_PATH, buffer.data(), nullptr);
  if (length > MAX_PATH) {
    buffer.assign(length, L'\0');
    length = ::GetFullPathNameW(name.c_str(), length, buffer.data(), nullptr);
    if (length >= buffer.size()) length = 0;
  }
  buffer.resize(length);
  return buffer;
}

void ThrowCreateError(const std::wstring& name, DWORD code) {
  throw EFCreateError(CreateFileErrorText(FullPathName(name), SystemErrorText(code)));
}

void ThrowOpenError(const std::wstring& name, DWORD code) {
  throw EFOpenError(OpenFileErrorText(FullPathName(name), SystemErrorText(code)));
}

void ThrowOutOfResources() {
  const DWORD code = ::GetLastError();
  wchar_t buffer[256] = {};
  std::wstring text;
  if (code != 0 && ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0x0400, buffer, 256, nullptr) != 0)
    text = TrimSystemMessage(buffer);
  throw EOutOfResources(text.empty() ? L"Out of system resources" : text);
}

}  // namespace snapvik
