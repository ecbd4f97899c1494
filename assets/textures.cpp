// Procedural textures. Every pattern tiles (its noise lattice wraps at the picture's edge), so the
// scenes can repeat them across large surfaces without seams.
#include "assets/textures.h"

#include <algorithm>
#include <cmath>

#include "assets/scene_kit.h"

namespace assets {
namespace {

constexpr int kSize = 256;

uint32_t rgb(float r, float g, float b) {
  auto c = [](float v) { return static_cast<uint32_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); };
  return c(r) << 16 | c(g) << 8 | c(b);
}

uint32_t mix(uint32_t a, uint32_t b, float t) {
  auto ch = [&](int s) {
    return static_cast<float>(a >> s & 0xFF) * (1 - t) + static_cast<float>(b >> s & 0xFF) * t;
  };
  return rgb(ch(16), ch(8), ch(0));
}

uint32_t scale(uint32_t c, float s) { return mix(0, c, s); }

// Value noise on a lattice that wraps at the picture size: `cells` lattice steps across 256 texels
// (x) and `rows` down (y), smoothly interpolated; result 0..1.
class Noise {
 public:
  explicit Noise(uint32_t seed) {
    Random random(seed);
    for (float& v : lattice_) v = random.uniform(0, 1);
  }
  float at(float x, float y, int cells, int rows) const {
    const float gx = x * static_cast<float>(cells) / kSize, gy = y * static_cast<float>(rows) / kSize;
    const int ix = static_cast<int>(std::floor(gx)), iy = static_cast<int>(std::floor(gy));
    const float fx = smoothstep(0, 1, gx - static_cast<float>(ix)), fy = smoothstep(0, 1, gy - static_cast<float>(iy));
    auto l = [&](int cx, int cy) {
      return lattice_[static_cast<size_t>(((cy % rows + rows) % rows) * 64 + (cx % cells + cells) % cells)];
    };
    const float top = l(ix, iy) + (l(ix + 1, iy) - l(ix, iy)) * fx;
    const float bottom = l(ix, iy + 1) + (l(ix + 1, iy + 1) - l(ix, iy + 1)) * fx;
    return top + (bottom - top) * fy;
  }
  // Four octaves from `cells` lattice steps up, each half as strong; result 0..1.
  float fractal(float x, float y, int cells, int rows) const {
    float sum = 0, weight = 0, amplitude = 1;
    for (int octave = 0; octave < 4 && cells <= 64 && rows <= 64; ++octave) {
      sum += amplitude * at(x, y, cells, rows);
      weight += amplitude;
      amplitude *= 0.5f;
      cells *= 2;
      rows *= 2;
    }
    return sum / weight;
  }

 private:
  float lattice_[64 * 64];
};

Texture true_colour(const char* member) {
  Texture t;
  t.member = member;
  t.pixels.resize(kSize * kSize);
  return t;
}

// A colour-mapped texture whose palette runs through the given colour stops, spread evenly.
Texture colour_mapped(const char* member, const std::vector<uint32_t>& stops) {
  Texture t;
  t.member = member;
  t.indexed = true;
  t.indices.resize(kSize * kSize);
  for (int i = 0; i < 256; ++i) {
    const float at = static_cast<float>(i) / 255 * static_cast<float>(stops.size() - 1);
    const size_t k = std::min(static_cast<size_t>(at), stops.size() - 2);
    t.palette.push_back(mix(stops[k], stops[k + 1], at - static_cast<float>(k)));
  }
  return t;
}

uint8_t index_of(float level) { return static_cast<uint8_t>(std::clamp(level, 0.0f, 1.0f) * 255 + 0.5f); }

// The same picture in true colour, for a flat material.
Texture in_true_colour(Texture t) {
  for (uint8_t i : t.indices) t.pixels.push_back(t.palette[i]);
  t.indexed = false;
  t.indices.clear();
  t.palette.clear();
  return t;
}

// Night sky over a snowy land, for the inside of a sphere mapped by latitude (the top row is the
// zenith): stars above a dim horizon glow, a row of distant hills, moonlit snow below.
Texture sky() {
  Texture t = true_colour("sky.tga");
  Noise noise(11);
  Random stars(12);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float elevation = 90 - static_cast<float>(y) * 180 / (kSize - 1);
      const float ridge = 2 + 7 * noise.fractal(static_cast<float>(x), 0, 8, 1);
      uint32_t c;
      if (elevation > ridge)
        c = mix(rgb(44, 56, 98), rgb(5, 8, 26), std::pow((elevation - ridge) / (90 - ridge), 0.45f));
      else if (elevation > 0)
        c = mix(rgb(26, 32, 56), rgb(58, 66, 98), 1 - elevation / ridge);
      else
        c = scale(rgb(112, 122, 158), 0.9f + 0.1f * noise.at(static_cast<float>(x), static_cast<float>(y), 32, 32));
      t.pixels[static_cast<size_t>(y * kSize + x)] = c;
    }
  for (int i = 0; i < 420; ++i) {
    const int x = static_cast<int>(stars.next() % kSize), y = static_cast<int>(stars.next() % 100);
    const float bright = stars.uniform(0.35f, 1);
    t.pixels[static_cast<size_t>(y * kSize + x)] = mix(t.pixels[static_cast<size_t>(y * kSize + x)], rgb(235, 240, 255), bright);
  }
  return t;
}

