#pragma once
// The picker's own path: its real window, the tree rooted at the Desktop,
// with a folder of many subfolders on the Desktop.
#include <string>

namespace snapvik::bench {

struct DesktopRun {
  double expand = 0;        // the folder's node expanded and drawn
  double readAgain = 0;     // read again after a subfolder was made, drawn
  int afterReadAgain = 0;   // its children then
  double ok = 0;            // OK on a subfolder removed from outside, until the box shows
  bool boxShown = false;
  int afterOk = 0;          // the folder's children after the box
  bool likeFreshOpen = false;  // the tree then lists what a fresh picker lists
  long long comparisons = 0;   // made by the sorting and the read-again, OK's included
};

// `count` subfolders in a new folder on the Desktop, timed in a new picker
// window; the folder is removed afterwards.
DesktopRun TimeDesktop(int count);

std::string DesktopRunJson(const DesktopRun& run);

}  // namespace snapvik::bench
