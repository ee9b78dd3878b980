#include "picker/change_notifier.h"

#include <utility>

#include "common/ascii_case.h"
#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

namespace {

// Guards every worker's options and the making of its watches. A slim
// lock: it never holds a kernel object, however often it is contended.
SRWLOCK g_watchLock = SRWLOCK_INIT;

class WatchLock {
 public:
  WatchLock() noexcept { ::AcquireSRWLockExclusive(&g_watchLock); }
  ~WatchLock() { ::ReleaseSRWLockExclusive(&g_watchLock); }
  WatchLock(const WatchLock&) = delete;
  WatchLock& operator=(const WatchLock&) = delete;
};

// How long the user-interface thread waits for a new watch: a local folder
// is watched well within it, a slow share is caught up with afterwards.
constexpr ULONGLONG kPromptWatchMs = 200;

UniqueKernelHandle CheckedHandle(HANDLE handle) {
  if (!handle) throw EOutOfResources(L"Out of system resources");
  return UniqueKernelHandle(handle);
}

}  // namespace

std::atomic<long> TacShellChangeThread::live_{0};
void (*TacShellChangeThread::BeforeEachWatch)() = nullptr;

TacShellChangeThread::TacShellChangeThread(ISynchronizer& ui, std::function<void()> ChangeEvent)
    : ui_(ui), FChangeEvent(std::move(ChangeEvent)) {
  FMutex = CheckedHandle(::CreateMutexW(nullptr, TRUE, nullptr));
  ::WaitForSingleObject(FMutex.get(), INFINITE);
  FStopEvent = CheckedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  FActive = CheckedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread_ = CheckedHandle(::CreateThread(nullptr, 0, &ThreadStart, this, CREATE_SUSPENDED, nullptr));
  ++live_;
}

TacShellChangeThread::~TacShellChangeThread() {
  // Let go, the worker itself frees it, at its very end.
  if (!orphaned_) {
    ::SetEvent(FStopEvent.get());
    terminated_ = true;
    // A worker that has not reached its first step yet is waited for all the same:
    // it would otherwise use what is closed here.
    if (!resumed_) Resume();
    ui_.WaitServingSynchronize(thread_.get());
  }
  FWaitHandle.reset();
  --live_;
}

void TacShellChangeThread::Release(std::shared_ptr<TacShellChangeThread> worker) {
  TacShellChangeThread& self = *worker;
  self.FChangeEvent = nullptr;
  self.terminated_ = true;
  ::SetEvent(self.FStopEvent.get());
  if (!self.resumed_) self.Resume();
  for (;;) {
    {
      const WatchLock guard;
      if (self.makingWatch_) {
        // It looks once the platform returns, under this lock, and then ends;
        // from here on it may be gone at any moment.
        self.orphaned_ = true;
        self.self_ = std::move(worker);
        return;
      }
    }
    // Anywhere else it ends within a moment, or runs a handler call served here.
    if (self.ui_.WaitServingSynchronize(self.thread_.get(), 2)) return;
  }
}

void TacShellChangeThread::EndAfterHandler(std::shared_ptr<TacShellChangeThread> self) {
  self_ = std::move(self);
  FChangeEvent = nullptr;
  ::ReleaseMutex(FMutex.get());
  ::ReleaseMutex(FMutex.get());
  terminated_ = true;
  orphaned_ = true;
  ::SetEvent(FStopEvent.get());
}

void TacShellChangeThread::WaitForFirstWatch() {
  int generation = 0;
  {
    const WatchLock guard;
    generation = wantedGeneration_;
  }
  WaitForWatch(generation);
}

// Serves handler calls meanwhile. Past the time, the worker is told that
// nobody waited: it then runs the handler once its watch is made. Only once
// it is sure to look at the options: one that has not woken yet (a busy
// machine may not have run it) would miss the mutex let go for it.
void TacShellChangeThread::WaitForWatch(int generation) {
  const ULONGLONG deadline = ::GetTickCount64() + kPromptWatchMs;
  while (!orphaned_) {
    {
      const WatchLock guard;
      if (madeGeneration_ >= generation) return;
      if (::GetTickCount64() >= deadline && (seenGeneration_ >= generation || makingWatch_ || inHandler_)) {
        lateWatch_ = true;
        return;
      }
    }
    if (ui_.WaitServingSynchronize(thread_.get(), 2)) return;  // the worker ended
  }
}

void TacShellChangeThread::Resume() {
  resumed_ = true;
  ::ResumeThread(thread_.get());
}

void TacShellChangeThread::SetDirectoryOptions(const std::wstring& Directory, bool WatchSubTree,
                                               DWORD NotifyOptionFlags) {
  {
    const WatchLock guard;
    FDirectory = Directory;
    FWatchSubTree = WatchSubTree;
    FNotifyOptionFlags = NotifyOptionFlags;
    FWaitChanged = true;
    ++wantedGeneration_;
  }
  ++handOvers_;
  WakeForOptions();
}

// The creating thread lets go of the mutex until the worker has made the
// watch of the new options (or a short time is up), then holds it again. Not
// from inside the worker's own handler call: the worker takes them as soon as
// that returns. Told by this thread's depth, not by the worker's flag: that
// stays set a moment after the handler has returned here.
void TacShellChangeThread::WakeForOptions() {
  if (!Active() || InHandlerCall()) return;
  // A handler served while waiting may end the notifier: this object stays until the wait is over.
  const std::shared_ptr<TacShellChangeThread> keep = shared_from_this();
  int generation = 0;
  {
    const WatchLock guard;
    generation = wantedGeneration_;
  }
  ::ReleaseMutex(FMutex.get());
  ::ReleaseMutex(FMutex.get());
  WaitForWatch(generation);
  if (orphaned_) return;  // the worker ends; the mutex is nobody's to hold any more
  ::WaitForSingleObject(FMutex.get(), INFINITE);
  ::WaitForSingleObject(FMutex.get(), INFINITE);
}

