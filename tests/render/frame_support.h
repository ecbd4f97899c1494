// Shared by the frame renderer tests: a scene built by hand, already in camera space, drawn
// through a camera whose projection maps camera space to the screen exactly.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "render/frame.h"
#include "render/lights.h"
#include "render/settings.h"
#include "render/sort.h"
#include "render/textures.h"
#include "scene/kf.h"
#include "scene/library.h"

namespace frametest {

constexpr int kWidth = 320, kHeight = 200;
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

// Corners of a triangle the rasterizers draw (clockwise on screen) and the renderer lists.
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

}  // namespace frametest
