#pragma once
// Looks up, while the program is idle, the small icons of the nodes one page
// below and one page above a tree's visible ones, so that a page scrolled into
// view is drawn from icons already known. Under Wine a single look-up in a
// big folder takes several milliseconds, about 150 ms for a page.
#include <windows.h>

#include <commctrl.h>

namespace snapvik {

class IconLookAhead {
 public:
  // A timer of the tree's window: timer messages come only when the queue is
  // otherwise empty, so the work never stands before the user's input.
  static constexpr UINT_PTR kTimerId = 0x1C0A;

  // After the tree was drawn: the work starts unless it runs.
  void Arm(HWND tree);
  // One turn, on the timer: looks up until input waits or the turn's time is
  // spent, and ends the work once every node in reach has its icon.
  void Turn(HWND tree);
  void Stop(HWND tree);
  bool Running() const { return running_; }

 private:
  bool running_ = false;
};

}  // namespace snapvik
