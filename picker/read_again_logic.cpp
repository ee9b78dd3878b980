#include "picker/read_again_logic.h"

#include <algorithm>
#include <unordered_map>

namespace snapvik {

ReadAgainPlan PlanReadAgain(const std::vector<std::string_view>& held, const std::vector<std::string_view>& found,
                            const std::function<int(std::string_view, std::string_view)>& order) {
  ReadAgainPlan plan;
  plan.fates.assign(held.size(), ReadAgainPlan::Fate::Gone);
  plan.renewals.assign(held.size(), 0);
  std::unordered_multimap<std::string_view, size_t> byBytes;
  byBytes.reserve(held.size());
  for (size_t i = 0; i < held.size(); ++i) byBytes.emplace(held[i], i);

  // Equal bytes first: no comparison through the shell for what is unchanged.
  std::vector<size_t> fresh;
  for (size_t f = 0; f < found.size(); ++f) {
    auto [from, to] = byBytes.equal_range(found[f]);
    if (from == to) {
      fresh.push_back(f);
      continue;
    }
    plan.fates[from->second] = ReadAgainPlan::Fate::Kept;
    byBytes.erase(from);
  }
  std::stable_sort(fresh.begin(), fresh.end(), [&](size_t a, size_t b) { return order(found[a], found[b]) < 0; });

  std::vector<size_t> positions(held.size());
  for (size_t i = 0; i < held.size(); ++i) positions[i] = i;
  for (const size_t f : fresh) {
    const auto at = std::lower_bound(positions.begin(), positions.end(), f,
                                     [&](size_t h, size_t g) { return order(held[h], found[g]) < 0; });
    const size_t before = static_cast<size_t>(at - positions.begin());
    if (before < held.size() && plan.fates[before] == ReadAgainPlan::Fate::Gone && order(held[before], found[f]) == 0) {
      plan.fates[before] = ReadAgainPlan::Fate::Renewed;
      plan.renewals[before] = f;
    } else {
      plan.added.emplace_back(f, before);
    }
  }
  // Grouped by place even where the held children were out of order.
  std::stable_sort(plan.added.begin(), plan.added.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  return plan;
}

}  // namespace snapvik
