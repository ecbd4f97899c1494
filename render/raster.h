// Triangle rasterizers: one screen-space triangle, filled into frameBuffer inside the clip rectangle
// of the render settings. Painter's order decides visibility; nothing is depth-tested.
//
// Each takes three vertex records (screen coordinates in pixels, then the mode's attributes) and
// writes each one's outcode into its last slot. Texture coordinates are in texels: 0 ... 256 covers a
// 256-wide texture once and the 32-bit and shaded modes wrap beyond it both ways. A triangle with a
// non-finite coordinate or attribute, zero area, or lying wholly outside one clip line draws nothing.
// Only the counter-clockwise winding as seen on screen (y down) is drawn, such as a top corner, then
// the lower left one, then the lower right one. A pixel belongs to the triangle when its integer
// coordinates lie inside it, or on a left edge or a horizontal top edge; right and bottom edges
// belong to the neighbours, so a mesh writes each pixel once. Likewise pixels from ceil(clipMin) up
// to, not including, ceil(clipMax) can be written.
// Not reentrant: edge state and the clipped polygon live in static scratch.
#pragma once

#include <cstdint>

namespace render {

// Outcode bits, one per clip line.
enum : int32_t { OUT_TOP = 1, OUT_BOTTOM = 2, OUT_LEFT = 4, OUT_RIGHT = 8 };

struct ColourVertex {
  float x, y;
  float intensity;  // 0 ... 255
  float spare;      // clipped along with the others, never drawn
  int32_t outcode;
};

struct TextureVertex {
  float x, y;
  float u, v;
  int32_t outcode;
};

struct ShadedTextureVertex {
  float x, y;
  float u, v;
  float shade;  // 0 ... 63, a level of the shade table
  int32_t outcode;
};

static_assert(sizeof(ColourVertex) == 20 && sizeof(TextureVertex) == 20, "five 32-bit slots");
static_assert(sizeof(ShadedTextureVertex) == 24, "six 32-bit slots");

// Shaded texture block: 65536 palette indices row-major (u + 256 v), followed by the shade table of
// 256 entries x 64 levels of 0x00RRGGBB, entry index * 64 + level.
constexpr int kShadeTableOffset = 65536;
constexpr int kShadeLevels = 64;

// Grey from the intensity; the top byte is written as 0.
void DrawGouraud(ColourVertex* vertices);
// The 32-bit modes read 256 x 256 ARGB8888 textures tiled in columns as effects::tiled_texel_index
// lays them out.

// The texel.
void DrawTextured(TextureVertex* vertices, const uint32_t* texture);
// Per byte, half the texel plus half the pixel (lowest bits dropped first).
void DrawTexturedHalf(TextureVertex* vertices, const uint32_t* texture);
// Per byte (texel * texelWeight >> 8) + (pixel * pixelWeight >> 8); each weight w is held as
// w + 65536 w, as the material keeps it, and the two sum to at most 255.
void DrawTexturedWeighted(TextureVertex* vertices, const uint32_t* texture, uint32_t texelWeight,
                          uint32_t pixelWeight);
// The texel's top byte A is its transparency: colour (texel * (255 - A) >> 8) + (pixel * A >> 8).
void DrawTexturedMapped(TextureVertex* vertices, const uint32_t* texture);
// Shade table entry (index at (u, v), integer part of the shade clamped to 0 ... 63). The block
// must be 4-byte aligned (texture slots are).
void DrawTexturedGouraud(ShadedTextureVertex* vertices, const uint8_t* texture);
// The picture's pixel at (u, v), no wrapping. Coordinates outside the width x height picture are
// clamped to its nearest edge pixel, so it is never read outside.
void DrawEnvironment(TextureVertex* vertices, const uint32_t* picture, int32_t rowLength,
                     int32_t height);

}  // namespace render
