// The folder change watcher on the real platform: its worker thread, the
// handler on the user-interface thread, options, stopping, and the tree's
// refresh when AutoRefresh is on.
#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "framework/application.h"
#include "framework/form.h"
#include "picker/change_notifier.h"
#include "picker/shell_module.h"
#include "picker/shell_tree.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::TestFolder;

// Whether a thread of this process with that id is still there.
bool ThreadExists(DWORD id) {
  const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId() && entry.th32ThreadID == id) return true;
  return false;
}

// The kernel handles this process holds, as the system lists them.
long HandlesOfProcess() {
  struct Entry {
    ULONG process;
    BYTE type, flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
  };
  using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<char> buffer(1 << 20);
  ULONG needed = 0;
  while (query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) ==
         static_cast<LONG>(0xC0000004)) {
    buffer.resize(buffer.size() * 2);
    if (buffer.size() > (64u << 20)) return -1;
  }
  const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
  long mine = 0;
  for (ULONG i = 0; i < count; ++i)
    if (entries[i].process == ::GetCurrentProcessId()) ++mine;
  return mine;
}

// Notes each worker's thread while it lives, to look for it afterwards.
std::vector<DWORD> g_workers;
void NoteWorker(const TacShellChangeNotifier& notifier) {
  if (notifier.Thread()) g_workers.push_back(::GetThreadId(notifier.Thread()->ThreadHandle()));
}

