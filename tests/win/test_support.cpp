#include "test_support.h"

#include <vector>

#include "common/handles.h"

namespace snapvik::testing {

static std::wstring FolderOfTemp() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return temp;
}

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
  static unsigned serial = 0;
  path_ = FolderOfTemp() + L"snapvik-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++serial) + L"\\";
  // Wine gives process ids again: an earlier run's folder of this name may be left.
  RemoveTree(path_);
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

TestFolder::~TestFolder() {
  // The current directory cannot be removed: a picker run may have made it this folder.
  wchar_t current[MAX_PATH] = {};
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, current);
  if (length && length < MAX_PATH && _wcsnicmp(current, path_.c_str(), path_.size() - 1) == 0)
    ::SetCurrentDirectoryW(FolderOfTemp().c_str());
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

#include <chrono>
#include <thread>

#include "framework/application.h"

namespace snapvik::testing {

namespace {

BOOL CALLBACK NoteBox(HWND hwnd, LPARAM param) {
  wchar_t cls[16] = {};
  ::GetClassNameW(hwnd, cls, 16);
  if (std::wstring(cls) != L"#32770" || !::IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(param) = hwnd;
  return FALSE;
}

HWND FindBox(DWORD thread) {
  HWND found = nullptr;
  ::EnumThreadWindows(thread, NoteBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

// The box's message: its static text that is not the icon.
std::wstring BoxText(HWND box) {
  for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[16] = {};
    ::GetClassNameW(c, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0 && (::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) != SS_ICON &&
        !TextOf(c).empty())
      return TextOf(c);
  }
  return L"";
}

}  // namespace

struct BoxCloser::State {
  std::vector<SeenBox> boxes;
  std::thread watcher;
};

BoxCloser::BoxCloser(DWORD thread, HWND notify, UINT doneMessage, int boxes, DWORD timeout, int answer)
    : state_(std::make_unique<State>()) {
  state_->watcher = std::thread([=, this] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    while (static_cast<int>(state_->boxes.size()) < boxes && std::chrono::steady_clock::now() < deadline) {
      if (HWND box = FindBox(thread)) {
        state_->boxes.push_back({TextOf(box), BoxText(box), true});
        ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        while (::IsWindow(box) && std::chrono::steady_clock::now() < deadline)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::PostMessageW(notify, doneMessage, 0, 0);
  });
}

BoxCloser::~BoxCloser() {
  if (state_->watcher.joinable()) state_->watcher.join();
}

std::vector<SeenBox> BoxCloser::Boxes() {
  if (state_->watcher.joinable()) state_->watcher.join();
  return state_->boxes;
}

void PumpUntil(const bool& done) {
  while (!done && Application().ProcessMessage()) {
  }
}

}  // namespace snapvik::testing
