#include "common/error_text.h"

#include <gtest/gtest.h>

namespace snapvik {
namespace {

TEST(ErrorText, PeriodIsAddedOnlyAfterCharactersAboveIt) {
  EXPECT_EQ(WithFinalPeriod(L"Stream write error"), L"Stream write error.");
  EXPECT_EQ(WithFinalPeriod(L"List index out of bounds (3)"), L"List index out of bounds (3)");
  for (const wchar_t* unchanged : {L"done.", L"stop!", L"quote\"", L"comma,", L"dash-", L"blank "})
    EXPECT_EQ(WithFinalPeriod(unchanged), unchanged);
  EXPECT_EQ(WithFinalPeriod(L"slash/"), L"slash/.");
  EXPECT_EQ(WithFinalPeriod(L"digit0"), L"digit0.");
  EXPECT_EQ(WithFinalPeriod(L"\x0416"), L"\x0416.");
  EXPECT_EQ(WithFinalPeriod(L""), L"");
}

TEST(ErrorText, SystemMessagesLoseTrailingBlanksControlsAndPeriods) {
  EXPECT_EQ(TrimSystemMessage(L"Access is denied.\r\n"), L"Access is denied");
  EXPECT_EQ(TrimSystemMessage(L"Odd . .\t. "), L"Odd");
  EXPECT_EQ(TrimSystemMessage(L"v1.2 ok"), L"v1.2 ok");
  EXPECT_EQ(TrimSystemMessage(L"..."), L"");
}

TEST(ErrorText, FileErrorsQuoteTheFullPath) {
  EXPECT_EQ(CreateFileErrorText(L"C:\\a b\\opt.dat", L"Access denied"),
            L"Cannot create file \"C:\\a b\\opt.dat\". Access denied");
  EXPECT_EQ(OpenFileErrorText(L"Z:\\x", L""), L"Cannot open file \"Z:\\x\". ");
  EXPECT_EQ(ListIndexErrorText(4), L"List index out of bounds (4)");
}

}  // namespace
}  // namespace snapvik