// Serves the thread's messages until `condition` holds or the time is up.
template <typename Condition>
bool PumpFor(Condition condition, DWORD milliseconds = 10000) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  while (!condition()) {
    if (::GetTickCount64() > deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return true;
}

std::wstring Bare(const TestFolder& folder) {
  std::wstring path = folder.Path();
  path.pop_back();
  return path;
}

class Watcher : public ::testing::Test {
 protected:
  void SetUp() override {
    application_.Initialize(L"Watcher");
    g_workers.clear();
    TestFolder warmUp;  // the platform's own first-use handles, before counting
    handles_ = HandlesOfProcess();
  }
  void TearDown() override {
    EXPECT_EQ(TacShellChangeThread::Live(), 0);
    for (DWORD id : g_workers) EXPECT_FALSE(ThreadExists(id)) << "worker " << id << " is still there";
    EXPECT_EQ(HandlesOfProcess(), handles_);
  }
  TApplication application_;
  long handles_ = 0;
};

TEST_F(Watcher, WithoutAHandlerThereIsNoThreadWhateverTheOptions) {
  EXPECT_GT(handles_, 0);  // the count is real on this platform
  TestFolder folder;
  TacShellChangeNotifier notifier(Application());
  EXPECT_EQ(notifier.Root(), L"C:\\");
  EXPECT_TRUE(notifier.WatchSubTree());
  EXPECT_EQ(notifier.NotifyFilters(), kDefaultNotifyFilters);
  notifier.SetRoot(Bare(folder));
  notifier.SetNotifyFilters(0x3F);
  notifier.SetWatchSubTree(false);
  notifier.SetOnChange(nullptr);
  EXPECT_EQ(notifier.Thread(), nullptr);
  EXPECT_EQ(TacShellChangeThread::Live(), 0);
}

TEST_F(Watcher, EachChangeRunsTheHandlerOnThisThreadWhileTheWorkerWaits) {
  TestFolder folder;
  int calls = 0;
  DWORD thread = 0;
  {
    TacShellChangeNotifier notifier(Application());
    notifier.SetRoot(Bare(folder));
    notifier.SetOnChange([&] {
      ++calls;
      thread = ::GetCurrentThreadId();
    });
    ASSERT_NE(notifier.Thread(), nullptr);
    NoteWorker(notifier);
    EXPECT_TRUE(ThreadExists(g_workers.back()));
    ASSERT_TRUE(PumpFor([&] { return notifier.Thread()->Active(); }));
    EXPECT_EQ(notifier.Thread()->WatchedFilter(), 0x3u);
    ASSERT_TRUE(::CreateDirectoryW((folder / L"made").c_str(), nullptr));
    ASSERT_TRUE(PumpFor([&] { return calls > 0; }));
    EXPECT_EQ(thread, ::GetCurrentThreadId());
    // Re-armed: the next change is reported too.
    const int before = calls;
    ASSERT_TRUE(::MoveFileW((folder / L"made").c_str(), (folder / L"renamed").c_str()));
    EXPECT_TRUE(PumpFor([&] { return calls > before; }));
  }
}

TEST_F(Watcher, AChangeMadeAsEachHandlerCallEndsIsNeverLost) {
  TestFolder folder;
  const std::wstring a = folder / L"a", b = folder / L"b";
  ASSERT_TRUE(::CreateDirectoryW(a.c_str(), nullptr));
  auto toggle = [&] {
    const bool atA = testing::Exists(a);
    return ::MoveFileW((atA ? a : b).c_str(), (atA ? b : a).c_str()) != 0;
  };
  int calls = 0, made = 0;
  bool fromHandler = true;
  TacShellChangeNotifier notifier(Application());
  notifier.SetRoot(Bare(folder));
  notifier.SetWatchSubTree(false);
  notifier.SetOnChange([&] {
    ++calls;
    // The next change, made while the worker still waits for this call to end.
    if (fromHandler && made < 100 && toggle()) ++made;
  });
  NoteWorker(notifier);
  ASSERT_TRUE(toggle());
  ++made;
  EXPECT_TRUE(PumpFor([&] { return made >= 100 && calls >= made; }, 60000)) << made << " changes, " << calls << " calls";
  // And the next ones right after each call has returned.
  fromHandler = false;
  for (int i = 0; i < 100; ++i) {
    const int seen = calls;
    ASSERT_TRUE(toggle());
    ASSERT_TRUE(PumpFor([&] { return calls > seen; })) << "change " << i << " after a call was not reported";
  }
}

TEST_F(Watcher, AHandlerMayGiveItsNotifierANewFolderAndMayEndIt) {
  TestFolder first, second;
  auto notifier = std::make_unique<TacShellChangeNotifier>(Application());
  int calls = 0;
  notifier->SetRoot(Bare(first));
  notifier->SetOnChange([&] {
    if (++calls == 1)
      notifier->SetRoot(Bare(second));
    else
      notifier.reset();
  });
  NoteWorker(*notifier);
  HANDLE copy = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), notifier->Thread()->ThreadHandle(), ::GetCurrentProcess(), &copy,
                                SYNCHRONIZE, FALSE, 0));
  ASSERT_TRUE(::CreateDirectoryW((first / L"made").c_str(), nullptr));
  ASSERT_TRUE(PumpFor([&] { return calls == 1; }));
  // Changes in the new folder until one is seen: the worker takes the folder once the call has returned.
  ASSERT_TRUE(PumpFor([&] {
    if (!notifier) return true;
    const std::wstring made = second / L"made";
    if (!::CreateDirectoryW(made.c_str(), nullptr)) ::RemoveDirectoryW(made.c_str());
    return false;
  })) << "the new folder was not watched";
  // The worker ends, and frees itself, once the handler that ended its notifier returns.
  EXPECT_EQ(::WaitForSingleObject(copy, 10000), WAIT_OBJECT_0);
  ::CloseHandle(copy);
  EXPECT_TRUE(PumpFor([] { return TacShellChangeThread::Live() == 0; }));
}

TEST_F(Watcher, FiltersReachThePlatformAndNewOptionsAreTakenWhileTheWorkerWaits) {
  TestFolder first, second;
  int calls = 0;
  TacShellChangeNotifier notifier(Application());
  notifier.SetRoot(Bare(first));
  notifier.SetNotifyFilters(1u << nfSecurityChange);
  notifier.SetOnChange([&] { ++calls; });
  TacShellChangeThread& worker = *notifier.Thread();
  NoteWorker(notifier);
  ASSERT_TRUE(PumpFor([&] { return worker.Active() && worker.WatchedFilter() == 0x100u; }));
  notifier.SetNotifyFilters(0x3F);
  EXPECT_TRUE(PumpFor([&] { return worker.WatchedFilter() == 0x11Fu; }));
  notifier.SetNotifyFilters(kDefaultNotifyFilters);
  // The same root in another case leaves the worker alone; another root is watched at once.
  const int handOvers = worker.OptionHandOvers();
  std::wstring upper = Bare(first);
  for (wchar_t& c : upper)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  notifier.SetRoot(upper);
  EXPECT_EQ(worker.OptionHandOvers(), handOvers);
  EXPECT_EQ(notifier.Root(), Bare(first));
  notifier.SetRoot(Bare(second));
  EXPECT_EQ(worker.OptionHandOvers(), handOvers + 1);
  ASSERT_TRUE(::CreateDirectoryW((second / L"made").c_str(), nullptr));
  EXPECT_TRUE(PumpFor([&] { return calls > 0; }));
  EXPECT_EQ(notifier.Thread(), &worker);
}

