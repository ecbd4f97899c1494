// Which pixels a triangle owns: the fixed-point filler against the exact per-pixel reference, shared
// edges, the clip rectangle and the degenerate cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "effects/effects.h"
#include "support.h"

namespace {

using namespace rendertest;

// The filler steps edges in 16.16 with truncated slopes (and a truncated reciprocal for edges of
// one scanline), so a pixel whose sample point lies that close to an edge may be decided either way;
// everywhere else the filler and the exact reference agree.
constexpr double kEdgeTolerance = 2048;  // 1/32 pixel

struct Mismatch {
  int count = 0, covered = 0;
};

Mismatch CompareWithReference(const Point* p, Frame& frame, const char* what) {
  Mismatch m;
  // The clip rectangle holds the pixels from ceil(min) up to, not including, ceil(max).
  const int min_x = int(std::ceil(render::clipMinX)), max_x = int(std::ceil(render::clipMaxX));
  const int min_y = int(std::ceil(render::clipMinY)), max_y = int(std::ceil(render::clipMaxY));
  // Only the triangle's bounding box can differ; beyond it nothing may be written.
  const auto low = [](float a, float b, float c, int limit) {
    return std::max(0, std::min(limit, int(std::floor(std::fmin(a, std::fmin(b, c)))) - 1));
  };
  const auto high = [](float a, float b, float c, int limit) {
    return std::max(0, std::min(limit, int(std::ceil(std::fmax(a, std::fmax(b, c)))) + 2));
  };
  const int x0 = low(p[0].x, p[1].x, p[2].x, kWidth), x1 = high(p[0].x, p[1].x, p[2].x, kWidth);
  const int y0 = low(p[0].y, p[1].y, p[2].y, kHeight), y1 = high(p[0].y, p[1].y, p[2].y, kHeight);
  for (int py = y0; py < y1; ++py) {
    for (int px = x0; px < x1; ++px) {
      const bool drawn = frame.at(px, py) != kUntouched;
      const bool in_clip = px >= min_x && px < max_x && py >= min_y && py < max_y;
      const Coverage c = Reference(p, px, py);
      const bool expected = in_clip && c.inside;
      m.covered += drawn;
      if (drawn == expected) continue;
      ++m.count;
      EXPECT_TRUE(in_clip) << what << " wrote outside the clip rectangle at " << px << "," << py;
      EXPECT_LE(c.distance, kEdgeTolerance)
          << what << " differs at " << px << "," << py << " drawn=" << drawn << " triangle ("
          << p[0].x << "," << p[0].y << ") (" << p[1].x << "," << p[1].y << ") (" << p[2].x << ","
          << p[2].y << ")";
    }
  }
  EXPECT_EQ(frame.Written(), m.covered) << what << " wrote beyond its bounding box";
  return m;
}

TEST(RasterCoverage, FillerAgreesWithExactReferenceOnRandomTriangles) {
  std::mt19937 rng(1234);
  struct Clip {
    float min_x, min_y, max_x, max_y;
  };
  const Clip clips[] = {{0, 0, 319, 199}, {10, 10, 310, 190}, {0.5f, 3.25f, 200.75f, 99.5f}};
  int mismatches = 0, covered = 0, triangles = 0;
  for (const Clip& clip : clips) {
    for (int t = 0; t < 1500; ++t) {
      Frame frame(clip.min_x, clip.min_y, clip.max_x, clip.max_y);
      // Small, large and partly outside; every seventh within one scanline (its edges take the
      // reciprocal path); every fifth on a quarter-pixel grid so that sample points fall exactly on
      // edges and corners and the tie rules are exercised.
      std::uniform_real_distribution<float> centre_x(-40, 360), centre_y(-40, 240);
      const float size = t % 3 == 0 ? 6.0f : t % 3 == 1 ? 40.0f : 300.0f;
      std::uniform_real_distribution<float> offset(-size, size), within_scanline(0.01f, 1.99f);
      const float cx = centre_x(rng), cy = centre_y(rng);
      Point p[3];
      for (Point& q : p) {
        q = {cx + offset(rng), t % 7 == 0 ? std::floor(cy) + within_scanline(rng) : cy + offset(rng)};
      }
      if (t % 5 == 0) {
        for (Point& q : p) q = {std::round(q.x * 4) / 4, std::round(q.y * 4) / 4};
      }
      FrontFacing(p);
      DrawFlat(p);
      const Mismatch m = CompareWithReference(p, frame, "triangle");
      mismatches += m.count;
      covered += m.covered;
      ++triangles;
      if (HasFailure()) return;
    }
  }
  // Near-edge disagreements are rare: well under one pixel in a thousand.
  EXPECT_LT(mismatches * 1000, covered) << mismatches << " of " << covered << " in " << triangles;
}

// Top corner, lower left, lower right: counter-clockwise as seen on screen, drawn; the reverse not.
// Drawn from the left clip line on.
TEST(RasterCoverage, OnlyTheCounterClockwiseWindingIsDrawn) {
  Frame frame(10, 10, 310, 190);
  const Point drawn[3] = {{10, 10}, {10, 90}, {100, 90}};
  DrawFlat(drawn);
  EXPECT_GT(frame.Written(), 3000);
  EXPECT_NE(frame.at(10, 60), kUntouched);
  EXPECT_EQ(frame.at(9, 60), kUntouched);
  frame.Fill(kUntouched);
  const Point reversed[3] = {drawn[0], drawn[2], drawn[1]};
  DrawFlat(reversed);
  EXPECT_EQ(frame.Written(), 0);
}

// Fans of triangles around a centre point, partly outside the clip rectangle: every pixel is written
// at most once, and no pixel well inside the fan's outline is left out. (That each mode covers the
// pixels the flat fill covers is shown by the mode tests.)
TEST(RasterCoverage, SharedEdgesAreDrawnOnceWithoutGaps) {
  struct Fan {
    float cx, cy, r;
    int sides;
    double phase;
    bool inner_clip;
  };
  // The first wrote a pixel twice where two clipped triangles meet when a crossing was interpolated
  // from the first vertex of its edge (which differs between the two) instead of its inside end.
  std::vector<Fan> fans = {{158.190369f, 4.39556122f, 146.998077f, 8, 0.6, true}};
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> centre_x(-20, 340), centre_y(-20, 220), radius(5, 260);
  for (int i = 0; i < 60; ++i) {
    const float cx = centre_x(rng), cy = centre_y(rng), r = radius(rng);
    fans.push_back({cx, cy, r, 3 + i % 9, 0.3 * (i % 3), i % 2 == 1});
  }
  for (size_t fan = 0; fan < fans.size(); ++fan) {
    const Fan& f = fans[fan];
    Frame frame(f.inner_clip ? 10.0f : 0.0f, f.inner_clip ? 10.0f : 0.0f,
                f.inner_clip ? 310.0f : 319.0f, f.inner_clip ? 190.0f : 199.0f);
    const float cx = f.cx, cy = f.cy;
    const int sides = f.sides;
    std::vector<Point> rim;
    for (int i = 0; i < sides; ++i) {
      const double a = 2 * M_PI * (i + f.phase) / sides;
      rim.push_back({float(cx + f.r * std::cos(a)), float(cy + f.r * std::sin(a))});
    }
    // The whole fan in the half-transparent mode over black: a pixel written once holds half the
    // texel, one written twice three quarters.
    const std::vector<uint32_t> grey(effects::kTextureTexels, 0x80808080);
    frame.Fill(0);
    for (int i = 0; i < sides; ++i) {
      Point p[3] = {{cx, cy}, rim[i], rim[(i + 1) % sides]};
      FrontFacing(p);
      render::TextureVertex v[3];
      for (int k = 0; k < 3; ++k) v[k] = {p[k].x, p[k].y, 0.5f, 0.5f, 0};
      render::DrawTexturedHalf(v, grey.data());
    }
    for (int py = 0; py < kHeight; ++py) {
      for (int px = 0; px < kWidth; ++px) {
        const uint32_t pixel = frame.at(px, py);
        ASSERT_TRUE(pixel == 0 || pixel == 0x40404040u) << "fan " << fan << " pixel " << px << ","
                                                        << py << " written twice";
        const bool in_clip = px >= render::clipMinX && px < render::clipMaxX &&
                             py >= render::clipMinY && py < render::clipMaxY;
        // Well inside the outline: within the polygon and more than a pixel from its rim.
        bool deep = in_clip;
        for (int i = 0; i < sides && deep; ++i) {
          const Point a = rim[i], b = rim[(i + 1) % sides];
          const double e = (double(b.x) - a.x) * (py - a.y) - (double(b.y) - a.y) * (px - a.x);
          const double len = std::hypot(double(b.x) - a.x, double(b.y) - a.y);
          deep = e / len > 1.0;  // positive inside for this rim order
        }
        if (deep) {
          ASSERT_EQ(pixel, 0x40404040u) << "fan " << fan << " gap at " << px << "," << py;
        }
      }
    }
  }
}

TEST(RasterCoverage, DegenerateAndRejectedTrianglesWriteNothing) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    Point p[3];
  };
  const Case cases[] = {
      {"zero area", {{10, 10}, {50, 50}, {90, 90}}},
      {"one point", {{40, 40}, {40, 40}, {40, 40}}},
      {"no scanline", {{10, 10.2f}, {300, 10.9f}, {100, 10.5f}}},
      {"no column", {{10.2f, 10}, {10.9f, 100}, {10.5f, 150}}},
      {"infinite", {{10, 10}, {inf, 100}, {100, 150}}},
      {"not a number", {{10, 10}, {200, nan}, {100, 150}}},
      {"on the right clip line, outside", {{310, 50}, {330, 60}, {310, 70}}},
  };
  for (const Case& c : cases) {
    Frame frame(10, 10, 310, 190);
    Point p[3] = {c.p[0], c.p[1], c.p[2]};
    FrontFacing(p);
    DrawFlat(p);
    EXPECT_EQ(frame.Written(), 0) << c.what;
  }
  // A non-finite attribute rejects the triangle as well; the outcodes are stored either way.
  Frame frame;
  render::TextureVertex v[3] = {{10, 10, 0, 0, -1}, {200, 20, nan, 0, -1}, {20, 150, 0, 0, -1}};
  std::vector<uint32_t> texture(65536, 0x12345678);
  render::DrawTextured(v, texture.data());
  EXPECT_EQ(frame.Written(), 0);
  render::TextureVertex out[3] = {{-5, -5, 0, 0, -1}, {400, 100, 0, 0, -1}, {20, 250, 0, 0, -1}};
  render::DrawTextured(out, texture.data());
  EXPECT_EQ(out[0].outcode, render::OUT_LEFT | render::OUT_TOP);
  EXPECT_EQ(out[1].outcode, render::OUT_RIGHT);
  EXPECT_EQ(out[2].outcode, render::OUT_BOTTOM);
}

