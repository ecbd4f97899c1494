// Shared by the render tests: the 320 x 200 frame wired into the render settings with a slow
// per-pixel reference of which pixels a triangle owns (rasterizer tests), and a scene built by hand,
// already in camera space, drawn through a camera whose projection maps camera space to the screen
// exactly (frame renderer tests).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "render/frame.h"
#include "render/lights.h"
#include "render/raster.h"
#include "render/settings.h"
#include "render/sort.h"
#include "render/textures.h"
#include "scene/kf.h"
#include "scene/library.h"

namespace rendertest {

constexpr int kWidth = 320, kHeight = 200;

// Per byte f(texel byte, pixel byte, byte number) over all four bytes.
inline uint32_t PerByte(uint32_t t, uint32_t p,
                        const std::function<uint32_t(uint32_t, uint32_t, int)>& f) {
  uint32_t out = 0;
  for (int b = 0; b < 4; ++b) out |= (f(t >> 8 * b & 0xFF, p >> 8 * b & 0xFF, b) & 0xFF) << 8 * b;
  return out;
}

// Faces drawn since the last ResetDrawStats: of one material kind, or of every kind.
inline int64_t FacesDrawn(int kind = -1) {
  int64_t n = 0;
  for (int k = 0; k < render::KIND_COUNT; ++k)
    for (int64_t count : render::drawStats.faces[k]) n += kind < 0 || k == kind ? count : 0;
  return n;
}

constexpr uint32_t kUntouched = 0xDEADBEEF;

struct Frame {
  std::vector<uint32_t> pixels = std::vector<uint32_t>(kWidth * kHeight, kUntouched);
  explicit Frame(float min_x = 0, float min_y = 0, float max_x = 319, float max_y = 199) {
    render::frameBuffer = pixels.data();
    render::framePitch = kWidth * 4;
    render::clipMinX = min_x, render::clipMinY = min_y;
    render::clipMaxX = max_x, render::clipMaxY = max_y;
  }
  uint32_t& at(int x, int y) { return pixels[y * kWidth + x]; }
  void Fill(uint32_t value) { pixels.assign(pixels.size(), value); }
  int Written() const {
    int n = 0;
    for (uint32_t p : pixels) n += p != kUntouched;
    return n;
  }
};

struct Point {
  float x, y;
};

// Orders the corners so that the rasterizers draw them (counter-clockwise as seen on screen, y down).
inline void FrontFacing(Point* p) {
  const double d = (double(p[0].x) - p[2].x) * (double(p[1].y) - p[2].y) -
                   (double(p[1].x) - p[2].x) * (double(p[0].y) - p[2].y);
  if (d > 0) std::swap(p[1], p[2]);
}

// Flat grey through the gouraud mode: marks exactly the pixels the filler writes.
inline void DrawFlat(const Point* p, float intensity = 200.0f) {
  render::ColourVertex v[3];
  for (int i = 0; i < 3; ++i) v[i] = {p[i].x, p[i].y, intensity, 0.0f, 0};
  render::DrawGouraud(v);
}

// The fill rule the fixed-point filler implies, evaluated exactly on the 16.16 corners: pixel
// (px, py) has its sample point at the integer coordinates; it belongs to the triangle when it lies
// strictly inside every edge, or on an edge whose inside is to its right (left edges, which run down)
// or below it (the top edge, which runs right to left in this winding). Returns also the distance of
// the sample point to the nearest edge in 16.16 units, along x (along y for horizontal edges).
struct Coverage {
  bool inside;
  double distance;
};

inline Coverage Reference(const Point* p, int px, int py) {
  int64_t x[3], y[3];
  for (int i = 0; i < 3; ++i) x[i] = std::llrint(p[i].x * 65536.0), y[i] = std::llrint(p[i].y * 65536.0);
  const int64_t sx = int64_t(px) * 65536, sy = int64_t(py) * 65536;
  Coverage c{true, 1e30};
  for (int i = 0; i < 3; ++i) {
    const int j = i == 2 ? 0 : i + 1;
    const int64_t dx = x[j] - x[i], dy = y[j] - y[i];
    const __int128 e = __int128(dx) * (sy - y[i]) - __int128(dy) * (sx - x[i]);
    const bool owns_edge = dy > 0 || (dy == 0 && dx < 0);
    if (!(e < 0 || (e == 0 && owns_edge))) c.inside = false;
    const double span = double(dy != 0 ? std::llabs(dy) : std::llabs(dx));
    if (span > 0) c.distance = std::fmin(c.distance, std::fabs(double(e)) / span);
  }
  return c;
}


// With persp_x = persp_y = 100 and the frame's centre at (160, 100), a point at depth z shows at
// screen (x, y) when its camera-space position is ((x - 160) z / 100, (100 - y) z / 100, z); depths
// that are powers of two times 100 keep every screen position exact.
constexpr float kPersp = 100.0f;

struct ScreenPoint {
  float x, y, z;
};

inline scene::Vector CameraSpace(const ScreenPoint& p) {
  return {(p.x - 160.0f) * p.z / kPersp, (100.0f - p.y) * p.z / kPersp, p.z};
}

// Corners of a triangle the rasterizers draw (counter-clockwise on screen) and the renderer lists.
inline std::vector<ScreenPoint> Front(float x, float y, float size, float z) {
  return {{x, y, z}, {x - size, y + size, z}, {x + size, y + size, z}};
}

struct TestScene {
  scene::Scene* s = nullptr;
  scene::Camera camera{};
  std::vector<uint32_t> frame = std::vector<uint32_t>(kWidth * kHeight, 0);

