// The folder picker on the real platform: each run driven from inside its
// own modal loop by a script of steps, one per timer tick.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "common/errors.h"
#include "common/paths.h"
#include "framework/application.h"
#include "picker/existing_dir.h"
#include "picker/path_dialog.h"
#include "picker/shell_module.h"
#include "test_support.h"

namespace snapvik {
namespace {

using testing::BoxCloser;
using testing::TestFolder;
using testing::WriteBytes;

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM out) {
  if (auto* form = dynamic_cast<TPathDialogForm*>(TWindow::FromHandle(hwnd)); form && ::IsWindowVisible(hwnd)) {
    *reinterpret_cast<TPathDialogForm**>(out) = form;
    return FALSE;
  }
  return TRUE;
}

// The picker's window while a run is open, or none.
TPathDialogForm* OpenDialog() {
  TPathDialogForm* found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Steps run one per tick once the window shows. A run the script leaves
// open is cancelled, and counted as a fault.
class DialogScript {
 public:
  using Step = std::function<void(TPathDialogForm&)>;
  explicit DialogScript(std::vector<Step> steps) : steps_(std::move(steps)) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 40, &Tick);
  }
  ~DialogScript() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;

  size_t ran = 0;
  bool leftOpen = false;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    DialogScript* self = current_;
    TPathDialogForm* form = self ? OpenDialog() : nullptr;
    // Not inside a step: a box it shows runs the ticks too.
    if (!form || self->inStep_) return;
    if (self->ran < self->steps_.size()) {
      self->inStep_ = true;
      try {
        self->steps_[self->ran++](*form);
      } catch (const Exception& error) {
        ADD_FAILURE() << "a step raised an error: " << std::string(error.Message().begin(), error.Message().end());
      }
      self->inStep_ = false;
    } else if (++self->idle_ > 50) {
      self->leftOpen = true;
      form->SetModalResult(mrCancel);
    }
  }
  static DialogScript* current_;
  std::vector<Step> steps_;
  UINT_PTR timer_ = 0;
  int idle_ = 0;
  bool inStep_ = false;
};
DialogScript* DialogScript::current_ = nullptr;

std::wstring WithoutSeparator(const TestFolder& folder) {
  std::wstring path = folder.Path();
  path.pop_back();
  return path;
}

std::wstring CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ::GetCurrentDirectoryW(MAX_PATH, buffer);
  return std::wstring(buffer, n);
}

LayoutRect ClientRectOf(const TControl& control) { return control.Bounds(); }

class PathDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    application_.Initialize(L"Picker");
    module_.emplace();
    startDirectory_ = CurrentDirectory();
    dialog_.Root = L"rfDesktop";
    dialog_.Caption = L"Выберите директорию";
  }
  void TearDown() override {
    ::SetCurrentDirectoryW(startDirectory_.c_str());
    module_.reset();
  }
  // Runs the picker with the script; the result of Execute.
  bool Run(std::vector<DialogScript::Step> steps) {
    DialogScript script(std::move(steps));
    const bool result = dialog_.Execute();
    EXPECT_FALSE(script.leftOpen) << "the picker was left open";
    EXPECT_EQ(OpenDialog(), nullptr);
    return result;
  }
  static DialogScript::Step Ok() {
    return [](TPathDialogForm& f) { ::SendMessageW(f.Handle(), WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(f.sBitBtn1.Handle())); };
  }
  static DialogScript::Step Cancel() {
    return [](TPathDialogForm& f) {
      ::SendMessageW(f.Handle(), WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(f.sBitBtn2.Handle()));
    };
  }
  static void Click(TButton& button) {
    ::SendMessageW(::GetParent(button.Handle()), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button.Handle()), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button.Handle()));
  }

  TApplication application_;
  std::optional<ShellModule> module_;
  std::wstring startDirectory_;
  TsPathDialog dialog_;
};

