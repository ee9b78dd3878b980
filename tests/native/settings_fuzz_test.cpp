// Random and mutated settings files: the reader never crashes, and what it
// applies always has the shape the window expects.
#include <gtest/gtest.h>

#include <random>

#include "app/settings_logic.h"
#include "common/errors.h"
#include "settings_test_support.h"

namespace snapvik::settings {
namespace {

using snapvik::testing::Latin1Codec;
using snapvik::testing::RecordingTarget;

const char* const kSeeds[] = {
    "C:\\Shots\\\r\n1\r\n0\r\n1\r\nS\r\n",
    "\xEF\xBB\xBF" "D:\\\xD0\x9F\r\n0\r\n1\r\n0\r\nA\r\n",
    "\xFF\xFE" "C\0:\0\r\0\n\0" "1\0\n\0",
    "\xFE\xFF\0C\0:\0\r\0\n",
    "a\rb\nc\r\nd\n\re",
};

std::string Mutate(std::string bytes, std::mt19937& rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  const int edits = 1 + static_cast<int>(rng() % 6);
  for (int k = 0; k < edits; ++k) {
    const size_t at = bytes.empty() ? 0 : rng() % (bytes.size() + 1);
    switch (rng() % 4) {
      case 0:
        bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<char>(byte(rng)));
        break;
      case 1:
        if (at < bytes.size()) bytes.erase(at, 1 + rng() % 4);
        break;
      case 2:
        if (at < bytes.size()) bytes[at] = static_cast<char>(byte(rng));
        break;
      default: {
        static const std::string kPieces[] = {"\r", "\n", "\r\n", std::string(1, '\0'), "\xEF\xBB\xBF",
                                              "\xFF\xFE", "\xC3", "\xED\xA0\x80", "1"};
        bytes.insert(std::min(at, bytes.size()), kPieces[rng() % std::size(kPieces)]);
      }
    }
  }
  return bytes;
}

void CheckOne(const std::string& bytes) {
  const Latin1Codec ansi;
  for (const std::wstring& line : SplitLines(DecodeText(bytes, ansi))) {
    ASSERT_EQ(line.find_first_of(std::wstring(L"\r\n\0", 3)), std::wstring::npos);
  }
  RecordingTarget target;
  try {
    ReadSettings(bytes, ansi, target);
    ASSERT_LE(target.key.size(), 1u);
    ASSERT_EQ(target.calls.front(), "dir");
    ASSERT_EQ(target.calls.back(), "key");
  } catch (const EStringListError& e) {
    ASSERT_EQ(e.Message().rfind(L"List index out of bounds (", 0), 0u);
    ASSERT_EQ(target.key, L"A");
  }
}

TEST(SettingsFuzz, RandomBytesNeverBreakTheReader) {
  std::mt19937 rng(20261209);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes(rng() % 64, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    if (i % 4 == 1) bytes.insert(0, "\xEF\xBB\xBF");
    if (i % 4 == 2) bytes.insert(0, "\xFF\xFE");
    if (i % 4 == 3) bytes.insert(0, "\xFE\xFF");
    CheckOne(bytes);
  }
}

TEST(SettingsFuzz, MutatedFilesNeverBreakTheReader) {
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) CheckOne(Mutate(kSeeds[i % std::size(kSeeds)], rng));
}

TEST(SettingsFuzz, WrittenFilesReadBackUnchanged) {
  std::mt19937 rng(11);
  const Latin1Codec ansi;
  for (int i = 0; i < 5000; ++i) {
    Settings values;
    const size_t length = rng() % 40;
    for (size_t k = 0; k < length; ++k) {
      // Anything but line breaks and NUL, which a single-line field cannot hold.
      wchar_t c = static_cast<wchar_t>(0x20 + rng() % (i % 2 ? 0xE0 : 0x500));
      values.directory.push_back(c);
    }
    values.shift = rng() & 1;
    values.alt = rng() & 1;
    values.ctrl = rng() & 1;
    if (rng() % 5) values.key = std::wstring(1, static_cast<wchar_t>(0x21 + rng() % 0x400));
    RecordingTarget target;
    ReadSettings(EncodeSettings(values, ansi), ansi, target);
    ASSERT_EQ(target.directory, values.directory);
    ASSERT_EQ(target.shift, values.shift);
    ASSERT_EQ(target.alt, values.alt);
    ASSERT_EQ(target.ctrl, values.ctrl);
    ASSERT_EQ(target.key, values.key);
  }
}

}  // namespace
}  // namespace snapvik::settings
