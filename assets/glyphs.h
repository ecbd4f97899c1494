// Coverage masks and the font rasterizer of the picture generator: text set with FreeType into
// anti-aliased coverage, plus the few shape operations the pictures are drawn with.
#pragma once

#include <string>
#include <vector>

namespace assets {

// Coverage 0 ... 1 per pixel, rows top first.
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<float> cover;

  Mask() = default;
  Mask(int w, int h) : width(w), height(h), cover(static_cast<size_t>(w) * h, 0.0f) {}
  float at(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : cover[y * width + x];
  }
  float& operator()(int x, int y) { return cover[y * width + x]; }
};

// One font file opened with FreeType.
class Typeface {
 public:
  explicit Typeface(const std::string& path);
  ~Typeface();
  Typeface(const Typeface&) = delete;
  Typeface& operator=(const Typeface&) = delete;
  bool ok() const { return face_ != nullptr; }

  // The ink of one line of text at `pixels` per em, slanted right by `slant` (x per y), cropped
  // to its bounding box. Empty when the text has no ink or the face is not usable.
  Mask ink(const std::string& text, int pixels, float slant = 0.0f) const;
  // The ink at the largest size up to `pixels` whose width fits in `width`.
  Mask ink_fitting(const std::string& text, int pixels, int width, float slant = 0.0f) const;

 private:
  void* library_ = nullptr;  // FT_Library
  void* face_ = nullptr;     // FT_Face
};

// Where the build finds its fonts (fonts-dejavu-core).
std::string font_path(const char* file);

// Puts src into dst with its top-left corner at (x, y), keeping the larger coverage.
void stamp(Mask& dst, const Mask& src, int x, int y);
// Grows the shape by a disc of `radius` pixels.
Mask dilate(const Mask& mask, int radius);
// The part of the shape that has no shape `depth` pixels above it: a cap on every upper edge.
Mask upper_edges(const Mask& mask, int depth);
// A soft copy: three box blurs of `radius` pixels, which approach a gaussian.
Mask blur(const Mask& mask, int radius);
// A filled triangle.
void triangle(Mask& mask, float x0, float y0, float x1, float y1, float x2, float y2);
// A stroke of `width` pixels from (x0, y0) to (x1, y1) with round ends.
void stroke(Mask& mask, float x0, float y0, float x1, float y1, float width);

}  // namespace assets
