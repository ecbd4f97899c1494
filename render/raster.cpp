// The filler stage and the span loops of the seven rasterizers.
#include "render/raster.h"

#include <cassert>
#include <cstring>

#include "effects/effects.h"
#include "render/raster_setup.h"
#include "render/settings.h"

namespace render {
namespace {

// ---- Filler stage -------------------------------------------------------------------------------

// One edge of a chain: x and the carried attributes at the current scanline centre, their
// per-scanline slopes and the scanlines left. 64 bits so that no slope of a steep edge overflows.
struct Edge {
  int64_t value[1 + kMaxAttributes];
  int64_t slope[1 + kMaxAttributes];
  int64_t lines;
};

// a / b truncated towards zero, for |a| < 2^53 and b > 0, by a double division: the quotient is
// rounded by less than |a| / b * 2^-53 < 1 / b, nearer than any integer it is not, so truncating it
// gives the integer quotient. Faster than a 64-bit integer division.
inline int64_t Divide(int64_t a, int64_t b) {
  assert(b > 0 && a < (int64_t(1) << 53) && a > -(int64_t(1) << 53));
  return static_cast<int64_t>(static_cast<double>(a) / static_cast<double>(b));
}

int64_t Coordinate(const FixedVertex& v, int k) { return k == 0 ? v.x : v.attribute[k - 1]; }

// Sets up the edge a -> b carrying `carried` values (x first) and returns its scanline count. An
// edge covers scanlines ceil(a.y) ... ceil(b.y) - 1; one covering none is not set up.
int64_t StartEdge(Edge& e, const FixedVertex& a, const FixedVertex& b, int carried) {
  const int64_t first = CeilFixed(a.y);
  e.lines = CeilFixed(b.y) - first;
  if (e.lines <= 0) return e.lines;
  const int64_t dy = int64_t(b.y) - a.y;
  // Distance from a down to the centre of its first scanline.
  const int64_t prestep = first * 65536 - a.y;
  const int64_t reciprocal = e.lines == 1 ? 0x40000000 / dy : 0;
  for (int k = 0; k < carried; ++k) {
    const int64_t ds = Coordinate(b, k) - Coordinate(a, k);
    // An edge of one scanline may be shorter than a pixel: a reciprocal of 2^30 instead of a
    // division, the result back to 16.16 by the shift.
    const int64_t slope = e.lines == 1 ? (ds * reciprocal) >> 14 : Divide(ds * 65536, dy);
    e.slope[k] = slope;
    e.value[k] = Coordinate(a, k) + ((prestep * slope) >> 16);
  }
  return e.lines;
}

// Walks the convex polygon from its top vertex down: the left chain forwards through the array
// carrying x and `Used` attributes, the right chain backwards carrying x. Calls
// span(row, x, n, start) for each span of n > 0 pixels, start holding the attributes pre-stepped
// to the centre of pixel x. A polygon of the other winding has no positive span.
template <int Used, class Span>
void FillPolygon(const Polygon& p, const Span& span) {
  const int n = p.count;
  int top = 0, bottom = 0;
  for (int i = 1; i < n; ++i) {
    if (p.vertex[i].y < p.vertex[top].y) top = i;
    if (p.vertex[i].y > p.vertex[bottom].y) bottom = i;
  }
  int64_t y = CeilFixed(p.vertex[top].y);
  const int64_t end_y = CeilFixed(p.vertex[bottom].y);
  if (y >= end_y) return;

  Edge left, right;
  int left_at = top, right_at = top;
  auto next_left = [&] {
    while (left_at != bottom) {
      const int from = left_at;
      left_at = left_at + 1 == n ? 0 : left_at + 1;
      if (StartEdge(left, p.vertex[from], p.vertex[left_at], 1 + Used) > 0) return true;
    }
    return false;
  };
  auto next_right = [&] {
    while (right_at != bottom) {
      const int from = right_at;
      right_at = right_at == 0 ? n - 1 : right_at - 1;
      if (StartEdge(right, p.vertex[from], p.vertex[right_at], 1) > 0) return true;
    }
    return false;
  };
  if (!next_left() || !next_right()) return;

  uint8_t* row = reinterpret_cast<uint8_t*>(frameBuffer) + y * framePitch;
  for (;;) {
    const int64_t xl = CeilFixed(left.value[0]);
    const int64_t xr = CeilFixed(right.value[0]);
    if (xr > xl) {
      const int64_t subpixel = xl * 65536 - left.value[0];
      Fixed16 start[kMaxAttributes];
      for (int k = 0; k < Used; ++k)
        start[k] = static_cast<Fixed16>(left.value[1 + k] + ((subpixel * p.gradient[k]) >> 16));
      span(reinterpret_cast<uint32_t*>(row) + xl, static_cast<int>(xr - xl), start);
    }
    // Bounded by the bottom vertex as well, should rounding have bent the polygon.
    if (++y >= end_y) return;
    row += framePitch;
    if (--left.lines == 0) {
      if (!next_left()) return;
    } else {
      for (int k = 0; k <= Used; ++k) left.value[k] += left.slope[k];
    }
    if (--right.lines == 0) {
      if (!next_right()) return;
    } else {
      right.value[0] += right.slope[0];
    }
  }
}

// Set-up, then the filler with the span loop that make_span(polygon) builds from the gradients.
template <int Clipped, int Used, class Record, class MakeSpan>
void Rasterize(Record* records, const MakeSpan& make_span) {
  static_assert(sizeof(Record) == sizeof(float) * (2 + Clipped) + sizeof(int32_t), "x, y, slots");
  static Polygon polygon;
  FloatVertex v[3];
  for (int i = 0; i < 3; ++i) std::memcpy(&v[i], &records[i], sizeof(Record) - sizeof(int32_t));
  const bool draw = SetUpTriangle(v, Clipped, Used, polygon);
  for (int i = 0; i < 3; ++i) records[i].outcode = v[i].outcode;
  if (draw) FillPolygon<Used>(polygon, make_span(polygon));
}

// ---- Span loops ----------------------------------------------------------------------------------

struct GouraudSpan {
  uint32_t step;
  void operator()(uint32_t* dst, int n, const Fixed16* start) const {
    uint32_t c = static_cast<uint32_t>(start[0]);
    for (int i = 0; i < n; ++i, c += step) {
      // Pre-stepping can carry the intensity a hair past the vertices' range; it is held to
      // 0 ... 255 rather than wrapping a value just below 0 to white (or from 256 to black).
      int32_t level = static_cast<int32_t>(c) >> 16;
      level = level < 0 ? 0 : level > 255 ? 255 : level;
      dst[i] = static_cast<uint32_t>(level) * 0x010101u;
    }
  }
};

// 32-bit textures through the packed coordinates of the span fillers (effects.h): one addition and
// one shift give the tiled texel index, one mask per coordinate wraps it at 256.
struct TexturedSpan {
  const uint32_t* texture;
  uint32_t u_step, v_step;  // packed, gaps set
  void operator()(uint32_t* dst, int n, const Fixed16* start) const {
    uint32_t u = effects::pack_u(start[0]);
    uint32_t v = effects::pack_v(start[1]);
    for (int i = 0; i < n; ++i) {
      dst[i] = texture[effects::packed_texel_index(u, v)];
      u = effects::step_packed_u(u, u_step);
      v = effects::step_packed_v(v, v_step);
    }
  }
};

// The blending modes: the span fillers of the pixel effects, stepping from the packed steps that
// the rasterizer leaves in effects::span_u_step and span_v_step.
using SpanFiller = void (*)(Fixed16, Fixed16, int, const uint32_t*, uint32_t*);
struct BlendSpan {
  SpanFiller filler;
  const uint32_t* texture;
  void operator()(uint32_t* dst, int n, const Fixed16* start) const {
    filler(start[0], start[1], n, texture, dst);
  }
};

BlendSpan MakeBlendSpan(const Polygon& p, SpanFiller filler, const uint32_t* texture) {
  effects::span_u_step = effects::pack_u_step(p.gradient[0]);
  effects::span_v_step = effects::pack_v_step(p.gradient[1]);
  return BlendSpan{filler, texture};
}

struct ShadedSpan {
  const uint8_t* texels;
  const uint32_t* shades;
  uint32_t u_step, v_step;
  uint32_t shade_step;
  void operator()(uint32_t* dst, int n, const Fixed16* start) const {
    uint32_t u = static_cast<uint32_t>(start[0]);
    uint32_t v = static_cast<uint32_t>(start[1]);
    uint32_t s = static_cast<uint32_t>(start[2]);
    for (int i = 0; i < n; ++i) {
      const uint32_t index = texels[((v >> 8) & 0xFF00) | ((u >> 16) & 0xFF)];
      // Pre-stepping can carry the shade a hair past the vertices' range; the level is held to
      // the table rather than reading a neighbouring colour's row.
      int32_t level = static_cast<int32_t>(s) >> 16;
      level = level < 0 ? 0 : level > kShadeLevels - 1 ? kShadeLevels - 1 : level;
      dst[i] = shades[index * kShadeLevels + level];
      u += u_step;
      v += v_step;
      s += shade_step;
    }
  }
};

// Environment mapping into a picture of width x height without wrapping. The index advances by the
// integer steps plus one row when the fraction of v carries (a two-entry table) and one texel when
// that of u does. Spans that would leave the picture take a clamped per-pixel path instead.
struct EnvironmentSpan {
  const uint32_t* picture;
  int32_t width, height;
  int32_t u_step, v_step;
  void operator()(uint32_t* dst, int n, const Fixed16* start) const {
    const int64_t u0 = start[0], v0 = start[1];
    const int64_t u1 = u0 + int64_t(n - 1) * u_step, v1 = v0 + int64_t(n - 1) * v_step;
    auto inside = [](int64_t a, int64_t b, int32_t size) {
      return (a >> 16) >= 0 && (b >> 16) >= 0 && (a >> 16) < size && (b >> 16) < size;
    };
    if (!inside(u0, u1, width) || !inside(v0, v1, height)) return Clamped(dst, n, u0, v0);

    const int32_t step[2] = {(u_step >> 16) + (v_step >> 16) * width,
                             (u_step >> 16) + (v_step >> 16) * width + width};
    const uint32_t u_fraction_step = u_step & 0xFFFF, v_fraction_step = v_step & 0xFFFF;
    uint32_t u_fraction = u0 & 0xFFFF, v_fraction = v0 & 0xFFFF;
    int32_t index = static_cast<int32_t>((v0 >> 16) * width + (u0 >> 16));
    for (int i = 0; i < n; ++i) {
      dst[i] = picture[index];
      u_fraction += u_fraction_step;
      v_fraction += v_fraction_step;
      index += step[v_fraction >> 16] + static_cast<int32_t>(u_fraction >> 16);
      u_fraction &= 0xFFFF;
      v_fraction &= 0xFFFF;
    }
  }
  void Clamped(uint32_t* dst, int n, int64_t u, int64_t v) const {
    for (int i = 0; i < n; ++i, u += u_step, v += v_step) {
      int64_t x = u >> 16, y = v >> 16;
      x = x < 0 ? 0 : x >= width ? width - 1 : x;
      y = y < 0 ? 0 : y >= height ? height - 1 : y;
      dst[i] = picture[y * width + x];
    }
  }
};

}  // namespace

void DrawGouraud(ColourVertex* vertices) {
  Rasterize<2, 1>(vertices, [](const Polygon& p) {
    return GouraudSpan{static_cast<uint32_t>(p.gradient[0])};
  });
}

void DrawTextured(TextureVertex* vertices, const uint32_t* texture) {
  Rasterize<2, 2>(vertices, [texture](const Polygon& p) {
    return TexturedSpan{texture, effects::pack_u_step(p.gradient[0]),
                        effects::pack_v_step(p.gradient[1])};
  });
}

void DrawTexturedHalf(TextureVertex* vertices, const uint32_t* texture) {
  Rasterize<2, 2>(vertices, [texture](const Polygon& p) {
    return MakeBlendSpan(p, effects::span_tex_average, texture);
  });
}

void DrawTexturedWeighted(TextureVertex* vertices, const uint32_t* texture, uint32_t texelWeight,
                          uint32_t pixelWeight) {
  effects::span_texel_weight = texelWeight;
  effects::span_dest_weight = pixelWeight;
  Rasterize<2, 2>(vertices, [texture](const Polygon& p) {
    return MakeBlendSpan(p, effects::span_tex_weighted, texture);
  });
}

void DrawTexturedMapped(TextureVertex* vertices, const uint32_t* texture) {
  Rasterize<2, 2>(vertices, [texture](const Polygon& p) {
    return MakeBlendSpan(p, effects::span_tex_alpha, texture);
  });
}

void DrawTexturedGouraud(ShadedTextureVertex* vertices, const uint8_t* texture) {
  Rasterize<3, 3>(vertices, [texture](const Polygon& p) {
    return ShadedSpan{texture, reinterpret_cast<const uint32_t*>(texture + kShadeTableOffset),
                      static_cast<uint32_t>(p.gradient[0]), static_cast<uint32_t>(p.gradient[1]),
                      static_cast<uint32_t>(p.gradient[2])};
  });
}

void DrawEnvironment(TextureVertex* vertices, const uint32_t* picture, int32_t rowLength,
                     int32_t height) {
  Rasterize<2, 2>(vertices, [=](const Polygon& p) {
    return EnvironmentSpan{picture, rowLength, height, p.gradient[0], p.gradient[1]};
  });
}

}  // namespace render
