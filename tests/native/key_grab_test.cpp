#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/hot_key_grab_protocol.h"
#include "keygrab/key_syms.h"

namespace snapvik {
namespace {

using grab::Report;
using grab::Request;

TEST(KeyGrabProtocol, EveryMessageComesBackAsSentAndNothingElseIsTaken) {
  for (const Request& r : {Request{Request::Kind::kGrab, 7, 0x53, 3}, Request{Request::Kind::kRelease, 4294967295u}}) {
    const std::string line = grab::Format(r);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(grab::ParseRequest(line.substr(0, line.size() - 1)), r) << line;
  }
  for (int kind = 0; kind <= static_cast<int>(Report::Kind::kPress); ++kind) {
    const auto k = static_cast<Report::Kind>(kind);
    const bool greeting = k == Report::Kind::kReady || k == Report::Kind::kNoDisplay;
    const Report r{k, greeting ? 0u : 12u, greeting ? "0123456789abcdef" : "",
                   k == Report::Kind::kReady ? 4321u : 0u};
    const std::string line = grab::Format(r);
    EXPECT_EQ(grab::ParseReport(line.substr(0, line.size() - 1)), r) << line;
  }
  for (const char* bad : {"", "grab 1 83", "grab 1 83 3 0", "grab  1 83 3", "grab 1 83 3 ", " release 1", "release -1",
                          "release 4294967296", "release 1x", "GRAB 1 83 3", "press 1"})
    EXPECT_EQ(grab::ParseRequest(bad), std::nullopt) << bad;
  for (const char* bad : {"", "ready", "ready ABC", "ready 12", "ready 12 0", "ready 12 34 5", "ready xyz 5",
                          "ready 12 -5", "press", "press -2", "pressed 2", "grab 1 83 3", "held 1 ", "nodisplay ",
                          "nodisplay 12 34"})
    EXPECT_EQ(grab::ParseReport(bad), std::nullopt) << bad;
}

TEST(KeyGrabProtocol, LinesAreWholeWhateverTheChunksAndAnEndlessLineIsRefused) {
  grab::LineBuffer lines;
  EXPECT_TRUE(lines.Append("pre"));
  EXPECT_EQ(lines.Next(), std::nullopt);
  EXPECT_TRUE(lines.Append("ss 1\npress 2\nheld"));
  EXPECT_EQ(lines.Next(), "press 1");
  EXPECT_EQ(lines.Next(), "press 2");
  EXPECT_EQ(lines.Next(), std::nullopt);
  EXPECT_TRUE(lines.Append(" 3\n"));
  EXPECT_EQ(lines.Next(), "held 3");
  grab::LineBuffer endless;
  EXPECT_TRUE(endless.Append(std::string(grab::LineBuffer::kMaxLine, 'x')));
  EXPECT_FALSE(endless.Append("x"));
  grab::LineBuffer longer;  // an endless line in one piece, after whole ones
  EXPECT_FALSE(longer.Append("press 1\n" + std::string(grab::LineBuffer::kMaxLine + 1, 'x')));
}

// A megabyte of presses in random pieces, as a flooding peer sends them, taken
// as each piece comes: every line comes out whole and in order, and what is
// kept never grows past one piece and one line.
TEST(KeyGrabProtocol, AFloodComesOutLineByLineAndWhatIsKeptStaysBounded) {
  std::string flood;
  std::vector<std::string> sent;
  for (uint32_t i = 0; flood.size() < (1u << 20); ++i) {
    sent.push_back(grab::Format(Report{Report::Kind::kPress, i % 1000, {}}));
    flood += sent.back();
    sent.back().pop_back();
  }
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  grab::LineBuffer lines;
  std::vector<std::string> taken;
  size_t most = 0;
  for (size_t at = 0; at < flood.size();) {
    const size_t piece = std::min<size_t>(1 + (next() >> 8) % 4096, flood.size() - at);
    ASSERT_TRUE(lines.Append(std::string_view(flood).substr(at, piece)));
    at += piece;
    most = std::max(most, lines.Pending());
    while (std::optional<std::string> line = lines.Next()) taken.push_back(std::move(*line));
  }
  EXPECT_EQ(lines.Pending(), 0u);
  EXPECT_EQ(taken, sent);
  EXPECT_LE(most, 4096u + grab::LineBuffer::kMaxLine);
}

TEST(KeyGrabKeys, EachKeyTheFieldNamesHasItsXKeyAndOtherCodesNone) {
  EXPECT_EQ(keygrab::KeySymOf('A'), 0x61u);  // the letter keys' symbols are small letters
  EXPECT_EQ(keygrab::KeySymOf('S'), 0x73u);
  EXPECT_EQ(keygrab::KeySymOf('9'), 0x39u);
  EXPECT_EQ(keygrab::KeySymOf(' '), 0x20u);
  EXPECT_EQ(keygrab::KeySymOf(0x60), 0xffb0u);  // keypad 0, the key field's grave accent
  EXPECT_EQ(keygrab::KeySymOf(0x61), 0xffb1u);  // "a": keypad 1
  EXPECT_EQ(keygrab::KeySymOf(0x70), 0xffbeu);  // "p": F1
  EXPECT_EQ(keygrab::KeySymOf(0x7B), 0xffc9u);  // "{": F12
  EXPECT_EQ(keygrab::KeySymOf(0x2E), 0xffffu);  // ".": Delete
  EXPECT_EQ(keygrab::KeySymOf(0x2C), 0xff61u);  // Print Screen; 0x2A ("*", Print) is on no keyboard
  EXPECT_STREQ(keygrab::UsPlaceOf('S'), "AC02");  // where a Russian layout has its Ы
  EXPECT_STREQ(keygrab::UsPlaceOf('Q'), "AD01");
  EXPECT_STREQ(keygrab::UsPlaceOf('M'), "AB07");
  EXPECT_STREQ(keygrab::UsPlaceOf('0'), "AE10");
  EXPECT_STREQ(keygrab::UsPlaceOf('1'), "AE01");
  EXPECT_STREQ(keygrab::UsPlaceOf(0x61), "");
  for (const int none : {0x01, 0x07, 0x2A, 0x0A, 0x14, 0x3A, 0x40, 0x5E, 0x88, 0x90, 0x91, 0xFE})
    EXPECT_EQ(keygrab::KeySymOf(none), 0u) << none;
  // Refused under Wine: codes no keyboard gives ("@", ":" to "?", "^", Print's "*", ...) ...
  for (const int none : {0x07, 0x0A, 0x0E, 0x2A, 0x3A, 0x3F, 0x40, 0x5E, 0x88, 0x97, 0xB9, 0xC1, 0xDA, 0xE0, 0xE8})
    EXPECT_TRUE(keygrab::OnNoKeyboard(none)) << none;
  // ... and not the keys, nor the codes it leaves to Wine (Shift's own, the mouse's, the OEM keys').
  for (const int some : {0x01, 0x08, 0x10, 0x14, 0x29, 0x2B, 0x2C, 0x30, 0x39, 0x41, 0x5A, 0x5F, 0x60, 0x6C, 0x7C, 0x87,
                         0x90, 0xA3, 0xBA, 0xC0, 0xDB, 0xE2, 0xFE})
    EXPECT_FALSE(keygrab::OnNoKeyboard(some)) << some;
}

}  // namespace
}  // namespace snapvik