TEST_F(Watcher, DestroyingANotifierWhoseWorkerWaitsEndsTheWorker) {
  TestFolder folder;
  HANDLE copy = nullptr;
  {
    TacShellChangeNotifier notifier(Application());
    notifier.SetRoot(Bare(folder));
    notifier.SetOnChange([] {});
    NoteWorker(notifier);
    ASSERT_TRUE(PumpFor([&] { return notifier.Thread()->Active(); }));
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), notifier.Thread()->ThreadHandle(), ::GetCurrentProcess(),
                                  &copy, SYNCHRONIZE, FALSE, 0));
  }
  EXPECT_EQ(::WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
  ::CloseHandle(copy);
}

TEST_F(Watcher, AFolderThatCannotBeWatchedEndsTheWorkerSilently) {
  TestFolder folder;
  int calls = 0;
  TacShellChangeNotifier notifier(Application());
  notifier.SetRoot(folder / L"missing");
  notifier.SetOnChange([&] { ++calls; });
  ASSERT_NE(notifier.Thread(), nullptr);
  EXPECT_EQ(::WaitForSingleObject(notifier.Thread()->ThreadHandle(), 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(notifier.Thread()->Active());
  EXPECT_EQ(calls, 0);
}

TEST_F(Watcher, AFolderThatCannotBeWatchedDoesNotStopTheWatchingOfTheNextOne) {
  TestFolder folder;
  int calls = 0;
  TacShellChangeNotifier notifier(Application());
  notifier.SetWatchSubTree(false);
  notifier.SetRoot(folder / L"missing");
  notifier.SetOnChange([&] { ++calls; });
  NoteWorker(notifier);
  ASSERT_TRUE(PumpFor([&] { return notifier.Thread()->Ended(); }));
  notifier.SetRoot(Bare(folder));
  NoteWorker(notifier);
  ASSERT_TRUE(::CreateDirectoryW((folder / L"made").c_str(), nullptr));
  EXPECT_TRUE(PumpFor([&] { return calls > 0; })) << "the folder after the missing one was not watched";
}

// Stands in a file system that takes long to make a watch (a slow share):
// the worker says it is there, then is held before each watch until the
// test lets it go.
HANDLE g_watchEntered = nullptr;
HANDLE g_watchMayGo = nullptr;
void HeldWatch() {
  ::SetEvent(g_watchEntered);
  ::WaitForSingleObject(g_watchMayGo, 10000);
}

// How long this thread may wait for a watch: the 200 ms it is promised, and
// 100 ms for the time slices a two-core machine busy with other programs
// takes from it (measured under load: at most 231 ms).
constexpr ULONGLONG kPromptWatchMs = 200;
constexpr ULONGLONG kWaitBoundMs = kPromptWatchMs + 100;

template <typename Action>
ULONGLONG MillisecondsOf(Action action) {
  const ULONGLONG started = ::GetTickCount64();
  action();
  return ::GetTickCount64() - started;
}

// The events HeldWatch waits on: `entered` when a watch begins, `mayGo` to let
// it be made. Every watch goes at once again when the test ends.
struct HeldWatches {
  UniqueKernelHandle entered{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  UniqueKernelHandle mayGo{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HeldWatches() {
    g_watchEntered = entered.get();
    g_watchMayGo = mayGo.get();
  }
  ~HeldWatches() {
    ::SetEvent(g_watchMayGo);
    TacShellChangeThread::BeforeEachWatch = nullptr;
  }
  HeldWatches(const HeldWatches&) = delete;
  HeldWatches& operator=(const HeldWatches&) = delete;
};

TEST_F(Watcher, ASlowWatchNeverHoldsThisThreadAndAChangeMadeMeanwhileIsReported) {
  TestFolder first, second, third;
  const HeldWatches held;
  const UniqueKernelHandle &entered = held.entered, &mayGo = held.mayGo;
  // What the handler found in the watched folder each time it ran: a report
  // of a change is a call made after the change.
  std::wstring watched = Bare(first);
  std::vector<std::vector<std::wstring>> seen;
  auto saw = [&](const std::wstring& name) {
    for (const auto& entries : seen)
      if (std::find(entries.begin(), entries.end(), name) != entries.end()) return true;
    return false;
  };
  auto notifier = std::make_unique<TacShellChangeNotifier>(Application());
  notifier->SetWatchSubTree(false);
  notifier->SetRoot(watched);
  TacShellChangeThread::BeforeEachWatch = &HeldWatch;
  EXPECT_LE(MillisecondsOf([&] { notifier->SetOnChange([&] { seen.push_back(testing::ListFolder(watched + L"\\")); }); }),
            kWaitBoundMs)
      << "the start waited for the watch";
  NoteWorker(*notifier);
  // Made after the start gave up waiting, while the watch is still being made.
  ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);
  ASSERT_TRUE(::CreateDirectoryW((first / L"early").c_str(), nullptr));
  ::SetEvent(mayGo.get());
  EXPECT_TRUE(PumpFor([&] { return saw(L"early"); })) << "the change made while the watch was made was not reported";

  // Another folder, as slow; the options are handed over meanwhile, the lock is not held.
  ::ResetEvent(mayGo.get());
  seen.clear();
  watched = Bare(second);
  EXPECT_LE(MillisecondsOf([&] { notifier->SetRoot(watched); }), kWaitBoundMs) << "a hand-over waited for the watch";
  EXPECT_LE(MillisecondsOf([&] { notifier->SetNotifyFilters(0x3F); }), kWaitBoundMs)
      << "a hand-over waited for the watch";
  ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);
  ASSERT_TRUE(::CreateDirectoryW((second / L"early").c_str(), nullptr));
  ::SetEvent(mayGo.get());
  EXPECT_TRUE(PumpFor([&] { return saw(L"early") && notifier->Thread()->WatchedFilter() == 0x11Fu; }));
  ASSERT_TRUE(::CreateDirectoryW((second / L"later").c_str(), nullptr));
  EXPECT_TRUE(PumpFor([&] { return saw(L"later"); }));

  // Ended while a watch is being made: the end does not wait for the file system.
  ::ResetEvent(mayGo.get());
  ::ResetEvent(entered.get());
  notifier->SetRoot(Bare(third));
  ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);
  HANDLE worker = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), notifier->Thread()->ThreadHandle(), ::GetCurrentProcess(),
                                &worker, SYNCHRONIZE, FALSE, 0));
  const UniqueKernelHandle workerCopy(worker);
  EXPECT_LE(MillisecondsOf([&] { notifier.reset(); }), kPromptWatchMs) << "the end waited for the watch";
  // Let go, the worker ends on its own once the platform returns.
  EXPECT_EQ(::WaitForSingleObject(worker, 0), WAIT_TIMEOUT);
  ::SetEvent(mayGo.get());
  EXPECT_EQ(::WaitForSingleObject(worker, 10000), WAIT_OBJECT_0);
}

