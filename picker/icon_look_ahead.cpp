#include "picker/icon_look_ahead.h"

#include <algorithm>

#include "picker/shell_folder.h"

namespace snapvik {
namespace {

constexpr ULONGLONG kTurnMs = 30;

bool InputWaits() {
  return HIWORD(::GetQueueStatus(QS_INPUT | QS_POSTMESSAGE | QS_SENDMESSAGE | QS_PAINT)) != 0;
}

// False when the turn must end: the node's icon was looked up and input waits or time is spent.
bool LookUp(HWND tree, HTREEITEM node, ULONGLONG start) {
  TVITEMW item{};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = node;
  if (!TreeView_GetItem(tree, &item) || !item.lParam) return true;
  const auto* folder = reinterpret_cast<const TacShellFolder*>(item.lParam);
  if (folder->SmallIconKnown(false)) return true;
  folder->SmallIcon(false);
  return !InputWaits() && ::GetTickCount64() - start < kTurnMs;
}

}  // namespace

void IconLookAhead::Arm(HWND tree) {
  if (running_) return;
  running_ = ::SetTimer(tree, kTimerId, USER_TIMER_MINIMUM, nullptr) != 0;
}

void IconLookAhead::Turn(HWND tree) {
  const ULONGLONG start = ::GetTickCount64();
  const int page = std::max(1, static_cast<int>(TreeView_GetVisibleCount(tree)));
  const HTREEITEM first = TreeView_GetFirstVisible(tree);
  // The visible page (and a part-shown row) and the next one, nearest first; then the page above.
  int reached = 0;
  for (HTREEITEM n = first; n && reached <= 2 * page; n = TreeView_GetNextVisible(tree, n), ++reached)
    if (!LookUp(tree, n, start)) return;
  reached = 0;
  for (HTREEITEM n = first ? TreeView_GetPrevVisible(tree, first) : nullptr; n && reached < page;
       n = TreeView_GetPrevVisible(tree, n), ++reached)
    if (!LookUp(tree, n, start)) return;
  Stop(tree);
}

void IconLookAhead::Stop(HWND tree) {
  if (running_) ::KillTimer(tree, kTimerId);
  running_ = false;
}

}  // namespace snapvik
