#include "picker/icon_look_ahead.h"

#include <objbase.h>

#include <algorithm>
#include <thread>
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

std::atomic<long> IconLookAhead::threads_{0};
void (*IconLookAhead::BeforeEachLookUp)() = nullptr;

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
  if (!shared_) shared_ = std::make_shared<Shared>();
  bool start = false;
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->asked.assign(std::make_move_iterator(wanted.begin()), std::make_move_iterator(wanted.end()));
    shared_->notify = tree;
    start = !std::exchange(shared_->running, true);
  }
  if (!start) {
    shared_->wake.notify_one();
    return;
  }
  ++threads_;
  try {
    std::thread(&IconLookAhead::Work, shared_).detach();
  } catch (...) {
    // No thread: the icons are looked up as their rows are drawn.
    --threads_;
    const std::lock_guard lock(shared_->mutex);
    shared_->asked.clear();
    shared_->running = false;
  }
}

void IconLookAhead::Stop(HWND tree) {
  if (armed_ && tree) ::KillTimer(tree, kTimerId);
  armed_ = false;
  if (!shared_) return;
  const std::lock_guard lock(shared_->mutex);
  shared_->asked.clear();
}

void IconLookAhead::End(HWND tree) noexcept {
  Stop(tree);
  if (!shared_) return;
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->ending = true;
    shared_->notify = nullptr;  // the window may go, and its handle be another's
  }
  shared_->wake.notify_one();
  shared_.reset();
}

void IconLookAhead::Forget() {
  if (!shared_) return;
  const std::lock_guard lock(shared_->mutex);
  shared_->found.clear();
  ++shared_->forgotten;
}

std::optional<int> IconLookAhead::Known(PCIDLIST_ABSOLUTE id) const {
  if (!shared_) return std::nullopt;
  const std::lock_guard lock(shared_->mutex);
  if (shared_->found.empty()) return std::nullopt;
  const auto at = shared_->found.find(Bytes(id));
  if (at == shared_->found.end()) return std::nullopt;
  return at->second;
}

bool IconLookAhead::Running() const {
  if (armed_) return true;
  if (!shared_) return false;
  const std::lock_guard lock(shared_->mutex);
  return shared_->busy || !shared_->asked.empty();
}

void IconLookAhead::Work(std::shared_ptr<Shared> shared) {
  // The shell's look-ups want the thread in an apartment; without one they still answer.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  try {
    std::unique_lock lock(shared->mutex);
    for (;;) {
      shared->wake.wait(lock, [&] { return shared->ending || !shared->asked.empty(); });
      if (shared->ending) break;
      std::string id = std::move(shared->asked.front());
      shared->asked.pop_front();
      shared->busy = true;
      const unsigned forgotten = shared->forgotten;
      lock.unlock();
      if (BeforeEachLookUp) BeforeEachLookUp();
      const int index = ShellIconIndex(reinterpret_cast<PCIDLIST_ABSOLUTE>(id.data()), false, false);
      lock.lock();
      shared->busy = false;
      if (shared->ending) break;  // let go meanwhile: nobody asks any more
      if (shared->found.size() >= kMostKept) shared->found.clear();
      if (shared->forgotten == forgotten) shared->found.insert_or_assign(std::move(id), index);
      if (shared->asked.empty() && shared->notify) ::PostMessageW(shared->notify, kDoneMessage, 0, 0);
    }
  } catch (...) {
    // Out of memory: the icons are then looked up as their rows are drawn,
    // and the next turn starts another thread.
    const std::lock_guard lock(shared->mutex);
    shared->busy = false;
    shared->asked.clear();
    shared->running = false;
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  shared.reset();
  --threads_;
}

}  // namespace snapvik
