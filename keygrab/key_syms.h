#pragma once
// Which X key symbol names the key of a Windows virtual-key code.
#include <cstdint>

namespace snapvik::keygrab {

// The key symbol (X11/keysymdef.h) of the key a virtual-key code names, as
// Wine maps its keyboard; 0 when no X key stands for it (mouse buttons,
// unassigned codes, the lock keys).
unsigned long KeySymOf(int32_t virtualKey);

}  // namespace snapvik::keygrab
