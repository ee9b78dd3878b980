// The picker's plain logic: identifier lists as bytes, display-name rules,
// a path root's name, the caption label's place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "framework/layout.h"
#include "picker/id_list_logic.h"
#include "picker/read_again_logic.h"
#include "picker/shell_item_logic.h"

namespace snapvik {
namespace {

// Zero-filled blocks, each remembered until freed.
class CountingAllocator final : public IdAllocator {
 public:
  void* Alloc(size_t size) override {
    void* block = std::calloc(size ? size : 1, 1);
    live.insert(block);
    return block;
  }
  void Free(void* block) noexcept override {
    live.erase(block);
    std::free(block);
  }
  std::set<void*> live;
};

// A list of items of the given sizes (counts included), each filled with its index.
std::string List(std::initializer_list<int> sizes) {
  std::string bytes;
  char fill = 'a';
  for (int size : sizes) {
    bytes.push_back(static_cast<char>(size & 0xFF));
    bytes.push_back(static_cast<char>(size >> 8));
    bytes.append(static_cast<size_t>(size - 2), fill++);
  }
  return bytes + std::string(2, '\0');
}

std::string Bytes(const void* id) { return std::string(static_cast<const char*>(id), IDSize(id)); }

TEST(IdLists, SizesCountTheTerminatorAndNoListIsZero) {
  const std::string three = List({5, 3, 300});
  EXPECT_EQ(IDSize(nullptr), 0u);
  EXPECT_EQ(IDSize(List({}).data()), 2u);
  EXPECT_EQ(IDSize(three.data()), 310u);
}

TEST(IdLists, CopiesAndJoinsAreNewBlocksOfTheAllocator) {
  CountingAllocator allocator;
  const std::string a = List({4, 6}), b = List({3});
  void* copy = CopyID(allocator, a.data());
  EXPECT_EQ(Bytes(copy), a);
  void* joined = ConcatIDs(allocator, a.data(), b.data());
  EXPECT_EQ(Bytes(joined), a.substr(0, a.size() - 2) + b);
  void* fromEmpty = ConcatIDs(allocator, List({}).data(), b.data());
  void* fromNone = ConcatIDs(allocator, nullptr, b.data());
  EXPECT_EQ(Bytes(fromEmpty), b);
  EXPECT_EQ(Bytes(fromNone), b);
  EXPECT_EQ(allocator.live.size(), 4u);
  for (void* block : {copy, joined, fromEmpty, fromNone}) allocator.Free(block);
  EXPECT_TRUE(allocator.live.empty());
}

TEST(IdLists, StripLastItemEndsTheListBeforeIt) {
  std::string list = List({4, 5, 6});
  StripLastItem(list.data());
  EXPECT_EQ(Bytes(list.data()), List({4, 5}));
  std::string empty = List({});
  StripLastItem(empty.data());
  StripLastItem(nullptr);
  EXPECT_EQ(Bytes(empty.data()), List({}));
}

TEST(IdLists, AncestorsAreEveryProperPrefixDesktopFirst) {
  CountingAllocator allocator;
  const std::string three = List({4, 5, 6});
  const std::vector<void*> prefixes = AncestorIDs(allocator, three.data());
  ASSERT_EQ(prefixes.size(), 3u);
  EXPECT_EQ(Bytes(prefixes[0]), List({}));
  EXPECT_EQ(Bytes(prefixes[1]), List({4}));
  EXPECT_EQ(Bytes(prefixes[2]), List({4, 5}));
  for (void* prefix : prefixes) allocator.Free(prefix);
  EXPECT_TRUE(AncestorIDs(allocator, List({}).data()).empty());
  EXPECT_TRUE(allocator.live.empty());
}

TEST(IdLists, ItemsAreSplitWithTheirCountsAndJoinedBackIntoLists) {
  const std::string three = List({5, 3, 300});
  const std::vector<std::string_view> items = IDItems(three.data());
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0], three.substr(0, 5));
  EXPECT_EQ(items[2], three.substr(8, 300));
  EXPECT_EQ(IDOfItems(items, 0, 3), three);
  EXPECT_EQ(IDOfItems(items, 0, 2), List({5, 3}));  // a prefix, as a list of its own
  EXPECT_EQ(IDOfItems(items, 1, 2), three.substr(5, 3) + std::string(2, '\0'));
  EXPECT_EQ(IDOfItems(items, 0, 0), List({}));
  EXPECT_TRUE(IDItems(nullptr).empty());
  EXPECT_TRUE(IDItems(List({}).data()).empty());
  // A count too small to hold itself ends the items before it.
  const std::string bad = three.substr(0, 5) + std::string("\x01\0\0\0\0", 5);
  EXPECT_EQ(IDItems(bad.data()), std::vector<std::string_view>{items[0]});
}

