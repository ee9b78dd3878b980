#pragma once
// The folder picker's plain logic: its options, its window's design, the
// root strip's rows and the search for a new folder's name.
#include <array>
#include <functional>
#include <span>
#include <string>

#include "framework/layout.h"

namespace snapvik {

enum TSelectDirOpt { sdAllowCreate = 0, sdPerformCreate = 1, sdPrompt = 2 };
using TSelectDirOpts = unsigned;  // bit n for value n
inline constexpr TSelectDirOpts kDefaultDialogOptions =
    (1u << sdAllowCreate) | (1u << sdPerformCreate) | (1u << sdPrompt);
inline constexpr bool HasOption(TSelectDirOpts set, TSelectDirOpt option) { return (set >> option) & 1u; }

// What reading a path's attributes tells of it.
enum class DirectoryState {
  Missing,       // not found, path not found, or an invalid name
  NotDirectory,  // a file, or a link that does not open
  Directory,
  Unreadable,  // any other error: access denied, an unreachable share
};

// The picker's "exists": a directory, or something it cannot tell.
inline constexpr bool CountsAsExisting(DirectoryState state) {
  return state == DirectoryState::Directory || state == DirectoryState::Unreadable;
}

inline constexpr long kLastFolderNumber = 2147483646;

struct NewFolderChoice {
  std::wstring path;  // the candidate chosen, or the one the search stopped at
  bool free = false;  // false: every number taken, or a candidate could not be tested
};

// `folder` + "New folder" + n for n = 1, 2, ...: the first candidate that
// nothing holds (a file takes a name as a folder does). A candidate whose
// state cannot be read ends the search there, rather than counting on to
// the last number.
NewFolderChoice NewFolderName(const std::wstring& folder, const std::function<DirectoryState(const std::wstring&)>& probe,
                              long last = kLastFolderNumber);

// The message when a new folder cannot be made.
std::wstring CannotCreateMessage(const std::wstring& path);
// The message when the folder chosen with OK is no longer there.
std::wstring VanishedFolderMessage(const std::wstring& path);

// The root strip's buttons, in creation order.
struct RootButtonRow {
  const wchar_t* root;
  int rootIndex;  // the tag: the name's place in the tree's root names
  int csidl;
};
std::span<const RootButtonRow> RootButtonRows();
// The root name a button's tag stands for; empty for another tag.
std::wstring RootNameOfTag(int tag);

// The window, in pixels at every density.
inline constexpr LayoutSize kPickerOuterSize{350, 420};
inline constexpr LayoutSize kPickerMinimumSize{275, 250};
inline constexpr int kRootButtonHeight = 70;

enum class PickerControl { Tree, Ok, Cancel, Create, Strip, RootLabel };
struct PickerControlDesign {
  PickerControl control;
  const char* name;
  LayoutRect bounds;  // client pixels; the root label's width follows its text
  Anchors anchors;    // after the dialog's own anchor step
};
// In tab order.
std::span<const PickerControlDesign> PickerControls();
const PickerControlDesign& PickerDesign(PickerControl control);

// How far the tree, OK and Cancel move right when the root strip shows.
inline int RootStripShift() { return PickerDesign(PickerControl::Strip).bounds.width + 4; }

}  // namespace snapvik
