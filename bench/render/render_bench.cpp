// Rasterizer speed per mode on small (10-pixel) and large (2000-pixel) triangles in a 320 x 200
// frame, against a plain loop that writes the same number of pixels; one frame of 2,000 textured
// triangles of about 20 pixels each; the per-frame face sort against std::sort.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "render/raster.h"
#include "render/settings.h"
#include "render/sort.h"

namespace {

constexpr int kWidth = 320, kHeight = 200;
constexpr int kTriangles = 1024;

struct Corner {
  float x, y, u, v, shade;
};
using Triangle = std::array<Corner, 3>;

struct Scene {
  std::vector<uint32_t> frame = std::vector<uint32_t>(kWidth * kHeight);
  std::vector<uint32_t> texture = std::vector<uint32_t>(effects::kTextureTexels);
  std::vector<uint32_t> shaded = std::vector<uint32_t>(2 * 65536 / 4);
  std::vector<uint32_t> picture = std::vector<uint32_t>(kWidth * kHeight);

  Scene() {
    std::mt19937 rng(1);
    for (uint32_t& t : texture) t = rng();
    for (uint32_t& t : shaded) t = rng() & 0x00FFFFFF;
    for (uint32_t& p : picture) p = rng();
    render::frameBuffer = frame.data();
    render::framePitch = kWidth * 4;
    render::clipMinX = 0, render::clipMinY = 0, render::clipMaxX = 319, render::clipMaxY = 199;
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

// Random triangles of about the given area inside the frame, front-facing, with texture
// coordinates spread as the frame renderer's would be (about one texel per pixel).
std::vector<Triangle> MakeTriangles(int count, double area, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<Triangle> out;
  while (static_cast<int>(out.size()) < count) {
    double x[3], y[3];
    for (int i = 0; i < 3; ++i) x[i] = unit(rng), y[i] = unit(rng);
    const double d = (x[0] - x[2]) * (y[1] - y[2]) - (x[1] - x[2]) * (y[0] - y[2]);
    if (std::fabs(d) < 0.1) continue;  // no slivers
    const double scale = std::sqrt(2 * area / std::fabs(d));
    const double w = scale * (*std::max_element(x, x + 3)), h = scale * (*std::max_element(y, y + 3));
    if (w >= kWidth - 2 || h >= kHeight - 2) continue;
    const double ox = 1 + unit(rng) * (kWidth - 2 - w), oy = 1 + unit(rng) * (kHeight - 2 - h);
    Triangle t;
    for (int i = 0; i < 3; ++i) {
      const float sx = float(ox + scale * x[i]), sy = float(oy + scale * y[i]);
      t[i] = {sx, sy, sx * 0.9f + 13, sy * 1.1f + 7, float(unit(rng) * 62)};
    }
    if (d > 0) std::swap(t[1], t[2]);
    out.push_back(t);
  }
  return out;
}

const std::vector<Triangle>& Triangles(bool large) {
  static const std::vector<Triangle> small = MakeTriangles(kTriangles, 10, 2);
  static const std::vector<Triangle> big = MakeTriangles(kTriangles, 2000, 3);
  return large ? big : small;
}

enum Mode { GOURAUD, TEXTURED, HALF, WEIGHTED, MAPPED, SHADED, ENVIRONMENT };

void Draw(Mode mode, const Triangle& t) {
  Scene& s = TheScene();
  render::TextureVertex tv[3];
  for (int i = 0; i < 3; ++i) tv[i] = {t[i].x, t[i].y, t[i].u, t[i].v, 0};
  switch (mode) {
    case GOURAUD: {
      render::ColourVertex cv[3];
      for (int i = 0; i < 3; ++i) cv[i] = {t[i].x, t[i].y, t[i].shade * 4, 0, 0};
      return render::DrawGouraud(cv);
    }
    case TEXTURED: return render::DrawTextured(tv, s.texture.data());
    case HALF: return render::DrawTexturedHalf(tv, s.texture.data());
    case WEIGHTED:
      return render::DrawTexturedWeighted(tv, s.texture.data(), effects::pack_span_weight(153),
                                          effects::pack_span_weight(102));
    case MAPPED: return render::DrawTexturedMapped(tv, s.texture.data());
    case SHADED: {
      render::ShadedTextureVertex sv[3];
      for (int i = 0; i < 3; ++i) sv[i] = {t[i].x, t[i].y, t[i].u, t[i].v, t[i].shade, 0};
      return render::DrawTexturedGouraud(sv, reinterpret_cast<const uint8_t*>(s.shaded.data()));
    }
    case ENVIRONMENT: return render::DrawEnvironment(tv, s.picture.data(), kWidth, kHeight);
  }
}

// Pixels the set of triangles writes, counted once by drawing over a marked frame.
int64_t PixelsOf(const std::vector<Triangle>& triangles) {
  Scene& s = TheScene();
  int64_t pixels = 0;
  for (const Triangle& t : triangles) {
    std::fill(s.frame.begin(), s.frame.end(), 0xDEADBEEF);
    Draw(TEXTURED, t);
    pixels += std::count_if(s.frame.begin(), s.frame.end(), [](uint32_t p) { return p != 0xDEADBEEF; });
  }
  return pixels;
}

void Report(benchmark::State& state, int64_t triangles, int64_t pixels) {
  state.SetItemsProcessed(state.iterations() * triangles);
  state.counters["pixels"] =
      benchmark::Counter(double(pixels) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Mode(benchmark::State& state, Mode mode, bool large) {
  const std::vector<Triangle>& triangles = Triangles(large);
  const int64_t pixels = PixelsOf(triangles);
  for (auto _ : state) {
    for (const Triangle& t : triangles) Draw(mode, t);
    benchmark::ClobberMemory();
  }
  Report(state, kTriangles, pixels);
}

// The baseline: the same number of pixels per triangle written by a plain loop, row by row.
void BM_PlainLoop(benchmark::State& state, bool large) {
  const std::vector<Triangle>& triangles = Triangles(large);
  Scene& s = TheScene();
  std::vector<int> counts;
  for (const Triangle& t : triangles) counts.push_back(static_cast<int>(PixelsOf({t})));
  const int64_t pixels = PixelsOf(triangles);
  const int row = large ? 50 : 4;
  uint32_t value = 0;
  for (auto _ : state) {
    int offset = 0;
    for (int n : counts) {
      for (int done = 0; done < n; done += row) {
        uint32_t* dst = s.frame.data() + offset;
        const int len = std::min(row, n - done);
        for (int i = 0; i < len; ++i) dst[i] = value;
        offset = (offset + kWidth) % (kWidth * (kHeight - 1));
      }
      ++value;
    }
    benchmark::ClobberMemory();
  }
  Report(state, kTriangles, pixels);
}

// One frame of 2,000 textured triangles of about 20 pixels each.
void BM_TexturedFrameOf2000Small(benchmark::State& state) {
  static const std::vector<Triangle> triangles = MakeTriangles(2000, 20, 4);
  const int64_t pixels = PixelsOf(triangles);
  for (auto _ : state) {
    for (const Triangle& t : triangles) Draw(TEXTURED, t);
    benchmark::ClobberMemory();
  }
  Report(state, 2000, pixels);
}

// The frame's sort: 4,000 entries with depth-sum keys, against std::sort on the exact keys.
std::vector<render::SortEntry> SortInput() {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> depth(30, 3000);
  std::vector<render::SortEntry> entries(4000);
  for (render::SortEntry& e : entries) e = {depth(rng), &e};
  return entries;
}

void BM_SortFaces(benchmark::State& state) {
  const std::vector<render::SortEntry> input = SortInput();
  std::vector<render::SortEntry> table;
  for (auto _ : state) {
    table = input;
    render::SortFaces(table.data(), static_cast<int>(table.size()));
    benchmark::DoNotOptimize(table.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(input.size()));
}

void BM_StdSortBaseline(benchmark::State& state) {
  const std::vector<render::SortEntry> input = SortInput();
  std::vector<render::SortEntry> table;
  for (auto _ : state) {
    table = input;
    std::sort(table.begin(), table.end(),
              [](const render::SortEntry& a, const render::SortEntry& b) { return a.key > b.key; });
    benchmark::DoNotOptimize(table.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(input.size()));
}

struct Named {
  const char* name;
  Mode mode;
};
const Named kModes[] = {{"gouraud", GOURAUD},   {"textured", TEXTURED}, {"half", HALF},
                        {"weighted", WEIGHTED}, {"mapped", MAPPED},     {"shaded", SHADED},
                        {"environment", ENVIRONMENT}};

const bool registered = [] {
  for (bool large : {false, true}) {
    const std::string size = large ? "/large_2000px" : "/small_10px";
    benchmark::RegisterBenchmark(("plain_loop" + size).c_str(), BM_PlainLoop, large);
    for (const Named& m : kModes)
      benchmark::RegisterBenchmark((m.name + size).c_str(), BM_Mode, m.mode, large);
  }
  benchmark::RegisterBenchmark("textured/frame_of_2000_triangles_20px", BM_TexturedFrameOf2000Small);
  benchmark::RegisterBenchmark("sort/std_sort_baseline_4000", BM_StdSortBaseline);
  benchmark::RegisterBenchmark("sort/SortFaces_4000", BM_SortFaces);
  return true;
}();

}  // namespace
