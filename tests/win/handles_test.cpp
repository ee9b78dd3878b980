// The owners of platform resources.
#include "common/handles.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "common/com.h"
#include "common/errors.h"
#include "picker/id_list.h"
#include "test_support.h"

namespace snapvik {
namespace {

TEST(UniqueHandle, ReleasesOnceWhetherResetMovedOrClosed) {
  const HBRUSH first = ::CreateSolidBrush(RGB(1, 2, 3));
  const HBRUSH second = ::CreateSolidBrush(RGB(4, 5, 6));
  UniqueBrush owner(first);
  UniqueBrush other(std::move(owner));
  EXPECT_FALSE(owner);
  EXPECT_EQ(other.get(), first);
  other.reset(second);
  EXPECT_EQ(::GetObjectType(first), 0u);  // gone
  EXPECT_EQ(::GetObjectType(second), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_TRUE(other.Close());
  EXPECT_FALSE(other);
  EXPECT_EQ(::GetObjectType(second), 0u);
  EXPECT_TRUE(other.Close());  // nothing held, nothing refused
}

TEST(UniqueHandle, ResetWithTheHandleItHoldsKeepsItOpen) {
  const HBRUSH brush = ::CreateSolidBrush(RGB(7, 8, 9));
  UniqueBrush owner(brush);
  owner.reset(brush);
  EXPECT_EQ(owner.get(), brush);
  EXPECT_EQ(::GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  event.reset(event.get());
  EXPECT_TRUE(::SetEvent(event.get()));
  EXPECT_TRUE(event.Close());  // released once, at the end
}

TEST(UniqueHandle, CloseReportsAReleaseThePlatformRefuses) {
  const HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  UniquePen owner(pen);
  UniquePen(pen).reset();  // someone else already let it go
  EXPECT_FALSE(owner.Close());
}

TEST(UniqueHandle, FileHandlesAreEmptyAsTheInvalidValue) {
  UniqueFile none(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(none);
  UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const HANDLE raw = event.get();
  event.reset();
  EXPECT_FALSE(::SetEvent(raw));
}

TEST(CheckedSelection, AFailedSelectionThrowsAndAGoodOneIsUndone) {
  const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  const UniqueBitmap bitmap(::CreateBitmap(4, 4, 1, 1, nullptr));
  const HGDIOBJ before = ::GetCurrentObject(dc.get(), OBJ_BITMAP);
  {
    const CheckedSelection selected(dc.get(), bitmap.get());
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
  }
  EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), before);
  EXPECT_THROW(CheckedSelection(dc.get(), reinterpret_cast<HGDIOBJ>(0x123456)), EOutOfResources);
}

TEST(OutOfResources, CarriesThePlatformsTextTrimmedOrTheFixedOne) {
  const auto refused = [](DWORD code) {
    return testing::ErrorOf<EOutOfResources>([&] {
      ::SetLastError(code);
      ThrowOutOfResources();
    });
  };
  const std::wstring text = refused(ERROR_NOT_ENOUGH_MEMORY);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text, L"Out of system resources");
  EXPECT_GT(text.back(), L' ') << "a line break or blank is left at the end";
  EXPECT_NE(text.back(), L'.');
  EXPECT_EQ(text.find(L'\n'), std::wstring::npos);
  EXPECT_EQ(refused(0), L"Out of system resources");
}

TEST(ComOwners, TheDesktopFolderAndItsIdentifierList) {
  const ComApartment apartment;
  ComPtr<IShellFolder> desktop;
  ASSERT_EQ(::SHGetDesktopFolder(&desktop), S_OK);
  PIDLIST_ABSOLUTE raw = nullptr;
  ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &raw), S_OK);
  UniqueAbsoluteID list = Adopt(raw);
  EXPECT_EQ(::ILGetSize(list.get()), 2u);  // the desktop is the empty list
  UniqueAbsoluteID moved(std::move(list));
  EXPECT_FALSE(list);
  EXPECT_TRUE(moved);
}

}  // namespace
}  // namespace snapvik
