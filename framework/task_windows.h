#pragma once
// Disables the thread's other top-level windows while a modal window runs.
#include <windows.h>

#include <vector>

namespace snapvik {

class DisabledTaskWindows {
 public:
  explicit DisabledTaskWindows(HWND except);
  ~DisabledTaskWindows();
  DisabledTaskWindows(const DisabledTaskWindows&) = delete;
  DisabledTaskWindows& operator=(const DisabledTaskWindows&) = delete;

 private:
  HWND except_;
  std::vector<HWND> disabled_;
};

}  // namespace snapvik