  TestScene() {
    scene::kf_scene_new(&s);
    camera.persp_x = camera.persp_y = kPersp;
    scene::mat_identity(&camera.matrix);
    render::frameBuffer = frame.data();
    render::framePitch = kWidth * 4;
    render::screenWidth = kWidth;
    render::screenHeight = kHeight;
    render::clipMinX = 0, render::clipMinY = 0, render::clipMaxX = 319, render::clipMaxY = 199;
    render::previousFrame = nullptr;
    render::flareSprite = nullptr;
    render::sortMode = 2;
    render::singleLight = 1;
    render::flares = render::flareGlow = 0;
    render::transparencyEnabled = 1;
    render::animatedTexturesEnabled = 0;
    render::CollectLights(s);
    render::ResetDrawStats();
  }
  ~TestScene() {
    render::FreeFaceSortTable(s);
    scene::kf_world_free(s);
    render::CollectLights(s);  // empty: the table must not name freed lights
    render::frameBuffer = nullptr;
    render::previousFrame = nullptr;
    render::flareSprite = nullptr;
    scene::kf_scene_delete(s);
  }
  TestScene(const TestScene&) = delete;
  TestScene& operator=(const TestScene&) = delete;

  scene::Material* Material(uint32_t shading, const void* texture = nullptr,
                            int32_t transparency_mode = 0) {
    auto* m = scene::kf_new_record<scene::Material>("material");
    m->id = static_cast<int32_t>(1000 + materials++);
    m->shading = shading;
    m->texture_map.texture = const_cast<void*>(texture);
    m->transparency_mode = transparency_mode;
    scene::kf_append_world(s, scene::WORLD_MATERIAL, m);
    return m;
  }

  // One object of one face; every corner gets the same normal and texture coordinates.
  scene::Object* Triangle(scene::Material* m, const std::vector<ScreenPoint>& corners,
                          scene::Vector normal = {0, 0, -1}, float u = 0, float v = 0) {
    auto* o = scene::kf_new_record<scene::Object>("triangle");
    o->vertex_count = 3;
    o->face_count = 1;
    o->vertices = static_cast<scene::Vertex*>(std::calloc(3, sizeof(scene::Vertex)));
    o->faces = static_cast<scene::Face*>(std::calloc(1, sizeof(scene::Face)));
    for (int i = 0; i < 3; ++i) {
      scene::Vertex& vertex = o->vertices[i];
      vertex.pvert = CameraSpace(corners[i]);
      vertex.pnorm = normal;
      vertex.u = u;
      vertex.v = v;
    }
    scene::Face& f = o->faces[0];
    f.a = 0, f.b = 1, f.c = 2;
    f.pa = &o->vertices[0], f.pb = &o->vertices[1], f.pc = &o->vertices[2];
    f.pmaterial = m;
    f.material = m ? m->id : 0;
    scene::kf_append_world(s, scene::WORLD_OBJECT, o);
    return o;
  }

  scene::Light* Light(scene::Vector position, int32_t flare_width = 0, int32_t flare_height = 0) {
    auto* l = scene::kf_new_record<scene::Light>("light");
    l->kind = scene::LIGHT_OMNI;
    l->position = position;
    l->flare_width = flare_width;
    l->flare_height = flare_height;
    l->flare_margin_x = static_cast<float>(flare_width);
    l->flare_margin_y = static_cast<float>(flare_height);
    scene::kf_append_world(s, scene::WORLD_LIGHT, l);
    return l;
  }

  // The sort table and light table for what was built, then one frame.
  void Render() {
    render::FreeFaceSortTable(s);
    render::AllocFaceSortTable(s);
    render::CollectLights(s);
    render::ProjectScene(s, &camera, kWidth, kHeight);
    render::RenderFrame(s, &camera);
  }

  uint32_t& at(int x, int y) { return frame[y * kWidth + x]; }

 private:
  int materials = 0;
};

// 256 x 256 32-bit texture, tiled in columns, each texel naming its coordinates (u in the green
// byte, v in the blue byte) under the given top byte.
inline std::vector<uint32_t> CoordinateTexture(uint32_t top = 0) {
  std::vector<uint32_t> texture(256 * 256);
  for (uint32_t u = 0; u < 256; ++u)
    for (uint32_t v = 0; v < 256; ++v)
      texture[(u & 7) + 8 * v + 2048 * (u >> 3)] = top << 24 | 0x00400000 | u << 8 | v;
  return texture;
}

inline uint32_t Texel(uint32_t u, uint32_t v, uint32_t top = 0) {
  return top << 24 | 0x00400000 | u << 8 | v;
}

// An 8-bit shaded texture of one palette index whose shade entries name index and level.
inline std::vector<uint32_t> ShadedTexture(uint8_t index) {
  std::vector<uint32_t> block(2 * 65536 / 4);
  auto* indices = reinterpret_cast<uint8_t*>(block.data());
  for (int i = 0; i < 65536; ++i) indices[i] = index;
  for (uint32_t i = 0; i < 256; ++i)
    for (uint32_t level = 0; level < 64; ++level)
      block[65536 / 4 + i * 64 + level] = i << 16 | level;
  return block;
}

}  // namespace rendertest
