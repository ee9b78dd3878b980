#include <gtest/gtest.h>

#include <string>

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
    const Report r{k, greeting ? 0u : 12u, greeting ? "0123456789abcdef" : ""};
    const std::string line = grab::Format(r);
    EXPECT_EQ(grab::ParseReport(line.substr(0, line.size() - 1)), r) << line;
  }
  for (const char* bad : {"", "grab 1 83", "grab 1 83 3 0", "grab  1 83 3", "grab 1 83 3 ", " release 1", "release -1",
                          "release 4294967296", "release 1x", "GRAB 1 83 3", "press 1"})
    EXPECT_EQ(grab::ParseRequest(bad), std::nullopt) << bad;
  for (const char* bad : {"", "ready", "ready ABC", "ready 12 34", "ready xyz", "press", "press -2", "pressed 2",
                          "grab 1 83 3", "held 1 ", "nodisplay "})
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
  EXPECT_EQ(keygrab::KeySymOf(0x2C), 0xff61u);  // Print Screen
  for (const int none : {0x01, 0x07, 0x0A, 0x14, 0x3A, 0x40, 0x5E, 0x88, 0x90, 0x91, 0xFE})
    EXPECT_EQ(keygrab::KeySymOf(none), 0u) << none;
}

}  // namespace
}  // namespace snapvik
