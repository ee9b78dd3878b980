#pragma once
// The off-screen image of one capture and its bitmap-file writer.
//
// An image, its drawing surface and the list of open surfaces belong to the
// one thread that makes, draws, saves and frees images (the user-interface
// thread), so none of them takes a lock.
#include <windows.h>

#include <memory>
#include <string>

#include "common/handles.h"
#include "common/stream.h"

namespace snapvik {

class TBitmap;

// Closes every open drawing context that holds `storage`.
void CloseSurfacesHolding(HBITMAP storage);

namespace release {
// Pixel storage goes only after every context that holds it is closed.
inline bool Storage(HBITMAP storage) noexcept {
  CloseSurfacesHolding(storage);
  return ::DeleteObject(storage) != FALSE;
}
}  // namespace release

using UniqueStorage = UniqueHandle<HandleTraits<HBITMAP, &release::Storage>>;

// The general picture: SaveToFile is written once, through SaveToStream.
class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual void SetHeight(int32_t value) = 0;
  virtual void SetWidth(int32_t value) = 0;
  void SaveToFile(const std::wstring& Filename);
  virtual void SaveToStream(TStream& Stream) = 0;
  virtual void SetSize(int32_t AWidth, int32_t AHeight) = 0;
};

// The device-independent copy the file is written from: a bitmap of its
// own, or the storage itself when that already holds the file's layout.
class TIndependentCopy {
 public:
  HBITMAP get() const noexcept { return own_ ? own_.get() : shared_; }
  explicit operator bool() const noexcept { return get() != nullptr; }
  TIndependentCopy& operator=(UniqueStorage own) noexcept {
    own_ = std::move(own);
    shared_ = nullptr;
    return *this;
  }
  // The storage serves as the copy; it stays the storage's to free.
  void Share(HBITMAP storage) noexcept {
    own_.reset();
    shared_ = storage;
  }
  // Gives the copy up; false when the platform refused to delete one of its own.
  bool Close() noexcept {
    shared_ = nullptr;
    return own_.Close();
  }
  void reset() noexcept { Close(); }

 private:
  UniqueStorage own_;
  HBITMAP shared_ = nullptr;
};

// The pixel storage, its palette, the device-independent copy and the description.
struct TBitmapImage {
  UniqueStorage FHandle;
  UniquePalette FPalette;
  TIndependentCopy FDIBHandle;
  DIBSECTION FDIB{};
  // Above 8 bits per pixel the storage is made device-independent in the
  // file's layout: the screen converts into it as it is copied, and it
  // serves as its own copy.
  bool FStorageIndependent = false;

  TBitmapImage() = default;
  TBitmapImage(const TBitmapImage&) = delete;
  TBitmapImage& operator=(const TBitmapImage&) = delete;
  ~TBitmapImage();  // the copy, the storage, then the palette that contexts on them held
};

// The drawing surface: a memory context with the image's storage selected.
class TBitmapCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* bitmap) : FBitmap(bitmap) {}
  ~TBitmapCanvas();
  TBitmapCanvas(const TBitmapCanvas&) = delete;
  TBitmapCanvas& operator=(const TBitmapCanvas&) = delete;

  // Announces a change to the image, then the context, made on first use.
  HDC Handle();
  bool HandleAllocated() const { return static_cast<bool>(FHandle); }

 private:
  friend class TBitmap;
  friend void CloseSurfacesHolding(HBITMAP storage);
  void CreateHandle();
  void FreeContext();

  TBitmap* FBitmap;
  UniqueMemoryDc FHandle;
  HGDIOBJ FOldBitmap = nullptr;
  HPALETTE FOldPalette = nullptr;
};

class TBitmap final : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int32_t Width() const { return FImage->FDIB.dsBm.bmWidth; }
  int32_t Height() const { return FImage->FDIB.dsBm.bmHeight; }
  void SetHeight(int32_t value) override;
  void SetWidth(int32_t value) override;
  void SetSize(int32_t AWidth, int32_t AHeight) override;
  // As SetWidth, for an image whose every pixel is drawn over next: new
  // storage is left as the system hands it out instead of filled white, so
  // its memory is first touched by the drawing that covers it.
  void SetWidthToBeCovered(int32_t value);
  void SaveToStream(TStream& Stream) override;
  TBitmapCanvas& Canvas();

  // The device-independent copy the writer needs; made before the file is
  // touched, and on its own for measuring the conversion.
  void EnsureIndependentCopy();

  const TBitmapImage& Image() const { return *FImage; }

 private:
  friend class TBitmapCanvas;
  friend void CloseSurfacesHolding(HBITMAP storage);
  void Changing();
  void Resize(int32_t AWidth, int32_t AHeight, bool fill);

  std::unique_ptr<TBitmapImage> FImage;
  std::unique_ptr<TBitmapCanvas> FCanvas;
};

// How many drawing contexts are open; for checks that nothing is left behind.
size_t OpenSurfaceCount();

}  // namespace snapvik
