#include "capture/screen_capture.h"

#include <climits>

#include "capture/screenshot_names.h"
#include "common/atomic_file.h"
#include "common/win_error.h"

namespace snapvik {

int32_t ScreenCounter = 0;

int32_t SaveScreenshot(TBitmap& image, const std::wstring& directory, int32_t firstNumber) {
  FileBeside file(ScreenshotName(directory, firstNumber));
  image.SaveToStream(file);
  for (int32_t number = firstNumber;; ++number) {
    const std::wstring name = ScreenshotName(directory, number);
    if (file.MoveTo(name, FileBeside::IfTaken::Keep)) return number;
    if (number == INT32_MAX) ThrowCreateError(name, ERROR_FILE_EXISTS);
  }
}

}  // namespace snapvik
