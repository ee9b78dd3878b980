#pragma once
// Making pixel storage for an image: screen-compatible storage filled white,
// or the device-independent copy that the file is written from.
#include <windows.h>

#include "capture/bitmap.h"

namespace snapvik {

// How new screen-compatible storage is made white: with the drawing
// surface's brush and colours (the image has a surface), or with WHITENESS;
// or not at all, for storage that a copy is about to cover whole.
enum class StorageFill { SurfaceBrush, Whiteness, None };

// New storage for the size in `description` (none for a width or height of
// 0), holding the top-left part of `oldStorage`; the description is
// refreshed from it. A header size of 40 or more asks for the copy instead.
// Given `independent`, storage for a display of more than 8 bits per pixel
// is device-independent, in the layout the file holds (and true is handed
// out there), so that a copy from the screen converts as it lands.
UniqueStorage BuildStorage(HBITMAP oldStorage, HPALETTE oldPalette, HPALETTE newPalette, StorageFill fill,
                           DIBSECTION& description, bool* independent = nullptr);

// A palette with the same entries, or none for none.
UniquePalette CopyPalette(HPALETTE palette);

// A palette from the colour table of a device-independent copy of 8 bits or fewer.
UniquePalette PaletteFromColorTable(HBITMAP copy);

}  // namespace snapvik
