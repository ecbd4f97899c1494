// What each rasterizer mode writes: texel addressing and wrapping, the per-byte formulas of the
// blending modes, the shade table lookup, the gouraud ramp and the environment picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>

#include "effects/effects.h"
#include "support.h"

namespace {

using namespace rendertest;

// An attribute as an exact linear function of the screen position. Offsets keep every value at
// least 1/20 texel away from an integer, so the filler's sub-texel rounding never changes a texel.
struct Linear {
  double a, b, c;
  double at(double x, double y) const { return a * x + b * y + c; }
  int floor_at(int x, int y) const { return static_cast<int>(std::floor(at(x, y))); }
};

// Triangles of several sizes, in and across the clip rectangle (10, 10) - (310, 190).
const Point kTriangles[][3] = {
    {{20, 15}, {300, 40}, {60, 185}},
    {{-80, -30}, {420, 100}, {100, 260}},
    {{150, 100}, {171, 104}, {158, 117}},
};

std::vector<bool> CoverageOf(const Point* p) {
  uint32_t* const target = render::frameBuffer;
  std::vector<uint32_t> scratch(kWidth * kHeight, kUntouched);
  render::frameBuffer = scratch.data();
  DrawFlat(p);
  render::frameBuffer = target;
  std::vector<bool> covered(scratch.size());
  for (size_t i = 0; i < scratch.size(); ++i) covered[i] = scratch[i] != kUntouched;
  return covered;
}

// Each pixel the triangle covers must hold expected(x, y, pixel before); the others keep theirs.
void ExpectPixels(const Point* p, const std::function<void()>& draw,
                  const std::function<uint32_t(int, int, uint32_t)>& expected, const char* mode) {
  Frame frame(10, 10, 310, 190);
  std::mt19937 rng(7);
  for (uint32_t& pixel : frame.pixels) pixel = rng();
  const std::vector<uint32_t> before = frame.pixels;
  const std::vector<bool> covered = CoverageOf(p);
  draw();
  int count = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int i = y * kWidth + x;
      const uint32_t want = covered[i] ? expected(x, y, before[i]) : before[i];
      ASSERT_EQ(frame.pixels[i], want) << mode << " at " << x << "," << y << std::hex
                                       << " before " << before[i];
      count += covered[i];
    }
  }
  EXPECT_GT(count, 100) << mode;
}

TEST(RasterModes, TexturedModesWrapAt256AndBlendPerByte) {
  std::mt19937 rng(3);
  std::vector<uint32_t> texture(effects::kTextureTexels);
  for (uint32_t& texel : texture) texel = rng();
  auto texel_at = [&](int u, int v) { return texture[effects::tiled_texel_index(u & 255, v & 255)]; };

  // u runs past 255 going right, v below 0 going down, and the other way round.
  const Linear uv[][2] = {{{1.0, 0.25, 230.05}, {0.5, -1.5, 20.3}},
                          {{-1.5, 0.1, 40.35}, {0.75, 2.0, -300.2}}};
  const uint32_t a = 102;  // transparency 0.4
  for (const auto& map : uv) {
    for (const auto& corners : kTriangles) {
      Point p[3] = {corners[0], corners[1], corners[2]};
      FrontFacing(p);
      render::TextureVertex v[3];
      auto setup = [&] {
        for (int i = 0; i < 3; ++i)
          v[i] = {p[i].x, p[i].y, float(map[0].at(p[i].x, p[i].y)), float(map[1].at(p[i].x, p[i].y)), 0};
      };
      auto texel = [&](int x, int y) { return texel_at(map[0].floor_at(x, y), map[1].floor_at(x, y)); };

      ExpectPixels(p, [&] { setup(), render::DrawTextured(v, texture.data()); },
                   [&](int x, int y, uint32_t) { return texel(x, y); }, "textured");
      ExpectPixels(p, [&] { setup(), render::DrawTexturedHalf(v, texture.data()); },
                   [&](int x, int y, uint32_t d) {
                     return PerByte(texel(x, y), d, [](uint32_t t, uint32_t d, int) {
                       return ((t & 0xFE) >> 1) + ((d & 0xFE) >> 1);
                     });
                   }, "half");
      ExpectPixels(p, [&] {
        setup(), render::DrawTexturedWeighted(v, texture.data(), effects::pack_span_weight(255 - a),
                                              effects::pack_span_weight(a));
      }, [&](int x, int y, uint32_t d) {
        return PerByte(texel(x, y), d, [&](uint32_t t, uint32_t d, int) {
          return ((t * (255 - a)) >> 8) + ((d * a) >> 8);
        });
      }, "weighted");
      ExpectPixels(p, [&] { setup(), render::DrawTexturedMapped(v, texture.data()); },
                   [&](int x, int y, uint32_t d) {
                     const uint32_t t = texel(x, y), alpha = t >> 24;
                     return PerByte(t, d, [&](uint32_t t, uint32_t d, int byte) {
                       if (byte == 3) return (alpha * 255) >> 8;
                       return ((t * (255 - alpha)) >> 8) + ((d * alpha) >> 8);
                     });
                   }, "mapped");
      if (HasFailure()) return;
    }
  }
}

