#include "capture/bitmap.h"

#include <algorithm>
#include <vector>

#include "capture/bitmap_storage.h"
#include "capture/bmp_layout.h"
#include "common/errors.h"
#include "common/file_stream.h"
#include "common/win_error.h"

namespace snapvik {

namespace {

// The drawing surfaces whose context is open.
std::vector<TBitmapCanvas*> g_openSurfaces;

bmp::InfoHeader ToInfoHeader(const BITMAPINFOHEADER& h) {
  return {h.biSize,   h.biWidth,         h.biHeight,        h.biPlanes, h.biBitCount,   h.biCompression,
          h.biSizeImage, h.biXPelsPerMeter, h.biYPelsPerMeter, h.biClrUsed, h.biClrImportant};
}

}  // namespace

void CloseSurfacesHolding(HBITMAP storage) {
  if (!storage) return;
  for (size_t i = g_openSurfaces.size(); i-- > 0;) {
    if (i >= g_openSurfaces.size()) continue;
    TBitmapCanvas* surface = g_openSurfaces[i];
    if (surface->FBitmap->FImage && surface->FBitmap->FImage->FHandle.get() == storage) surface->FreeContext();
  }
}

size_t OpenSurfaceCount() { return g_openSurfaces.size(); }

void TGraphic::SaveToFile(const std::wstring& Filename) {
  TFileStream stream(Filename);
  SaveToStream(stream);
}

TBitmapImage::~TBitmapImage() {
  FDIBHandle.reset();
  FHandle.reset();
  FPalette.reset();
}

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

HDC TBitmapCanvas::Handle() {
  FBitmap->Changing();
  if (!FHandle) CreateHandle();
  // The surface's own font, pen and brush; none of them touches a plain copy.
  const HDC dc = FHandle.get();
  ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
  ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
  ::SetROP2(dc, R2_COPYPEN);
  ::SelectObject(dc, ::GetStockObject(WHITE_BRUSH));
  ::SetBkColor(dc, RGB(255, 255, 255));
  ::SetBkMode(dc, OPAQUE);
  return dc;
}

void TBitmapCanvas::CreateHandle() {
  TBitmapImage& image = *FBitmap->FImage;
  CloseSurfacesHolding(image.FHandle.get());
  if (image.FDIBHandle && image.FDIB.dsBmih.biBitCount <= 8 && !image.FPalette)
    image.FPalette = PaletteFromColorTable(image.FDIBHandle.get());
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) throw EInvalidOperation(L"Canvas does not allow drawing");
  FOldBitmap = image.FHandle ? ::SelectObject(dc.get(), image.FHandle.get()) : nullptr;
  FOldPalette = nullptr;
  if (image.FPalette) {
    FOldPalette = ::SelectPalette(dc.get(), image.FPalette.get(), TRUE);
    ::RealizePalette(dc.get());
  }
  FHandle = std::move(dc);
  g_openSurfaces.push_back(this);
}

void TBitmapCanvas::FreeContext() {
  if (!FHandle) return;
  const HDC dc = FHandle.get();
  if (FOldBitmap) ::SelectObject(dc, FOldBitmap);
  if (FOldPalette) ::SelectPalette(dc, FOldPalette, TRUE);
  ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
  ::SelectObject(dc, ::GetStockObject(WHITE_BRUSH));
  ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
  FHandle.reset();
  FOldBitmap = nullptr;
  FOldPalette = nullptr;
  g_openSurfaces.erase(std::remove(g_openSurfaces.begin(), g_openSurfaces.end(), this), g_openSurfaces.end());
}

TBitmap::TBitmap() : FImage(std::make_unique<TBitmapImage>()) {}

TBitmap::~TBitmap() {
  if (FCanvas) FCanvas->FreeContext();
  FImage.reset();
  FCanvas.reset();
}

void TBitmap::SetHeight(int32_t value) { SetSize(Width(), value); }
void TBitmap::SetWidth(int32_t value) { SetSize(value, Height()); }

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) { Resize(AWidth, AHeight, true); }
void TBitmap::SetWidthToBeCovered(int32_t value) { Resize(value, Height(), false); }

