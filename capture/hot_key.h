#pragma once
// The one global key combination, registered for the main window.
#include <windows.h>

#include <cstdint>
#include <string_view>

#include "capture/hot_key_grab.h"
#include "capture/hot_key_logic.h"
#include "common/handles.h"

namespace snapvik {

// The identifier (and key code) of the last registration attempt; -1 before any.
extern int32_t HotKeyId;

// The window and identifier of the last registration attempt, released
// (whether or not the platform granted it) when the owner lets go.
struct HotKeyAttempt {
  HWND window;
  int32_t id;
  bool operator==(const HotKeyAttempt&) const = default;
};

namespace release {
inline bool HotKey(HotKeyAttempt attempt) noexcept { return ::UnregisterHotKey(attempt.window, attempt.id) != FALSE; }
}  // namespace release

using HotKeyRegistration = UniqueHandle<HandleTraits<HotKeyAttempt, &release::HotKey>>;

// Releases the previous combination, then registers the key field's first
// character with the boxes' modifiers for `window`, and under Wine grabs it on
// the X display through `grab` as well. A refused registration or grab is
// reported, with neither left in place.
void ArmHotKey(HotKeyRegistration& registration, HWND window, std::wstring_view keyField,
               const ModifierBoxes& boxes, TKeyGrab* grab = nullptr);

// Releases the combination if one was ever asked for, and its grab.
void ReleaseHotKey(HotKeyRegistration& registration, TKeyGrab* grab = nullptr);

}  // namespace snapvik
