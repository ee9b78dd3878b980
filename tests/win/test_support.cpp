#include "test_support.h"

#include <vector>

#include "common/handles.h"

namespace snapvik::testing {

static void RemoveTree(const std::wstring& folder) {
  for (const std::wstring& name : ListFolder(folder)) {
    const std::wstring path = folder + name;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      RemoveTree(path + L"\\");
      ::RemoveDirectoryW(path.c_str());
    } else {
      ::DeleteFileW(path.c_str());
    }
  }
}

TestFolder::TestFolder() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  static unsigned serial = 0;
  path_ = std::wstring(temp) + L"snapvik-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++serial) + L"\\";
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TestFolder::~TestFolder() {
  RemoveTree(path_);
  ::RemoveDirectoryW(path_.c_str());
}

std::vector<std::wstring> ListFolder(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &found));
  if (!find) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find.get(), &found));
  return names;
}

std::string ReadBytes(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

void WriteBytes(const std::wstring& path, std::string_view bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace snapvik::testing
