// A 32-bit top-down DIB section selected into a memory device context: something to draw in, or
// copy the screen into, and read back pixel by pixel. Shared by the watcher (which recognises a
// message box's icon) and the screen tests.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "framework/handles.h"

namespace vorsk::screen {

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    dc_.reset(::CreateCompatibleDC(nullptr));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits_, nullptr, 0));
    selected_.emplace(dc_.get(), bitmap_.get());
  }

  int width() const { return width_; }
  int height() const { return height_; }
  HDC dc() const { return dc_.get(); }
  // The pixels, row by row from the top, as 0x00RRGGBB; none when the bitmap could not be made.
  // The fourth byte is cleared: a copy of the screen sets it under Wine 10 and drawing does not.
  std::vector<std::uint32_t> Pixels() const {
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits_);
    std::vector<std::uint32_t> colours;
    if (bits_ != nullptr) {
      colours.assign(pixels, pixels + static_cast<std::size_t>(width_) * height_);
    }
    for (std::uint32_t& colour : colours) {
      colour &= 0x00FFFFFF;
    }
    return colours;
  }

 private:
  int width_;
  int height_;
  framework::unique_hdc dc_;
  framework::unique_hbitmap bitmap_;
  void* bits_ = nullptr;
  std::optional<framework::selected_object> selected_;
};

}  // namespace vorsk::screen
