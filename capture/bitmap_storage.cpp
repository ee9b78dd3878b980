#include "capture/bitmap_storage.h"

#include <cstdlib>
#include <vector>

#include "capture/bitmap.h"
#include "common/errors.h"
#include "common/handles.h"
#include "common/win_error.h"

namespace snapvik {

namespace {

constexpr size_t kHeaderBlockSize = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 4;  // 1068 bytes

void CheckOldStorage(HBITMAP oldStorage) {
  if (!oldStorage) return;
  DIBSECTION scratch{};
  if (::GetObjectW(oldStorage, sizeof scratch, &scratch) < static_cast<int>(sizeof(BITMAP)))
    throw EInvalidGraphic(L"Bitmap image is not valid");
}

UniqueStorage BuildIndependentCopy(HBITMAP storage, HDC screen, HDC memory, DIBSECTION& d) {
  std::vector<unsigned char> block(kHeaderBlockSize);
  auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
  d.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
  d.dsBmih.biPlanes = 1;
  info->bmiHeader = d.dsBmih;
  d.dsBm.bmWidth = d.dsBmih.biWidth;
  d.dsBm.bmHeight = d.dsBmih.biHeight;
  const int rows = std::abs(d.dsBmih.biHeight);
  const WORD bits = d.dsBmih.biBitCount;

  if (bits == 1) {
    info->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
    info->bmiColors[1] = RGBQUAD{255, 255, 255, 0};
  } else if (bits <= 8) {
    CheckedSelection selected(memory, storage);
    ::GetDIBits(memory, storage, 0, rows, nullptr, info, DIB_RGB_COLORS);
  }

  void* pixels = nullptr;
  UniqueStorage copy(::CreateDIBSection(screen, info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (!copy || !pixels) ThrowOutOfResources();

  BITMAP source{};
  ::GetObjectW(storage, sizeof source, &source);
  if (bits > 8 && source.bmWidth == d.dsBmih.biWidth && source.bmHeight == d.dsBmih.biHeight) {
    ::GetDIBits(memory, storage, 0, rows, pixels, info, DIB_RGB_COLORS);
  } else {
    CheckedSelection target(memory, copy.get());
    ::PatBlt(memory, 0, 0, d.dsBmih.biWidth, rows, WHITENESS);
    UniqueMemoryDc second(CheckResource(::CreateCompatibleDC(screen)));
    CheckedSelection from(second.get(), storage);
    ::BitBlt(memory, 0, 0, d.dsBmih.biWidth, rows, second.get(), 0, 0, SRCCOPY);
  }
  ::GetObjectW(copy.get(), sizeof d, &d);
  // Some platforms describe a 16- or 32-bit copy made without masks as one
  // with masks; its pixels are laid out as it was made, so say that.
  d.dsBmih.biCompression = info->bmiHeader.biCompression;
  return copy;
}

// Device-independent storage of the display's depth, rows bottom up, no masks: the file's own layout.
UniqueStorage IndependentStorage(HDC screen, int width, int height, int bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(bits);
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  UniqueStorage storage(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (!storage || !pixels) ThrowOutOfResources();
  return storage;
}

}  // namespace

UniqueStorage BuildStorage(HBITMAP oldStorage, HPALETTE oldPalette, HPALETTE newPalette, StorageFill fill,
                           DIBSECTION& d, bool* independent) {
  const BITMAPINFOHEADER& header = d.dsBmih;
  if ((header.biSize != 0 && (header.biWidth == 0 || header.biHeight == 0)) ||
      (header.biSize == 0 && (d.dsBm.bmWidth == 0 || d.dsBm.bmHeight == 0)))
    return UniqueStorage();

  CloseSurfacesHolding(oldStorage);
  CheckOldStorage(oldStorage);
  WindowDc screen(nullptr);
  CheckResource(screen.get());
  UniqueMemoryDc memory(CheckResource(::CreateCompatibleDC(screen.get())));
  if (header.biSize >= sizeof(BITMAPINFOHEADER)) return BuildIndependentCopy(oldStorage, screen.get(), memory.get(), d);

  const int width = d.dsBm.bmWidth;
  const int height = d.dsBm.bmHeight;
  const int depth = ::GetDeviceCaps(screen.get(), BITSPIXEL) * ::GetDeviceCaps(screen.get(), PLANES);
  UniqueStorage storage;
  const bool monochrome = (d.dsBm.bmPlanes | d.dsBm.bmBitsPixel) == 1;
  if (monochrome) {
    storage.reset(::CreateBitmap(width, height, 1, 1, nullptr));
  } else if (independent && depth > 8) {
    storage = IndependentStorage(screen.get(), width, height, depth);
    *independent = true;
  } else {
    storage.reset(::CreateCompatibleBitmap(screen.get(), width, height));
  }
  CheckResource(storage.get());
  {
    CheckedSelection selected(memory.get(), storage.get());
    SelectedPalette palette(memory.get(), newPalette, FALSE);
    if (fill == StorageFill::SurfaceBrush) {
      // The surface's white brush, its font's colour for text.
      const RECT all{0, 0, width, height};
      ::SetTextColor(memory.get(), ::GetSysColor(COLOR_WINDOWTEXT));
      ::SetBkColor(memory.get(), RGB(255, 255, 255));
      ::FillRect(memory.get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    } else if (fill == StorageFill::Whiteness) {
      ::PatBlt(memory.get(), 0, 0, width, height, WHITENESS);
    }
    if (oldStorage) {
      UniqueMemoryDc second(CheckResource(::CreateCompatibleDC(screen.get())));
      CheckedSelection from(second.get(), oldStorage);
      SelectedPalette fromPalette(second.get(), oldPalette, FALSE);
      ::BitBlt(memory.get(), 0, 0, width, height, second.get(), 0, 0, SRCCOPY);
    }
  }
  // Described as screen storage, whatever it is: no header yet, no pixel address.
  ::GetObjectW(storage.get(), sizeof(BITMAP), &d.dsBm);
  d.dsBm.bmBits = nullptr;
  return storage;
}

UniquePalette CopyPalette(HPALETTE palette) {
  if (!palette) return UniquePalette();
  WORD count = 0;
  ::GetObjectW(palette, sizeof count, &count);
  std::vector<unsigned char> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * (count ? count : 1));
  auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = count;
  ::GetPaletteEntries(palette, 0, count, logical->palPalEntry);
  return UniquePalette(CheckResource(::CreatePalette(logical)));
}

UniquePalette PaletteFromColorTable(HBITMAP copy) {
  UniqueMemoryDc dc(CheckResource(::CreateCompatibleDC(nullptr)));
  RGBQUAD table[256];
  UINT count = 0;
  {
    CheckedSelection selected(dc.get(), copy);
    count = ::GetDIBColorTable(dc.get(), 0, 256, table);
  }
  if (count == 0) return UniquePalette();
  std::vector<unsigned char> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * count);
  auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = static_cast<WORD>(count);
  for (UINT i = 0; i < count; ++i)
    logical->palPalEntry[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
  return UniquePalette(CheckResource(::CreatePalette(logical)));
}

}  // namespace snapvik
