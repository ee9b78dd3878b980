#pragma once
// Platform error codes and paths turned into the program's error texts.
#include <windows.h>

#include <string>

namespace snapvik {

// The system's text for a code, trimmed as error messages show it.
std::wstring SystemErrorText(DWORD code);

// The name made absolute by the platform; empty when it cannot.
std::wstring FullPathName(const std::wstring& name);

// Throw the typed file errors for the last error of a failed call on `name`.
[[noreturn]] void ThrowCreateError(const std::wstring& name, DWORD code);
[[noreturn]] void ThrowOpenError(const std::wstring& name, DWORD code);

// For a refused handle or context: the system's text for the last error,
// or "Out of system resources" when there is none.
[[noreturn]] void ThrowOutOfResources();

// A null handle or context becomes EOutOfResources.
template <typename T>
T CheckResource(T handle) {
  if (!handle) ThrowOutOfResources();
  return handle;
}

}  // namespace snapvik
