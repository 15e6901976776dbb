#pragma once
// Owners of the Win32 handles the toolkit creates, and the conversions
// between the platform interface's opaque window handle and the real one.
//
// The toolkit's internals live in the top-level namespace w32ui, not under
// hv: there the unqualified Win32 names (HWND, RECT...) mean the real ones
// and do not collide with the platform interface's hv::HWND.
#include "platform/types.h"
#include "platform/unique_handle.h"
#include "platform/win32/win.h"

namespace w32ui {

inline ::HWND ToWin(hv::HWND window) { return reinterpret_cast<::HWND>(window); }
inline hv::HWND FromWin(::HWND window) { return reinterpret_cast<hv::HWND>(window); }

template <typename T>
struct GdiObjectTraits {
  using type = T;
  static type Invalid() { return nullptr; }
  static void Close(type object) { ::DeleteObject(object); }
};
using UniqueFont = hv::UniqueAny<GdiObjectTraits<HFONT>>;
using UniqueBitmap = hv::UniqueAny<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = hv::UniqueAny<GdiObjectTraits<HBRUSH>>;
using UniquePen = hv::UniqueAny<GdiObjectTraits<HPEN>>;
using UniqueRegion = hv::UniqueAny<GdiObjectTraits<HRGN>>;

struct MemoryDcTraits {
  using type = HDC;
  static type Invalid() { return nullptr; }
  static void Close(type dc) { ::DeleteDC(dc); }
};
using UniqueMemoryDc = hv::UniqueAny<MemoryDcTraits>;

struct WindowTraits {
  using type = HWND;
  static type Invalid() { return nullptr; }
  static void Close(type window) { ::DestroyWindow(window); }
};
using UniqueWindow = hv::UniqueAny<WindowTraits>;

struct MenuTraits {
  using type = HMENU;
  static type Invalid() { return nullptr; }
  static void Close(type menu) { ::DestroyMenu(menu); }
};
using UniqueMenu = hv::UniqueAny<MenuTraits>;

struct IconTraits {
  using type = HICON;
  static type Invalid() { return nullptr; }
  static void Close(type icon) { ::DestroyIcon(icon); }
};
using UniqueIcon = hv::UniqueAny<IconTraits>;

// A window's device context from GetDC (null window: the screen).
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint / EndPaint.
class PaintDc {
 public:
  explicit PaintDc(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &ps_); }
  ~PaintDc() { ::EndPaint(window_, &ps_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  HDC get() const { return dc_; }
  const RECT& area() const { return ps_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_ = nullptr;
};

// Selects a GDI object into a DC for the scope, then restores the old one.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~Selected() { ::SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// An off-screen bitmap compatible with `reference`, selected into its own DC:
// paint into it, then copy it out in one blit (no flicker).
class BackBuffer {
 public:
  BackBuffer(HDC reference, int width, int height)
      : dc_(::CreateCompatibleDC(reference)),
        bitmap_(::CreateCompatibleBitmap(reference, width > 0 ? width : 1, height > 0 ? height : 1)),
        width_(width),
        height_(height) {
    old_ = ::SelectObject(dc_.get(), bitmap_.get());
  }
  ~BackBuffer() { ::SelectObject(dc_.get(), old_); }
  BackBuffer(const BackBuffer&) = delete;
  BackBuffer& operator=(const BackBuffer&) = delete;
  HDC get() const { return dc_.get(); }
  void CopyTo(HDC target, int x, int y) const {
    ::BitBlt(target, x, y, width_, height_, dc_.get(), 0, 0, SRCCOPY);
  }

 private:
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  HGDIOBJ old_ = nullptr;
  int width_;
  int height_;
};

}  // namespace w32ui
