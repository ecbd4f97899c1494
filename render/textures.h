// Texture preparation for one scene: material transparency and animation modes, shading
// conversions, the background picture, the flare sprite and every texture loaded from the archive
// into one texture buffer in the layouts the rasterizers read, texture coordinates in texels, and
// the table of animated materials stepped once per frame.
//
// The texture buffer is an array of 256 KB slots starting at a multiple of 256 KB, so that the
// rasterizers can form texel and shade-table addresses by replacing low address bits. A slot holds
// one of:
//   32-bit texture    256 x 256 ARGB8888 texels tiled in columns (effects::tiled_texel_index); with
//                     transparency mode 3 the top byte of each texel is the transparency map's byte
//   shaded texture    bytes 0 ... 65535 palette indices row-major (u + 256 v), then the shade table
//                     of 256 indices x 64 levels, colours 0x00RRGGBB at index * 64 + level
//   animated texture  up to 16 frames of 64 x 64 texels as one tiled 256 x 256 texture, frame k at
//                     kFrameOffsets[k]
//   flare sprite      its pixels row-major at its own width, top byte 0
//
// Results: set-up routines return 1 for success and 0 after writing one message (Note or Log).
// Nothing here is reentrant; everything runs on the intro thread.
#pragma once

#include <cstdint>
#include <memory>

#include "display/surface.h"
#include "scene/records.h"

namespace render {

constexpr int32_t kSlotBytes = 256 * 256 * 4;
constexpr int32_t kTextureSize = 256;
constexpr int32_t kFrameSize = 64;  // one frame of an animated texture
constexpr int32_t kFramesPerSlot = 16;
constexpr int32_t kShadeTableEntries = 256;
// Shading code of the constant gouraud conversion, beside the scene file's codes 1 ... 4.
constexpr uint32_t SHADING_CONSTANT_GOURAUD = 20;

// Transparency modes of a material (its transparency_mode word).
enum : int32_t {
  TRANSPARENCY_OPAQUE = 0,
  TRANSPARENCY_HALF = 1,
  TRANSPARENCY_WEIGHTED = 2,
  TRANSPARENCY_MAP = 3
};

// Position (u, v) in texels of frame k of an animated slot; the renderer adds the current frame's
// entry (the material's frame_u_offset, frame_v_offset) to the texture coordinates.
struct FrameOffset {
  float u, v;
};
extern const FrameOffset kFrameOffsets[kFramesPerSlot];

// The flare sprite's pixels in the texture buffer, or null when no sprite is loaded (flares off,
// or no scene prepared). Each light's flare_width is the sprite's row length.
inline const uint32_t* flareSprite = nullptr;
// screenWidth x screenHeight pixels, row-major: the background picture inside a black border of 10
// pixels (screenWidth 320) or 20 (any other width). Null when backgroundPicture names no file.
inline uint32_t* BackgroundPicPtr = nullptr;

// Prepares a loaded scene for drawing; run once after the optimizer, SetupAmbient and
// CollectLights, before the first frame. Fills the renderer words of every material (texture,
// texture_width/height/bits, animated, last_frame, current_frame, frame offsets, first_slot,
// transparency_mode, weights), the intensity of vertices of constant gouraud faces, the flare size
// of every light, and scene->texture_buffer, animated_textures and animated_count; converts every
// vertex's u and v to texels. Returns 1, or 0 after the failure's message; a failure frees whatever
// it had allocated. A scene prepared before is released first (FreeSceneTextures), so preparing
// again converts the coordinates the scene was loaded with, once.
int32_t LoadSceneTextures(scene::Scene* scene);

// Loads `frames` (1 ... 99) frames of an animated texture into consecutive slots from `slot` on,
// 16 frames a slot. `path` names the first frame and contains ".001"; frame n is read from the name
// with the two digits after ".0" replaced by n's two digits. Each frame must be 64 x 64 (or is
// resized with autoResize). A 64 x 64 8-bit map, when given, becomes every frame's top byte.
int32_t LoadAnimatedFrames(const char* path, int32_t frames, uint8_t* slot, display::Surface* map);

// Steps the animated materials once every animationDelay calls (every call when it is below 1).
void AdvanceAnimatedTextures(scene::Scene* scene);

// Frees the texture buffer, the animated-texture table and the background picture (each may be
// absent), clears every pointer into them, the materials' included, and puts every vertex's u and
// v back as they were before LoadSceneTextures converted them. Call it before the world is freed.
void FreeSceneTextures(scene::Scene* scene);

// Nearest-neighbour resampling of a 32-bit (ResizeImage) or 8-bit (ResizeIndexedImage, palette
// kept) surface; the source is released. Null when width or height is below 1, the surface has the
// wrong pixel size, or the new one cannot be made.
std::unique_ptr<display::Surface> ResizeImage(std::unique_ptr<display::Surface> surface,
                                              int32_t width, int32_t height);
std::unique_ptr<display::Surface> ResizeIndexedImage(std::unique_ptr<display::Surface> surface,
                                                     int32_t width, int32_t height);

// Copies a 32-bit surface of at most 256 x 256 into a slot, tiled in columns. With ambientTint each
// colour channel is multiplied by the ambient colour and rounded; the top byte is kept. False (and
// nothing written) for any other surface.
bool TileCopy(display::Surface& surface, uint8_t* slot);

// The light-range term of the constant gouraud conversion: over the light table, 1 for a light
// nearer than range_a, falling linearly to 0 at range_b, lights beyond range_b left out; the mean
// of the counted lights, or 0 when none counts. Distances are taken from the vertex's pvert.
float VertexAttenuation(const scene::Vertex& vertex);

}  // namespace render
