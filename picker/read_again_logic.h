#pragma once
// How a folder's child nodes follow a new reading of the folder: children
// whose identifiers are unchanged keep their nodes, so reading a folder of
// thousands again costs what changed, not a new tree.
#include <cstddef>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

namespace snapvik {

struct ReadAgainPlan {
  static constexpr size_t kNone = std::numeric_limits<size_t>::max();
  // Kept: same bytes, in its place. Renewed: the same item in the shell's
  // order under other bytes (a new time stamp, another letter case), in its
  // place. Moved: same bytes, but held out of the shell's order (renamed in
  // the tree), so it needs a node in its right place.
  enum class Fate { Gone, Kept, Renewed, Moved };
  // One per child the tree holds, in the tree's order.
  std::vector<Fate> fates;
  // Every child after the reading, in the shell's order, by its index among
  // those found.
  std::vector<size_t> order;
  // Per child found: the held child it keeps, renews or moves; kNone for a new one.
  std::vector<size_t> heldOf;
};

// `held` and `found` are the children's identifiers as bytes; `order`
// compares two of them as the shell sorts them (below, at or above zero).
// The held children are taken to be in that order already, except those
// `outOfPlace` marks (it may be empty: none).
ReadAgainPlan PlanReadAgain(const std::vector<std::string_view>& held, const std::vector<std::string_view>& found,
                            const std::function<int(std::string_view, std::string_view)>& order,
                            const std::vector<bool>& outOfPlace = {});

}  // namespace snapvik
