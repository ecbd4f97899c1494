// Projection, the list of drawable items, per-vertex lighting and the dispatch of faces to the
// rasterizers; flares as additive sprites.
#include "render/frame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "render/lights.h"
#include "render/raster.h"
#include "render/settings.h"
#include "render/sort.h"
#include "render/textures.h"

namespace render {
namespace {

using scene::Face;
using scene::Light;
using scene::Material;
using scene::Vector;
using scene::Vertex;

// Row length of previousFrame, the picture metal faces reflect.
constexpr int32_t kEnvironmentRow = 320;
// Flare keys stand for three vertex terms, so that flares and faces share one scale.
constexpr float kFlareDepthScale = 3.0f;
constexpr float kFaceDistanceScale = 1000.0f;
constexpr float kFlareDistanceScale = 3000.0f;
constexpr float kGouraudScale = 255.0f;  // grey 0 ... 255
constexpr float kShadeScale = 62.0f;     // shade levels 0 ... 62 of the 64-level table

// One address per light slot: a sort entry naming marker i is the flare of light slot i.
char flareMarkers[kFlareSlots];
static_assert(kFlareSlots == kMaxLights, "one flare marker per light slot");

// In front of the near limit. The depth's float comparison with 1.0 orders like the comparison of
// the bit patterns as signed integers for finite depths; infinite ones and those that are not
// numbers count as behind, so that a broken position never lists a flare or a face.
bool InFront(float depth) { return depth > 1.0f && depth <= std::numeric_limits<float>::max(); }

bool Shown(const scene::Object& object) {
  return !(object.flags & (scene::OBJECT_HIDDEN | scene::OBJECT_DISPLAY_HIDDEN));
}

struct Projection {
  float persp_x, persp_y;
  float half_w, half_h;
  float X(const Vector& p) const { return p.x * persp_x / p.z + half_w; }
  float Y(const Vector& p) const { return half_h - p.y * persp_y / p.z; }
};

float Distance(const Vector& a, const Vector& b) {
  Vector d;
  scene::vec_sub(&a, &b, &d);
  return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

// ---- The list -----------------------------------------------------------------------------------

float FaceKey(const Face& f, const scene::Camera& camera) {
  if (sortMode == 2) return f.pa->pvert.z + f.pb->pvert.z + f.pc->pvert.z;
  const Vector& e = camera.position;
  return (Distance(e, f.pa->pvert) + Distance(e, f.pb->pvert) + Distance(e, f.pc->pvert)) *
         kFaceDistanceScale;
}

// Visible front faces of the shown objects, in world-list and face order.
int ListFaces(scene::Scene* scene, const scene::Camera& camera, SortEntry* table) {
  int n = 0;
  for (scene::WorldNode* node = scene->world; node; node = node->next) {
    if (node->type != scene::WORLD_OBJECT || !node->record) continue;
    scene::Object& object = *static_cast<scene::Object*>(node->record);
    if (!Shown(object)) continue;
    for (int32_t i = 0; i < object.face_count; ++i) {
      Face& f = object.faces[i];
      const Vertex &a = *f.pa, &b = *f.pb, &c = *f.pc;
      if (!a.visible || !b.visible || !c.visible) continue;
      const float cross = (a.screen_x - b.screen_x) * (c.screen_y - b.screen_y) -
                          (c.screen_x - b.screen_x) * (a.screen_y - b.screen_y);
      if (cross < 0.0f) continue;  // a cross that is not a number passes
      table[n++] = {FaceKey(f, camera), &f};
    }
  }
  return n;
}

// Visible flares of the light table; none without a sprite to draw them with.
int ListFlares(const scene::Camera& camera, SortEntry* table) {
  if ((!flares && !flareGlow) || !flareSprite) return 0;
  int n = 0;
  for (int32_t i = 0; i < lightCount; ++i) {
    const Light* light = lightTable[i];
    if (!light || light->flare_visible != 1) continue;
    const float key = sortMode == 2
                          ? light->flare_depth * kFlareDepthScale
                          : Distance(camera.position, light->position) * kFlareDistanceScale;
    table[n++] = {key, &flareMarkers[i]};
  }
  return n;
}

// The light slot whose marker `item` is, or -1 for a face.
int FlareSlot(const void* item) {
  const uintptr_t offset =
      reinterpret_cast<uintptr_t>(item) - reinterpret_cast<uintptr_t>(&flareMarkers[0]);
  return offset < static_cast<uintptr_t>(kFlareSlots) ? static_cast<int>(offset) : -1;
}

// ---- Flares -------------------------------------------------------------------------------------

// One axis of BlitAdd's clipping: the sprite's first index drawn, the frame's first index written
// and the count. The frame's last index is never reached, from either side.
struct Run {
  int32_t skip, start, count;
};

Run ClipRun(int32_t at, int32_t size, int32_t limit) {
  const int64_t skip = at < 0 ? -int64_t{at} : 0;
  const int64_t start = at < 0 ? 0 : at;
  const int64_t count = std::min(int64_t{size} - skip, int64_t{limit} - 1 - start);
  return {static_cast<int32_t>(std::min<int64_t>(skip, size)), static_cast<int32_t>(start),
          static_cast<int32_t>(std::max<int64_t>(count, 0))};
}

// Per byte min(255, a + b): the low seven bits of each byte add without crossing into the next,
// the top bit is put back by exclusive or, and a carry out of a byte fills it with ones.
uint32_t AddSaturated(uint32_t a, uint32_t b) {
  const uint32_t low = (a & 0x7F7F7F7F) + (b & 0x7F7F7F7F);
  const uint32_t top = (a ^ b) & 0x80808080;
  const uint32_t carry = ((a & b) | (top & low)) & 0x80808080;
  return (low ^ top) | ((carry >> 7) * 0xFF);
}

void DrawFlare(int slot) {
  const Light& light = *lightTable[slot];
  const int32_t x = static_cast<int32_t>(std::lrint(light.flare_x)) - (light.flare_width >> 1);
  const int32_t y = static_cast<int32_t>(std::lrint(light.flare_y)) - (light.flare_height >> 1);
  BlitAdd(flareSprite, light.flare_width, light.flare_height, x, y, frameBuffer, screenWidth,
          screenHeight);
}

// ---- Lighting -----------------------------------------------------------------------------------

// Cosine term of one light at a vertex. The light position, camera-space pvert and pnorm are
// used as the records hold them; a light at the vertex itself has length 1 (vec_length).
float LightTerm(const Light& light, const Vertex& v) {
  Vector d;
  scene::vec_sub(&light.position, &v.pvert, &d);
  const float length = scene::vec_length(&d);
  return d.x / length * v.pnorm.x + d.y / length * v.pnorm.y + d.z / length * v.pnorm.z;
}

// 0 ... scale: the first light alone, or the unclamped terms of all lights averaged; either
// clamped below at 0. Without lights, 0.
float LitIntensity(const Vertex& v, float scale) {
  float s;
  if (singleLight) {
    if (lightCount == 0) return 0.0f;
    s = LightTerm(*lightTable[0], v);
  } else {
    s = 0.0f;
    for (int32_t i = 0; i < lightCount; ++i) s += LightTerm(*lightTable[i], v);
    s = s * lightWeight;
  }
  return s <= 0.0f ? 0.0f : s * scale;
}

float PrecomputedIntensity(const Vertex& v, float) { return v.intensity; }

// ---- Dispatch -----------------------------------------------------------------------------------

constexpr int32_t kNothing = -1;

std::array<const Vertex*, 3> Corners(const Face& f) { return {f.pa, f.pb, f.pc}; }

using TextureDrawer = void (*)(TextureVertex*, const uint32_t*, const Material&);
struct TransparencyMode {
  DrawMode mode;
  TextureDrawer draw;
};
// By the material's transparency mode.
const TransparencyMode kTransparencyModes[] = {
    {MODE_TEXTURED,
     [](TextureVertex* v, const uint32_t* t, const Material&) { DrawTextured(v, t); }},
    {MODE_HALF,
     [](TextureVertex* v, const uint32_t* t, const Material&) { DrawTexturedHalf(v, t); }},
    {MODE_WEIGHTED,
     [](TextureVertex* v, const uint32_t* t, const Material& m) {
       DrawTexturedWeighted(v, t, static_cast<uint32_t>(m.weights[0]),
                            static_cast<uint32_t>(m.weights[1]));
     }},
    {MODE_MAPPED,
     [](TextureVertex* v, const uint32_t* t, const Material&) { DrawTexturedMapped(v, t); }},
};
static_assert(TRANSPARENCY_OPAQUE == 0 && TRANSPARENCY_MAP == 3, "indexed by transparency mode");

int32_t DrawTransparent(TextureVertex* v, const Material& m) {
  const auto* texture = static_cast<const uint32_t*>(m.texture_map.texture);
  const int32_t mode = transparencyEnabled ? m.transparency_mode : TRANSPARENCY_OPAQUE;
  if (!texture || mode < 0 || mode > TRANSPARENCY_MAP) return kNothing;
  kTransparencyModes[mode].draw(v, texture, m);
  return kTransparencyModes[mode].mode;
}

// Flat: the vertices' texture coordinates, moved to the current frame of an animated texture.
int32_t DrawFlatFace(const Face& f, const Material& m) {
  const scene::TextureMap& t = m.texture_map;
  const bool animated = animatedTexturesEnabled && t.animated;
  const float du = animated ? t.frame_u_offset : 0.0f, dv = animated ? t.frame_v_offset : 0.0f;
  TextureVertex v[3];
  int k = 0;
  for (const Vertex* p : Corners(f)) v[k++] = {p->screen_x, p->screen_y, p->u + du, p->v + dv, 0};
  return DrawTransparent(v, m);
}

// Phong: a sphere environment map of the material's texture, looked up by the normal.
int32_t DrawPhongFace(const Face& f, const Material& m) {
  TextureVertex v[3];
  int k = 0;
  for (const Vertex* p : Corners(f))
    v[k++] = {p->screen_x, p->screen_y, p->pnorm.x * 128.0f + 128.0f, p->pnorm.y * 128.0f + 128.0f,
              0};
  return DrawTransparent(v, m);
}

// Metal: a reflection of the frame shown last; unit normals keep it 10 pixels inside the picture.
int32_t DrawMetalFace(const Face& f, const Material&) {
  if (!previousFrame) return kNothing;
  TextureVertex v[3];
  int k = 0;
  for (const Vertex* p : Corners(f))
    v[k++] = {p->screen_x, p->screen_y, p->pnorm.x * 150.0f + 160.0f, p->pnorm.y * 90.0f + 100.0f,
              0};
  DrawEnvironment(v, previousFrame, kEnvironmentRow, screenHeight);
  return MODE_ENVIRONMENT;
}

// Gouraud and constant gouraud: grey without a texture, shade levels of the 8-bit texture with one.
template <float (*Intensity)(const Vertex&, float)>
int32_t DrawGouraudFace(const Face& f, const Material& m) {
  const auto* texture = static_cast<const uint8_t*>(m.texture_map.texture);
  int k = 0;
  if (!texture) {
    ColourVertex v[3];
    for (const Vertex* p : Corners(f))
      v[k++] = {p->screen_x, p->screen_y, Intensity(*p, kGouraudScale), 0.0f, 0};
    DrawGouraud(v);
    return MODE_GOURAUD;
  }
  ShadedTextureVertex v[3];
  for (const Vertex* p : Corners(f))
    v[k++] = {p->screen_x, p->screen_y, p->u, p->v, Intensity(*p, kShadeScale), 0};
  DrawTexturedGouraud(v, texture);
  return MODE_TEXTURED_GOURAUD;
}

struct FaceDrawer {
  MaterialKind kind;
  int32_t (*draw)(const Face&, const Material&);
};
constexpr int32_t kShadingCodes = SHADING_CONSTANT_GOURAUD + 1;
// By shading code; codes without a drawer (0, wire, and the unknown ones) draw nothing.
constexpr std::array<FaceDrawer, kShadingCodes> kFaceDrawers = [] {
  std::array<FaceDrawer, kShadingCodes> table{};
  table[scene::SHADING_FLAT] = {KIND_FLAT, DrawFlatFace};
  table[scene::SHADING_GOURAUD] = {KIND_GOURAUD, DrawGouraudFace<LitIntensity>};
  table[scene::SHADING_PHONG] = {KIND_PHONG, DrawPhongFace};
  table[scene::SHADING_METAL] = {KIND_METAL, DrawMetalFace};
  table[SHADING_CONSTANT_GOURAUD] = {KIND_CONSTANT_GOURAUD, DrawGouraudFace<PrecomputedIntensity>};
  return table;
}();

// What a face was drawn as: its material kind and the rasterizer mode, or kind KIND_COUNT when
// it drew nothing.
struct Drawn {
  int32_t kind, mode;
};
Drawn DrawFace(const Face& f) {
  const Material* m = f.pmaterial;
  const FaceDrawer* drawer =
      m && m->shading < static_cast<uint32_t>(kShadingCodes) ? &kFaceDrawers[m->shading] : nullptr;
  const int32_t mode = drawer && drawer->draw ? drawer->draw(f, *m) : kNothing;
  return mode == kNothing ? Drawn{KIND_COUNT, 0} : Drawn{drawer->kind, mode};
}

// The sorted list, first to last. Counting is chosen once per frame, so that a run nobody
// reads the statistics of pays nothing per face for them.
template <bool kCount>
void DrawList(const SortEntry* table, int n) {
  for (int i = 0; i < n; ++i) {
    const int slot = FlareSlot(table[i].item);
    if (slot >= 0) {
      DrawFlare(slot);
      if (kCount) ++drawStats.flares;
      continue;
    }
    const Drawn drawn = DrawFace(*static_cast<const Face*>(table[i].item));
    if (!kCount) continue;
    if (drawn.kind == KIND_COUNT)
      ++drawStats.skipped;
    else
      ++drawStats.faces[drawn.kind][drawn.mode];
  }
}

// Set by ResetDrawStats: RenderFrame counts into drawStats.
bool counting = false;

}  // namespace

void ProjectScene(scene::Scene* scene, const scene::Camera* camera, int32_t width, int32_t height) {
  if (!scene || !camera) return;
  const Projection projection{camera->persp_x, camera->persp_y, static_cast<float>(width >> 1),
                              static_cast<float>(height >> 1)};
  const float max_x = static_cast<float>(width - 1), max_y = static_cast<float>(height - 1);
  for (scene::WorldNode* node = scene->world; node; node = node->next) {
    if (!node->record) continue;
    if (node->type == scene::WORLD_LIGHT) {
      Light& light = *static_cast<Light*>(node->record);
      Vector p;
      scene::mat_mul_point(&camera->matrix, &light.position, &p);
      light.flare_x = projection.X(p);
      light.flare_y = projection.Y(p);
      light.flare_visible = 0;
      if (InFront(p.z) && -light.flare_margin_x < light.flare_x &&
          light.flare_x < max_x + light.flare_margin_x && -light.flare_margin_y < light.flare_y &&
          light.flare_y < max_y + light.flare_margin_y) {
        light.flare_visible = 1;
        light.flare_depth = p.z;
      }
    } else if (node->type == scene::WORLD_OBJECT) {
      scene::Object& object = *static_cast<scene::Object*>(node->record);
      if (!Shown(object)) continue;
      for (int32_t i = 0; i < object.vertex_count; ++i) {
        Vertex& v = object.vertices[i];
        v.screen_x = projection.X(v.pvert);
        v.screen_y = projection.Y(v.pvert);
        v.visible = InFront(v.pvert.z) ? 1 : 0;
      }
    }
  }
}

void RenderFrame(scene::Scene* scene, const scene::Camera* camera) {
  if (!scene || !camera || !frameBuffer) return;
  auto* table = static_cast<SortEntry*>(scene->sort_table);
  if (!table) return;
  int n = ListFaces(scene, *camera, table);
  n += ListFlares(*camera, table + n);
  if (n == 0) return;
  SortFaces(table, n);
  if (counting) {
    ++drawStats.frames;
    DrawList<true>(table, n);
  } else {
    DrawList<false>(table, n);
  }
}

void BlitAdd(const uint32_t* sprite, int32_t w, int32_t h, int32_t x, int32_t y, uint32_t* dst,
             int32_t dstW, int32_t dstH) {
  if (!sprite || !dst || x > dstW || y > dstH) return;
  const Run cols = ClipRun(x, w, dstW), rows = ClipRun(y, h, dstH);
  if (rows.count <= 0 || cols.count <= 1) return;
  // Pixel pairs: an odd last column is left out.
  const int32_t n = cols.count & ~1;
  for (int32_t r = 0; r < rows.count; ++r) {
    const uint32_t* from = sprite + static_cast<ptrdiff_t>(rows.skip + r) * w + cols.skip;
    uint32_t* to = dst + static_cast<ptrdiff_t>(rows.start + r) * dstW + cols.start;
    for (int32_t i = 0; i < n; ++i) to[i] = AddSaturated(to[i], from[i]);
  }
}

void ResetDrawStats(bool count) {
  drawStats = {};
  counting = count;
}

}  // namespace render
