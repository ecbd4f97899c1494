// The frame renderer: projects a scene the keyframer has brought to a frame and draws it by the
// painter's algorithm. Visible front faces and visible light flares go into one list, sorted far
// to near, and are drawn in that order: faces lit per vertex and handed to the rasterizer their
// material's shading chooses, flares added onto the frame as sprites. There is no depth buffer.
//
// Per scene, before the first frame (the render settings already set):
//   AllocFaceSortTable (sort.h), OptimizeScene (optimize.h), the camera's size_x, size_y and
//   aspect, CollectLights (lights.h; also for a scene without lights, so that the light table
//   never names the lights of a scene already freed), LoadSceneTextures (textures.h),
//   scene::kf_use_camera.
// Per frame, in this order:
//   scene::kf_goto_frame, scene::kf_evaluate      camera-space pvert and turned pnorm
//   ProjectScene(scene, camera, 320, 200)          screen positions of vertices and lights
//   frameBuffer, framePitch = the locked frame surface's top row and pitch;
//   previousFrame = the locked second surface (the frame shown last)
//   DrawBackground()                               (blend.h) only with backgroundEnabled
//   RenderFrame(scene, camera)
//   unlock both surfaces
//   BlendFrames(frame surface, second surface)     (blend.h) when frameBlendMode is not 0
//   AdvanceAnimatedTextures(scene)                 (textures.h) when animatedTexturesEnabled
//   present the frame, swap the two surfaces.
// Single-threaded and not reentrant: the rasterizers keep their edge state in static scratch, and
// the light table, the sort table and the draw statistics are shared.
#pragma once

#include <cstdint>

#include "scene/records.h"

namespace render {

// Screen positions of every vertex of the shown objects and the flare position of every light,
// for a frame of width x height pixels. A vertex is visible when its camera-space depth is a finite
// value above 1.0; a light's flare is visible when its depth is too and its projected position lies
// less than its flare margin outside the frame.
void ProjectScene(scene::Scene* scene, const scene::Camera* camera, int32_t width, int32_t height);

// Draws the projected scene into frameBuffer. Draws nothing when the scene has no sort table or no
// frame buffer is set. Faces whose material draws nothing (no material, wire or unknown shading,
// texture not loaded, metal without previousFrame) still take their place in the list. Flares are
// added with frame rows screenWidth pixels apart, as the frame surfaces have them.
void RenderFrame(scene::Scene* scene, const scene::Camera* camera);

// Adds a w x h sprite (rows w pixels apart) onto a dstW x dstH frame (rows dstW pixels apart) at
// (x, y), each byte saturating at 255, the top byte included. The frame's last column and last row
// receive nothing, and pixels go in pairs: of an odd clipped width the last column is left out.
// Whatever the position and size, nothing outside the frame is written.
void BlitAdd(const uint32_t* sprite, int32_t w, int32_t h, int32_t x, int32_t y, uint32_t* dst,
             int32_t dstW, int32_t dstH);

// ---- Draw statistics ----------------------------------------------------------------------------
// What the frames drawn since the last reset consisted of, so that a test can show that every
// material kind and rasterizer mode appears in a run: ResetDrawStats() before playing, then
// drawStats.faces[kind][mode] counts the faces each material kind handed to each rasterizer.
// Nothing is counted until the first reset, so that a run that never reads them pays nothing.

// The material kinds, by shading: the scene file's flat, gouraud, phong and metal, and the constant
// gouraud that two-sided flat materials become.
enum MaterialKind : int32_t {
  KIND_FLAT,
  KIND_GOURAUD,
  KIND_PHONG,
  KIND_METAL,
  KIND_CONSTANT_GOURAUD,
  KIND_COUNT
};

// The rasterizers.
enum DrawMode : int32_t {
  MODE_GOURAUD,           // DrawGouraud
  MODE_TEXTURED_GOURAUD,  // DrawTexturedGouraud
  MODE_ENVIRONMENT,       // DrawEnvironment
  MODE_TEXTURED,          // DrawTextured
  MODE_HALF,              // DrawTexturedHalf
  MODE_WEIGHTED,          // DrawTexturedWeighted
  MODE_MAPPED,            // DrawTexturedMapped
  MODE_COUNT
};

struct DrawStats {
  int64_t frames;                         // RenderFrame calls that had something to draw
  int64_t faces[KIND_COUNT][MODE_COUNT];  // faces handed to a rasterizer
  int64_t skipped;                        // listed faces that drew nothing
  int64_t flares;                         // flare sprites drawn
};
inline DrawStats drawStats = {};

// Zeroes the statistics; RenderFrame counts from now on while `count` is true.
void ResetDrawStats(bool count = true);

}  // namespace render