TEST_F(PathDialog, AFirstRunShowsTheDesktopAndOkReturnsItsFolder) {
  std::wstring desktop;
  const bool result = Run({[&](TPathDialogForm& f) {
                             TsShellTreeView& tree = f.sShellTreeView1;
                             EXPECT_EQ(tree.Selected(), tree.FirstNode());
                             EXPECT_TRUE(tree.Expanded(tree.FirstNode()));
                             desktop = tree.Path();
                             EXPECT_TRUE(IsExistingDir(desktop)) << desktop.c_str();
                             EXPECT_TRUE(f.sBitBtn1.Enabled());
                             EXPECT_TRUE(f.sBitBtn3.Enabled());
                             EXPECT_TRUE(f.sBitBtn3.Visible());
                             EXPECT_FALSE(f.sScrollBox1.Visible());
                             EXPECT_FALSE(f.sLabel1.Visible());
                             // Title, texts and the caption label above the tree.
                             wchar_t title[64];
                             ::GetWindowTextW(f.Handle(), title, 64);
                             EXPECT_STREQ(title, L"Select directory");
                             EXPECT_EQ(f.sBitBtn1.Text(), L"OK");
                             EXPECT_EQ(f.sBitBtn2.Text(), L"Cancel");
                             EXPECT_EQ(f.sBitBtn3.Text(), L"Create");
                             EXPECT_EQ(f.sLabel1.Text(), L"Root :");
                             wchar_t caption[64];
                             ::GetWindowTextW(tree.LabelHandle(), caption, 64);
                             EXPECT_STREQ(caption, L"Выберите директорию");
                             RECT label;
                             ::GetWindowRect(tree.LabelHandle(), &label);
                             ::MapWindowPoints(nullptr, f.Handle(), reinterpret_cast<POINT*>(&label), 2);
                             EXPECT_EQ(label.left, 8);
                             EXPECT_EQ(label.bottom, 20 - 4);
                             // The outer size, centred in the work area, the tree in front for the keyboard.
                             RECT window, work;
                             ::GetWindowRect(f.Handle(), &window);
                             ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
                             EXPECT_EQ(window.right - window.left, 350);
                             EXPECT_EQ(window.bottom - window.top, 420);
                             EXPECT_EQ(window.left, work.left + (work.right - work.left) / 2 - 175);
                             EXPECT_EQ(::GetFocus(), tree.Handle());
                             // The picker keeps AutoRefresh off: no watcher thread ever runs.
                             EXPECT_FALSE(tree.AutoRefresh());
                             EXPECT_EQ(TacShellChangeThread::Live(), 0);
                           },
                           Ok()});
  EXPECT_TRUE(result);
  EXPECT_EQ(dialog_.Path, desktop);
}

