#include "app/settings_logic.h"

#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/utf.h"
#include "settings_test_support.h"

namespace snapvik::settings {
namespace {

using snapvik::testing::Latin1Codec;
using snapvik::testing::RecordingTarget;

std::vector<std::wstring> Lines(std::string_view bytes) { return SplitLines(DecodeText(bytes, Latin1Codec())); }

// The message of the list error a read raises, or "" when it raised none.
std::wstring ReadError(std::string_view bytes, RecordingTarget& target) {
  try {
    ReadSettings(bytes, Latin1Codec(), target);
  } catch (const EStringListError& e) {
    return e.Message();
  }
  return L"";
}

TEST(SettingsSplit, LineBreaksOfEveryKindReadAlike) {
  const std::vector<std::wstring> expected = {L"C:\\Shots\\", L"1", L"0", L"1", L"S"};
  EXPECT_EQ(Lines("C:\\Shots\\\r\n1\r\n0\r\n1\r\nS\r\n"), expected);
  EXPECT_EQ(Lines("C:\\Shots\\\n1\n0\n1\nS\n"), expected);
  EXPECT_EQ(Lines("C:\\Shots\\\r1\r0\r1\rS\r"), expected);
  EXPECT_EQ(Lines("C:\\Shots\\\r\n1\n0\r1\r\nS"), expected);  // no break after the last line
}

TEST(SettingsSplit, EmptyLinesCountAndLfCrIsTwoBreaks) {
  EXPECT_EQ(Lines("a\n\r b"), (std::vector<std::wstring>{L"a", L"", L" b"}));
  EXPECT_EQ(Lines("\r\n\r\n"), (std::vector<std::wstring>{L"", L""}));
  EXPECT_EQ(Lines("a\r\r\nb"), (std::vector<std::wstring>{L"a", L"", L"b"}));
  EXPECT_TRUE(Lines("").empty());
  EXPECT_EQ(Lines("\n"), (std::vector<std::wstring>{L""}));
}

TEST(SettingsSplit, NulEndsTheText) {
  EXPECT_EQ(Lines(std::string_view("ab\0cd\r\nef", 9)), (std::vector<std::wstring>{L"ab"}));
  EXPECT_EQ(Lines(std::string_view("\0x\ny", 4)), (std::vector<std::wstring>{}));
}

TEST(SettingsDecode, MarksChooseTheEncoding) {
  const Latin1Codec ansi;
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF" "D:\\\xD0\x9F\xD0\xB0\r\n", ansi), L"D:\\\x041F\x0430\r\n");
  EXPECT_EQ(DecodeText(std::string_view("\xFF\xFE" "A\0\x1F\x04", 6), ansi), L"A\x041F");
  EXPECT_EQ(DecodeText(std::string_view("\xFE\xFF\0A\x04\x1F", 6), ansi), L"A\x041F");
  EXPECT_EQ(DecodeText("\xE9t\xE9", ansi), L"\xE9t\xE9");
  // The UTF-8 mark wins over what follows it.
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xFF\xFE", ansi), L"");
  // An odd last byte of UTF-16 is dropped.
  EXPECT_EQ(DecodeText(std::string_view("\xFF\xFE" "A\0B", 5), ansi), L"A");
}

TEST(SettingsDecode, InvalidUtf8DecodesAsEmpty) {
  const Latin1Codec ansi;
  for (std::string_view bad : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "ok\x80", "\xC3",
                               "\xF8\x88\x80\x80\x80", "\xE0\x9F\xBF"}) {
    EXPECT_EQ(DecodeText(std::string("\xEF\xBB\xBF") + "C:\\\r\n" + std::string(bad), ansi), L"")
        << "for " << ::testing::PrintToString(std::string(bad));
    // Told apart from a text that is empty, which loses nothing when written over.
    EXPECT_EQ(DecodeTextStrict(std::string("\xEF\xBB\xBF") + std::string(bad), ansi), std::nullopt);
  }
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF\xF0\x9F\x98\x80", ansi), L"\xD83D\xDE00");
  for (std::string_view empty : {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"})
    EXPECT_EQ(DecodeTextStrict(empty, ansi), std::wstring());
}

TEST(SettingsRead, FillsTheTargetInOrder) {
  RecordingTarget target;
  EXPECT_EQ(ReadError("C:\\Shots\\\r\n0\r\n1\r\n0\r\nZ\r\nextra\r\nmore", target), L"");
  EXPECT_EQ(target.directory, L"C:\\Shots\\");
  EXPECT_FALSE(target.shift);
  EXPECT_TRUE(target.alt);
  EXPECT_FALSE(target.ctrl);
  EXPECT_EQ(target.key, L"Z");
  EXPECT_EQ(target.calls, (std::vector<std::string>{"dir", "alt", "key"}));
}

TEST(SettingsRead, OnlyAnExactOneChecksABox) {
  RecordingTarget target;
  EXPECT_EQ(ReadError("x\r\n1 \r\n01\r\ntrue\r\nQ\r\n", target), L"");
  EXPECT_FALSE(target.shift || target.alt || target.ctrl);
  RecordingTarget other;
  EXPECT_EQ(ReadError("x\r\n\r\n yes\r\n1\r\nQ\r\n", other), L"");
  EXPECT_FALSE(other.shift || other.alt);
  EXPECT_TRUE(other.ctrl);
}

TEST(SettingsRead, KeyIsTheFirstCodeUnitOfLineFive) {
  RecordingTarget two;
  ReadSettings("d\r\n0\r\n0\r\n0\r\nAB\r\n", Latin1Codec(), two);
  EXPECT_EQ(two.key, L"A");
  RecordingTarget empty;  // a key field left empty at the last close
  EXPECT_EQ(ReadError("d\r\n0\r\n0\r\n0\r\n\r\n", empty), L"");
  EXPECT_EQ(empty.key, L"");
  RecordingTarget surrogate;
  ReadSettings("\xEF\xBB\xBF" "d\n0\n0\n0\n\xF0\x9F\x98\x80\n", Latin1Codec(), surrogate);
  EXPECT_EQ(surrogate.key, std::wstring(1, static_cast<wchar_t>(0xD83D)));
}

TEST(SettingsRead, MissingLinesStopWithTheirIndexAfterApplyingTheRest) {
  RecordingTarget three;
  EXPECT_EQ(ReadError("C:\\x\r\n1\r\n1\r\n", three), L"List index out of bounds (3)");
  EXPECT_EQ(three.directory, L"C:\\x");
  EXPECT_TRUE(three.shift && three.alt);
  EXPECT_FALSE(three.ctrl);
  EXPECT_EQ(three.key, L"A");

  RecordingTarget none;
  EXPECT_EQ(ReadError("", none), L"List index out of bounds (0)");
  EXPECT_EQ(none.directory, L"Edit1");
  EXPECT_TRUE(none.calls.empty());

  RecordingTarget badUtf8;
  EXPECT_EQ(ReadError("\xEF\xBB\xBF" "C:\\\r\n1\r\n\xFF\r\n", badUtf8), L"List index out of bounds (0)");
  EXPECT_EQ(badUtf8.directory, L"Edit1");
}

TEST(SettingsRead, Utf16WithoutMarkIsAnsiAndStopsAtItsFirstNul) {
  RecordingTarget target;
  const std::string_view bytes("C\0:\0\\\0\r\0\n\0", 10);
  EXPECT_EQ(ReadError(bytes, target), L"List index out of bounds (1)");
  EXPECT_EQ(target.directory, L"C");
}

TEST(SettingsWrite, FiveLinesInAnsiEachWithCrLf) {
  Settings values{L"C:\\Shots\\", true, false, true, L"S"};
  const std::string bytes = EncodeSettings(values, Latin1Codec());
  EXPECT_EQ(bytes, "C:\\Shots\\\r\n1\r\n0\r\n1\r\nS\r\n");
  EXPECT_EQ(bytes.size(), 23u);
  EXPECT_EQ(EncodeSettings(Settings{L"", false, false, false, L""}, Latin1Codec()), "\r\n0\r\n0\r\n0\r\n\r\n");
  EXPECT_EQ(EncodeSettings(Settings{L"C:\\\xE9t\xE9\\", false, true, false, L"A"}, Latin1Codec()),
            "C:\\\xE9t\xE9\\\r\n0\r\n1\r\n0\r\nA\r\n");
}

TEST(SettingsWrite, TextTheCodePageCannotHoldIsWrittenAsMarkedUtf8) {
  const Settings values{L"D:\\\x0421\x043D\x0438\x043C\x043A\x0438\\", false, false, true, L"\x0416"};
  const std::string bytes = EncodeSettings(values, Latin1Codec());
  ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  RecordingTarget target;
  EXPECT_EQ(ReadError(bytes, target), L"");
  EXPECT_EQ(target.directory, values.directory);
  EXPECT_TRUE(target.ctrl);
  EXPECT_FALSE(target.shift || target.alt);
  EXPECT_EQ(target.key, values.key);
}

TEST(SettingsWrite, AFolderWhoseBytesWouldReadAsAMarkIsWrittenAsMarkedUtf8) {
  // Each of these fits the code page, but its bytes would start like a mark.
  for (const std::wstring directory : {L"\xFF\xFE" L"ab\\", L"\xFE\xFF" L"ab\\", L"\xEF\xBB\xBF" L"ab\\"}) {
    const Settings values{directory, true, false, false, L"S"};
    const std::string bytes = EncodeSettings(values, Latin1Codec());
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    RecordingTarget target;
    EXPECT_EQ(ReadError(bytes, target), L"");
    EXPECT_EQ(target.directory, directory);
    EXPECT_TRUE(target.shift);
    EXPECT_EQ(target.key, L"S");
  }
  // The same letters later in the name change nothing.
  EXPECT_EQ(EncodeSettings({L"C:\\\xFF\xFE\\", false, false, false, L"A"}, Latin1Codec()),
            "C:\\\xFF\xFE\\\r\n0\r\n0\r\n0\r\nA\r\n");
}

TEST(SettingsWrite, OnlyAnUnreadFileWithNothingChangedIsSkipped) {
  const Settings shown{L"C:\\Shots\\", false, true, false, L"A"};
  EXPECT_TRUE(ShouldWrite(false, shown, shown));
  EXPECT_FALSE(ShouldWrite(true, shown, shown));
  const std::vector<Settings> changed = {
      {L"C:\\Shots", false, true, false, L"A"}, {L"C:\\Shots\\", true, true, false, L"A"},
      {L"C:\\Shots\\", false, false, false, L"A"}, {L"C:\\Shots\\", false, true, true, L"A"},
      {L"C:\\Shots\\", false, true, false, L"B"}};
  for (const Settings& now : changed) EXPECT_TRUE(ShouldWrite(true, shown, now));
}

TEST(Utf8, EncodesEveryRangeAndReplacesLoneSurrogates) {
  EXPECT_EQ(EncodeUtf8(L"a\xE9\x20AC"), "a\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(EncodeUtf8(std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(EncodeUtf8(std::wstring{static_cast<wchar_t>(0xDE00), L'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(DecodeUtf8Strict(EncodeUtf8(L"\x7F\x80\x7FF\x800\xFFFF")).value(), L"\x7F\x80\x7FF\x800\xFFFF");
}

}  // namespace
}  // namespace snapvik::settings