TEST(IdLists, AFailedAllocationLeavesNothingBehind) {
  class FailsOnThird final : public IdAllocator {
   public:
    void* Alloc(size_t size) override {
      if (++calls == 3) throw std::bad_alloc();
      return inner.Alloc(size);
    }
    void Free(void* block) noexcept override { inner.Free(block); }
    CountingAllocator inner;
    int calls = 0;
  } allocator;
  EXPECT_THROW(AncestorIDs(allocator, List({4, 5, 6}).data()), std::bad_alloc);
  EXPECT_TRUE(allocator.inner.live.empty());
}

TEST(DisplayNames, AQuestionMarkThenADigitLosesEveryQuestionMark) {
  EXPECT_EQ(RepairQuestionMarks(L"?1?2 Disk?"), L"12 Disk");
  EXPECT_EQ(RepairQuestionMarks(L"?"), L"?");
  EXPECT_EQ(RepairQuestionMarks(L"?a?"), L"?a?");
  EXPECT_EQ(RepairQuestionMarks(L"a?1"), L"a?1");
  EXPECT_EQ(RepairQuestionMarks(L""), L"");
}

TEST(DisplayNames, ClassIdentifierNamesAndExtensions) {
  EXPECT_TRUE(IsClassIdName(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"));
  EXPECT_FALSE(IsClassIdName(L":{x}"));
  EXPECT_FALSE(IsClassIdName(L"C:\\::{x}"));
  EXPECT_EQ(ExtensionOf(L"C:\\a.b\\name.txt"), L".txt");
  EXPECT_EQ(ExtensionOf(L"C:\\a.b\\name"), L"");
  EXPECT_EQ(ExtensionOf(L"archive.tar.gz"), L".gz");
  EXPECT_TRUE(IsZipName(L"C:\\a\\Photos.ZIP"));
  EXPECT_FALSE(IsZipName(L"C:\\a.zip\\Photos"));
  EXPECT_EQ(ApplyShowExtension(L"report", seShow, L"", L".txt"), L"report.txt");
  EXPECT_EQ(ApplyShowExtension(L"report.txt", seShow, L".txt", L".txt"), L"report.txt");
  EXPECT_EQ(ApplyShowExtension(L"report.txt", seHide, L".txt", L".txt"), L"report");
  EXPECT_EQ(ApplyShowExtension(L"report", seHide, L"", L".txt"), L"report");
  EXPECT_EQ(ApplyShowExtension(L"report.txt", seSystem, L".txt", L".doc"), L"report.txt");
}

TEST(RootNames, APathRootShowsItsLastComponent) {
  EXPECT_EQ(LastPathComponent(L"C:\\"), L"C:");
  EXPECT_EQ(LastPathComponent(L"C:\\Shots\\"), L"Shots");
  EXPECT_EQ(LastPathComponent(L"C:\\Shots\\Day"), L"Day");
  EXPECT_EQ(LastPathComponent(L"Shots"), L"Shots");
}

TEST(PathSeparator, OneBackslashAtTheEndAndADriveLetterGetsItsColon) {
  EXPECT_EQ(AddPathSeparator(L""), L"");
  EXPECT_EQ(AddPathSeparator(L"C:\\a\\"), L"C:\\a\\");
  EXPECT_EQ(AddPathSeparator(L"C:\\a/"), L"C:\\a\\");
  EXPECT_EQ(AddPathSeparator(L"C:\\a"), L"C:\\a\\");
  EXPECT_EQ(AddPathSeparator(L"C"), L"C:\\");
  EXPECT_EQ(AddPathSeparator(L"C:"), L"C:\\");
}

// Every device name Windows refuses, in every case, bare or with
// extensions and spaces before them; and the names just beside them, taken.
TEST(NewNames, EveryDeviceNameIsRefusedAndItsNeighboursAreTaken) {
  std::vector<std::wstring> devices = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* port : {L"COM", L"LPT"})
    for (const wchar_t digit : std::wstring(L"123456789\u00B9\u00B2\u00B3")) devices.push_back(port + std::wstring(1, digit));
  auto mixedCase = [](std::wstring name, unsigned pattern) {
    for (size_t i = 0; i < name.size(); ++i)
      if ((pattern >> i & 1) && name[i] >= L'A' && name[i] <= L'Z') name[i] = static_cast<wchar_t>(name[i] - L'A' + L'a');
    return name;
  };
  const std::vector<std::wstring> suffixes = {L"", L".txt", L".tar.gz", L" .log", L"   .x", L".", L" "};
  for (const std::wstring& device : devices)
    for (unsigned pattern : {0u, 0x7Fu, 0x5u, 0x2u})
      for (const std::wstring& suffix : suffixes) {
        const std::wstring name = mixedCase(device, pattern) + suffix;
        EXPECT_FALSE(IsNameWindowsTakes(name)) << std::string(name.begin(), name.end());
      }
  // Beside them: another digit or superscript, a longer or shorter stem, a prefix, a name inside.
  for (const wchar_t* name :
       {L"COM0", L"LPT0", L"COM10", L"LPT\u2074", L"COM\u2070", L"COM\u00B9\u00B9", L"CO", L"CONIN", L"CONOUT", L"CONIN$$",
        L"CONOUT$1", L"xCON", L"CON1", L"NULL", L"AUX_", L"COM\u00B9x.txt", L"a.CON", L"folder.COM1", L"LPT", L"$CONIN"})
    EXPECT_TRUE(IsNameWindowsTakes(name)) << std::string(name, name + std::wstring_view(name).size());
}

TEST(Attributes, EachBitGivesItsMemberAndTheQueriesKeepTheirHalves) {
  const TacShellFolderCapabilities all = CapabilitiesFromAttributes(kCapabilityInMask);
  for (TacShellFolderCapability c : {fcCanCopy, fcCanDelete, fcCanLink, fcCanMove, fcCanRename, fcDropTarget,
                                     fcHasPropSheet})
    EXPECT_TRUE(all.Has(c));
  EXPECT_TRUE(CapabilitiesFromAttributes(0x10).Has(fcCanRename));
  EXPECT_FALSE(CapabilitiesFromAttributes(0x10).Has(fcCanCopy));
  EXPECT_TRUE(CapabilitiesFromAttributes(0x80000000u).Empty());
  const TacShellFolderProperties shared = PropertiesFromAttributes(0x20000, 0x20000);
  EXPECT_TRUE(shared.Has(fpShared));
  EXPECT_FALSE(PropertiesFromAttributes(0, 0x20000).Has(fpShared));  // asked in the first query only
  EXPECT_TRUE(PropertiesFromAttributes(0, 0x40000000).Has(fpFileSystem));
  EXPECT_FALSE(PropertiesFromAttributes(0x40000000, 0).Has(fpFileSystem));
}

TEST(BoundLabel, EachLayoutPlacesTheLabelAsDesigned) {
  const LayoutRect tree{8, 20, 321, 319};
  EXPECT_EQ(BoundLabelOrigin(tree, 100, 13, sclTopLeft, 4), (LayoutPoint{8, 3}));
  EXPECT_EQ(BoundLabelOrigin(tree, 101, 13, sclTopCenter, 4), (LayoutPoint{8 + 110, 3}));
  EXPECT_EQ(BoundLabelOrigin(tree, 100, 13, sclTopRight, 4), (LayoutPoint{229, 3}));
  EXPECT_EQ(BoundLabelOrigin({200, 50, 80, 21}, 60, 13, sclLeft, 2), (LayoutPoint{134, 54}));
}

}  // namespace
}  // namespace snapvik