TEST_F(PathDialog, CancelEscapeAndTheCloseBoxLeavePathAlone) {
  TestFolder folder;
  dialog_.Path = WithoutSeparator(folder);
  EXPECT_FALSE(Run({Cancel()}));
  EXPECT_FALSE(Run({[](TPathDialogForm& f) { ::SendMessageW(f.Handle(), WM_CLOSE, 0, 0); }}));
  EXPECT_FALSE(Run({[](TPathDialogForm& f) { ::SendMessageW(f.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }}));
  // Escape, as the keyboard gives it, reaches Cancel through the dialog keys.
  EXPECT_FALSE(Run({[](TPathDialogForm& f) {
    ::SetFocus(f.sShellTreeView1.Handle());
    MSG key{f.sShellTreeView1.Handle(), WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {}};
    ::IsDialogMessageW(f.Handle(), &key);
  }}));
  EXPECT_EQ(dialog_.Path, WithoutSeparator(folder));
}

TEST_F(PathDialog, AStartingFolderIsSelectedAndBecomesTheCurrentDirectory) {
  TestFolder folder;
  ASSERT_TRUE(::CreateDirectoryW((folder / L"inner").c_str(), nullptr));
  dialog_.Path = folder / L"inner";
  std::wstring during;
  EXPECT_TRUE(Run({[&](TPathDialogForm& f) {
                     EXPECT_EQ(f.sShellTreeView1.Path(), folder / L"inner");
                     during = CurrentDirectory();
                   },
                   Cancel()}) == false);
  EXPECT_EQ(during, folder / L"inner");
  EXPECT_EQ(CurrentDirectory(), folder / L"inner");

  // With NoChangeDir the current directory is left alone.
  ::SetCurrentDirectoryW(startDirectory_.c_str());
  dialog_.NoChangeDir = true;
  EXPECT_FALSE(Run({Cancel()}));
  EXPECT_EQ(CurrentDirectory(), startDirectory_);
}

TEST_F(PathDialog, AVanishedOrDotStartingFolderStartsAtTheRoot) {
  for (const std::wstring& start : {std::wstring(L"."), std::wstring(L"C:\\no such folder\\at all")}) {
    dialog_.Path = start;
    EXPECT_TRUE(Run({[](TPathDialogForm& f) {
                       EXPECT_EQ(f.sShellTreeView1.Selected(), f.sShellTreeView1.FirstNode());
                     },
                     Ok()}));
    EXPECT_EQ(CurrentDirectory(), startDirectory_);
    EXPECT_NE(dialog_.Path, start);  // the desktop's folder now
  }
}

TEST_F(PathDialog, CreateMakesNumberedFoldersOpensTheNameAndOkRenamesThenCloses) {
  TestFolder folder;
  dialog_.Path = WithoutSeparator(folder);
  const bool result = Run({
      [&](TPathDialogForm& f) { Click(f.sBitBtn3); },
      [&](TPathDialogForm& f) {
        TsShellTreeView& tree = f.sShellTreeView1;
        EXPECT_TRUE(IsExistingDir(folder / L"New folder1"));
        EXPECT_EQ(tree.Path(), folder / L"New folder1");
        EXPECT_TRUE(tree.IsEditing());
        EXPECT_TRUE(f.sBitBtn1.Enabled());
        EXPECT_TRUE(f.sBitBtn3.Enabled());
        // Cancel while editing: the window and the edit stay open.
        Click(f.sBitBtn2);
        EXPECT_EQ(f.ModalResult(), mrNone);
        EXPECT_TRUE(tree.IsEditing());
        ::SetWindowTextW(TreeView_GetEditControl(tree.Handle()), L"Holiday");
        Click(f.sBitBtn1);  // keeps the name and stays open
        EXPECT_EQ(f.ModalResult(), mrNone);
        EXPECT_FALSE(tree.IsEditing());
        EXPECT_EQ(::GetFocus(), tree.Handle());
      },
      [&](TPathDialogForm& f) {
        EXPECT_TRUE(IsExistingDir(folder / L"Holiday"));
        EXPECT_FALSE(IsExistingDir(folder / L"New folder1"));
        EXPECT_EQ(f.sShellTreeView1.Path(), folder / L"Holiday");
      },
      Ok(),
  });
  EXPECT_TRUE(result);
  EXPECT_EQ(dialog_.Path, folder / L"Holiday");

  // The next run starts in the renamed folder; then two more beside it: the next free numbers.
  auto createIn = [&](const std::wstring& parent) {
    return [&, parent](TPathDialogForm& f) {
      f.sShellTreeView1.EndEdit(true);
      f.sShellTreeView1.SetPath(parent);
      Click(f.sBitBtn3);
    };
  };
  std::vector<std::wstring> made;
  auto note = [&](TPathDialogForm& f) { made.push_back(f.sShellTreeView1.Path()); };
  EXPECT_FALSE(Run({createIn(folder / L"Holiday"), note, createIn(WithoutSeparator(folder)), note,
                    createIn(WithoutSeparator(folder)), note, [](TPathDialogForm& f) { f.sShellTreeView1.EndEdit(true); },
                    Cancel()}));
  EXPECT_EQ(made, (std::vector<std::wstring>{folder / L"Holiday\\New folder1", folder / L"New folder1",
                                             folder / L"New folder2"}));
  EXPECT_TRUE(IsExistingDir(folder / L"New folder2"));
}

TEST_F(PathDialog, ANameAFileHoldsIsTakenAndCreateMovesOnToTheNextNumber) {
  TestFolder folder;
  WriteBytes(folder / L"New folder1", "a file");
  dialog_.Path = WithoutSeparator(folder);
  std::vector<testing::SeenBox> boxes;
  EXPECT_FALSE(Run({[&](TPathDialogForm& f) {
                      BoxCloser closer(::GetCurrentThreadId(), application_.Handle(), WM_NULL, 1, 2000);
                      Click(f.sBitBtn3);
                      boxes = closer.Boxes();
                      EXPECT_EQ(f.sShellTreeView1.Path(), folder / L"New folder2");
                      EXPECT_TRUE(f.sShellTreeView1.IsEditing());
                      f.sShellTreeView1.EndEdit(true);
                    },
                    Cancel()}));
  EXPECT_TRUE(boxes.empty()) << "a box said: " << std::string(boxes[0].text.begin(), boxes[0].text.end());
  EXPECT_TRUE(IsExistingDir(folder / L"New folder2"));
  EXPECT_EQ(testing::ReadBytes(folder / L"New folder1"), "a file");
}

BOOL CALLBACK NoteBox(HWND hwnd, LPARAM out) {
  wchar_t cls[16] = {};
  ::GetClassNameW(hwnd, cls, 16);
  if (std::wstring(cls) == L"#32770") reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
  return TRUE;
}

// The message boxes a thread has now, shown or not yet.
std::vector<HWND> OpenBoxes(DWORD thread) {
  std::vector<HWND> boxes;
  ::EnumThreadWindows(thread, &NoteBox, reinterpret_cast<LPARAM>(&boxes));
  return boxes;
}

TEST_F(PathDialog, ANameAnotherProgramTakesBetweenTheTestAndTheCreateIsLeftToIt) {
  TestFolder folder;
  dialog_.Path = WithoutSeparator(folder);
  dialog_.NoChangeDir = true;
  const std::wstring theirs = folder / L"New folder1";
  EXPECT_TRUE(Run({
      [&](TPathDialogForm& f) {
        // Found free, then made by another program before the picker makes it.
        f.ProbeNewFolder = [&](const std::wstring& path) {
          const DirectoryState state = ProbeDirectory(path);
          if (path == theirs && state == DirectoryState::Missing) {
            EXPECT_TRUE(::CreateDirectoryW(theirs.c_str(), nullptr));
            WriteBytes(theirs + L"\\theirs.txt", "x");
          }
          return state;
        };
        Click(f.sBitBtn3);
      },
      [&](TPathDialogForm& f) {
        TsShellTreeView& tree = f.sShellTreeView1;
        EXPECT_EQ(tree.Path(), folder / L"New folder2");
        ASSERT_TRUE(tree.IsEditing());
        ::SetWindowTextW(TreeView_GetEditControl(tree.Handle()), L"Mine");
        Click(f.sBitBtn1);
      },
      Ok(),
  }));
  EXPECT_EQ(testing::ListFolder(folder.Path()), (std::vector<std::wstring>{L"Mine", L"New folder1"}));
  EXPECT_TRUE(testing::Exists(theirs + L"\\theirs.txt"));
  EXPECT_EQ(dialog_.Path, folder / L"Mine");
}

TEST_F(PathDialog, OneCannotCreateBoxAtATimeWithThePickerInertMeanwhile) {
  TestFolder folder;
  ASSERT_TRUE(::CreateDirectoryW((folder / L"gone").c_str(), nullptr));
  dialog_.Path = folder / L"gone";
  dialog_.NoChangeDir = true;  // the current directory could not be removed
  bool inertMeanwhile = false;
  size_t boxesAfterASecondCreate = 0;
  HWND owner = nullptr, picker = nullptr;
  std::wstring caption;
  EXPECT_FALSE(Run({
      [&](TPathDialogForm& f) {
        picker = f.Handle();
        // Removed from outside: the new folder cannot be made in it.
        ASSERT_TRUE(::RemoveDirectoryW((folder / L"gone").c_str()));
        const DWORD thread = ::GetCurrentThreadId();
        std::thread watcher([&] {
          for (int i = 0; i < 500 && OpenBoxes(thread).empty(); ++i) ::Sleep(10);
          const std::vector<HWND> first = OpenBoxes(thread);
          if (first.empty()) return;
          inertMeanwhile = !::IsWindowEnabled(f.Handle());
          owner = ::GetWindow(first[0], GW_OWNER);
          wchar_t text[64] = {};
          ::GetWindowTextW(first[0], text, 64);
          caption = text;
          // Create again, as a click could reach it: no second box over the first.
          ::PostMessageW(f.Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(f.sBitBtn3.Handle()), BN_CLICKED),
                         reinterpret_cast<LPARAM>(f.sBitBtn3.Handle()));
          // Served in order: once the mark colour posted after it is in, so is the click's box if any.
          const HWND tree = f.sShellTreeView1.Handle();
          ::PostMessageW(tree, TVM_SETINSERTMARKCOLOR, 0, RGB(1, 2, 3));
          for (int i = 0; i < 1000 && TreeView_GetInsertMarkColor(tree) != RGB(1, 2, 3); ++i) ::Sleep(10);
          boxesAfterASecondCreate = OpenBoxes(thread).size();
          for (int i = 0; i < 500; ++i) {
            const std::vector<HWND> open = OpenBoxes(thread);
            if (open.empty()) break;
            for (HWND box : open) ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            ::Sleep(10);
          }
        });
        Click(f.sBitBtn3);  // returns once its box is closed
        watcher.join();
        EXPECT_TRUE(::IsWindowEnabled(f.Handle()));
        EXPECT_EQ(::GetActiveWindow(), f.Handle());
        EXPECT_EQ(f.sShellTreeView1.Path(), folder / L"gone");
        EXPECT_FALSE(f.sShellTreeView1.IsEditing());
      },
      Cancel(),
  }));
  EXPECT_TRUE(inertMeanwhile);
  EXPECT_EQ(boxesAfterASecondCreate, 1u);
  EXPECT_EQ(owner, picker) << "owned by the window the user was in";
  EXPECT_EQ(caption, L"Error");
}

