#include "app/command_line.h"

#include <gtest/gtest.h>

namespace snapvik {
namespace {

TEST(CommandLine, SplitsOnBlanksAndControlCharactersWithQuotedStretches) {
  EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\Snapvik.exe\"  a\tb\x01" L"c"),
            (std::vector<std::wstring>{L"C:\\Program Files\\Snapvik.exe", L"a", L"b", L"c"}));
  EXPECT_EQ(SplitCommandLine(L"x a\"b c\"d \"\" e"), (std::vector<std::wstring>{L"x", L"ab cd", L"", L"e"}));
  EXPECT_EQ(SplitCommandLine(L"x \"open ended"), (std::vector<std::wstring>{L"x", L"open ended"}));
  EXPECT_TRUE(SplitCommandLine(L"  \t ").empty());
}

TEST(CommandLine, VersionSwitchIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(HasVersionSwitch(L"Snapvik.exe /acver"));
  EXPECT_TRUE(HasVersionSwitch(L"Snapvik.exe /AcVeR"));
  EXPECT_TRUE(HasVersionSwitch(L"Snapvik.exe other \"/ACVER\""));
  EXPECT_TRUE(HasVersionSwitch(L"Snapvik.exe /ac\"\"ver"));
  EXPECT_FALSE(HasVersionSwitch(L"Snapvik.exe /acver2"));
  EXPECT_FALSE(HasVersionSwitch(L"Snapvik.exe -acver"));
  EXPECT_FALSE(HasVersionSwitch(L"Snapvik.exe \" /acver\""));
  EXPECT_FALSE(HasVersionSwitch(L"/acver"));  // the program path is not an argument
  EXPECT_FALSE(HasVersionSwitch(L"Snapvik.exe /\x0410" L"CVER"));  // Cyrillic A is not folded
  EXPECT_FALSE(HasVersionSwitch(L"Snapvik.exe /\x212A"));          // nor the Kelvin sign
}

}  // namespace
}  // namespace snapvik
