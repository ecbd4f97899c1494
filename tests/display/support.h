// Shared by the display tests: writing and reading every pixel of a 32-bit surface.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "display/surface.h"

namespace display {

// Sets every pixel of a 32-bit surface to pixel(x, y).
inline void paint(Surface& surface, const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  auto* base = static_cast<uint8_t*>(surface.lock(1));
  ASSERT_NE(base, nullptr);
  for (int32_t y = 0; y < surface.height(); ++y)
    for (int32_t x = 0; x < surface.width(); ++x)
      reinterpret_cast<uint32_t*>(base + y * surface.pitch())[x] = pixel(x, y);
  surface.unlock();
}

// Every pixel of a 32-bit surface, row after row.
inline std::vector<uint32_t> pixels_of(Surface& surface) {
  const auto* base = static_cast<const uint8_t*>(surface.lock(1));
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < surface.height(); ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(base + y * surface.pitch());
    pixels.insert(pixels.end(), row, row + surface.width());
  }
  surface.unlock();
  return pixels;
}

}  // namespace display