TEST(RasterModes, ShadedTextureReadsIndexThenShadeTable) {
  std::mt19937 rng(11);
  std::vector<uint32_t> block(2 * 65536 / 4);
  uint8_t* texels = reinterpret_cast<uint8_t*>(block.data());
  for (int i = 0; i < 65536; ++i) texels[i] = static_cast<uint8_t>(rng());
  uint32_t* shades = block.data() + render::kShadeTableOffset / 4;
  for (int i = 0; i < 256 * render::kShadeLevels; ++i) shades[i] = rng() & 0x00FFFFFF;

  const Linear u{1.0, -0.5, 200.3}, v{0.25, 1.0, -60.45};
  // The shade climbs across the frame from below 0 to above 63: the ends are held to the table.
  const Linear shade{0.25, 0.0, -8.0 + 1.0 / 16};
  for (const auto& corners : kTriangles) {
    Point p[3] = {corners[0], corners[1], corners[2]};
    FrontFacing(p);
    render::ShadedTextureVertex sv[3];
    for (int i = 0; i < 3; ++i)
      sv[i] = {p[i].x, p[i].y, float(u.at(p[i].x, p[i].y)), float(v.at(p[i].x, p[i].y)),
               float(shade.at(p[i].x, p[i].y)), 0};
    ExpectPixels(p, [&] { render::DrawTexturedGouraud(sv, texels); },
                 [&](int x, int y, uint32_t) {
                   const int index = texels[(v.floor_at(x, y) & 255) * 256 + (u.floor_at(x, y) & 255)];
                   const int level = std::min(63, std::max(0, shade.floor_at(x, y)));
                   return shades[index * render::kShadeLevels + level];
                 }, "shaded");
    if (HasFailure()) return;
  }
}

TEST(RasterModes, GouraudRampIsTheIntegerIntensity) {
  Frame frame;
  // Intensity = x + 0.5 from column 0 to 255, the same on every row.
  render::ColourVertex v[3] = {{0, 0, 0.5f, 0, 0}, {0, 199, 0.5f, 0, 0}, {256, 0, 256.5f, 0, 0}};
  render::DrawGouraud(v);
  for (int y = 0; y < 199; ++y) {
    const int last = static_cast<int>(std::ceil(256.0 * (199 - y) / 199)) - 1;
    for (int x = 0; x <= last; ++x) ASSERT_EQ(frame.at(x, y), uint32_t(x) * 0x010101u) << x << "," << y;
    ASSERT_EQ(frame.at(last + 1, y), kUntouched) << y;
  }
}

