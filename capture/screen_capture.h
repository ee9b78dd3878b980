#pragma once
// The capture: the primary screen into an image, the image into the next free numbered file.
#include <windows.h>

#include <cstdint>
#include <string>

#include "capture/bitmap.h"

namespace snapvik {

// The number in the next screenshot file name; 0 at every start.
extern int32_t ScreenCounter;

// Sizes `image` to the primary screen (height first) and copies the screen
// from `screen`, the whole screen's context, into it.
void CopyPrimaryScreen(TBitmap& image, HDC screen);

// Writes the image beside its final name, then moves it to the first name
// from `firstNumber` on that no file holds; returns the number it took.
int32_t SaveScreenshot(TBitmap& image, const std::wstring& directory, int32_t firstNumber);

}  // namespace snapvik