// A folder inside `folder` whose path is `length` characters long, made level by level.
std::wstring DeepFolder(const TestFolder& folder, size_t length) {
  std::wstring path = WithoutSeparator(folder);
  while (length - path.size() > 61) {
    path += L"\\" + std::wstring(60, L'd');
    ::CreateDirectoryW(path.c_str(), nullptr);
  }
  path += L"\\" + std::wstring(length - path.size() - 1, L'e');
  ::CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

TEST_F(PathDialog, CreateNearThePathLimitMakesNothingAndSaysSo) {
  TestFolder folder;
  // Room for the folder, but not for "\New folder1" inside it.
  const std::wstring deep = DeepFolder(folder, 240);
  ASSERT_EQ(deep.size(), 240u);
  ASSERT_TRUE(IsExistingDir(deep));
  dialog_.Path = deep;
  std::vector<testing::SeenBox> boxes;
  EXPECT_FALSE(Run({[&](TPathDialogForm& f) {
                      BoxCloser closer(::GetCurrentThreadId(), application_.Handle(), WM_NULL);
                      Click(f.sBitBtn3);
                      boxes = closer.Boxes();
                      EXPECT_EQ(f.sShellTreeView1.Path(), deep);
                      EXPECT_FALSE(f.sShellTreeView1.IsEditing());
                    },
                    Cancel()}));
  EXPECT_TRUE(testing::ListFolder(deep + L"\\").empty());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, CannotCreateMessage(deep + L"\\New folder1"));
}