// Every pixel of a gouraud face is the grey of the intensity interpolated exactly at its centre,
// within one level (the 16.16 steps round), and held to 0 ... 255 where the sub-pixel pre-step
// reaches past a corner's 0 or 255. The first triangle once drew white pixels on a face of
// intensities 0 ... 5.
TEST(RasterModes, GouraudIsTheInterpolatedIntensityHeldToTheCorners) {
  std::vector<std::array<render::ColourVertex, 3>> triangles = {
      {{{223.5f, 62.25f, 0, 0, 0}, {6.75f, 101.5f, 5, 0, 0}, {114.75f, 162, 0, 0, 0}}}};
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> x(-20, 340), y(-20, 220), level(0, 255);
  const auto intensity = [&] {
    const uint32_t pick = rng() % 3;
    return pick == 0 ? 0.0f : pick == 1 ? 255.0f : level(rng);
  };
  while (triangles.size() < 1500) {
    Point p[3] = {{x(rng), y(rng)}, {x(rng), y(rng)}, {x(rng), y(rng)}};
    FrontFacing(p);
    std::array<render::ColourVertex, 3> t;
    for (int k = 0; k < 3; ++k) t[k] = {p[k].x, p[k].y, intensity(), 0, 0};
    // Slivers, whose intensity changes by many levels from one pixel to the next, are left out:
    // there the rounding of the corners to 16.16 moves a pixel's value by more than one level.
    const double x1 = t[1].x - t[0].x, y1 = t[1].y - t[0].y, c1 = t[1].intensity - t[0].intensity;
    const double x2 = t[2].x - t[0].x, y2 = t[2].y - t[0].y, c2 = t[2].intensity - t[0].intensity;
    const double d = x1 * y2 - x2 * y1;
    if (std::fabs(c1 * y2 - c2 * y1) < 4 * std::fabs(d) && std::fabs(x1 * c2 - x2 * c1) < 4 * std::fabs(d))
      triangles.push_back(t);
  }
  Frame frame;
  int checked = 0;
  for (const auto& t : triangles) {
    render::ColourVertex v[3] = {t[0], t[1], t[2]};
    frame.Fill(kUntouched);
    render::DrawGouraud(v);
    // The plane through the three corners, in double precision.
    const double x0 = t[0].x, y0 = t[0].y, c0 = t[0].intensity;
    const double x1 = t[1].x - x0, y1 = t[1].y - y0, c1 = t[1].intensity - c0;
    const double x2 = t[2].x - x0, y2 = t[2].y - y0, c2 = t[2].intensity - c0;
    const double d = x1 * y2 - x2 * y1;
    const double lo = std::min({t[0].intensity, t[1].intensity, t[2].intensity});
    const double hi = std::max({t[0].intensity, t[1].intensity, t[2].intensity});
    for (int py = 0; py < kHeight; ++py) {
      for (int px = 0; px < kWidth; ++px) {
        const uint32_t pixel = frame.at(px, py);
        if (pixel == kUntouched) continue;
        const double dx = px - x0, dy = py - y0;
        const double exact = c0 + (c1 * (dx * y2 - x2 * dy) + c2 * (x1 * dy - dx * y1)) / d;
        const double want = std::floor(std::min(hi, std::max(lo, exact)));
        const int got = static_cast<int>(pixel & 0xFF);
        ASSERT_EQ(pixel, uint32_t(got) * 0x010101u) << px << "," << py;
        ASSERT_LE(std::fabs(got - want), 1.0)
            << "triangle " << &t - triangles.data() << " at " << px << "," << py << " exact " << exact;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 500000);
}

TEST(RasterModes, EnvironmentFollowsCoordinatesAndClampsToThePicture) {
  constexpr int kPictureWidth = 320, kPictureHeight = 200;
  std::vector<uint32_t> picture(kPictureWidth * kPictureHeight);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint32_t>(i * 2654435761u);

  struct Case {
    const char* what;
    Linear u, v;
  };
  // The first stays inside the picture (fractions of u and v both carry along a span); the others
  // run off its edges on every side and read the nearest edge pixel.
  const Case cases[] = {
      {"inside", {0.6, -0.2, 40.05}, {0.3, 0.7, 15.05}},
      {"outside", {1.6, 0.2, -150.05}, {-0.4, 1.3, -20.05}},
      {"far outside", {-40.0, 3.0, 5000.05}, {30.0, -20.0, -3000.05}},
  };
  for (const Case& c : cases) {
    for (const auto& corners : kTriangles) {
      Point p[3] = {corners[0], corners[1], corners[2]};
      FrontFacing(p);
      render::TextureVertex v[3];
      for (int i = 0; i < 3; ++i)
        v[i] = {p[i].x, p[i].y, float(c.u.at(p[i].x, p[i].y)), float(c.v.at(p[i].x, p[i].y)), 0};
      ExpectPixels(p, [&] { render::DrawEnvironment(v, picture.data(), kPictureWidth, kPictureHeight); },
                   [&](int x, int y, uint32_t) {
                     const int px = std::min(kPictureWidth - 1, std::max(0, c.u.floor_at(x, y)));
                     const int py = std::min(kPictureHeight - 1, std::max(0, c.v.floor_at(x, y)));
                     return picture[py * kPictureWidth + px];
                   }, c.what);
      if (HasFailure()) return;
    }
  }
}

}  // namespace
