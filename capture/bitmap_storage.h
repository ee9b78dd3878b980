#pragma once
// Making pixel storage for an image: screen-compatible storage filled white,
// or the device-independent copy that the file is written from.
#include <windows.h>

namespace snapvik {

class TBitmapCanvas;

// New storage for the size in `description` (none for a width or height of
// 0), holding the top-left part of `oldStorage`; the description is
// refreshed from it. A header size of 40 or more asks for the copy instead.
HBITMAP BuildStorage(HBITMAP oldStorage, HPALETTE oldPalette, HPALETTE newPalette, bool filledBySurface,
                     DIBSECTION& description);

// A palette with the same entries, or none for none.
HPALETTE CopyPalette(HPALETTE palette);

// A palette from the colour table of a device-independent copy of 8 bits or fewer.
HPALETTE PaletteFromColorTable(HBITMAP copy);

}  // namespace snapvik