Texture snow() {
  Texture t = colour_mapped("snow.tga", {rgb(58, 68, 108), rgb(118, 130, 174), rgb(196, 206, 236)});
  Noise noise(21);
  Random sparkle(22);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      float level = 0.35f + 0.45f * noise.fractal(static_cast<float>(x), static_cast<float>(y), 4, 4);
      if (sparkle.next() % 64 == 0) level += 0.3f;
      t.indices[static_cast<size_t>(y * kSize + x)] = index_of(level);
    }
  return t;
}

// Needles in layers, each layer's upper edge under snow (v runs up the cone).
Texture pine() {
  Texture t = colour_mapped("pine.tga", {rgb(8, 22, 14), rgb(22, 52, 30), rgb(48, 86, 52), rgb(150, 162, 186),
                                         rgb(236, 242, 255)});
  Noise noise(31);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      const float needles = noise.fractal(fx + fy * 0.5f, fy, 16, 32);
      const float layer = std::fmod(fy + 10 * noise.at(fx, 0, 8, 1), 32.0f);
      float level = 0.1f + 0.45f * needles;
      if (layer < 7 + 5 * noise.at(fx, fy, 16, 16)) level = 0.8f + 0.2f * needles;
      t.indices[static_cast<size_t>(y * kSize + x)] = index_of(level);
    }
  return t;
}

Texture bark() {
  Texture t = colour_mapped("bark.tga", {rgb(22, 14, 10), rgb(72, 50, 34), rgb(128, 98, 70)});
  Noise noise(41);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      const float streaks = noise.fractal(fx, fy, 32, 2);
      const float knots = noise.at(fx, fy, 8, 8);
      t.indices[static_cast<size_t>(y * kSize + x)] = index_of(0.15f + 0.6f * streaks + 0.2f * knots);
    }
  return t;
}

// Railway bed seen from above, u across and v along: snowy ballast, wooden sleepers every 64
// rows, and two steel rails.
Texture track() {
  Texture t = colour_mapped("track.tga", {rgb(40, 30, 22), rgb(96, 72, 50), rgb(70, 74, 82), rgb(150, 156, 172),
                                          rgb(238, 242, 252)});
  Noise noise(51);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      const float n = noise.fractal(fx, fy, 16, 16);
      float level = 0.55f + 0.45f * n;  // ballast under snow
      if (y % 64 < 24 && x > 24 && x < 232 && n < 0.62f) level = 0.05f + 0.25f * noise.at(fx, fy, 64, 4);
      const int from_rail = std::min(std::abs(x - 76), std::abs(x - 180));
      if (from_rail < 7) level = 0.52f + 0.06f * static_cast<float>(7 - from_rail) - 0.1f * (from_rail > 4);
      t.indices[static_cast<size_t>(y * kSize + x)] = index_of(level);
    }
  return t;
}

