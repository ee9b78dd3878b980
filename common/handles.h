#pragma once
// One move-only owner for every kind of platform resource, with a one-line
// alias per kind, and carriers that keep what their release needs.
#include <windows.h>

#include <utility>

#include "common/win_error.h"

namespace snapvik {

// What an owner holds when it holds nothing.
struct EmptyIsZero {
  template <typename T>
  static T Value() noexcept {
    return T{};
  }
};
struct EmptyIsInvalidHandle {
  template <typename T>
  static T Value() noexcept {
    return INVALID_HANDLE_VALUE;
  }
};

// `Release(value)` gives the resource back and says whether the platform agreed.
template <typename T, auto Release, typename Empty = EmptyIsZero>
struct HandleTraits {
  using Type = T;
  static Type Invalid() noexcept { return Empty::template Value<T>(); }
  static bool Close(Type h) noexcept { return Release(h); }
};

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Type h) noexcept : h_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return !(h_ == Traits::Invalid()); }
  Type release() noexcept { return std::exchange(h_, Traits::Invalid()); }
  // Taking the handle it already holds changes nothing.
  void reset(Type h = Traits::Invalid()) noexcept {
    if (h == h_) return;
    if (*this) Traits::Close(h_);
    h_ = h;
  }
  // Gives the resource back now; false when the platform refused (the owner is empty all the same).
  bool Close() noexcept { return !*this || Traits::Close(release()); }

 private:
  Type h_ = Traits::Invalid();
};

namespace release {
inline bool KernelHandle(HANDLE h) noexcept { return ::CloseHandle(h) != FALSE; }
inline bool Find(HANDLE h) noexcept { return ::FindClose(h) != FALSE; }
inline bool GdiObject(HGDIOBJ h) noexcept { return ::DeleteObject(h) != FALSE; }
inline bool MemoryDc(HDC h) noexcept { return ::DeleteDC(h) != FALSE; }
inline bool Icon(HICON h) noexcept { return ::DestroyIcon(h) != FALSE; }
inline bool Window(HWND h) noexcept { return ::DestroyWindow(h) != FALSE; }
inline bool LocalBuffer(HLOCAL h) noexcept { return ::LocalFree(h) == nullptr; }
inline bool ChangeWatch(HANDLE h) noexcept { return ::FindCloseChangeNotification(h) != FALSE; }
inline bool Menu(HMENU h) noexcept { return ::DestroyMenu(h) != FALSE; }
}  // namespace release

using UniqueFile = UniqueHandle<HandleTraits<HANDLE, &release::KernelHandle, EmptyIsInvalidHandle>>;
using UniqueKernelHandle = UniqueHandle<HandleTraits<HANDLE, &release::KernelHandle>>;
using UniqueFind = UniqueHandle<HandleTraits<HANDLE, &release::Find, EmptyIsInvalidHandle>>;
using UniqueFont = UniqueHandle<HandleTraits<HFONT, &release::GdiObject>>;
using UniqueBitmap = UniqueHandle<HandleTraits<HBITMAP, &release::GdiObject>>;
using UniqueBrush = UniqueHandle<HandleTraits<HBRUSH, &release::GdiObject>>;
using UniquePen = UniqueHandle<HandleTraits<HPEN, &release::GdiObject>>;
using UniquePalette = UniqueHandle<HandleTraits<HPALETTE, &release::GdiObject>>;
using UniqueMemoryDc = UniqueHandle<HandleTraits<HDC, &release::MemoryDc>>;
using UniqueIcon = UniqueHandle<HandleTraits<HICON, &release::Icon>>;
using UniqueWindow = UniqueHandle<HandleTraits<HWND, &release::Window>>;
using UniqueLocalBuffer = UniqueHandle<HandleTraits<HLOCAL, &release::LocalBuffer>>;
using UniqueChangeWatch = UniqueHandle<HandleTraits<HANDLE, &release::ChangeWatch, EmptyIsInvalidHandle>>;
using UniqueMenu = UniqueHandle<HandleTraits<HMENU, &release::Menu>>;

// A window's (or the screen's) context, given back with the window it came from.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  WindowDc(WindowDc&& other) noexcept : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
  ~WindowDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  WindowDc& operator=(WindowDc&&) = delete;
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// The context of one WM_PAINT, ended on every path so that the window is validated.
class PaintContext {
 public:
  explicit PaintContext(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintContext() { ::EndPaint(window_, &paint_); }
  PaintContext(const PaintContext&) = delete;
  PaintContext& operator=(const PaintContext&) = delete;
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// An object selected into a context, with the previous one put back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (ok()) ::SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  bool ok() const noexcept { return previous_ && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The same for a selection whose failure is an error: it throws EOutOfResources.
class CheckedSelection {
 public:
  CheckedSelection(HDC dc, HGDIOBJ object) : selected_(dc, object) {
    if (!selected_.ok()) ThrowOutOfResources();
  }

 private:
  SelectedObject selected_;
};

// A palette selected and realized (when there is one), the previous one put back.
class SelectedPalette {
 public:
  SelectedPalette(HDC dc, HPALETTE palette, BOOL background) noexcept : dc_(dc), background_(background) {
    if (palette) {
      previous_ = ::SelectPalette(dc, palette, background);
      ::RealizePalette(dc);
    }
  }
  ~SelectedPalette() {
    if (previous_) ::SelectPalette(dc_, previous_, background_);
  }
  SelectedPalette(const SelectedPalette&) = delete;
  SelectedPalette& operator=(const SelectedPalette&) = delete;

 private:
  HDC dc_;
  BOOL background_;
  HPALETTE previous_ = nullptr;
};

}  // namespace snapvik
