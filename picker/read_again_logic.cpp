#include "picker/read_again_logic.h"

#include <algorithm>
#include <unordered_map>

namespace snapvik {

ReadAgainPlan PlanReadAgain(const std::vector<std::string_view>& held, const std::vector<std::string_view>& found,
                            const std::function<int(std::string_view, std::string_view)>& order,
                            const std::vector<bool>& outOfPlace) {
  using Fate = ReadAgainPlan::Fate;
  ReadAgainPlan plan;
  plan.fates.assign(held.size(), Fate::Gone);
  plan.heldOf.assign(found.size(), ReadAgainPlan::kNone);
  const auto placed = [&](size_t h) { return h >= outOfPlace.size() || !outOfPlace[h]; };
  std::unordered_multimap<std::string_view, size_t> byBytes;
  byBytes.reserve(held.size());
  for (size_t i = 0; i < held.size(); ++i) byBytes.emplace(held[i], i);

  // Equal bytes first: no comparison through the shell for what is unchanged.
  std::vector<size_t> fresh;  // to be placed by comparisons
  for (size_t f = 0; f < found.size(); ++f) {
    const auto at = byBytes.find(found[f]);
    if (at == byBytes.end()) {
      fresh.push_back(f);
      continue;
    }
    const size_t h = at->second;
    byBytes.erase(at);
    plan.heldOf[f] = h;
    plan.fates[h] = placed(h) ? Fate::Kept : Fate::Moved;
    if (!placed(h)) fresh.push_back(f);
  }
  std::stable_sort(fresh.begin(), fresh.end(), [&](size_t a, size_t b) { return order(found[a], found[b]) < 0; });

  // The held children in their places, which stay in order among themselves.
  std::vector<size_t> inPlace;
  inPlace.reserve(held.size());
  for (size_t h = 0; h < held.size(); ++h)
    if (placed(h)) inPlace.push_back(h);
  std::vector<size_t> foundOf(held.size(), ReadAgainPlan::kNone);
  for (size_t f = 0; f < found.size(); ++f)
    if (plan.heldOf[f] != ReadAgainPlan::kNone) foundOf[plan.heldOf[f]] = f;

  // Each one to be placed goes before the first held child in place not
  // below it; as they come in order, so do those places.
  plan.order.reserve(found.size());
  size_t slot = 0;  // the next held child in place to emit
  auto emitUpTo = [&](size_t end) {
    for (; slot < end; ++slot)
      if (const size_t f = foundOf[inPlace[slot]]; f != ReadAgainPlan::kNone) plan.order.push_back(f);
  };
  for (const size_t f : fresh) {
    const auto at = std::lower_bound(inPlace.begin() + static_cast<std::ptrdiff_t>(slot), inPlace.end(), f,
                                     [&](size_t h, size_t g) { return order(held[h], found[g]) < 0; });
    const size_t before = static_cast<size_t>(at - inPlace.begin());
    emitUpTo(before);
    if (plan.heldOf[f] == ReadAgainPlan::kNone && before < inPlace.size() &&
        plan.fates[inPlace[before]] == Fate::Gone && order(held[inPlace[before]], found[f]) == 0) {
      // The same item under other bytes takes the place of its old node.
      const size_t h = inPlace[before];
      plan.fates[h] = Fate::Renewed;
      plan.heldOf[f] = h;
      foundOf[h] = f;
      continue;  // emitted with the held child in place
    }
    plan.order.push_back(f);
  }
  emitUpTo(inPlace.size());
  return plan;
}

}  // namespace snapvik
