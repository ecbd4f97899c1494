// The picture generator. Every picture is painted in layers at kScale times its final size and
// then reduced by averaging, which anti-aliases every edge. Keyed pictures are painted over the
// dark colour they will be shown on, and only pixels that no layer touched at all take the key,
// so no key-coloured fringe can survive around a shape.
#include "assets/pictures.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "assets/build.h"
#include "assets/glyphs.h"

namespace assets {
namespace {

constexpr int kScale = 4;  // supersampling per axis

struct Rgb {
  float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Frost: from snow white through pale ice to a deeper glacier blue.
constexpr Rgb kSnow = {250, 253, 255};
constexpr Rgb kPaleIce = {196, 228, 252};
constexpr Rgb kIce = {112, 176, 236};
constexpr Rgb kGlacier = {44, 92, 178};
constexpr Rgb kNight = {8, 18, 52};  // outlines: dark enough to read on any scene
constexpr Rgb kBlack = {0, 0, 0};

// Top-to-bottom frost over the span top ... bottom, with a bright sheen a third of the way down.
Rgb frost(float y, float top, float bottom) {
  const float t = std::clamp((y - top) / std::max(bottom - top, 1.0f), 0.0f, 1.0f);
  if (t < 0.35f) return mix(kSnow, kPaleIce, t / 0.35f);
  if (t < 0.42f) return mix(kPaleIce, kSnow, (t - 0.35f) / 0.07f);
  return mix(kSnow, kIce, (t - 0.42f) / 0.58f);
}

// A picture being painted, at kScale times its size.
struct Canvas {
  Mask shown;  // how much of each pixel some layer covers
  std::vector<Rgb> colour;

  Canvas(int width, int height, Rgb ground)
      : shown(width * kScale, height * kScale),
        colour(static_cast<size_t>(width) * height * kScale * kScale, ground) {}

