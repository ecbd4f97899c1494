// The rasterizers' shared set-up stage, in floating point: outcodes, trivial rejection, the constant
// attribute gradients and clipping against the clip rectangle, ending in a convex polygon in 16.16
// fixed point for the filler stage (raster.cpp).
#pragma once

#include <cstdint>

namespace render {

using Fixed16 = int32_t;

constexpr int kMaxAttributes = 3;
// Sutherland-Hodgman adds at most one vertex per clip line to a convex polygon (3 + 4 = 7); float
// rounding can make a clipped polygon very slightly non-convex, so each line may at most double it.
constexpr int kMaxPolygon = 3 << 4;

// A vertex record as the rasterizers take it: x, y, the attribute slots, the outcode.
struct FloatVertex {
  float x, y;
  float attribute[kMaxAttributes];
  int32_t outcode;
};

struct FixedVertex {
  Fixed16 x, y;
  Fixed16 attribute[kMaxAttributes];
};

struct Polygon {
  int count;
  FixedVertex vertex[kMaxPolygon];
  Fixed16 gradient[kMaxAttributes];  // d attribute / dx, constant over the triangle
};

// Sets up the triangle v[0..2]: writes each vertex's outcode, then fills `polygon` and returns true
// when something may be drawn. `clipped` attribute slots are carried through clipping, the first
// `used` of them (used <= clipped) are drawn and converted. A non-finite coordinate or drawn
// attribute rejects the triangle.
bool SetUpTriangle(FloatVertex* v, int clipped, int used, Polygon& polygon);

// Scanline or column of a 16.16 value: the smallest integer not below it.
constexpr int64_t CeilFixed(int64_t value) { return (value + 0xFFFF) >> 16; }

}  // namespace render
