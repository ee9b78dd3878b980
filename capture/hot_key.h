#pragma once
// The one global key combination, registered for the main window.
#include <windows.h>

#include <cstdint>
#include <string_view>

#include "capture/hot_key_logic.h"

namespace snapvik {

// The identifier (and key code) of the last registration attempt; -1 before any.
extern int32_t HotKeyId;

// Releases the previous combination, then registers the key field's first
// character with the boxes' modifiers. A refused registration is reported.
void ArmHotKey(HWND window, std::wstring_view keyField, const ModifierBoxes& boxes);

// Releases the combination if one was ever asked for.
void ReleaseHotKey(HWND window);

}  // namespace snapvik
