// Pixel work of texture preparation shared by its passes: locked access to surfaces, the 8-bit
// shaded texture block, and transparency maps in the top byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/surface.h"

namespace render {

// A surface locked for the lifetime of the object; rows by picture position whatever the row order.
class LockedPixels {
 public:
  explicit LockedPixels(display::Surface& surface)
      : surface_(surface), top_(static_cast<uint8_t*>(surface.lock())) {}
  ~LockedPixels() {
    if (top_) surface_.unlock();
  }
  LockedPixels(const LockedPixels&) = delete;
  LockedPixels& operator=(const LockedPixels&) = delete;

  bool ok() const { return top_ != nullptr; }
  template <typename Pixel>
  Pixel* row(int32_t y) const {
    return reinterpret_cast<Pixel*>(top_ + static_cast<ptrdiff_t>(y) * surface_.pitch());
  }

 private:
  display::Surface& surface_;
  uint8_t* top_;
};

// One byte per pixel with a palette behind it.
bool IsIndexed(const display::Surface& surface);

// Fills a shaded texture slot from a 256 x 256 8-bit surface: its indices row-major, then the shade
// table of its palette. False (nothing written) for any other surface or one without a palette.
bool WriteShadedTexture(display::Surface& image, uint8_t* slot);

// Replaces the top byte of every pixel of a 32-bit image by the 8-bit map's byte at the same
// position. False (nothing changed) unless the two have the same size.
bool SetTopBytes(display::Surface& image, display::Surface& map);

}  // namespace render