TEST_F(PathDialog, ANameWindowsRefusesOrTooLongForItsPathIsRefusedAndNothingIsRenamed) {
  TestFolder folder;
  for (const wchar_t* name : {L"x", L"z"}) ASSERT_TRUE(::CreateDirectoryW((folder / name).c_str(), nullptr));
  dialog_.Path = folder / L"x";
  dialog_.NoChangeDir = true;  // as the program runs it: the current directory would pin the folder
  // A full path of MAX_PATH - 1: the shell still makes it, but the folder is then of no use.
  const std::wstring tooLong(MAX_PATH - 1 - folder.Path().size(), L'n');
  const std::vector<std::wstring> refused = {L"z.",  L"w...",     L"spaces   ", L"AUX",  L"nul.txt", L"Com7",
                                             L"LPT1 .log", L"a<b", L"Z",         tooLong};
  std::vector<testing::SeenBox> boxes;
  std::vector<DialogScript::Step> steps;
  for (const std::wstring& name : refused)
    steps.push_back([&, name](TPathDialogForm& f) {
      TsShellTreeView& tree = f.sShellTreeView1;
      ::SetWindowTextW(tree.EditText(tree.Selected()), name.c_str());
      // A name applied shows no box: the closer gives up after a while.
      BoxCloser closer(::GetCurrentThreadId(), application_.Handle(), WM_NULL, 1, 5000);
      Click(f.sBitBtn1);  // keeps the typed name
      for (testing::SeenBox& box : closer.Boxes()) boxes.push_back(std::move(box));
      EXPECT_EQ(tree.Path(), folder / L"x");
      EXPECT_EQ(tree.TextOf(tree.Selected()), L"x");
    });
  steps.push_back(Cancel());
  EXPECT_FALSE(Run(steps));
  EXPECT_EQ(testing::ListFolder(folder.Path()), (std::vector<std::wstring>{L"x", L"z"}));
  ASSERT_EQ(boxes.size(), refused.size());
  for (size_t i = 0; i < refused.size(); ++i) EXPECT_EQ(boxes[i].text, L"Rename to " + refused[i] + L" failed.");
}