// Horizontal planks 32 rows high with grain, dark joints and staggered butt ends.
Texture planks() {
  Texture t = true_colour("planks.tga");
  Noise noise(61);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      const int plank = y / 32;
      const float grain = 0.5f + 0.5f * std::sin(fy * 0.9f + 9 * noise.fractal(fx, fy, 8, 32));
      uint32_t c = scale(rgb(122, 80, 46), 0.62f + 0.3f * grain + 0.15f * noise.at(fx, static_cast<float>(plank) * 32, 4, 8));
      if (y % 32 < 2 || (x + plank * 97) % 256 < 2) c = rgb(30, 19, 11);
      t.pixels[static_cast<size_t>(y * kSize + x)] = c;
    }
  return t;
}

// The locomotive's cab and tender: dark green riveted steel with a red line.
Texture loco() {
  Texture t = true_colour("loco.tga");
  Noise noise(75);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      uint32_t c = scale(rgb(26, 58, 40), 0.8f + 0.2f * noise.fractal(static_cast<float>(x), static_cast<float>(y), 8, 8));
      if (y % 128 >= 100 && y % 128 < 104) c = rgb(150, 30, 24);
      if (x % 32 == 16 && y % 16 == 8) c = rgb(80, 110, 90);
      t.pixels[static_cast<size_t>(y * kSize + x)] = c;
    }
  return t;
}

// Coach sides: dark red panels with lining.
Texture coach() {
  Texture t = true_colour("coach.tga");
  Noise noise(71);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      uint32_t c = scale(rgb(122, 28, 24), 0.85f + 0.15f * noise.fractal(static_cast<float>(x), static_cast<float>(y), 8, 8));
      if (x % 64 < 2 || y % 128 < 3) c = rgb(42, 10, 8);
      if (y % 128 >= 8 && y % 128 < 11) c = rgb(196, 160, 70);
      t.pixels[static_cast<size_t>(y * kSize + x)] = c;
    }
  return t;
}

// Brick in true colour: the chimney is a flat material.
Texture brick() {
  Texture t = colour_mapped("brick.tga", {rgb(60, 22, 16), rgb(150, 66, 46), rgb(150, 146, 140), rgb(230, 230, 234)});
  Noise noise(81);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const int row = y / 16, shifted = x + (row % 2) * 16;
      const float n = noise.fractal(static_cast<float>(x), static_cast<float>(y), 16, 16);
      float level = 0.05f + 0.55f * n;
      if (y % 16 < 2 || shifted % 32 < 2) level = 0.7f + 0.25f * n;
      t.indices[static_cast<size_t>(y * kSize + x)] = index_of(level);
    }
  return in_true_colour(t);
}

// A door of upright boards 32 texels wide with dark joints, in true colour (a flat material).
Texture door() {
  Texture t = true_colour("door.tga");
  Noise noise(66);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float fx = static_cast<float>(x), fy = static_cast<float>(y);
      const int board = x / 32;
      const float grain = 0.5f + 0.5f * std::sin(fx * 0.8f + 8 * noise.fractal(fx, fy, 32, 8));
      uint32_t c = scale(rgb(104, 66, 38), 0.6f + 0.25f * grain + 0.2f * noise.at(static_cast<float>(board) * 32, fy, 8, 4));
      if (x % 32 < 2) c = rgb(28, 17, 10);
      t.pixels[static_cast<size_t>(y * kSize + x)] = c;
    }
  return t;
}

// A reflection picture for phong materials, addressed by the surface normal: u grows with the
// normal's x, v (the row) with its y. The renderer's normals point into the surface, so the rows
// above the middle belong to faces turned up and mirror the night sky with the moon as a
// highlight, the rows beneath it the snow.
Texture metal() {
  Texture t = true_colour("metal.tga");
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float nx = (128 - static_cast<float>(x)) / 128, ny = (128 - static_cast<float>(y)) / 128;
      uint32_t c = ny < 0 ? mix(rgb(200, 208, 232), rgb(90, 98, 128), -ny)
                          : mix(rgb(120, 140, 190), rgb(14, 20, 46), std::sqrt(ny));
      const float band = std::exp(-ny * ny * 180);
      const float moon = std::exp(-((nx + 0.35f) * (nx + 0.35f) + (ny - 0.45f) * (ny - 0.45f)) * 40);
      c = mix(c, rgb(250, 250, 255), std::min(1.0f, 0.7f * band + moon));
      t.pixels[static_cast<size_t>(y * kSize + x)] = c;
    }
  return t;
}

