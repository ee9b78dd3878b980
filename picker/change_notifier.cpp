#include "picker/change_notifier.h"

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

UniqueKernelHandle CheckedHandle(HANDLE handle) {
  if (!handle) throw EOutOfResources(L"Out of system resources");
  return UniqueKernelHandle(handle);
}

}  // namespace

std::atomic<long> TacShellChangeThread::live_{0};

TacShellChangeThread::TacShellChangeThread(ISynchronizer& ui, std::function<void()> ChangeEvent)
    : ui_(ui), FChangeEvent(std::move(ChangeEvent)) {
  FMutex = CheckedHandle(::CreateMutexW(nullptr, TRUE, nullptr));
  ::WaitForSingleObject(FMutex.get(), INFINITE);
  FStopEvent = CheckedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  FActive = CheckedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  watchMade_ = CheckedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread_ = CheckedHandle(::CreateThread(nullptr, 0, &ThreadStart, this, CREATE_SUSPENDED, nullptr));
  ++live_;
}

TacShellChangeThread::~TacShellChangeThread() {
  if (!orphaned_) {
    ::SetEvent(FStopEvent.get());
    terminated_ = true;
    // A worker that has not reached its first step yet is waited for all the same:
    // it would otherwise use what is closed here.
    if (!resumed_) Resume();
    ui_.WaitServingSynchronize(thread_.get());
    ::ReleaseMutex(FMutex.get());
    ::ReleaseMutex(FMutex.get());
  }
  FWaitHandle.reset();
  --live_;
}

void TacShellChangeThread::EndAfterHandler() {
  FChangeEvent = nullptr;
  ::ReleaseMutex(FMutex.get());
  ::ReleaseMutex(FMutex.get());
  terminated_ = true;
  orphaned_ = true;
  ::SetEvent(FStopEvent.get());
}

void TacShellChangeThread::WaitForFirstWatch() {
  const HANDLE sources[2] = {watchMade_.get(), thread_.get()};
  ::WaitForMultipleObjects(2, sources, FALSE, 10000);
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
  }
  ++handOvers_;
  WakeForOptions();
}

// The creating thread lets go of the mutex until the worker has taken the
// new options, then holds it again. Not from inside the worker's own
// handler call: the worker takes them as soon as that returns.
void TacShellChangeThread::WakeForOptions() {
  if (!Active() || inHandler_) return;
  ::ReleaseMutex(FMutex.get());
  ::ReleaseMutex(FMutex.get());
  const ULONGLONG deadline = ::GetTickCount64() + 5000;
  for (;;) {
    {
      const WatchLock guard;
      if (!FWaitChanged) break;
    }
    if (!Active() || ::GetTickCount64() > deadline) break;
    if (ui_.WaitServingSynchronize(thread_.get(), 2)) break;  // the worker ended
  }
  ::WaitForSingleObject(FMutex.get(), INFINITE);
  ::WaitForSingleObject(FMutex.get(), INFINITE);
}

DWORD WINAPI TacShellChangeThread::ThreadStart(void* self) {
  auto* worker = static_cast<TacShellChangeThread*>(self);
  try {
    worker->Execute();
  } catch (...) {
  }
  // Its notifier let go of it from inside the handler; nobody else will free it.
  if (worker->orphaned_) delete worker;
  return 0;
}

bool TacShellChangeThread::Watch() {
  FWaitHandle.reset(::FindFirstChangeNotificationW(FDirectory.c_str(), FWatchSubTree, FNotifyOptionFlags));
  watchedFilter_ = FNotifyOptionFlags;
  FWaitChanged = false;
  return static_cast<bool>(FWaitHandle);
}

void TacShellChangeThread::Execute() {
  ::SetEvent(FActive.get());
  struct Inactive {
    HANDLE event;
    ~Inactive() { ::ResetEvent(event); }
  } inactive{FActive.get()};
  {
    const WatchLock guard;
    const bool watching = Watch();
    ::SetEvent(watchMade_.get());
    if (!watching) return;
  }
  while (!terminated_) {
    const HANDLE sources[3] = {FWaitHandle.get(), FMutex.get(), FStopEvent.get()};
    const DWORD woken = ::WaitForMultipleObjects(3, sources, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) {
      // Watching again before the handler runs: a change made meanwhile, or
      // right after it, fires the next wake-up. Re-armed only afterwards, the
      // platform may drop such a change (Wine does).
      ::FindNextChangeNotification(FWaitHandle.get());
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
      if (orphaned_) return;
    } else if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_ABANDONED_0 + 1) {
      ::ReleaseMutex(FMutex.get());
    } else if (woken == WAIT_OBJECT_0 + 2) {
      terminated_ = true;
      return;
    } else {
      return;
    }
    const WatchLock guard;
    if (FWaitChanged && !Watch()) return;
  }
}

// ---- TacShellChangeNotifier ----

TacShellChangeNotifier::~TacShellChangeNotifier() {
  if (!FThread) return;
  FThread->SetChangeEvent(nullptr);
  // From inside its own handler the worker cannot be waited for (it waits
  // for the handler): it ends, and frees itself, once the handler returns.
  if (FThread->InHandlerCall())
    FThread.release()->EndAfterHandler();
  else
    FThread.reset();
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
  if (FThread) FThread->SetDirectoryOptions(FRoot, FWatchSubTree, NotifyFilterValue(FFilters));
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
  FThread = std::make_unique<TacShellChangeThread>(ui_, FOnChange);
  ReapplyOptions();
  FThread->Resume();
  // Watching when this returns: a change made from here on is seen.
  FThread->WaitForFirstWatch();
}

}  // namespace snapvik
