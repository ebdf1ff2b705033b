// Owners for the user-interface and GDI handles that the framework acquires, on the same template
// as the host's handle owners: each releases its handle with the matching call when it goes out
// of scope. Handles handed over to a window (a menu set on a frame) are released from their
// owner once the window has them.
#pragma once

#include "host/win32/win32_handles.h"

namespace framework {

struct hmenu_traits {
  using pointer = HMENU;
  static HMENU invalid() noexcept { return nullptr; }
  static bool is_valid(HMENU menu) noexcept { return menu != nullptr; }
  static void close(HMENU menu) noexcept { ::DestroyMenu(menu); }
};

struct haccel_traits {
  using pointer = HACCEL;
  static HACCEL invalid() noexcept { return nullptr; }
  static bool is_valid(HACCEL table) noexcept { return table != nullptr; }
  static void close(HACCEL table) noexcept { ::DestroyAcceleratorTable(table); }
};

struct hbitmap_traits {
  using pointer = HBITMAP;
  static HBITMAP invalid() noexcept { return nullptr; }
  static bool is_valid(HBITMAP bitmap) noexcept { return bitmap != nullptr; }
  static void close(HBITMAP bitmap) noexcept { ::DeleteObject(bitmap); }
};

struct hbrush_traits {
  using pointer = HBRUSH;
  static HBRUSH invalid() noexcept { return nullptr; }
  static bool is_valid(HBRUSH brush) noexcept { return brush != nullptr; }
  static void close(HBRUSH brush) noexcept { ::DeleteObject(brush); }
};

// An icon created or loaded without LR_SHARED; shared icons are never destroyed.
struct hicon_traits {
  using pointer = HICON;
  static HICON invalid() noexcept { return nullptr; }
  static bool is_valid(HICON icon) noexcept { return icon != nullptr; }
  static void close(HICON icon) noexcept { ::DestroyIcon(icon); }
};

struct hfont_traits {
  using pointer = HFONT;
  static HFONT invalid() noexcept { return nullptr; }
  static bool is_valid(HFONT font) noexcept { return font != nullptr; }
  static void close(HFONT font) noexcept { ::DeleteObject(font); }
};

// A device context that was created (CreateDC, CreateCompatibleDC, a printer's), not borrowed.
struct hdc_traits {
  using pointer = HDC;
  static HDC invalid() noexcept { return nullptr; }
  static bool is_valid(HDC dc) noexcept { return dc != nullptr; }
  static void close(HDC dc) noexcept { ::DeleteDC(dc); }
};

struct hglobal_traits {
  using pointer = HGLOBAL;
  static HGLOBAL invalid() noexcept { return nullptr; }
  static bool is_valid(HGLOBAL memory) noexcept { return memory != nullptr; }
  static void close(HGLOBAL memory) noexcept { ::GlobalFree(memory); }
};

using unique_hmenu = vorsk::win32::unique_any<hmenu_traits>;
using unique_haccel = vorsk::win32::unique_any<haccel_traits>;
using unique_hbitmap = vorsk::win32::unique_any<hbitmap_traits>;
using unique_hbrush = vorsk::win32::unique_any<hbrush_traits>;
using unique_hicon = vorsk::win32::unique_any<hicon_traits>;
using unique_hfont = vorsk::win32::unique_any<hfont_traits>;
using unique_hdc = vorsk::win32::unique_any<hdc_traits>;
using unique_hglobal = vorsk::win32::unique_any<hglobal_traits>;
using vorsk::win32::unique_hfile;
using vorsk::win32::unique_hkey;
using vorsk::win32::unique_hlocal;

// A device context borrowed from a window (GetDC), given back with ReleaseDC.
class window_dc {
 public:
  explicit window_dc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~window_dc() {
    if (dc_ != nullptr) {
      ::ReleaseDC(window_, dc_);
    }
  }
  window_dc(const window_dc&) = delete;
  window_dc& operator=(const window_dc&) = delete;
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context, deselected when it goes out of scope.
class selected_object {
 public:
  selected_object(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~selected_object() {
    if (old_ != nullptr && old_ != HGDI_ERROR) {
      ::SelectObject(dc_, old_);
    }
  }
  selected_object(const selected_object&) = delete;
  selected_object& operator=(const selected_object&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace framework