// A lit window: warm glass in a dark frame with a cross of bars.
Texture glass() {
  Texture t = true_colour("glass.tga");
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float dx = (static_cast<float>(x) - 128) / 128, dy = (static_cast<float>(y) - 128) / 128;
      uint32_t c = mix(rgb(255, 226, 150), rgb(214, 120, 40), std::min(1.0f, std::sqrt(dx * dx + dy * dy)));
      if (x < 14 || x > 241 || y < 14 || y > 241 || std::abs(x - 128) < 8 || std::abs(y - 128) < 8)
        c = rgb(46, 28, 16);
      t.pixels[static_cast<size_t>(y * kSize + x)] = c;
    }
  return t;
}

Texture smoke() {
  Texture t = true_colour("smoke.tga");
  Noise noise(91);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float n = noise.fractal(static_cast<float>(x), static_cast<float>(y), 4, 4);
      t.pixels[static_cast<size_t>(y * kSize + x)] = scale(rgb(214, 218, 228), 0.6f + 0.4f * n);
    }
  return t;
}

// Transparency map for the smoke: each index is how much of the picture behind shows through
// (255 all of it), so the puffs are wisps over a thinner haze.
Texture smoke_map() {
  Texture t = colour_mapped("smokea.tga", {rgb(0, 0, 0), rgb(255, 255, 255)});
  Noise noise(92);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const float n = noise.fractal(static_cast<float>(x), static_cast<float>(y), 8, 8);
      t.indices[static_cast<size_t>(y * kSize + x)] = index_of(1.05f - 1.0f * n);
    }
  return t;
}

// The lens flare drawn additively at each light: a warm core, a soft glow, a faint ring and four
// rays, falling to black at the sprite's edge so no square shows.
Texture flare() {
  Texture t = true_colour("lens3.tga");
  t.width = t.height = 64;
  t.pixels.assign(64 * 64, 0);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const float dx = static_cast<float>(x) - 31.5f, dy = static_cast<float>(y) - 31.5f;
      const float r = std::sqrt(dx * dx + dy * dy);
      float glow = 1 / (1 + r * r * 0.02f);
      glow += 0.18f * std::exp(-(r - 22) * (r - 22) * 0.15f);
      glow += 0.5f * (std::exp(-dy * dy * 0.6f) + std::exp(-dx * dx * 0.6f)) * std::exp(-r * 0.09f);
      glow *= 1 - smoothstep(24, 31.5f, r);
      t.pixels[static_cast<size_t>(y * 64 + x)] = rgb(255 * glow, 226 * glow, 170 * glow);
    }
  return t;
}

void put16(std::vector<uint8_t>& out, int v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

std::vector<Texture> make_textures() {
  return {sky(),   snow(),  pine(),  bark(),  track(), planks(),    loco(), coach(),
          brick(), door(), metal(), glass(), smoke(), smoke_map(), flare()};
}

std::vector<uint8_t> encode_texture(const Texture& t) {
  // Header: no id; colour map present (type 1) or not (type 2); map from entry 0, 256 entries of
  // 24 bits; origin 0; size; 8 or 32 bits per pixel; descriptor 0 or 8 alpha bits, bottom row first.
  std::vector<uint8_t> out = {0, static_cast<uint8_t>(t.indexed ? 1 : 0), static_cast<uint8_t>(t.indexed ? 1 : 2)};
  put16(out, 0);
  put16(out, t.indexed ? 256 : 0);
  out.push_back(t.indexed ? 24 : 0);
  put16(out, 0);
  put16(out, 0);
  put16(out, t.width);
  put16(out, t.height);
  out.push_back(t.indexed ? 8 : 32);
  out.push_back(t.indexed ? 0 : 8);
  for (uint32_t c : t.palette)
    for (int shift = 0; shift < 24; shift += 8) out.push_back(static_cast<uint8_t>(c >> shift));
  for (int y = t.height - 1; y >= 0; --y)
    for (int x = 0; x < t.width; ++x) {
      const size_t at = static_cast<size_t>(y * t.width + x);
      if (t.indexed) {
        out.push_back(t.indices[at]);
        continue;
      }
      for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(t.pixels[at] >> shift));
    }
  return out;
}

}  // namespace assets
