#include "render/raster_setup.h"

#include <cassert>
#include <cfloat>
#include <cmath>

#include "render/raster.h"
#include "render/settings.h"

namespace render {
namespace {

// Attribute values are held within +-2^30 in 16.16 so that every edge product in the filler stays
// inside 64 bits; that is +-16384 texels or intensity levels, far beyond what lighting produces.
constexpr double kFixedLimit = 1073741824.0;

// To 16.16, rounded to nearest (ties to even, the default rounding), saturating; NaN becomes 0.
// Where doubles are computed as doubles, adding and subtracting 1.5 * 2^52 rounds the same way
// without a call into the maths library: the sum has no fraction bits left.
inline Fixed16 ToFixed(double value) {
  if (!(value == value)) return 0;
  if (value >= kFixedLimit) return static_cast<Fixed16>(kFixedLimit);
  if (value <= -kFixedLimit) return static_cast<Fixed16>(-kFixedLimit);
  if constexpr (FLT_EVAL_METHOD == 0) {
    constexpr double kRoundingBias = 6755399441055744.0;
    return static_cast<Fixed16>((value + kRoundingBias) - kRoundingBias);
  }
  return static_cast<Fixed16>(std::nearbyint(value));
}

int32_t Outcode(float x, float y) {
  return (y < clipMinY ? OUT_TOP : 0) | (y > clipMaxY ? OUT_BOTTOM : 0) |
         (x < clipMinX ? OUT_LEFT : 0) | (x > clipMaxX ? OUT_RIGHT : 0);
}

struct ClipLine {
  int32_t bit;
  bool vertical;  // x = value; otherwise y = value
  float value;
};

// One Sutherland-Hodgman pass. The crossing of an edge is always interpolated from its inside end
// towards its outside end, so two triangles that share an edge get the same new vertex bit for bit
// and the shared edge stays seamless after clipping.
int ClipAgainst(const FloatVertex* in, int n, FloatVertex* out, const ClipLine& line, int clipped) {
  int m = 0;
  for (int i = 0; i < n; ++i) {
    const FloatVertex& p = in[i];
    const FloatVertex& q = in[i + 1 == n ? 0 : i + 1];
    const bool p_out = (p.outcode & line.bit) != 0;
    const bool q_out = (q.outcode & line.bit) != 0;
    if (!p_out) out[m++] = p;
    if (p_out == q_out) continue;
    const FloatVertex& inside = p_out ? q : p;
    const FloatVertex& outside = p_out ? p : q;
    const float from = line.vertical ? inside.x : inside.y;
    const float to = line.vertical ? outside.x : outside.y;
    const float t = (line.value - from) / (to - from);
    FloatVertex& v = out[m++];
    if (line.vertical) {
      v.x = line.value;
      v.y = outside.y * t + inside.y * (1.0f - t);
    } else {
      v.y = line.value;
      v.x = outside.x * t + inside.x * (1.0f - t);
    }
    for (int k = 0; k < clipped; ++k)
      v.attribute[k] = outside.attribute[k] * t + inside.attribute[k] * (1.0f - t);
    v.outcode = Outcode(v.x, v.y);
  }
  assert(m <= 2 * n);
  return m;
}

// Clips the triangle to the clip rectangle, lines in the order left, right, top, bottom. Returns
// the vertex count of the result (fewer than 3: nothing left) and where it lies.
int ClipTriangle(const FloatVertex* v, int clipped, const FloatVertex** result) {
  static FloatVertex buffer[2][kMaxPolygon];
  const ClipLine lines[4] = {{OUT_LEFT, true, clipMinX},
                             {OUT_RIGHT, true, clipMaxX},
                             {OUT_TOP, false, clipMinY},
                             {OUT_BOTTOM, false, clipMaxY}};
  const FloatVertex* in = v;
  int n = 3;
  int which = 0;
  for (const ClipLine& line : lines) {
    int any_out = 0;
    for (int i = 0; i < n; ++i) any_out |= in[i].outcode;
    if (!(any_out & line.bit)) continue;
    n = ClipAgainst(in, n, buffer[which], line, clipped);
    in = buffer[which];
    which ^= 1;
    if (n < 3) return n;
  }
  *result = in;
  return n;
}

// Rounding while clipping may leave a new vertex a hair outside a line clipped earlier; holding
// every vertex inside the rectangle keeps all spans inside it, and so inside the frame.
void HoldInsideClipRectangle(Polygon& polygon) {
  const Fixed16 min_x = ToFixed(clipMinX * 65536.0), max_x = ToFixed(clipMaxX * 65536.0);
  const Fixed16 min_y = ToFixed(clipMinY * 65536.0), max_y = ToFixed(clipMaxY * 65536.0);
  for (int i = 0; i < polygon.count; ++i) {
    FixedVertex& f = polygon.vertex[i];
    f.x = f.x < min_x ? min_x : f.x > max_x ? max_x : f.x;
    f.y = f.y < min_y ? min_y : f.y > max_y ? max_y : f.y;
  }
}

}  // namespace

bool SetUpTriangle(FloatVertex* v, int clipped, int used, Polygon& polygon) {
  assert(used <= clipped && clipped <= kMaxAttributes);
  for (int i = 0; i < 3; ++i) v[i].outcode = Outcode(v[i].x, v[i].y);
  if (v[0].outcode & v[1].outcode & v[2].outcode) return false;

  // Twice the signed area; negative for the front-facing winding (counter-clockwise as seen on
  // screen, y down).
  const double y02 = double(v[0].y) - v[2].y;
  const double y12 = double(v[1].y) - v[2].y;
  const double d = (double(v[0].x) - v[2].x) * y12 - (double(v[1].x) - v[2].x) * y02;
  // Every coordinate enters d and every drawn attribute its gradient, and no arithmetic turns an
  // infinity or NaN back into a finite value (an infinity times 0 is NaN): a non-finite input shows
  // as a non-finite d or gradient.
  if (d == 0.0 || !std::isfinite(d)) return false;
  double gradient[kMaxAttributes];  // all divisions first, so that they overlap
  for (int k = 0; k < used; ++k) {
    const double a02 = double(v[0].attribute[k]) - v[2].attribute[k];
    const double a12 = double(v[1].attribute[k]) - v[2].attribute[k];
    gradient[k] = (a02 * y12 - a12 * y02) / d * 65536.0;
  }
  for (int k = 0; k < used; ++k) {
    if (!std::isfinite(gradient[k])) return false;
    polygon.gradient[k] = ToFixed(gradient[k]);
  }

  const FloatVertex* corners = v;
  int n = 3;
  if (v[0].outcode | v[1].outcode | v[2].outcode) {
    n = ClipTriangle(v, clipped, &corners);
    if (n < 3) return false;
  }

  polygon.count = n;
  for (int i = 0; i < n; ++i) {
    const FloatVertex& c = corners[i];
    FixedVertex& f = polygon.vertex[i];
    f.x = ToFixed(c.x * 65536.0);
    f.y = ToFixed(c.y * 65536.0);
    for (int k = 0; k < used; ++k) f.attribute[k] = ToFixed(c.attribute[k] * 65536.0);
  }
  if (corners != v) HoldInsideClipRectangle(polygon);
  return true;
}

}  // namespace render
