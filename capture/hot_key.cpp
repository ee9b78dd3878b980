#include "capture/hot_key.h"

#include "common/errors.h"
#include "common/win_error.h"

namespace snapvik {

int32_t HotKeyId = -1;

void ReleaseHotKey(HotKeyRegistration& registration, TKeyGrab* grab) {
  if (grab) grab->Release();
  registration.reset();
}

void ArmHotKey(HotKeyRegistration& registration, HWND window, std::wstring_view keyField,
               const ModifierBoxes& boxes, TKeyGrab* grab) {
  ReleaseHotKey(registration, grab);
  const std::optional<int32_t> code = KeyCodeOf(keyField);
  if (!code) throw EInvalidOperation(L"The hot-key field is empty");
  HotKeyId = *code;
  if (!IsVirtualKey(HotKeyId))
    throw EOSError(L"Cannot register hot key. \"" + std::wstring(keyField.substr(0, 1)) +
                   L"\" is not a key of the keyboard; type the key's Latin capital letter or digit");
  const bool granted = ::RegisterHotKey(window, HotKeyId, ModifierMask(boxes), static_cast<UINT>(HotKeyId));
  const DWORD error = ::GetLastError();
  registration.reset({window, HotKeyId});
  if (!granted) throw EOSError(L"Cannot register hot key. " + SystemErrorText(error));
  if (!grab) return;
  try {
    grab->Grab(window, HotKeyId, ModifierMask(boxes));
  } catch (...) {
    registration.reset();
    throw;
  }
}

}  // namespace snapvik
