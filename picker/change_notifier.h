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

class TacShellChangeThread {
 public:
  // Made suspended, with the mutex held twice by the creating thread, which
  // is `ui`: the thread the handler runs on.
  TacShellChangeThread(ISynchronizer& ui, std::function<void()> ChangeEvent);
  // Asks the worker to stop and waits for it to end, running its pending handler calls meanwhile.
  ~TacShellChangeThread();
  TacShellChangeThread(const TacShellChangeThread&) = delete;
  TacShellChangeThread& operator=(const TacShellChangeThread&) = delete;

  // Taken at the worker's next wake-up; a running worker is woken for them.
  void SetDirectoryOptions(const std::wstring& Directory, bool WatchSubTree, DWORD NotifyOptionFlags);
  void Resume();
  // Until the first watch is made (or could not be), or the worker ended.
  void WaitForFirstWatch();
  // On the user-interface thread only, as the handler runs there.
  void SetChangeEvent(std::function<void()> ChangeEvent) { FChangeEvent = std::move(ChangeEvent); }
  // Whether the handler is running now, further up this thread's stack.
  bool InHandlerCall() const { return handlerDepth_ > 0; }
  // From inside the handler: stop, and let the worker free itself once the handler has returned.
  void EndAfterHandler();

  HANDLE ThreadHandle() const { return thread_.get(); }
  bool Active() const { return ::WaitForSingleObject(FActive.get(), 0) == WAIT_OBJECT_0; }
  // The platform filter of the watch made last, and how many times options were handed over.
  DWORD WatchedFilter() const { return watchedFilter_; }
  int OptionHandOvers() const { return handOvers_; }
  // Workers that exist now.
  static long Live() { return live_; }

 private:
  static DWORD WINAPI ThreadStart(void* self);
  void Execute();
  bool Watch();  // a new watch from the stored options, under the lock
  void WakeForOptions();

  ISynchronizer& ui_;
  UniqueKernelHandle FMutex;
  UniqueChangeWatch FWaitHandle;
  std::function<void()> FChangeEvent;
  std::wstring FDirectory;
  bool FWatchSubTree = false;
  bool FWaitChanged = false;
  DWORD FNotifyOptionFlags = 0;
  UniqueKernelHandle FStopEvent;
  UniqueKernelHandle FActive;
  UniqueKernelHandle watchMade_;
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
  std::unique_ptr<TacShellChangeThread> FThread;
  std::function<void()> FOnChange;
};

}  // namespace snapvik