#include <map>

#include "picker/path_dialog_logic.h"

namespace snapvik {
namespace {

// A folder as the directory probe sees it: names with their states, everything else missing.
struct FakeFolder {
  std::map<std::wstring, DirectoryState> entries;
  int probes = 0;
  DirectoryState operator()(const std::wstring& path) {
    ++probes;
    const auto found = entries.find(path);
    return found == entries.end() ? DirectoryState::Missing : found->second;
  }
};

TEST(NewFolderName, FirstNumberThatNothingHolds) {
  FakeFolder folder;
  auto probe = [&](const std::wstring& p) { return folder(p); };
  // A drive root gets no doubled separator; a folder gets one.
  EXPECT_EQ(NewFolderName(L"C:\\", probe).path, L"C:\\New folder1");
  EXPECT_EQ(NewFolderName(L"C:\\Work", probe).path, L"C:\\Work\\New folder1");
  folder.entries[L"C:\\Work\\New folder1"] = DirectoryState::Directory;
  folder.entries[L"C:\\Work\\New folder2"] = DirectoryState::Directory;
  const NewFolderChoice third = NewFolderName(L"C:\\Work", probe);
  EXPECT_EQ(third.path, L"C:\\Work\\New folder3");
  EXPECT_TRUE(third.free);
  // A file holds a name as a folder does: the search goes on past it.
  folder.entries[L"C:\\Work\\New folder3"] = DirectoryState::NotDirectory;
  EXPECT_EQ(NewFolderName(L"C:\\Work", probe).path, L"C:\\Work\\New folder4");
}

TEST(NewFolderName, StopsAtACandidateItCannotTestAndAtTheLastNumber) {
  FakeFolder folder;
  folder.entries[L"\\\\server\\share\\New folder1"] = DirectoryState::Directory;
  folder.entries[L"\\\\server\\share\\New folder2"] = DirectoryState::Unreadable;
  auto probe = [&](const std::wstring& p) { return folder(p); };
  const NewFolderChoice stopped = NewFolderName(L"\\\\server\\share", probe);
  EXPECT_FALSE(stopped.free);
  EXPECT_EQ(stopped.path, L"\\\\server\\share\\New folder2");
  EXPECT_EQ(folder.probes, 2);
  // Every number up to the last one taken: no name.
  auto everything = [](const std::wstring&) { return DirectoryState::Directory; };
  const NewFolderChoice none = NewFolderName(L"D:\\", everything, 5);
  EXPECT_FALSE(none.free);
  EXPECT_TRUE(none.path.empty());
  EXPECT_EQ(CannotCreateMessage(L"D:\\x"), L"Directory D:\\x can`t be created!");
  EXPECT_TRUE(CountsAsExisting(DirectoryState::Unreadable));
  EXPECT_FALSE(CountsAsExisting(DirectoryState::NotDirectory));
}

}  // namespace
}  // namespace snapvik

