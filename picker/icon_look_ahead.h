#pragma once
// Looks up the small icons of the nodes around a tree's view on a thread of
// its own, so that pages scrolled into view are drawn from icons already
// known and the user-interface thread never waits for them. Under Wine a
// single look-up in a folder of n entries takes time growing with n (7 ms
// at 5,000), about 17 a page.
#include <windows.h>

#include <commctrl.h>
#include <shtypes.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
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
  // Also lets the thread go and forgets every icon it found (the nodes go).
  // Never waits: a look-up on a slow share may take seconds, and the thread
  // ends on its own after it, holding all it uses.
  void End(HWND tree) noexcept;
  // Forgets every icon found so far (a folder read again may show others
  // under the same identifiers); one being looked up meanwhile is dropped.
  void Forget();
  // The normal small icon the thread found for an identifier.
  std::optional<int> Known(PCIDLIST_ABSOLUTE id) const;
  // A timer turn is due or the thread has work.
  bool Running() const;

  // Threads of every look-ahead that have not ended yet, those let go included.
  static long Threads() { return threads_; }
  // Runs on the thread before each look-up, outside every lock; tests stand
  // in a slow file system with it.
  static void (*BeforeEachLookUp)();

 private:
  // What the thread and its owner share; the thread keeps it while it runs.
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::string> asked;  // identifiers as bytes
    std::unordered_map<std::string, int> found;
    HWND notify = nullptr;
    bool busy = false;     // the thread holds one it is looking up
    bool ending = false;   // its owner let go of it
    bool running = false;  // a thread serves it
    unsigned forgotten = 0;  // how many times what was found was forgotten
  };
  static void Work(std::shared_ptr<Shared> shared);

  bool armed_ = false;
  std::shared_ptr<Shared> shared_;  // made at the first turn after an end
  static std::atomic<long> threads_;
};

}  // namespace snapvik
