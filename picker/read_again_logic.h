#pragma once
// How a folder's child nodes follow a new reading of the folder: children
// whose identifiers are unchanged keep their nodes, so reading a folder of
// thousands again costs what changed, not a new tree.
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace snapvik {

struct ReadAgainPlan {
  enum class Fate { Gone, Kept, Renewed };
  // One per child the tree holds, in the tree's order.
  std::vector<Fate> fates;
  // For a renewed child: the index, among those found, of the identifier
  // that replaces its own (the same item in the shell's order, other bytes:
  // a new time stamp, another letter case).
  std::vector<size_t> renewals;
  // The new children, in the shell's order: the index among those found,
  // and the index of the held child it goes before (the held count: last).
  std::vector<std::pair<size_t, size_t>> added;
};

// `held` and `found` are the children's identifiers as bytes; `order`
// compares two of them as the shell sorts them (below, at or above zero).
// The held children are taken to be in that order already.
ReadAgainPlan PlanReadAgain(const std::vector<std::string_view>& held, const std::vector<std::string_view>& found,
                            const std::function<int(std::string_view, std::string_view)>& order);

}  // namespace snapvik
