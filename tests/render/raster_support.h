// Shared by the rasterizer tests: a 320 x 200 frame wired into the render settings, and a slow
// per-pixel reference of which pixels a triangle owns.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "render/raster.h"
#include "render/settings.h"

namespace rastertest {

constexpr int kWidth = 320, kHeight = 200;
constexpr uint32_t kUntouched = 0xDEADBEEF;

struct Frame {
  std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight, kUntouched);
  explicit Frame(float min_x = 0, float min_y = 0, float max_x = 319, float max_y = 199) {
    render::frameBuffer = pixels.data();
    render::framePitch = kWidth * 4;
    render::clipMinX = min_x, render::clipMinY = min_y;
    render::clipMaxX = max_x, render::clipMaxY = max_y;
  }
  uint32_t& at(int x, int y) { return pixels[y * kWidth + x]; }
  void Fill(uint32_t value) { pixels.assign(pixels.size(), value); }
  int Written() const {
    int n = 0;
    for (uint32_t p : pixels) n += p != kUntouched;
    return n;
  }
};

struct Point {
  float x, y;
};

// Orders the corners so that the rasterizers draw them (clockwise on screen, y down).
inline void FrontFacing(Point* p) {
  const double d = (double(p[0].x) - p[2].x) * (double(p[1].y) - p[2].y) -
                   (double(p[1].x) - p[2].x) * (double(p[0].y) - p[2].y);
  if (d > 0) std::swap(p[1], p[2]);
}

// Flat grey through the gouraud mode: marks exactly the pixels the filler writes.
inline void DrawFlat(const Point* p, float intensity = 200.0f) {
  render::ColourVertex v[3];
  for (int i = 0; i < 3; ++i) v[i] = {p[i].x, p[i].y, intensity, 0.0f, 0};
  render::DrawGouraud(v);
}

// The fill rule the fixed-point filler implies, evaluated exactly on the 16.16 corners: pixel
// (px, py) has its sample point at the integer coordinates; it belongs to the triangle when it lies
// strictly inside every edge, or on an edge whose inside is to its right (left edges, which run down)
// or below it (the top edge, which runs right to left in this winding). Returns also the distance of
// the sample point to the nearest edge in 16.16 units, along x (along y for horizontal edges).
struct Coverage {
  bool inside;
  double distance;
};

inline Coverage Reference(const Point* p, int px, int py) {
  int64_t x[3], y[3];
  for (int i = 0; i < 3; ++i) x[i] = std::llrint(p[i].x * 65536.0), y[i] = std::llrint(p[i].y * 65536.0);
  const int64_t sx = int64_t(px) * 65536, sy = int64_t(py) * 65536;
  Coverage c{true, 1e30};
  for (int i = 0; i < 3; ++i) {
    const int j = i == 2 ? 0 : i + 1;
    const int64_t dx = x[j] - x[i], dy = y[j] - y[i];
    const __int128 e = __int128(dx) * (sy - y[i]) - __int128(dy) * (sx - x[i]);
    const bool owns_edge = dy > 0 || (dy == 0 && dx < 0);
    if (!(e < 0 || (e == 0 && owns_edge))) c.inside = false;
    const double span = double(dy != 0 ? std::llabs(dy) : std::llabs(dx));
    if (span > 0) c.distance = std::fmin(c.distance, std::fabs(double(e)) / span);
  }
  return c;
}

}  // namespace rastertest