// The handler run for a watch nobody waited for gives the notifier another
// folder: the worker takes it at once, as after any other handler call.
TEST_F(Watcher, AFolderGivenByTheHandlerOfALateWatchIsWatched) {
  TestFolder first, second;
  const HeldWatches held;
  const UniqueKernelHandle &entered = held.entered, &mayGo = held.mayGo;
  TacShellChangeNotifier notifier(Application());
  notifier.SetWatchSubTree(false);
  notifier.SetRoot(Bare(first));
  TacShellChangeThread::BeforeEachWatch = &HeldWatch;
  int calls = 0;
  std::vector<std::wstring> inSecond;  // what the calls after the first found there
  notifier.SetOnChange([&] {
    if (++calls == 1)
      notifier.SetRoot(Bare(second));
    else
      for (const std::wstring& name : testing::ListFolder(second / L"")) inSecond.push_back(name);
  });
  NoteWorker(notifier);
  ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);
  ::SetEvent(mayGo.get());  // this watch and every later one are made at once
  ASSERT_TRUE(PumpFor([&] { return calls == 1; })) << "no call for the watch nobody waited for";
  ASSERT_EQ(::WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0) << "the new folder was not taken";
  // Changes there until one is seen: nobody waits for that watch, so a change made before it is missed.
  const std::wstring made = second / L"made";
  EXPECT_TRUE(PumpFor([&] {
    if (!::CreateDirectoryW(made.c_str(), nullptr)) ::RemoveDirectoryW(made.c_str());
    return std::find(inSecond.begin(), inSecond.end(), L"made") != inSecond.end();
  })) << "a change in the folder the handler gave was not reported";
}

