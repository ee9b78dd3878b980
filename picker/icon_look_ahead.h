#pragma once
// Looks up the small icons of the nodes around a tree's view on a thread of
// its own, so that pages scrolled into view are drawn from icons already
// known and the user-interface thread never waits for them. Under Wine a
// single look-up in a folder of n entries takes time growing with n (7 ms
// at 5,000), about 17 a page.
#include <windows.h>

#include <commctrl.h>
#include <shtypes.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

namespace snapvik {

class IconLookAhead {
 public:
  // A timer of the tree's window: timer messages come only when the queue is
  // otherwise empty, so gathering what to look up never stands before input.
  static constexpr UINT_PTR kTimerId = 0x1C0A;
  // Posted to the tree when the thread has looked up all it was asked for.
  static constexpr UINT kDoneMessage = WM_USER + 4;
  // How far the look-up reaches: pages below the view, and above it.
  static constexpr int kPagesBelow = 10;
  static constexpr int kPagesAbove = 2;

  IconLookAhead() = default;
  ~IconLookAhead();
  IconLookAhead(const IconLookAhead&) = delete;
  IconLookAhead& operator=(const IconLookAhead&) = delete;

  // After the tree was drawn: a turn comes once the program is idle.
  void Arm(HWND tree);
  // On the timer: hands the nodes in reach whose icons are unknown to the
  // thread, nearest first, in place of what it was still asked for.
  void Turn(HWND tree);
  // Stops the timer and drops what the thread was still asked for.
  void Stop(HWND tree);
  // Also ends the thread and forgets every icon it found (the nodes go).
  void End(HWND tree);
  // The normal small icon the thread found for an identifier.
  std::optional<int> Known(PCIDLIST_ABSOLUTE id) const;
  // A timer turn is due or the thread has work.
  bool Running() const;

 private:
  void Work();

  bool armed_ = false;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> asked_;  // identifiers as bytes
  std::unordered_map<std::string, int> found_;
  HWND notify_ = nullptr;
  bool busy_ = false;  // the thread holds one it is looking up
  bool ending_ = false;
  bool failed_ = false;  // the thread ended early; the next turn starts another
  std::thread thread_;
};

}  // namespace snapvik
