// Owners for the user-interface and GDI handles that the framework acquires, on the same template
// as the host's handle owners: each releases its handle with the matching call when it goes out
// of scope. Handles handed over to a window (a menu set on a frame) are released from their
// owner once the window has them.
#pragma once

#include "host/win32/win32_handles.h"

namespace framework {

inline void DestroyMenuHandle(HMENU menu) noexcept {
  ::DestroyMenu(menu);
}
inline void DestroyAccelerators(HACCEL table) noexcept {
  ::DestroyAcceleratorTable(table);
}
inline void DeleteGdiObject(HGDIOBJ object) noexcept {
  ::DeleteObject(object);
}
inline void DestroyIconHandle(HICON icon) noexcept {
  ::DestroyIcon(icon);
}
inline void DeleteCreatedDc(HDC dc) noexcept {
  ::DeleteDC(dc);
}

using vorsk::win32::nullable_traits;

using unique_hmenu = vorsk::unique_any<nullable_traits<HMENU, DestroyMenuHandle>>;
using unique_haccel = vorsk::unique_any<nullable_traits<HACCEL, DestroyAccelerators>>;
using unique_hbitmap = vorsk::unique_any<nullable_traits<HBITMAP, DeleteGdiObject>>;
using unique_hbrush = vorsk::unique_any<nullable_traits<HBRUSH, DeleteGdiObject>>;
// An icon created or loaded without LR_SHARED; shared icons are never destroyed.
using unique_hicon = vorsk::unique_any<nullable_traits<HICON, DestroyIconHandle>>;
using unique_hfont = vorsk::unique_any<nullable_traits<HFONT, DeleteGdiObject>>;
// A device context that was created (CreateDC, CreateCompatibleDC), not borrowed.
using unique_hdc = vorsk::unique_any<nullable_traits<HDC, DeleteCreatedDc>>;
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
