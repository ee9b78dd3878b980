#include "app/app_title.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "common/paths.h"

namespace snapvik {
namespace {

void Lower(std::wstring& text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

TEST(AppTitle, NameWithoutFolderCutAtFirstDotRestLowered) {
  EXPECT_EQ(ApplicationTitleFromPath(L"C:\\Tools\\TOOL.EXE", Lower), L"Tool");
  EXPECT_EQ(ApplicationTitleFromPath(L"C:\\my.dir\\Snapvik.exe", Lower), L"Snapvik");
  EXPECT_EQ(ApplicationTitleFromPath(L"D:\\x\\snap.vik.exe", Lower), L"snap");
  EXPECT_EQ(ApplicationTitleFromPath(L"D:\\x\\sNAPVIK", Lower), L"snapvik");
  EXPECT_EQ(ApplicationTitleFromPath(L"C:TOOL.EXE", Lower), L"Tool");
  EXPECT_EQ(ApplicationTitleFromPath(L"C:\\x\\.hidden.exe", Lower), L"");
}

TEST(Paths, FolderOfKeepsItsSeparator) {
  EXPECT_EQ(FolderOf(L"C:\\Shots\\opt.dat"), L"C:\\Shots\\");
  EXPECT_EQ(FolderOf(L"C:opt.dat"), L"C:");
  EXPECT_EQ(FolderOf(L"C:/shots/\\Screen0.jpg"), L"C:/shots/\\");
  EXPECT_EQ(FolderOf(L"opt.dat"), L"");
}

}  // namespace
}  // namespace snapvik
