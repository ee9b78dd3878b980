#include "capture/screen_capture.h"

#include <climits>

#include "capture/screenshot_names.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

int32_t ScreenCounter = 0;

namespace {

// The largest number is never a file's: the counter after it could not be held.
[[noreturn]] void ThrowNoNumberLeft(const std::wstring& directory) {
  ThrowCreateError(ScreenshotName(directory, INT32_MAX), ERROR_NO_MORE_FILES);
}

}  // namespace

int PrimaryScreen::Depth() const {
  const WindowDc screen(nullptr);
  return screen ? ::GetDeviceCaps(screen.get(), BITSPIXEL) * ::GetDeviceCaps(screen.get(), PLANES) : 0;
}

void ThrowScreenCopyError(DWORD code) {
  const std::wstring reason = code != 0 ? SystemErrorText(code) : std::wstring();
  throw EOSError(reason.empty() ? L"Cannot copy the screen" : L"Cannot copy the screen. " + reason);
}

int32_t SaveScreenshot(TBitmap& image, const std::wstring& directory, int32_t firstNumber) {
  if (firstNumber == INT32_MAX) ThrowNoNumberLeft(directory);
  FileBeside file(ScreenshotName(directory, firstNumber));
  image.SaveToStream(file);
  for (int32_t number = firstNumber; number < INT32_MAX; ++number)
    if (file.MoveTo(ScreenshotName(directory, number), FileBeside::IfTaken::Keep)) return number;
  ThrowNoNumberLeft(directory);
}

}  // namespace snapvik
