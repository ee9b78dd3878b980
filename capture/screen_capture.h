#pragma once
// The capture: the primary screen into an image, the image into the next free numbered file.
#include <windows.h>

#include <cstdint>
#include <string>

#include "capture/bitmap.h"
#include "common/handles.h"
#include "common/win_error.h"

namespace snapvik {

// The number in the next screenshot file name; 0 at every start.
extern int32_t ScreenCounter;

// The primary display: its size as the platform reports it, and the whole screen's context.
struct PrimaryScreen {
  int Width() const { return ::GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return ::GetSystemMetrics(SM_CYSCREEN); }
  WindowDc TakeContext() const { return WindowDc(nullptr); }
};

// A copy of the screen that the platform refused (while a secure desktop is
// shown, say): EOSError "Cannot copy the screen", with the platform's text
// for `code` when there is one.
[[noreturn]] void ThrowScreenCopyError(DWORD code);

// The first steps of a capture, in their order: the image sized to the
// screen (height, then width), the screen's context taken, the screen
// copied into the image. The context is the caller's to hold until the end.
// The copy is one request, so the picture is one moment of the screen: the
// display serves a request whole, and a copy in parts would stitch several
// moments together. A refused copy throws, so that no file is written from
// an image that holds no screen.
template <typename Screen>
auto CopyScreen(TBitmap& image, const Screen& screen) {
  image.SetHeight(screen.Height());
  // Not filled white first: the platform's own transfer buffers come and go
  // before the image's memory is touched, so the three never add up.
  image.SetWidthToBeCovered(screen.Width());
  auto context = screen.TakeContext();
  CheckResource(context.get());
  const HDC target = image.Canvas().Handle();
  if (!::BitBlt(target, 0, 0, screen.Width(), screen.Height(), context.get(), 0, 0, SRCCOPY))
    ThrowScreenCopyError(::GetLastError());
  return context;
}

// Writes the image beside its final name, then moves it to the first name
// from `firstNumber` on that no file holds; returns the number it took,
// always below INT32_MAX, so that one more is a number too. When no such
// name is left, throws EFCreateError and leaves nothing behind.
int32_t SaveScreenshot(TBitmap& image, const std::wstring& directory, int32_t firstNumber);

}  // namespace snapvik