  void paint(const Mask& layer, const std::function<Rgb(int x, int y)>& colour_at) {
    for (int y = 0; y < shown.height; ++y)
      for (int x = 0; x < shown.width; ++x) {
        const size_t i = static_cast<size_t>(y) * shown.width + x;
        const float c = std::min(layer.cover[i], 1.0f);
        if (c <= 0.0f) continue;
        colour[i] = mix(colour[i], colour_at(x, y), c);
        shown.cover[i] = std::max(shown.cover[i], c);
      }
  }
  void paint(const Mask& layer, Rgb flat) {
    paint(layer, [flat](int, int) { return flat; });
  }
};

uint8_t channel(float v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

Picture reduce(const Canvas& canvas, const char* member, bool keyed) {
  Picture p{member, canvas.shown.width / kScale, canvas.shown.height / kScale, {}};
  p.pixels.resize(static_cast<size_t>(p.width) * p.height);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      Rgb sum = {0, 0, 0};
      float shown = 0.0f;
      for (int sy = 0; sy < kScale; ++sy)
        for (int sx = 0; sx < kScale; ++sx) {
          const size_t i =
              static_cast<size_t>(y * kScale + sy) * canvas.shown.width + x * kScale + sx;
          sum = {sum.r + canvas.colour[i].r, sum.g + canvas.colour[i].g,
                 sum.b + canvas.colour[i].b};
          shown += canvas.shown.cover[i];
        }
      constexpr float kArea = kScale * kScale;
      uint32_t& out = p.pixels[static_cast<size_t>(y) * p.width + x];
      if (keyed && shown * 255.0f / kArea < 0.5f) {
        out = kColourKey;
        continue;
      }
      out = 0xFF000000u | channel(sum.r / kArea) << 16 | channel(sum.g / kArea) << 8 |
            channel(sum.b / kArea);
    }
  return p;
}

// Deterministic scatter, the same on every build.
struct Scatter {
  uint32_t state;
  float next(float lo, float hi) {
    state = state * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(state >> 8) / 16777216.0f;
  }
};

// A six-armed snowflake of radius r with a pair of side branches on every arm.
void snowflake(Mask& m, float cx, float cy, float r, float width, float turn) {
  for (int arm = 0; arm < 6; ++arm) {
    const float a = turn + arm * 3.14159265f / 3;
    const float ex = cx + r * std::cos(a), ey = cy + r * std::sin(a);
    stroke(m, cx, cy, ex, ey, width);
    const float bx = cx + 0.55f * r * std::cos(a), by = cy + 0.55f * r * std::sin(a);
    for (float side : {-0.7f, 0.7f})
      stroke(m, bx, by, bx + 0.35f * r * std::cos(a + side), by + 0.35f * r * std::sin(a + side),
             width);
  }
}

// A four-pointed glint.
void sparkle(Mask& m, float cx, float cy, float r) {
  triangle(m, cx - r * 0.16f, cy, cx + r * 0.16f, cy, cx, cy - r);
  triangle(m, cx - r * 0.16f, cy, cx + r * 0.16f, cy, cx, cy + r);
  triangle(m, cx, cy - r * 0.16f, cx, cy + r * 0.16f, cx - r * 0.7f, cy);
  triangle(m, cx, cy - r * 0.16f, cx, cy + r * 0.16f, cx + r * 0.7f, cy);
}

// Icicles under the lowest edges of the shape: every few pixels along each flat bottom, a thin
// wedge of random length.
Mask icicles(const Mask& shape, Scatter& rng, float longest) {
  Mask out(shape.width, shape.height);
  int lowest = 0;
  for (int y = 0; y < shape.height; ++y)
    for (int x = 0; x < shape.width; ++x)
      if (shape.cover[y * shape.width + x] > 0.5f) lowest = std::max(lowest, y);
  const int band = kScale * 3;  // only bottoms within this distance of the lowest line
  for (float x = rng.next(2, 6) * kScale; x < shape.width; x += rng.next(5, 11) * kScale) {
    const int col = static_cast<int>(x);
    int y = lowest;
    while (y > lowest - band && shape.at(col, y) <= 0.5f) --y;
    if (shape.at(col, y) <= 0.5f || shape.at(col - kScale, y) <= 0.5f ||
        shape.at(col + kScale, y) <= 0.5f)
      continue;  // not under a flat bottom
    const float half = rng.next(1.0f, 1.8f) * kScale;
    triangle(out, x - half, y - kScale, x + half, y - kScale, x,
             y + rng.next(0.35f, 1.0f) * longest);
  }
  return out;
}

Picture group_logo(const Typeface& sans) {
  constexpr int kWidth = 320, kHeight = 79;
  Canvas canvas(kWidth, kHeight, kBlack);
  Mask letters(canvas.shown.width, canvas.shown.height);
  const Mask word = sans.ink_fitting("VEK", 84 * kScale, 210 * kScale, 0.12f);
  const int top = 5 * kScale, left = (letters.width - word.width) / 2;
  stamp(letters, word, left, top);
  Scatter rng{0x5EC7u};
  const Mask ice = icicles(letters, rng, 17.0f * kScale);
  Mask body = letters;
  stamp(body, ice, 0, 0);

  const Mask rim = dilate(body, 2 * kScale);
  canvas.paint(blur(dilate(body, 3 * kScale), 5 * kScale), [](int, int) { return kGlacier; });
  canvas.paint(rim, kNight);
  const float y0 = static_cast<float>(top), y1 = static_cast<float>(top + word.height);
  canvas.paint(body, [&](int, int y) { return frost(static_cast<float>(y), y0, y1); });
  canvas.paint(upper_edges(letters, 3 * kScale), kSnow);

  Mask glints(canvas.shown.width, canvas.shown.height);
  const float glint_at[][3] = {{left + 0.08f * word.width, top + 0.1f * word.height, 7},
                               {left + 0.62f * word.width, top + 0.02f * word.height, 5},
                               {left + 0.97f * word.width, top + 0.55f * word.height, 6}};
  for (const auto& g : glint_at) sparkle(glints, g[0], g[1], g[2] * kScale);
  canvas.paint(glints, kSnow);
  return reduce(canvas, "vek.tga", false);
}

Picture presents(const Typeface& serif) {
  constexpr int kWidth = 86, kHeight = 22;
  Canvas canvas(kWidth, kHeight, kBlack);
  Mask letters(canvas.shown.width, canvas.shown.height);
  const Mask word = serif.ink_fitting("presents", 20 * kScale, 80 * kScale, 0.2f);
  const int top = (letters.height - word.height) / 2, left = (letters.width - word.width) / 2;
  stamp(letters, word, left, top);
  canvas.paint(dilate(letters, kScale + kScale / 2), kNight);
  const float y0 = static_cast<float>(top), y1 = static_cast<float>(top + word.height);
  canvas.paint(letters, [&](int, int y) { return frost(static_cast<float>(y), y0, y1); });
  return reduce(canvas, "present.tga", true);
}

Picture festive_logo(const Typeface& serif) {
  constexpr int kWidth = 320, kHeight = 136;
  Canvas canvas(kWidth, kHeight, kBlack);
  const int w = canvas.shown.width;
  Mask letters(w, canvas.shown.height);
  const Mask merry = serif.ink_fitting("Merry", 50 * kScale, 170 * kScale, 0.22f);
  const Mask christmas = serif.ink_fitting("Christmas", 64 * kScale, 300 * kScale, 0.22f);
  const int merry_top = 12 * kScale, christmas_top = 66 * kScale;
  stamp(letters, merry, (w - merry.width) / 2 - 18 * kScale, merry_top);
  stamp(letters, christmas, (w - christmas.width) / 2, christmas_top);

  Mask flakes(w, canvas.shown.height);
  const float flake_at[][3] = {{24, 30, 14}, {306, 30, 15}, {250, 16, 7},  {238, 50, 5},
                               {18, 123, 7}, {112, 125, 5}, {206, 126, 6}, {300, 121, 8}};
  Scatter rng{0xF1A4u};
  for (const auto& f : flake_at)
    snowflake(flakes, f[0] * kScale, f[1] * kScale, f[2] * kScale, 1.1f * kScale,
              rng.next(0, 1.0f));
  Mask glints(w, canvas.shown.height);
  sparkle(glints, 228 * kScale, 8 * kScale, 7 * kScale);
  sparkle(glints, 62 * kScale, 124 * kScale, 6 * kScale);

  Mask all = letters;
  stamp(all, flakes, 0, 0);
  stamp(all, glints, 0, 0);
  canvas.paint(dilate(all, 2 * kScale), kNight);
  const auto line_frost = [&](int, int y) {
    return y < christmas_top - 2 * kScale
               ? frost(static_cast<float>(y), merry_top, merry_top + merry.height * 0.8f)
               : frost(static_cast<float>(y), christmas_top, christmas_top + christmas.height);
  };
  canvas.paint(letters, line_frost);
  canvas.paint(upper_edges(letters, 3 * kScale), kSnow);
  canvas.paint(flakes, kPaleIce);
  canvas.paint(glints, kSnow);
  return reduce(canvas, "xmaslogo.tga", true);
}

void put16(std::vector<uint8_t>& out, int v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

std::vector<Picture> make_pictures() {
  const Typeface sans(font_path("DejaVuSans-Bold.ttf"));
  const Typeface serif(font_path("DejaVuSerif-Bold.ttf"));
  if (!sans.ok() || !serif.ok()) return {};
  return {group_logo(sans), presents(serif), festive_logo(serif)};
}

std::vector<uint8_t> encode_tga(const Picture& picture) {
  // Header: no id, no colour map, type 2 (uncompressed true colour), origin 0, the size, 32 bits
  // per pixel, descriptor 8 (eight alpha bits; bits 4 and 5 clear: left to right, bottom row
  // first).
  std::vector<uint8_t> out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(out, picture.width);
  put16(out, picture.height);
  out.push_back(32);
  out.push_back(8);
  for (int y = picture.height - 1; y >= 0; --y)
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t p = picture.pixels[static_cast<size_t>(y) * picture.width + x];
      for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(p >> shift));
    }
  return out;
}

bool generate_pictures(Build& build) {
  const std::vector<Picture> pictures = make_pictures();
  if (pictures.empty()) return false;
  for (const Picture& p : pictures) build.archive.push_back({p.member, encode_tga(p)});
  return true;
}

}  // namespace assets