void TBitmap::Resize(int32_t AWidth, int32_t AHeight, bool fill) {
  if (AWidth == FImage->FDIB.dsBm.bmWidth && AHeight == FImage->FDIB.dsBm.bmHeight) return;
  DIBSECTION description = FImage->FDIB;
  description.dsBm.bmWidth = description.dsBmih.biWidth = AWidth;
  description.dsBm.bmHeight = description.dsBmih.biHeight = AHeight;
  if (FCanvas) FCanvas->FreeContext();
  auto next = std::make_unique<TBitmapImage>();
  next->FPalette = CopyPalette(FImage->FPalette.get());
  const StorageFill how = !fill ? StorageFill::None : FCanvas ? StorageFill::SurfaceBrush : StorageFill::Whiteness;
  next->FHandle = BuildStorage(FImage->FHandle.get(), FImage->FPalette.get(), next->FPalette.get(), how, description,
                               &next->FStorageIndependent);
  next->FDIB = description;
  FImage = std::move(next);  // the old record goes, with its storage
}

TBitmapCanvas& TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TBitmapCanvas>(this);
  return *FCanvas;
}

void TBitmap::Changing() {
  TBitmapImage& image = *FImage;
  if (!image.FDIBHandle.Close()) ThrowOutOfResources();
  image.FDIB.dsBmih.biClrUsed = 0;
  image.FDIB.dsBmih.biClrImportant = 0;
}

void TBitmap::EnsureIndependentCopy() {
  TBitmapImage& image = *FImage;
  if (!image.FHandle || image.FDIBHandle) return;
  DIBSECTION& d = image.FDIB;
  if (d.dsBmih.biSize == 0) {
    ::GetObjectW(image.FHandle.get(), sizeof d, &d);
    d.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
    d.dsBmih.biWidth = d.dsBm.bmWidth;
    d.dsBmih.biHeight = d.dsBm.bmHeight;
    d.dsBmih.biPlanes = 1;
    d.dsBmih.biBitCount = static_cast<WORD>(d.dsBm.bmPlanes * d.dsBm.bmBitsPixel);
  }
  if (image.FStorageIndependent) {
    // The storage already holds the file's layout: it is its own copy, with
    // the pixels the screen copy put there. Nothing is converted or stored twice.
    CloseSurfacesHolding(image.FHandle.get());
    ::GdiFlush();
    image.FDIBHandle.Share(image.FHandle.get());
    ::GetObjectW(image.FHandle.get(), sizeof d, &d);
    d.dsBmih.biCompression = BI_RGB;  // as made, whatever the platform reports
    return;
  }
  image.FDIBHandle = BuildStorage(image.FHandle.get(), nullptr, nullptr, StorageFill::Whiteness, d);
}

void TBitmap::SaveToStream(TStream& Stream) {
  EnsureIndependentCopy();
  TBitmapImage& image = *FImage;
  if (!image.FDIBHandle) return;

  RGBQUAD table[256] = {};
  UINT colours = 0;
  if (image.FDIB.dsBmih.biBitCount <= 8) {
    TBitmapCanvas& canvas = Canvas();
    if (!canvas.FHandle) canvas.CreateHandle();
    const CheckedSelection copy(canvas.FHandle.get(), image.FDIBHandle.get());
    colours = ::GetDIBColorTable(canvas.FHandle.get(), 0, 256, table);
  }
  BITMAPINFOHEADER& header = image.FDIB.dsBmih;
  if (header.biClrUsed != 0 && header.biClrUsed < colours) colours = header.biClrUsed;
  if (colours != 0 && header.biClrUsed != colours) header.biClrUsed = colours;
  bmp::WriteFile(Stream, ToInfoHeader(header), table, colours, reinterpret_cast<const uint32_t*>(image.FDIB.dsBitfields),
                 image.FDIB.dsBm.bmBits);
}

}  // namespace snapvik
