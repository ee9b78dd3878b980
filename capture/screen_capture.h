#pragma once
// The capture: the primary screen into an image, the image into the next free numbered file.
#include <windows.h>

#include <cstdint>
#include <string>

#include "capture/bitmap.h"
#include "capture/screen_bands.h"
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
// The copy goes band by band: the platform's transfer of one band is a
// small temporary, where the whole screen at once would hold two more
// full-screen stores beside the image. A refused copy throws, so that no
// file is written from an image that holds no screen.
template <typename Screen>
auto CopyScreen(TBitmap& image, const Screen& screen) {
  image.SetHeight(screen.Height());
  image.SetWidth(screen.Width());
  auto context = screen.TakeContext();
  CheckResource(context.get());
  const int width = screen.Width();
  const HDC target = image.Canvas().Handle();
  for (const ScreenBand& band : ScreenBands(width, screen.Height()))
    if (!::BitBlt(target, 0, band.top, width, band.rows, context.get(), 0, band.top, SRCCOPY))
      ThrowScreenCopyError(::GetLastError());
  return context;
}

// Writes the image beside its final name, then moves it to the first name
// from `firstNumber` on that no file holds; returns the number it took,
// always below INT32_MAX, so that one more is a number too. When no such
// name is left, throws EFCreateError and leaves nothing behind.
int32_t SaveScreenshot(TBitmap& image, const std::wstring& directory, int32_t firstNumber);

}  // namespace snapvik
