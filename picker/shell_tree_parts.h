#pragma once
// What the tree's source files share: the messages it posts itself, the
// brackets around changes and around calls that may run a message loop,
// and small helpers of the shell's answers.
#include <windows.h>

#include <commctrl.h>

#include <string_view>
#include <utility>
#include <vector>

#include "picker/id_list.h"
#include "picker/shell_tree.h"

namespace snapvik {

inline constexpr UINT kRefreshSelected = WM_USER + 1;  // posted by the change watcher
inline constexpr UINT kRunDeferred = WM_USER + 2;     // work that waited until no call held nodes

inline constexpr UINT kSharedOverlay = INDEXTOOVERLAYMASK(1);  // the image list's first overlay image

// The hourglass while the tree enumerates, the previous cursor back afterwards.
class WaitCursor {
 public:
  WaitCursor() noexcept : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { ::SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

// The children `folder` lists now; none when it cannot be read. The shell
// may show a window of its own here (credentials for a share, a missing
// disk) and run a message loop.
std::vector<UniqueRelativeID> EnumerateChildren(IShellFolder& folder, DWORD flags);

// The shell's order of two children of `folder` (below, at or above zero); counted for the benchmark.
int ShellOrder(IShellFolder& folder, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b);

inline std::string_view IDBytes(PCUIDLIST_RELATIVE id) {
  return {reinterpret_cast<const char*>(id), IDSize(id)};
}

// Redrawing off while the nodes change, on again (and repainted) when the outermost bracket closes.
class TacCustomShellTreeView::UpdateBracket {
 public:
  explicit UpdateBracket(TacCustomShellTreeView& tree) noexcept : tree_(tree) {
    if (tree_.updateDepth_++ == 0) ::SendMessageW(tree_.Handle(), WM_SETREDRAW, FALSE, 0);
  }
  ~UpdateBracket() {
    if (--tree_.updateDepth_ == 0) {
      ::SendMessageW(tree_.Handle(), WM_SETREDRAW, TRUE, 0);
      ::InvalidateRect(tree_.Handle(), nullptr, TRUE);
    }
  }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

 private:
  TacCustomShellTreeView& tree_;
};

// Marks the tree busy inside a call that may run a message loop. When the
// outermost one ends, the work deferred meanwhile is released.
class TacCustomShellTreeView::BusyScope {
 public:
  explicit BusyScope(TacCustomShellTreeView& tree) : tree_(tree) {
    // The icons asked for ahead wait too: their timer would only find the tree busy.
    if (tree_.busy_ == 0 && tree_.lookAhead_.Running()) {
      tree_.Queue(Deferred::Kind::LookAhead);  // may throw: the tree is not marked yet
      tree_.lookAhead_.Stop(tree_.Handle());
    }
    ++tree_.busy_;
  }
  ~BusyScope() {
    if (--tree_.busy_ == 0 && tree_.Handle()) tree_.ReleaseDeferred();
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  TacCustomShellTreeView& tree_;
};

}  // namespace snapvik
