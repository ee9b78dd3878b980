#pragma once
// The capture: the primary screen into an image, the image into the next free numbered file.
#include <windows.h>

#include <cstdint>
#include <memory>
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
  // Bits per pixel; 0 when the platform gives no context.
  int Depth() const;
  WindowDc TakeContext() const { return WindowDc(nullptr); }
};

// The image the captures copy into, kept from one capture to the next: the
// system hands out a screenful of new memory page by page, and touching it
// all again at every press cost about a third of a capture. It costs one
// screenful of memory while the program waits. A screen of another size or
// depth gets a new image.
class TKeptImage {
 public:
  template <typename Screen>
  TBitmap& For(const Screen& screen) {
    const int width = screen.Width(), height = screen.Height(), depth = screen.Depth();
    if (!image_ || image_->Width() != width || image_->Height() != height || depth_ != depth) {
      image_.reset();  // the old screenful goes before the new one is made
      image_ = std::make_unique<TBitmap>();
      depth_ = depth;
    }
    return *image_;
  }
  // Gives the memory back; the next capture makes a new image.
  void Release() noexcept { image_.reset(); }

 private:
  std::unique_ptr<TBitmap> image_;
  int depth_ = 0;
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