// A window with one tree, AutoRefresh on.
class WatchedTreeHost : public TForm {
 public:
  WatchedTreeHost() {
    CreateForm({L"TWatchedTreeHost", L"Tree", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 337, 400, nullptr});
    tree.ObjectTypes = ObjectTypesOf({otFolders, otHidden});
    tree.Create(Handle(), {"sShellTreeView1", {}, L"", 0}, {8, 20, 321, 319}, 100,
                static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    tree.OnChange = [this](HTREEITEM) { ++changes; };
  }
  TsShellTreeView tree;
  int changes = 0;
};

std::vector<std::wstring> ChildTexts(const TsTreeView& tree, HTREEITEM node) {
  std::vector<std::wstring> texts;
  for (HTREEITEM c = tree.FirstChild(node); c; c = tree.NextSibling(c)) texts.push_back(tree.TextOf(c));
  return texts;
}

TEST_F(Watcher, WithAutoRefreshTheTreeRefreshesTheSelectedFolderOnEachChange) {
  std::optional<ShellModule> module;
  module.emplace();
  {
    // The shell's own first-use handles, before counting: the same steps once without a watch.
    TestFolder other;
    ASSERT_TRUE(::CreateDirectoryW((other / L"watched").c_str(), nullptr));
    WatchedTreeHost warmUp;
    warmUp.tree.SetRoot(Bare(other));
    warmUp.tree.Loaded();
    warmUp.tree.Select(warmUp.tree.FirstChild(warmUp.tree.FirstNode()));
    warmUp.tree.RefreshSelected();
  }
  handles_ = HandlesOfProcess();
  TestFolder folder;
  ASSERT_TRUE(::CreateDirectoryW((folder / L"watched").c_str(), nullptr));
  {
    WatchedTreeHost host;
    host.tree.SetRoot(Bare(folder));
    host.tree.Loaded();
    host.tree.SetAutoRefresh(true);
    // Chosen as a user chooses: selecting by path moves no watch.
    host.tree.SetPath(folder / L"watched");
    EXPECT_EQ(host.tree.Notifier()->Root(), Bare(folder));
    host.tree.Select(host.tree.FirstNode());
    host.tree.Select(host.tree.FirstChild(host.tree.FirstNode()));
    ASSERT_NE(host.tree.Notifier(), nullptr);
    EXPECT_EQ(host.tree.Notifier()->Root(), folder / L"watched");
    EXPECT_FALSE(host.tree.Notifier()->WatchSubTree());
    ASSERT_NE(host.tree.Notifier()->Thread(), nullptr);
    NoteWorker(*host.tree.Notifier());
    const DWORD worker = g_workers.back();
    EXPECT_EQ(TacShellChangeThread::Live(), 1);
    EXPECT_NE(host.tree.Notifier()->Thread()->WatchedFilter(), 0u) << "watching once the selection has moved";

    ASSERT_TRUE(::CreateDirectoryW((folder / L"watched\\fresh").c_str(), nullptr));
    EXPECT_TRUE(PumpFor([&] { return ChildTexts(host.tree, host.tree.Selected()) == std::vector<std::wstring>{L"fresh"}; }));
    // The refreshed folder stayed watched all along, by the same worker.
    ASSERT_NE(host.tree.Notifier(), nullptr);
    EXPECT_EQ(::GetThreadId(host.tree.Notifier()->Thread()->ThreadHandle()), worker);
    ASSERT_TRUE(::MoveFileW((folder / L"watched\\fresh").c_str(), (folder / L"watched\\renamed").c_str()));
    EXPECT_TRUE(PumpFor([&] { return ChildTexts(host.tree, host.tree.Selected()) == std::vector<std::wstring>{L"renamed"}; }));
    EXPECT_EQ(host.tree.Path(), folder / L"watched");
    // Still the one worker, also once the selection moves to another folder.
    EXPECT_EQ(TacShellChangeThread::Live(), 1);
    host.tree.Select(host.tree.FirstNode());
    EXPECT_EQ(host.tree.Notifier()->Root(), Bare(folder));
    EXPECT_EQ(::GetThreadId(host.tree.Notifier()->Thread()->ThreadHandle()), worker);

    host.tree.SetAutoRefresh(false);
    EXPECT_EQ(host.tree.Notifier(), nullptr);
    EXPECT_EQ(TacShellChangeThread::Live(), 0);
  }
  module.reset();
}

}  // namespace
}  // namespace snapvik
