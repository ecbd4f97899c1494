// The font rasterizer: FreeType renders each glyph as 8-bit coverage, unhinted, because the
// pictures are drawn at several times their final size and hinting would only distort the shapes.
#include "assets/glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace assets {
namespace {

FT_Face face_of(void* face) { return static_cast<FT_Face>(face); }

// The smallest box around every pixel with coverage.
Mask crop(const Mask& m) {
  int left = m.width, right = -1, top = m.height, bottom = -1;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x)
      if (m.cover[y * m.width + x] > 0.0f) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  if (right < 0) return Mask();
  Mask out(right - left + 1, bottom - top + 1);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) out(x, y) = m.at(left + x, top + y);
  return out;
}

}  // namespace

std::string font_path(const char* file) { return std::string(VEK_FONT_DIR "/") + file; }

Typeface::Typeface(const std::string& path) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return;
  library_ = library;
  FT_Face face = nullptr;
  if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
    std::fprintf(stderr, "vekassets: cannot open the font %s\n", path.c_str());
    return;
  }
  face_ = face;
}

Typeface::~Typeface() {
  if (face_) FT_Done_Face(face_of(face_));
  if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

Mask Typeface::ink(const std::string& text, int pixels, float slant) const {
  if (!face_ || pixels < 1) return Mask();
  FT_Face face = face_of(face_);
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) return Mask();
  // FreeType's y axis points up, so a positive xy entry leans the tops of the glyphs right.
  FT_Matrix shear = {0x10000, static_cast<FT_Fixed>(std::lround(slant * 0x10000)), 0, 0x10000};
  FT_Set_Transform(face, &shear, nullptr);

  // Room for every advance plus a generous margin for slant, accents and descenders.
  Mask line(static_cast<int>(text.size() + 4) * pixels * 2, pixels * 4);
  const int baseline = pixels * 3;
  long pen = 2L * pixels * 64;  // 26.6 fixed point
  FT_UInt previous = 0;
  for (unsigned char c : text) {
    FT_UInt glyph = FT_Get_Char_Index(face, c);
    if (previous && glyph && FT_HAS_KERNING(face)) {
      FT_Vector kern;
      if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern) == 0) pen += kern.x;
    }
    if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int left = static_cast<int>(pen >> 6) + slot->bitmap_left;
    const int top = baseline - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row)
      for (unsigned col = 0; col < bitmap.width; ++col) {
        const int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
        if (x < 0 || y < 0 || x >= line.width || y >= line.height) continue;
        const float c8 = bitmap.buffer[row * bitmap.pitch + col] / 255.0f;
        line(x, y) = std::max(line(x, y), c8);
      }
    pen += slot->advance.x;
    previous = glyph;
  }
  FT_Set_Transform(face, nullptr, nullptr);
  return crop(line);
}

Mask Typeface::ink_fitting(const std::string& text, int pixels, int width, float slant) const {
  Mask m = ink(text, pixels, slant);
  // Width grows almost linearly with size; a few corrections settle it.
  for (int tries = 0; tries < 8 && m.width > width; ++tries) {
    pixels = std::max(1, pixels * width / m.width - (tries > 2 ? 1 : 0));
    m = ink(text, pixels, slant);
  }
  return m;
}

void stamp(Mask& dst, const Mask& src, int x, int y) {
  for (int sy = 0; sy < src.height; ++sy)
    for (int sx = 0; sx < src.width; ++sx) {
      const int dx = x + sx, dy = y + sy;
      if (dx < 0 || dy < 0 || dx >= dst.width || dy >= dst.height) continue;
      dst(dx, dy) = std::max(dst(dx, dy), src.cover[sy * src.width + sx]);
    }
}

Mask dilate(const Mask& mask, int radius) {
  // The half-width of the disc on each row offset, so one row pass covers it.
  std::vector<int> half(2 * radius + 1);
  for (int dy = -radius; dy <= radius; ++dy)
    half[dy + radius] = static_cast<int>(std::sqrt(static_cast<float>(radius * radius - dy * dy)));
  Mask out(mask.width, mask.height);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) {
      float best = 0.0f;
      for (int dy = -radius; dy <= radius && best < 1.0f; ++dy) {
        const int h = half[dy + radius];
        for (int dx = -h; dx <= h; ++dx) best = std::max(best, mask.at(x + dx, y + dy));
      }
      out(x, y) = best;
    }
  return out;
}

Mask upper_edges(const Mask& mask, int depth) {
  Mask out(mask.width, mask.height);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      out(x, y) = std::max(0.0f, mask.at(x, y) - mask.at(x, y - depth));
  return out;
}

void stroke(Mask& mask, float x0, float y0, float x1, float y1, float width) {
  const float r = width / 2, dx = x1 - x0, dy = y1 - y0;
  const float length2 = std::max(dx * dx + dy * dy, 1e-6f);
  const int left = static_cast<int>(std::floor(std::min(x0, x1) - r));
  const int right = static_cast<int>(std::ceil(std::max(x0, x1) + r));
  const int top = static_cast<int>(std::floor(std::min(y0, y1) - r));
  const int bottom = static_cast<int>(std::ceil(std::max(y0, y1) + r));
  for (int y = std::max(top, 0); y <= std::min(bottom, mask.height - 1); ++y)
    for (int x = std::max(left, 0); x <= std::min(right, mask.width - 1); ++x) {
      // Distance from the pixel centre to the segment; the masks are drawn supersampled, so a
      // hard edge here becomes an anti-aliased one after the reduction.
      const float px = x + 0.5f - x0, py = y + 0.5f - y0;
      const float t = std::clamp((px * dx + py * dy) / length2, 0.0f, 1.0f);
      const float ex = px - t * dx, ey = py - t * dy;
      if (ex * ex + ey * ey <= r * r) mask(x, y) = 1.0f;
    }
}

Mask blur(const Mask& mask, int radius) {
  Mask a = mask, b(mask.width, mask.height);
  const float scale = 1.0f / (2 * radius + 1);
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x) {
        float sum = 0.0f;
        for (int d = -radius; d <= radius; ++d) sum += a.at(x + d, y);
        b(x, y) = sum * scale;
      }
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x) {
        float sum = 0.0f;
        for (int d = -radius; d <= radius; ++d) sum += b.at(x, y + d);
        a(x, y) = sum * scale;
      }
  }
  return a;
}

void triangle(Mask& mask, float x0, float y0, float x1, float y1, float x2, float y2) {
  const float area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
  if (area == 0.0f) return;
  const int left = std::max(0, static_cast<int>(std::floor(std::min({x0, x1, x2}))));
  const int right = std::min(mask.width - 1, static_cast<int>(std::ceil(std::max({x0, x1, x2}))));
  const int top = std::max(0, static_cast<int>(std::floor(std::min({y0, y1, y2}))));
  const int bottom = std::min(mask.height - 1, static_cast<int>(std::ceil(std::max({y0, y1, y2}))));
  // Edge functions with the sign of the area, so either winding fills.
  auto edge = [area](float ax, float ay, float bx, float by, float px, float py) {
    return ((bx - ax) * (py - ay) - (px - ax) * (by - ay)) * (area > 0 ? 1.0f : -1.0f);
  };
  for (int y = top; y <= bottom; ++y)
    for (int x = left; x <= right; ++x) {
      const float px = x + 0.5f, py = y + 0.5f;
      if (edge(x0, y0, x1, y1, px, py) >= 0 && edge(x1, y1, x2, y2, px, py) >= 0 &&
          edge(x2, y2, x0, y0, px, py) >= 0)
        mask(x, y) = 1.0f;
    }
}

}  // namespace assets
