#pragma once
// Helpers of the platform tests: a fresh folder, file bytes, the text of an expected error.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace snapvik::testing {

// A fresh folder under the system's temporary folder, removed with its contents.
class TestFolder {
 public:
  TestFolder();
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  // With its trailing backslash.
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + name; }

 private:
  std::wstring path_;
};

std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, std::string_view bytes);
bool Exists(const std::wstring& path);

// The message of the `Error` that `action` throws, or "(no error)".
template <typename Error, typename F>
std::wstring ErrorOf(F&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.Message();
  }
  return L"(no error)";
}
// Names of the entries in a folder, "." and ".." left out.
std::vector<std::wstring> ListFolder(const std::wstring& folder);

}  // namespace snapvik::testing

namespace snapvik::testing {

// What a message box showed.
struct SeenBox {
  std::wstring caption, text;
  bool found = false;
};

// Watches `thread` from another thread for up to `timeout` ms, presses OK
// (or `answer`) on every message box it shows, and afterwards posts `doneMessage` to
// `notify` (so that a loop waiting on it always ends).
class BoxCloser {
 public:
  BoxCloser(DWORD thread, HWND notify, UINT doneMessage, int boxes = 1, DWORD timeout = 10000, int answer = IDOK);
  ~BoxCloser();
  BoxCloser(const BoxCloser&) = delete;
  BoxCloser& operator=(const BoxCloser&) = delete;
  // Waits for the watcher and returns the boxes it closed.
  std::vector<SeenBox> Boxes();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Runs the thread's messages until `done` (with a test's application object).
void PumpUntil(const bool& done);

}  // namespace snapvik::testing