TEST_F(PathDialog, ARenameThatChangesOnlyTheCaseIsApplied) {
  TestFolder folder;
  dialog_.Path = WithoutSeparator(folder);
  EXPECT_TRUE(Run({
      [&](TPathDialogForm& f) { Click(f.sBitBtn3); },
      [&](TPathDialogForm& f) {
        ASSERT_TRUE(f.sShellTreeView1.IsEditing());
        ::SetWindowTextW(TreeView_GetEditControl(f.sShellTreeView1.Handle()), L"NEW FOLDER1");
        Click(f.sBitBtn1);
      },
      [&](TPathDialogForm& f) {
        TsShellTreeView& tree = f.sShellTreeView1;
        EXPECT_EQ(tree.Path(), folder / L"NEW FOLDER1");
        EXPECT_EQ(tree.TextOf(tree.Selected()), L"NEW FOLDER1");
      },
      Ok(),
  }));
  EXPECT_EQ(testing::ListFolder(folder.Path()), std::vector<std::wstring>{L"NEW FOLDER1"});
  EXPECT_EQ(dialog_.Path, folder / L"NEW FOLDER1");
}

TEST_F(PathDialog, AVirtualItemDisablesOkAndCreateAndWithoutAllowCreateThereIsNoCreate) {
  dialog_.DialogOptions = 1u << sdPrompt;
  EXPECT_TRUE(Run({[](TPathDialogForm& f) {
                     EXPECT_FALSE(f.sBitBtn3.Visible());
                     PIDLIST_ABSOLUTE raw = nullptr;
                     ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &raw), S_OK);
                     const UniqueAbsoluteID computer = Adopt(raw);
                     TsShellTreeView& tree = f.sShellTreeView1;
                     tree.Select(tree.FindNodeByID(computer.get(), tree.FirstNode()));
                     EXPECT_NE(tree.Selected(), tree.FirstNode());
                     EXPECT_FALSE(f.sBitBtn1.Enabled());
                     EXPECT_FALSE(f.sBitBtn3.Enabled());
                     // Enter reaches no disabled OK.
                     MSG key{tree.Handle(), WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
                     ::IsDialogMessageW(f.Handle(), &key);
                     EXPECT_EQ(f.ModalResult(), mrNone);
                     tree.Select(tree.FirstNode());
                     EXPECT_TRUE(f.sBitBtn1.Enabled());
                   },
                   Ok()}));
}

