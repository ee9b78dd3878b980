#include "picker/same_item.h"

#include <string>

#include "picker/id_list_logic.h"

namespace snapvik {
namespace {

std::string_view Bytes(const void* id) { return {static_cast<const char*>(id), IDSize(id)}; }

// Where each item of a list ends, in bytes from its start.
std::vector<size_t> ItemEnds(const void* id) {
  std::vector<size_t> ends;
  size_t at = 0;
  for (const std::string_view item : IDItems(id)) ends.push_back(at += item.size());
  return ends;
}

}  // namespace

SameItemAs::SameItemAs(PCIDLIST_ABSOLUTE id) : id_(id), bytes_(Bytes(id)), ends_(ItemEnds(id)) {
  if (!ends_.empty()) {
    const size_t from = ends_.size() > 1 ? ends_[ends_.size() - 2] : 0;
    last_.assign(bytes_.substr(from, ends_.back() - from));
    last_.append(2, '\0');
  }
}

bool SameItemAs::operator()(const TacShellFolder& item) {
  if (!id_) return false;
  const std::string_view mine = Bytes(item.AbsoluteID());
  if (mine == bytes_) return true;
  const TacShellFolder* parent = item.Parent();
  if (!parent) return SameID(item.AbsoluteID(), id_);
  // Only an item whose list is its parent's with one item more.
  const std::string_view own = Bytes(item.RelativeID());
  const std::string_view above = Bytes(parent->AbsoluteID());
  const std::vector<size_t> ownEnds = ItemEnds(item.RelativeID());
  const bool oneBelow = ownEnds.size() == 1 && own.size() == ownEnds[0] + 2 && above.size() >= 2 &&
                        mine.size() == above.size() - 2 + own.size() &&
                        mine.substr(0, above.size() - 2) == above.substr(0, above.size() - 2) &&
                        mine.substr(above.size() - 2) == own;
  if (!oneBelow) return SameID(item.AbsoluteID(), id_);
  auto known = parents_.find(parent);
  if (known == parents_.end()) {
    Parent seen;
    seen.folder = parent->ShellFolder();
    const size_t depth = ItemEnds(parent->AbsoluteID()).size();
    seen.deepEnough = ends_.size() == depth + 1;
    if (seen.deepEnough) {
      const std::string_view upper = bytes_.substr(0, depth ? ends_[depth - 1] : 0);
      seen.same = upper == above.substr(0, above.size() - 2);
      if (!seen.same) {
        std::string list(upper);
        list.append(2, '\0');
        seen.same = SameID(parent->AbsoluteID(), reinterpret_cast<PCIDLIST_ABSOLUTE>(list.data()));
      }
    }
    known = parents_.emplace(parent, seen).first;
  }
  const Parent& seen = known->second;
  if (!seen.folder || !seen.deepEnough) return SameID(item.AbsoluteID(), id_);
  if (!seen.same) return false;
  return seen.folder->CompareIDs(0, item.RelativeID(), reinterpret_cast<PCUIDLIST_RELATIVE>(last_.data())) == 0;
}

}  // namespace snapvik