#include "picker/notify_filters.h"

namespace snapvik {
namespace {

TEST(NotifyFilters, EachMemberGivesItsPlatformBit) {
  EXPECT_EQ(NotifyFilterValue(kDefaultNotifyFilters), 0x3u);
  EXPECT_EQ(NotifyFilterValue(1u << nfSecurityChange), 0x100u);
  EXPECT_EQ(NotifyFilterValue(0x3Fu), 0x11Fu);
  EXPECT_EQ(NotifyFilterValue((1u << nfSizeChange) | (1u << nfWriteChange)), 0x18u);
  EXPECT_EQ(NotifyFilterValue(0), 0u);
}

// Identifiers as "name|stamp": the shell orders by name, letter case aside.
int NameOrder(std::string_view a, std::string_view b) {
  const auto name = [](std::string_view id) {
    std::string lower(id.substr(0, id.find('|')));
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
  };
  return name(a).compare(name(b));
}

std::vector<std::string_view> InPlanOrder(const ReadAgainPlan& plan, const std::vector<std::string_view>& found) {
  std::vector<std::string_view> children;
  for (const size_t f : plan.order) children.push_back(found[f]);
  return children;
}

TEST(ReadAgain, UnchangedChildrenKeepTheirNodesWithoutAComparisonAndTheRestFindTheirPlaces) {
  int comparisons = 0;
  const auto order = [&](std::string_view a, std::string_view b) { return ++comparisons, NameOrder(a, b); };
  const std::vector<std::string_view> held = {"a|1", "b|1", "c|1", "d|1", "f|1"};
  const std::vector<std::string_view> same = {"f|1", "a|1", "d|1", "c|1", "b|1"};
  const ReadAgainPlan unchanged = PlanReadAgain(held, same, order);
  EXPECT_EQ(comparisons, 0);
  EXPECT_EQ(unchanged.fates, std::vector<ReadAgainPlan::Fate>(5, ReadAgainPlan::Fate::Kept));
  EXPECT_EQ(InPlanOrder(unchanged, same), held);

  using F = ReadAgainPlan::Fate;
  const std::vector<std::string_view> found = {"g|1", "c|1", "B|2", "e|1", "a|1", "0|1", "f|1"};
  const ReadAgainPlan plan = PlanReadAgain(held, found, order);
  EXPECT_EQ(plan.fates, (std::vector<F>{F::Kept, F::Renewed, F::Kept, F::Gone, F::Kept}));
  EXPECT_EQ(plan.heldOf[2], 1u);  // "B|2" renews "b|1"
  EXPECT_EQ(plan.heldOf[0], ReadAgainPlan::kNone);
  EXPECT_EQ(InPlanOrder(plan, found),
            (std::vector<std::string_view>{"0|1", "a|1", "B|2", "c|1", "e|1", "f|1", "g|1"}));
  // The gone child leaves nothing behind, the whole folder going included.
  EXPECT_EQ(PlanReadAgain(held, {}, order).fates, std::vector<F>(5, F::Gone));

  // A new folder beside one renamed in letter case only goes after it.
  const std::vector<std::string_view> fruit = {"Berry|2", "cherry|1", "delta|1"};
  EXPECT_EQ(InPlanOrder(PlanReadAgain({"berry|1", "delta|1", "xray|1"}, fruit, order), fruit),
            (std::vector<std::string_view>{"Berry|2", "cherry|1", "delta|1"}));
  // One renamed in the tree is held out of order, and moves.
  const std::vector<std::string_view> renamed = {"m|1", "q|1", "z|1"};
  const ReadAgainPlan moved = PlanReadAgain({"q|1", "m|1", "z|1"}, renamed, order, {true, false, false});
  EXPECT_EQ(moved.fates, (std::vector<F>{F::Moved, F::Kept, F::Kept}));
  EXPECT_EQ(InPlanOrder(moved, renamed), renamed);
}

// Random folders changed at random, read again: the plan's order is the
// shell's order of what was found, and the nodes it keeps stay in order.
TEST(ReadAgain, ThePlansOrderIsThatOfASortOfTheFoundChildrenOnRandomCases) {
  std::srand(31);
  const auto pick = [](size_t n) { return static_cast<size_t>(std::rand()) % n; };
  const auto sameName = [](const std::string& a, const std::string& b) {
    return NameOrder(a + "|", b + "|") == 0;
  };
  for (int run = 0; run < 2000; ++run) {
    struct Child {
      std::string name;
      int stamp;
      std::string held;  // its bytes in the tree; empty: not held
      bool outOfPlace = false;
    };
    auto bytes = [](const Child& c) { return c.name + "|" + std::to_string(c.stamp); };
    auto newName = [&](const std::vector<Child>& now) {
      for (;;) {
        std::string name(1 + pick(2), 'a');
        for (char& c : name) c = static_cast<char>((pick(2) ? 'a' : 'A') + pick(6));
        bool taken = false;
        for (const Child& c : now) taken = taken || sameName(c.name, name);
        if (!taken) return name;
      }
    };
    std::vector<Child> children;
    const size_t start = pick(12);
    for (size_t i = 0; i < start; ++i) children.push_back({newName(children), 1, {}});
    std::sort(children.begin(), children.end(),
              [](const Child& a, const Child& b) { return NameOrder(a.name + "|", b.name + "|") < 0; });
    for (Child& c : children) c.held = bytes(c);
    std::vector<std::string> heldBytes;  // the tree's order
    for (const Child& c : children) heldBytes.push_back(c.held);
    std::vector<bool> outOfPlace(heldBytes.size(), false);

    for (size_t step = 0, steps = 1 + pick(5); step < steps; ++step) {
      const size_t what = pick(6);
      if (what == 0 || children.empty()) {
        children.push_back({newName(children), 1, {}});
        continue;
      }
      Child& c = children[pick(children.size())];
      if (what == 1) {
        c = children.back();
        children.pop_back();
      } else if (what == 2) {  // renamed outside
        c.name = newName(children);
        ++c.stamp;
      } else if (what == 3) {  // letter case only
        for (char& ch : c.name) ch = static_cast<char>(std::isupper(static_cast<unsigned char>(ch)) ? std::tolower(ch) : std::toupper(ch));
        ++c.stamp;
      } else if (what == 4) {  // a new time stamp
        ++c.stamp;
      } else if (!c.held.empty()) {  // renamed in the tree: its node holds the new bytes where it was
        const auto at = std::find(heldBytes.begin(), heldBytes.end(), c.held);
        c.name = newName(children);
        c.held = heldBytes[static_cast<size_t>(at - heldBytes.begin())] = bytes(c);
        outOfPlace[static_cast<size_t>(at - heldBytes.begin())] = true;
      }
    }
    std::vector<std::string> foundBytes;
    for (const Child& c : children) foundBytes.push_back(bytes(c));
    for (size_t i = foundBytes.size(); i > 1; --i) std::swap(foundBytes[i - 1], foundBytes[pick(i)]);

    const std::vector<std::string_view> held(heldBytes.begin(), heldBytes.end());
    const std::vector<std::string_view> found(foundBytes.begin(), foundBytes.end());
    const ReadAgainPlan plan = PlanReadAgain(held, found, NameOrder, outOfPlace);
    std::vector<std::string_view> sorted = found;
    std::stable_sort(sorted.begin(), sorted.end(), [](auto a, auto b) { return NameOrder(a, b) < 0; });
    ASSERT_EQ(InPlanOrder(plan, found), sorted) << "run " << run;
    // Kept and renewed nodes are not moved, so they must come in the tree's order.
    size_t last = 0;
    bool any = false;
    for (const size_t f : plan.order) {
      const size_t h = plan.heldOf[f];
      if (h == ReadAgainPlan::kNone || plan.fates[h] == ReadAgainPlan::Fate::Moved) continue;
      ASSERT_TRUE(!any || h > last) << "run " << run;
      if (plan.fates[h] == ReadAgainPlan::Fate::Kept) {
        ASSERT_EQ(held[h], found[f]) << "run " << run;
      } else {
        ASSERT_EQ(NameOrder(held[h], found[f]), 0) << "run " << run;
      }
      last = h;
      any = true;
    }
  }
}

}  // namespace
}  // namespace snapvik