TEST_F(PathDialog, ResizingKeepsTheTreeFillingAndTheButtonsAtTheirCorners) {
  Run({[](TPathDialogForm& f) {
         MINMAXINFO limits{};
         ::SendMessageW(f.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
         EXPECT_EQ(limits.ptMinTrackSize.x, 275);
         EXPECT_EQ(limits.ptMinTrackSize.y, 250);
         RECT window;
         ::GetWindowRect(f.Handle(), &window);
         ::SetWindowPos(f.Handle(), nullptr, 0, 0, 350 + 100, 420 + 50, SWP_NOMOVE | SWP_NOZORDER);
         EXPECT_EQ(ClientRectOf(f.sShellTreeView1), (LayoutRect{8, 20, 421, 369}));
         EXPECT_EQ(ClientRectOf(f.sBitBtn1), (LayoutRect{273, 394, 75, 25}));
         EXPECT_EQ(ClientRectOf(f.sBitBtn2), (LayoutRect{350, 394, 75, 25}));
         EXPECT_EQ(ClientRectOf(f.sBitBtn3), (LayoutRect{12, 394, 75, 25}));
         RECT label;
         ::GetWindowRect(f.sShellTreeView1.LabelHandle(), &label);
         ::MapWindowPoints(nullptr, f.Handle(), reinterpret_cast<POINT*>(&label), 2);
         EXPECT_EQ(label.left, 8);
       },
       Cancel()});
}

TEST_F(PathDialog, TheRootStripWidensTheWindowAndItsButtonsReRootTheTree) {
  dialog_.ShowRootBtns = true;
  Run({[](TPathDialogForm& f) {
         RECT window;
         ::GetWindowRect(f.Handle(), &window);
         EXPECT_EQ(window.right - window.left, 350 + 105 + ::GetSystemMetrics(SM_CXFRAME));
         EXPECT_EQ(ClientRectOf(f.sShellTreeView1).left, 8 + 105);
         EXPECT_EQ(ClientRectOf(f.sBitBtn1).left, 173 + 105);
         EXPECT_EQ(ClientRectOf(f.sBitBtn2).left, 250 + 105);
         EXPECT_EQ(ClientRectOf(f.sBitBtn3).left, 12);
         EXPECT_TRUE(f.sScrollBox1.Visible());
         EXPECT_TRUE(f.sLabel1.Visible());
         EXPECT_EQ(ClientRectOf(f.sLabel1).left, 8);
         ASSERT_EQ(f.RootButtons().size(), 4u);
         RECT strip;
         ::GetClientRect(f.sScrollBox1.Handle(), &strip);
         std::vector<int> tags;
         for (const auto& button : f.RootButtons()) {
           tags.push_back(button->Tag);
           EXPECT_EQ(button->Bounds().height, 70);
           EXPECT_EQ(button->Bounds().width, strip.right);
         }
         EXPECT_EQ(tags, (std::vector<int>{0, 1, 14, 2}));
         EXPECT_FALSE(f.RootButtons()[0]->Text().empty());
         // A press and release on a button roots the tree at the folder the button names.
         for (const auto& button : f.RootButtons()) {
           ::SendMessageW(button->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
           ::SendMessageW(button->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
           EXPECT_EQ(f.sShellTreeView1.TextOf(f.sShellTreeView1.FirstNode()), button->Text());
         }
       },
       Cancel()});
}

TEST_F(PathDialog, TheDirectoryTestTellsMissingFromUnreadable) {
  TestFolder folder;
  WriteBytes(folder / L"file", "x");
  EXPECT_TRUE(IsExistingDir(WithoutSeparator(folder)));
  EXPECT_FALSE(IsExistingDir(folder / L"file"));
  EXPECT_FALSE(IsExistingDir(folder / L"missing"));
  EXPECT_FALSE(IsExistingDir(folder / L"missing\\deeper"));
  EXPECT_FALSE(IsExistingDir(L""));
  EXPECT_EQ(ProbeDirectory(folder / L"file"), DirectoryState::NotDirectory);
  EXPECT_EQ(ProbeDirectory(folder / L"missing"), DirectoryState::Missing);
}

}  // namespace
}  // namespace snapvik
