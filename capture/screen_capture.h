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

// The first steps of a capture, in their order: the image sized to the
// screen (height, then width), the screen's context taken, the screen
// copied into the image. The context is the caller's to hold until the end.
// The copy goes band by band: the platform's transfer of one band is a
// small temporary, where the whole screen at once would hold two more
// full-screen stores beside the image.
template <typename Screen>
WindowDc CopyScreen(TBitmap& image, const Screen& screen) {
  image.SetHeight(screen.Height());
  image.SetWidth(screen.Width());
  WindowDc context = screen.TakeContext();
  CheckResource(context.get());
  const int width = screen.Width();
  const HDC target = image.Canvas().Handle();
  for (const ScreenBand& band : ScreenBands(width, screen.Height()))
    ::BitBlt(target, 0, band.top, width, band.rows, context.get(), 0, band.top, SRCCOPY);
  return context;
}

// Writes the image beside its final name, then moves it to the first name
// from `firstNumber` on that no file holds; returns the number it took.
int32_t SaveScreenshot(TBitmap& image, const std::wstring& directory, int32_t firstNumber);

}  // namespace snapvik
