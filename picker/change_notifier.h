#pragma once
// Watches one directory for changes on a worker thread, and runs a handler
// on the user-interface thread for each change while the worker waits.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "common/handles.h"
#include "framework/synchronizer.h"
#include "picker/notify_filters.h"

namespace snapvik {

// Shared, so that a wait inside it outlives a handler that ends its
// notifier meanwhile; an orphaned worker holds the last reference.
class TacShellChangeThread : public std::enable_shared_from_this<TacShellChangeThread> {
 public:
  // Made suspended, with the mutex held twice by the creating thread, which
  // is `ui`: the thread the handler runs on.
  TacShellChangeThread(ISynchronizer& ui, std::function<void()> ChangeEvent);
  // A worker not let go is stopped and waited for, its pending handler calls
  // run meanwhile; it ends at once then (see Release).
  ~TacShellChangeThread();
  TacShellChangeThread(const TacShellChangeThread&) = delete;
  TacShellChangeThread& operator=(const TacShellChangeThread&) = delete;

  // Taken at the worker's next wake-up; a running worker is woken for them.
  void SetDirectoryOptions(const std::wstring& Directory, bool WatchSubTree, DWORD NotifyOptionFlags);
  void Resume();
  // Until the watch of the options handed over last is made (or could not
  // be), the worker ended, or a short time is up: the user-interface thread
  // never waits on a slow file system. A watch made later runs the handler
  // once, since a change made meanwhile was not seen.
  void WaitForFirstWatch();
  // On the user-interface thread only, as the handler runs there.
  void SetChangeEvent(std::function<void()> ChangeEvent) { FChangeEvent = std::move(ChangeEvent); }
  // Whether the handler is running now, further up this thread's stack.
  bool InHandlerCall() const { return handlerDepth_ > 0; }
  // From inside the handler: stop, and let the worker free itself (taking
  // `self`, its owner's reference) once the handler has returned.
  void EndAfterHandler(std::shared_ptr<TacShellChangeThread> self);
  // From outside the handler: stops the worker, serving its handler calls
  // until it ends; a worker inside the file system making a watch (a slow
  // share may take seconds) is not waited for but let go, holding `worker`,
  // and frees itself once the platform returns.
  static void Release(std::shared_ptr<TacShellChangeThread> worker);
  // Whether the worker has ended, on its own or when asked.
  bool Ended() const { return resumed_ && ::WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0; }

  HANDLE ThreadHandle() const { return thread_.get(); }
  bool Active() const { return ::WaitForSingleObject(FActive.get(), 0) == WAIT_OBJECT_0; }
  // The platform filter of the watch made last, and how many times options were handed over.
  DWORD WatchedFilter() const { return watchedFilter_; }
  int OptionHandOvers() const { return handOvers_; }
  // Workers that exist now.
  static long Live() { return live_; }
  // Runs on the worker before each watch is made, outside every lock; tests
  // stand in a slow file system with it.
  static void (*BeforeEachWatch)();

 private:
  static DWORD WINAPI ThreadStart(void* self);
  void Execute();
  bool Watch();  // a new watch from the stored options, made outside the lock
  void WakeForOptions();
  void WaitForWatch(int generation);
  void RunHandler();

  ISynchronizer& ui_;
  UniqueKernelHandle FMutex;
  UniqueChangeWatch FWaitHandle;
  std::function<void()> FChangeEvent;
  std::wstring FDirectory;
  bool FWatchSubTree = false;
  bool FWaitChanged = false;
  int wantedGeneration_ = 0;  // options handed over, counted; under the lock
  int madeGeneration_ = 0;    // of the watch made last, or tried
  int seenGeneration_ = 0;    // of the options the worker looked at last; under the lock
  bool lateWatch_ = false;    // nobody waited for that watch to be made
  bool catchUp_ = false;      // on the worker: run the handler once, for a late watch
  bool makingWatch_ = false;  // the worker is inside the platform's call; under the lock
  std::shared_ptr<TacShellChangeThread> self_;  // once orphaned
  DWORD FNotifyOptionFlags = 0;
  UniqueKernelHandle FStopEvent;
  UniqueKernelHandle FActive;
  UniqueKernelHandle thread_;
  bool resumed_ = false;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> inHandler_{false};
  std::atomic<bool> orphaned_{false};
  int handlerDepth_ = 0;  // on the user-interface thread
  std::atomic<DWORD> watchedFilter_{0};
  int handOvers_ = 0;
  static std::atomic<long> live_;
};

// The handler runs on the user-interface thread while the worker waits. It
// may change the notifier's options and may destroy the notifier (its worker
// then ends once the handler returns); it should be short, as the tree's,
// which only posts a message.
class TacShellChangeNotifier {
 public:
  // Its handler runs on `ui`'s thread.
  explicit TacShellChangeNotifier(ISynchronizer& ui) : ui_(ui) {}
  ~TacShellChangeNotifier();
  TacShellChangeNotifier(const TacShellChangeNotifier&) = delete;
  TacShellChangeNotifier& operator=(const TacShellChangeNotifier&) = delete;

  const std::wstring& Root() const { return FRoot; }
  void SetRoot(const std::wstring& value);
  bool WatchSubTree() const { return FWatchSubTree; }
  void SetWatchSubTree(bool value);
  TacNotifyFilters NotifyFilters() const { return FFilters; }
  void SetNotifyFilters(TacNotifyFilters value);
  // Starts the worker the first time a handler is given.
  void SetOnChange(std::function<void()> value);
  // Hands the options to the worker, if one runs.
  void ReapplyOptions();

  TacShellChangeThread* Thread() const { return FThread.get(); }

 private:
  void Start();

  ISynchronizer& ui_;
  TacNotifyFilters FFilters = kDefaultNotifyFilters;
  bool FWatchSubTree = true;
  std::wstring FRoot = L"C:\\";
  std::shared_ptr<TacShellChangeThread> FThread;
  std::function<void()> FOnChange;
};

}  // namespace snapvik