DWORD WINAPI TacShellChangeThread::ThreadStart(void* self) {
  auto* worker = static_cast<TacShellChangeThread*>(self);
  try {
    worker->Execute();
  } catch (...) {
  }
  // Its notifier let go of it from inside the handler: this may be the last reference.
  if (worker->orphaned_) {
    const std::shared_ptr<TacShellChangeThread> last = std::move(worker->self_);
  }
  return 0;
}

// The platform call is made outside the lock: on a slow share it may take
// long, and the user-interface thread takes the lock to hand over options.
bool TacShellChangeThread::Watch() {
  for (;;) {
    std::wstring directory;
    bool subTree = false;
    DWORD filter = 0;
    int generation = 0;
    {
      const WatchLock guard;
      directory = FDirectory;
      subTree = FWatchSubTree;
      filter = FNotifyOptionFlags;
      generation = wantedGeneration_;
      seenGeneration_ = generation;
      FWaitChanged = false;
      if (terminated_) return false;
      makingWatch_ = true;
    }
    if (BeforeEachWatch) BeforeEachWatch();
    UniqueChangeWatch watch(::FindFirstChangeNotificationW(directory.c_str(), subTree, filter));
    const WatchLock guard;
    makingWatch_ = false;
    if (terminated_) return false;  // ended meanwhile, perhaps let go: nothing of its owner's may be used
    if (FWaitChanged) continue;  // newer options came meanwhile
    FWaitHandle = std::move(watch);
    watchedFilter_ = filter;
    madeGeneration_ = generation;
    // Nobody waited for it: a change made before it was not seen.
    catchUp_ = std::exchange(lateWatch_, false) && FWaitHandle;
    return static_cast<bool>(FWaitHandle);
  }
}

void TacShellChangeThread::RunHandler() {
  inHandler_ = true;
  ui_.Synchronize([this] {
    // A copy: the handler may replace itself, or end its notifier.
    const std::function<void()> handler = FChangeEvent;
    ++handlerDepth_;
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{handlerDepth_};
    if (handler) handler();
  });
  inHandler_ = false;
}

void TacShellChangeThread::Execute() {
  ::SetEvent(FActive.get());
  struct Inactive {
    HANDLE event;
    ~Inactive() { ::ResetEvent(event); }
  } inactive{FActive.get()};
  if (!Watch()) return;
  while (!terminated_) {
    if (std::exchange(catchUp_, false)) {
      // Options handed over during this call are looked at below, as after any wake-up.
      RunHandler();
      if (orphaned_) return;
    } else {
      const HANDLE sources[3] = {FWaitHandle.get(), FMutex.get(), FStopEvent.get()};
      const DWORD woken = ::WaitForMultipleObjects(3, sources, FALSE, INFINITE);
      if (woken == WAIT_OBJECT_0) {
        // Watching again before the handler runs: a change made meanwhile, or
        // right after it, fires the next wake-up. Re-armed only afterwards, the
        // platform may drop such a change (Wine does).
        ::FindNextChangeNotification(FWaitHandle.get());
        RunHandler();
        if (orphaned_) return;
      } else if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_ABANDONED_0 + 1) {
        ::ReleaseMutex(FMutex.get());
      } else if (woken == WAIT_OBJECT_0 + 2) {
        terminated_ = true;
        return;
      } else {
        return;
      }
    }
    bool changed = false;
    {
      const WatchLock guard;
      changed = FWaitChanged;
      seenGeneration_ = wantedGeneration_;
    }
    if (changed && !Watch()) return;
  }
}

// ---- TacShellChangeNotifier ----

TacShellChangeNotifier::~TacShellChangeNotifier() {
  if (!FThread) return;
  FThread->SetChangeEvent(nullptr);
  // From inside its own handler the worker cannot be waited for (it waits
  // for the handler): it ends, and frees itself, once the handler returns.
  if (FThread->InHandlerCall()) {
    TacShellChangeThread& worker = *FThread;
    worker.EndAfterHandler(std::move(FThread));
  } else {
    TacShellChangeThread::Release(std::move(FThread));
  }
}

void TacShellChangeNotifier::SetRoot(const std::wstring& value) {
  if (SameIgnoringAsciiCase(value, FRoot)) return;
  FRoot = value;
  ReapplyOptions();
}

void TacShellChangeNotifier::SetWatchSubTree(bool value) {
  FWatchSubTree = value;
  ReapplyOptions();
}

void TacShellChangeNotifier::SetNotifyFilters(TacNotifyFilters value) {
  FFilters = value;
  ReapplyOptions();
}

void TacShellChangeNotifier::ReapplyOptions() {
  if (!FThread) return;
  // A worker ends on a folder it cannot watch; the next options get a new one.
  if (FThread->Ended()) {
    FThread.reset();
    Start();
    return;
  }
  FThread->SetDirectoryOptions(FRoot, FWatchSubTree, NotifyFilterValue(FFilters));
}

void TacShellChangeNotifier::SetOnChange(std::function<void()> value) {
  FOnChange = std::move(value);
  if (FThread)
    FThread->SetChangeEvent(FOnChange);
  else
    Start();
}

void TacShellChangeNotifier::Start() {
  if (!FOnChange) return;
  FThread = std::make_shared<TacShellChangeThread>(ui_, FOnChange);
  ReapplyOptions();
  FThread->Resume();
  // Watching when this returns: a change made from here on is seen.
  FThread->WaitForFirstWatch();
}

}  // namespace snapvik
