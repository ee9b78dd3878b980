#include "picker/icon_look_ahead.h"

#include <objbase.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "picker/id_list.h"
#include "picker/shell_folder.h"

namespace snapvik {
namespace {

// Past this many the found icons start anew, so that a long session of big
// folders holds no more than a few megabytes.
constexpr size_t kMostKept = 50000;

std::string Bytes(PCIDLIST_ABSOLUTE id) { return {reinterpret_cast<const char*>(id), IDSize(id)}; }

TacShellFolder* FolderOfNode(HWND tree, HTREEITEM node) {
  TVITEMW item{};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = node;
  if (!TreeView_GetItem(tree, &item)) return nullptr;
  return reinterpret_cast<TacShellFolder*>(item.lParam);
}

}  // namespace

IconLookAhead::~IconLookAhead() { End(nullptr); }

void IconLookAhead::Arm(HWND tree) {
  if (armed_) return;
  armed_ = ::SetTimer(tree, kTimerId, USER_TIMER_MINIMUM, nullptr) != 0;
}

void IconLookAhead::Turn(HWND tree) {
  if (armed_) ::KillTimer(tree, kTimerId);
  armed_ = false;
  const int page = std::max(1, static_cast<int>(TreeView_GetVisibleCount(tree)));
  const HTREEITEM first = TreeView_GetFirstVisible(tree);
  std::vector<std::string> wanted;
  auto want = [&](HTREEITEM node) {
    TacShellFolder* folder = FolderOfNode(tree, node);
    if (!folder || folder->SmallIconKnown(false)) return;
    if (const std::optional<int> known = Known(folder->AbsoluteID()))
      folder->KnowSmallIcon(*known);
    else
      wanted.push_back(Bytes(folder->AbsoluteID()));
  };
  // The view (and a part-shown row) and the pages below it, nearest first; then the pages above.
  int reached = 0;
  for (HTREEITEM n = first; n && reached <= (1 + kPagesBelow) * page; n = TreeView_GetNextVisible(tree, n), ++reached)
    want(n);
  reached = 0;
  for (HTREEITEM n = first ? TreeView_GetPrevVisible(tree, first) : nullptr; n && reached < kPagesAbove * page;
       n = TreeView_GetPrevVisible(tree, n), ++reached)
    want(n);
  if (wanted.empty()) return;
  bool failed = false;
  {
    const std::lock_guard lock(mutex_);
    asked_.assign(std::make_move_iterator(wanted.begin()), std::make_move_iterator(wanted.end()));
    notify_ = tree;
    failed = std::exchange(failed_, false);
  }
  if (failed) thread_.join();
  wake_.notify_one();
  if (thread_.joinable()) return;
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (...) {
    // No thread: the icons are looked up as their rows are drawn.
    const std::lock_guard lock(mutex_);
    asked_.clear();
  }
}

void IconLookAhead::Stop(HWND tree) {
  if (armed_ && tree) ::KillTimer(tree, kTimerId);
  armed_ = false;
  const std::lock_guard lock(mutex_);
  asked_.clear();
}

void IconLookAhead::End(HWND tree) {
  Stop(tree);
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
    notify_ = nullptr;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  const std::lock_guard lock(mutex_);
  ending_ = false;
  failed_ = false;
  found_.clear();
}

std::optional<int> IconLookAhead::Known(PCIDLIST_ABSOLUTE id) const {
  const std::lock_guard lock(mutex_);
  if (found_.empty()) return std::nullopt;
  const auto at = found_.find(Bytes(id));
  if (at == found_.end()) return std::nullopt;
  return at->second;
}

bool IconLookAhead::Running() const {
  if (armed_) return true;
  const std::lock_guard lock(mutex_);
  return busy_ || !asked_.empty();
}

void IconLookAhead::Work() {
  // The shell's look-ups want the thread in an apartment; without one they still answer.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  try {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return ending_ || !asked_.empty(); });
      if (ending_) break;
      std::string id = std::move(asked_.front());
      asked_.pop_front();
      busy_ = true;
      lock.unlock();
      const int index = ShellIconIndex(reinterpret_cast<PCIDLIST_ABSOLUTE>(id.data()), false, false);
      lock.lock();
      busy_ = false;
      if (found_.size() >= kMostKept) found_.clear();
      found_.insert_or_assign(std::move(id), index);
      if (asked_.empty() && notify_) ::PostMessageW(notify_, kDoneMessage, 0, 0);
    }
  } catch (...) {
    // Out of memory: the icons are then looked up as their rows are drawn.
    const std::lock_guard lock(mutex_);
    busy_ = false;
    asked_.clear();
    failed_ = true;
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
}

}  // namespace snapvik
