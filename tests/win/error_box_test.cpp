// The platform side of error texts.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {
namespace {

TEST(SystemErrorText, IsTrimmedOfTrailingPeriodAndLineBreak) {
  const std::wstring text = SystemErrorText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), L'.');
  EXPECT_GT(text.back(), L' ');
  EXPECT_EQ(text.find(L'\n'), std::wstring::npos);
}

TEST(FullPathName, MakesRelativeNamesAbsoluteAndFetchesLongOnes) {
  wchar_t current[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, current);
  std::wstring base = current;
  if (base.back() != L'\\') base.push_back(L'\\');
  EXPECT_EQ(FullPathName(L"x\\Screen0.jpg"), base + L"x\\Screen0.jpg");
  const std::wstring longName = L"C:\\" + std::wstring(300, L'a') + L"\\opt.dat";
  EXPECT_EQ(FullPathName(longName), longName);
}

TEST(ThrowCreateError, NamesTheAbsolutePathAndTheReason) {
  try {
    ThrowCreateError(L"C:\\x\\opt.dat", ERROR_PATH_NOT_FOUND);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), L"Cannot create file \"C:\\x\\opt.dat\". " + SystemErrorText(ERROR_PATH_NOT_FOUND));
  }
}

}  // namespace
}  // namespace snapvik