// Coordinates and attributes from anywhere in the float range, infinities and NaN included: every
// mode stays inside the clip rectangle and reads only its texture or picture (the sanitizer build
// checks the reads).
TEST(RasterCoverage, HostileInputStaysInsideTheClipRectangle) {
  std::mt19937 rng(2024);
  using limits = std::numeric_limits<float>;
  const float specials[] = {limits::infinity(), -limits::infinity(), limits::quiet_NaN(),
                            limits::max(),      -limits::max(),      limits::denorm_min(),
                            1e30f,              -1e30f,              9.99999f,
                            310.00003f};
  auto any = [&](float lo, float hi) {
    const uint32_t pick = rng() % 16;
    if (pick < 10) return specials[pick];
    return std::uniform_real_distribution<float>(lo, hi)(rng);
  };
  const std::vector<uint32_t> texture(effects::kTextureTexels, 0x11223344);
  const std::vector<uint32_t> picture(kWidth * kHeight, 0x55667788);
  const std::vector<uint8_t> shaded(2 * 65536, 1);
  Frame frame(10, 10, 310, 190);
  for (int t = 0; t < 4000; ++t) {
    render::TextureVertex tv[3];
    render::ShadedTextureVertex sv[3];
    render::ColourVertex cv[3];
    for (int i = 0; i < 3; ++i) {
      const float x = any(-400, 700), y = any(-400, 600);
      tv[i] = {x, y, any(-1e6f, 1e6f), any(-1e6f, 1e6f), 0};
      sv[i] = {x, y, tv[i].u, tv[i].v, any(-100, 100), 0};
      cv[i] = {x, y, any(-1000, 1000), any(-1, 1), 0};
    }
    switch (t % 7) {
      case 0: render::DrawGouraud(cv); break;
      case 1: render::DrawTextured(tv, texture.data()); break;
      case 2: render::DrawTexturedHalf(tv, texture.data()); break;
      case 3: render::DrawTexturedWeighted(tv, texture.data(), 0x00990099, 0x00660066); break;
      case 4: render::DrawTexturedMapped(tv, texture.data()); break;
      case 5: render::DrawTexturedGouraud(sv, shaded.data()); break;
      case 6: render::DrawEnvironment(tv, picture.data(), kWidth, kHeight); break;
    }
  }
  int inside = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const bool in_clip = x >= 10 && x < 310 && y >= 10 && y < 190;
      if (!in_clip) {
        ASSERT_EQ(frame.at(x, y), kUntouched) << x << "," << y;
      }
      inside += in_clip && frame.at(x, y) != kUntouched;
    }
  }
  EXPECT_GT(inside, 1000);
}

}  // namespace
