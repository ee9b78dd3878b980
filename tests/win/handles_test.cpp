// The owners of platform resources.
#include "common/handles.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "common/com.h"
#include "common/errors.h"

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

TEST(ComOwners, TheDesktopFolderAndItsIdentifierList) {
  const ComApartment apartment;
  ComPtr<IShellFolder> desktop;
  ASSERT_EQ(::SHGetDesktopFolder(&desktop), S_OK);
  PIDLIST_ABSOLUTE raw = nullptr;
  ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &raw), S_OK);
  UniqueIdList list(raw);
  EXPECT_EQ(::ILGetSize(list.get()), 2u);  // the desktop is the empty list
  UniqueIdList moved(std::move(list));
  EXPECT_FALSE(list);
  EXPECT_TRUE(moved);
}

}  // namespace
}  // namespace snapvik
