#pragma once
// Whether tree items are the item one absolute identifier names, as the
// desktop's comparison says (SameID), asking the desktop only where the
// bytes and the holding folder cannot tell. Under Wine the desktop's
// comparison of two items deep in a big folder binds that folder anew
// each time, which reads the whole folder: searching its children one by
// one that way costs time growing with the square of its size.
#include <windows.h>

#include <shtypes.h>

#include <string_view>
#include <unordered_map>
#include <vector>

#include "picker/shell_folder.h"

namespace snapvik {

class SameItemAs {
 public:
  explicit SameItemAs(PCIDLIST_ABSOLUTE id);
  SameItemAs(const SameItemAs&) = delete;
  SameItemAs& operator=(const SameItemAs&) = delete;

  // SameID(item.AbsoluteID(), id), answered:
  // - byte for byte the same list: the same item;
  // - the item one below its parent, `id` as deep: the parent's place
  //   compared with `id`'s (once per parent), then the last items by the
  //   parent's own folder, as the desktop compares level by level;
  // - anything else: by the desktop.
  bool operator()(const TacShellFolder& item);

 private:
  PCIDLIST_ABSOLUTE id_;
  std::string_view bytes_;    // with the terminator
  std::vector<size_t> ends_;  // where each item of `id` ends
  std::string last_;          // `id`'s last item, terminated
  // What is known of each parent met: its folder, whether `id` is one
  // below its depth, and whether `id`'s place there is the parent.
  struct Parent {
    IShellFolder* folder = nullptr;
    bool deepEnough = false, same = false;
  };
  std::unordered_map<const TacShellFolder*, Parent> parents_;
};

}  // namespace snapvik
