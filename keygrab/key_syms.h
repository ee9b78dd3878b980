#pragma once
// Which X key symbol names the key of a Windows virtual-key code.
#include <cstdint>

namespace snapvik::keygrab {

// The key symbol (X11/keysymdef.h) of the key a virtual-key code names, as
// Wine maps its keyboard; 0 when no X key stands for it (mouse buttons,
// unassigned codes, the lock keys).
unsigned long KeySymOf(int32_t virtualKey);

// The XKB name of the key at the place of a letter or digit code on a US
// keyboard ("AC02" for S), which a layout without Latin letters keeps; empty
// for other codes. Windows gives those codes by that place there.
const char* UsPlaceOf(int32_t virtualKey);

// Whether no keyboard gives the code on Windows: the codes left unassigned or
// reserved (":" to "@", "^", ...) and Print ("*"), which no keyboard made
// today has.
bool OnNoKeyboard(int32_t virtualKey);

}  // namespace snapvik::keygrab
