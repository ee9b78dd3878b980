#include "capture/hot_key.h"

#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

int32_t HotKeyId = -1;

void ReleaseHotKey(HWND window) {
  if (HotKeyId != -1) ::UnregisterHotKey(window, HotKeyId);
}

void ArmHotKey(HWND window, std::wstring_view keyField, const ModifierBoxes& boxes) {
  ReleaseHotKey(window);
  const std::optional<int32_t> code = KeyCodeOf(keyField);
  if (!code) throw EInvalidOperation(L"The hot-key field is empty");
  HotKeyId = *code;
  if (!::RegisterHotKey(window, HotKeyId, ModifierMask(boxes), static_cast<UINT>(HotKeyId)))
    throw EOSError(L"Cannot register hot key. " + SystemErrorText(::GetLastError()));
}

}  // namespace snapvik
