// Shared by the display tests: reading and writing the pixels of a surface of any pixel size.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "display/surface.h"

namespace display {

inline uint32_t get(Surface& s, int32_t x, int32_t y) {
  const uint8_t* p = static_cast<uint8_t*>(s.lock()) + y * s.pitch() + x * s.format().bytes;
  uint32_t v = 0;
  std::memcpy(&v, p, s.format().bytes);
  s.unlock();
  return v;
}

inline void put(Surface& s, int32_t x, int32_t y, uint32_t v) {
  uint8_t* p = static_cast<uint8_t*>(s.lock()) + y * s.pitch() + x * s.format().bytes;
  std::memcpy(p, &v, s.format().bytes);
  s.unlock();
}

// Sets every pixel to pixel(x, y).
inline void paint(Surface& s, const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  for (int32_t y = 0; y < s.height(); ++y)
    for (int32_t x = 0; x < s.width(); ++x) put(s, x, y, pixel(x, y));
}

// Every pixel, row after row.
inline std::vector<uint32_t> pixels_of(Surface& s) {
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < s.height(); ++y)
    for (int32_t x = 0; x < s.width(); ++x) pixels.push_back(get(s, x, y));
  return pixels;
}

}  // namespace display
