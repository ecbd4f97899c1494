// The frame renderer: projection, flares and their sprite, culling, painter's order, the choice of
// rasterizer per material, per-vertex lighting, and hostile values.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support.h"

namespace {

using rendertest::FacesDrawn;
using rendertest::Front;
using rendertest::PerByte;
using rendertest::kHeight;
using rendertest::kWidth;
using rendertest::TestScene;
using scene::Vector;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A normal at `v` for which light j's term (unit vector to the light dotted with the normal) is
// terms[j]: the least normal meeting one or two such conditions.
void AimNormal(scene::Vertex& v, const std::vector<Vector>& lights,
               const std::vector<double>& terms) {
  double u[2][3];
  for (size_t j = 0; j < lights.size(); ++j) {
    const double d[3] = {lights[j].x - double(v.pvert.x), lights[j].y - double(v.pvert.y),
                         lights[j].z - double(v.pvert.z)};
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; ++k) u[j][k] = d[k] / length;
  }
  double beta[2] = {terms[0], 0};
  if (lights.size() == 2) {
    const double c = u[0][0] * u[1][0] + u[0][1] * u[1][1] + u[0][2] * u[1][2];
    beta[0] = (terms[0] - c * terms[1]) / (1 - c * c);
    beta[1] = (terms[1] - c * terms[0]) / (1 - c * c);
  }
  double n[3] = {0, 0, 0};
  for (size_t j = 0; j < lights.size(); ++j)
    for (int k = 0; k < 3; ++k) n[k] += beta[j] * u[j][k];
  v.pnorm = {float(n[0]), float(n[1]), float(n[2])};
}

void AimNormals(scene::Object* object, const std::vector<Vector>& lights,
                const std::vector<double>& terms) {
  for (int i = 0; i < 3; ++i) AimNormal(object->vertices[i], lights, terms);
}

void SetIntensity(scene::Object* object, float intensity) {
  for (int i = 0; i < 3; ++i) object->vertices[i].intensity = intensity;
}

TEST(ProjectScene, VerticesAndFlarePositions) {
  TestScene t;
  scene::Object* shown = t.Triangle(nullptr, Front(100, 50, 10, 100));
  const float above_one = std::nextafter(1.0f, 2.0f);
  struct Case {
    Vector pvert;
    float x, y;
    int32_t visible;
  };
  const Case vertices[] = {
      {{-40, -30, 200}, 140, 115, 1}, {{0, 0, 1.0f}, 160, 100, 0},
      {{0, 0, above_one}, 160, 100, 1}, {{0, 0, kNaN}, kNaN, kNaN, 0},
  };
  scene::Object* hidden = t.Triangle(nullptr, Front(100, 50, 10, 100));
  hidden->flags = scene::OBJECT_DISPLAY_HIDDEN;
  for (const Case& c : vertices) {
    shown->vertices[0].pvert = c.pvert;
    hidden->vertices[0].screen_x = -7;
    for (int width : {320, 321}) {
      render::ProjectScene(t.s, &t.camera, width, width == 320 ? 200 : 201);
      const scene::Vertex& v = shown->vertices[0];
      if (std::isnan(c.x)) {
        EXPECT_TRUE(std::isnan(v.screen_x));
      } else {
        EXPECT_EQ(v.screen_x, c.x) << c.pvert.z;
        EXPECT_EQ(v.screen_y, c.y) << c.pvert.z;
      }
      EXPECT_EQ(v.visible, c.visible) << c.pvert.z;
      EXPECT_EQ(hidden->vertices[0].screen_x, -7);
    }
  }

  // Lights go through the camera matrix; a flare counts while it lies less than its margin
  // (16 x 8 here) outside the frame, in front of the near limit.
  t.camera.matrix.xw = -10;  // camera x = world x - 10
  scene::Light* light = t.Light({0, 0, 0}, 16, 8);
  struct Flare {
    Vector camera;  // camera-space position
    float x, y;
    int32_t visible;
  };
  const Flare lights[] = {
      {{-175.5f, 0, 100}, -15.5f, 100, 1}, {{-176, 0, 100}, -16, 100, 0},
      {{174.5f, 0, 100}, 334.5f, 100, 1},  {{175, 0, 100}, 335, 100, 0},
      {{0, 107.5f, 100}, 160, -7.5f, 1},   {{0, 108, 100}, 160, -8, 0},
      {{0, -106.5f, 100}, 160, 206.5f, 1}, {{0, -107, 100}, 160, 207, 0},
      {{kNaN, 0, 100}, kNaN, 100, 0},      {{0, 0, kInf}, 160, 100, 0},
      {{0, 0, 1.0f}, 160, 100, 0},
  };
  for (const Flare& f : lights) {
    light->position = {f.camera.x + 10, f.camera.y, f.camera.z};
    light->flare_visible = 5;
    render::ProjectScene(t.s, &t.camera, kWidth, kHeight);
    EXPECT_EQ(light->flare_visible, f.visible) << f.x << " " << f.y;
    if (f.visible) {
      EXPECT_EQ(light->flare_x, f.x);
      EXPECT_EQ(light->flare_y, f.y);
      EXPECT_EQ(light->flare_depth, f.camera.z);
    }
  }
}

TEST(Flares, CentredOnTheRoundedLightPositionAndNeverFromBehindTheCamera) {
  // Sprite pixels name their column and row, so that a frame pixel tells where the sprite lies.
  constexpr int kW = 9, kH = 5;
  std::vector<uint32_t> sprite(kW * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) sprite[y * kW + x] = 0x01000000u | uint32_t(y) << 8 | uint32_t(x);
  struct Case {
    float x, y;     // projected light position
    int left, top;  // the sprite's top-left pixel: the rounded position less half the sprite
    int32_t flares, glow;
  };
  const Case cases[] = {
      {160.7f, 99.2f, 161 - 4, 99 - 2, 3, 0},
      {159.3f, 100.6f, 159 - 4, 101 - 2, 0, 1},  // flareGlow alone, the sprite loaded
      {-2.7f, -1.6f, -3 - 4, -2 - 2, 1, 0},      // to nearest, not towards zero: 2 pixels show
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    TestScene t;
    render::flares = c.flares;
    render::flareGlow = c.glow;
    render::flareSprite = sprite.data();
    t.Light(rendertest::CameraSpace({c.x, c.y, 100}), kW, kH);
    t.Render();
    EXPECT_EQ(render::drawStats.flares, 1);
    int written = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t p = t.at(x, y);
        if (p == 0) continue;
        ++written;
        ASSERT_EQ(x - int(p & 0xFF), c.left) << x << "," << y;
        ASSERT_EQ(y - int(p >> 8 & 0xFF), c.top) << x << "," << y;
      }
    EXPECT_EQ(written, c.left < 0 ? 2 : (kW - 1) * kH);
  }
  // Lights behind the camera, at the near limit, or off to the side draw nothing, whatever the
  // flare settings.
  for (int32_t glow : {0, 1}) {
    TestScene t;
    render::flares = 3;
    render::flareGlow = glow;
    render::flareSprite = sprite.data();
    for (Vector p : {Vector{0, 0, -100}, Vector{0, 0, -1}, Vector{5, 5, 1.0f}, Vector{0, 0, 0},
                     Vector{-500, 0, 100}})
      t.Light(p, 8, 6);
    t.Render();
    EXPECT_EQ(render::drawStats.flares, 0);
    for (uint32_t p : t.frame) ASSERT_EQ(p, 0u);
  }
  // Without a sprite (flareGlow alone names no file) nothing is listed or drawn.
  TestScene t;
  render::flareGlow = 1;
  t.Light({0, 0, 100}, 8, 6);
  t.Render();
  EXPECT_EQ(render::drawStats.flares, 0);
}

TEST(BlitAdd, ClipsOnePixelShortOfTheRightAndBottomEdges) {
  // Sprite pixels name their column and row; the frame starts at zero, so a written pixel shows
  // which sprite pixel landed there.
  struct Case {
    int w, h, x, y;
    int first_x, last_x, first_y, last_y;  // frame columns and rows written, inclusive
  };
  const Case cases[] = {
      {8, 8, 311, 191, 311, 318, 191, 198},  // ends just inside the last column and row
      {8, 8, 312, 192, 312, 317, 192, 198},  // reaches the edge: 7 columns, odd, 6 drawn
      {8, 8, 318, 100, 0, -1, 0, -1},        // 1 column: nothing
      {8, 8, -3, -5, 0, 3, 0, 2},            // 5 columns left, odd: 4; rows 5 ... 7 of the sprite
      {7, 3, 10, 20, 10, 15, 20, 22},        // odd width inside the frame: last column left out
      {8, 8, 320, 100, 0, -1, 0, -1},
      {400, 300, -20, -30, 0, 317, 0, 198},  // larger than the frame: stays one short of both edges
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> sprite(c.w * c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        sprite[y * c.w + x] = 0x01000000u | uint32_t(y) << 12 | uint32_t(x);
    // Guard rows above and below the frame catch writes outside it.
    std::vector<uint32_t> buffer((kHeight + 2) * kWidth, 0);
    uint32_t* frame = buffer.data() + kWidth;
    render::BlitAdd(sprite.data(), c.w, c.h, c.x, c.y, frame, kWidth, kHeight);
    const std::string where = std::to_string(c.w) + "x" + std::to_string(c.h) + " at " +
                              std::to_string(c.x) + "," + std::to_string(c.y);
    for (int i = 0; i < kWidth; ++i) {
      ASSERT_EQ(buffer[i], 0u) << where;
      ASSERT_EQ(buffer[(kHeight + 1) * kWidth + i], 0u) << where;
    }
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const bool inside = x >= c.first_x && x <= c.last_x && y >= c.first_y && y <= c.last_y;
        const uint32_t expected =
            inside ? 0x01000000u | uint32_t(y - c.y) << 12 | uint32_t(x - c.x) : 0u;
        ASSERT_EQ(frame[y * kWidth + x], expected) << where << ": " << x << "," << y;
      }
  }
}

TEST(BlitAdd, AddsEveryByteSaturating) {
  const uint32_t sprite[2] = {0x80FF0102, 0x7F000000};
  uint32_t frame[4 * 4];
  for (uint32_t& p : frame) p = 0x80010203;
  render::BlitAdd(sprite, 2, 1, 1, 1, frame, 4, 4);
  EXPECT_EQ(frame[4 + 1], 0xFFFF0305u);
  EXPECT_EQ(frame[4 + 2], 0xFF010203u);
  EXPECT_EQ(frame[4 + 0], 0x80010203u);
  EXPECT_EQ(frame[4 + 3], 0x80010203u);
}

TEST(RenderFrame, DrawsOnlyVisibleFrontFacesOfShownObjects) {
  TestScene t;
  scene::Material* grey = t.Material(render::SHADING_CONSTANT_GOURAUD);
  struct Case {
    const char* what;
    std::vector<rendertest::ScreenPoint> corners;
    uint32_t flags;
    uint32_t expected;  // 10 pixels below the first corner
  };
  const Case cases[] = {
      {"front", Front(40, 20, 20, 100), 0, 0x005A5A5A},
      {"back", {{120, 20, 100}, {140, 40, 100}, {100, 40, 100}}, 0, 0},
      {"corner at the near limit", {{200, 20, 1.0f}, {180, 40, 100}, {220, 40, 100}}, 0, 0},
      {"corner behind", {{280, 20, -50}, {260, 40, 100}, {300, 40, 100}}, 0, 0},
      {"hidden", Front(40, 120, 20, 100), scene::OBJECT_HIDDEN, 0},
      {"display-hidden", Front(120, 120, 20, 100), scene::OBJECT_DISPLAY_HIDDEN, 0},
      {"edge-on", {{200, 120, 100}, {210, 130, 100}, {220, 140, 100}}, 0, 0},
  };
  std::vector<scene::Object*> objects;
  for (const Case& c : cases) {
    objects.push_back(t.Triangle(grey, c.corners));
    SetIntensity(objects.back(), 90.5f);
  }
  // Hidden after a frame in which they were shown: their vertices keep the old screen positions.
  t.Render();
  for (size_t i = 0; i < objects.size(); ++i) objects[i]->flags = cases[i].flags;
  t.frame.assign(t.frame.size(), 0);
  render::ResetDrawStats();
  t.Render();
  // Edge-on faces are listed (a zero cross product is front) and draw no pixel.
  EXPECT_EQ(render::drawStats.faces[render::KIND_CONSTANT_GOURAUD][render::MODE_GOURAUD], 2);
  for (const Case& c : cases)
    EXPECT_EQ(t.at(int(c.corners[0].x), int(c.corners[0].y) + 10), c.expected) << c.what;
}

TEST(RenderFrame, PaintersOrderFarToNearWithFlaresBetween) {
  std::vector<uint32_t> sprite(16 * 16, 0x00010101);
  for (bool near_first : {true, false}) {
    TestScene t;
    render::flares = 3;
    render::flareSprite = sprite.data();
    scene::Material* grey = t.Material(render::SHADING_CONSTANT_GOURAUD);
    const auto near = [&] { SetIntensity(t.Triangle(grey, Front(200, 90, 40, 100)), 200.5f); };
    const auto far = [&] { SetIntensity(t.Triangle(grey, Front(160, 40, 100, 400)), 100.5f); };
    if (near_first) near();
    far();
    if (!near_first) near();
    t.Light(rendertest::CameraSpace({190, 110, 200}), 16, 16);  // between the two
    t.Render();
    EXPECT_EQ(t.at(100, 130), 0x00646464u);  // far face alone
    EXPECT_EQ(t.at(184, 103), 0x00656565u);  // far face under the flare
    EXPECT_EQ(t.at(190, 115), 0x00C8C8C8u);  // near face over far face and flare
    EXPECT_EQ(render::drawStats.flares, 1);
  }
}

TEST(RenderFrame, SortKeysAreDepthSumsOrDistancesFromTheCameraPosition) {
  std::vector<uint32_t> sprite(4 * 4, 0x00010101);
  for (int32_t mode : {2, 0}) {
    SCOPED_TRACE(testing::Message() << "sort mode " << mode);
    TestScene t;
    render::sortMode = mode;
    render::flares = 3;
    render::flareSprite = sprite.data();
    // The camera stands away from the origin, and its matrix moves the world by (-10, 0, 20):
    // distance keys measure from its position to pvert and to the light's world position, the
    // flare's depth is that of the light moved into camera space.
    const Vector eye{40, -30, 250};
    t.camera.position = eye;
    t.camera.matrix.xw = -10, t.camera.matrix.zw = 20;
    scene::Material* grey = t.Material(render::SHADING_CONSTANT_GOURAUD);
    scene::Object* level = t.Triangle(grey, Front(100, 60, 20, 100));
    scene::Object* slanted = t.Triangle(grey, {{200, 50, 200}, {170, 80, 400}, {230, 80, 100}});
    t.Light({30, 20, 80}, 4, 4);  // camera space (20, 20, 100)
    t.Render();
    const auto distance = [&](const Vector& p) {
      return std::hypot(std::hypot(double(eye.x) - p.x, double(eye.y) - p.y), double(eye.z) - p.z);
    };
    const auto face_key = [&](const scene::Object* o) {
      double sum = 0;
      for (int i = 0; i < 3; ++i) {
        const Vector& p = o->vertices[i].pvert;
        sum += mode == 2 ? p.z : 1000 * distance(p);
      }
      return sum;
    };
    // Depth 100 in camera space; (10, 50, 170) from the camera to the light.
    const double flare_key = mode == 2 ? 300 : 3000 * std::sqrt(10.0 * 10 + 50 * 50 + 170 * 170);
    const auto* table = static_cast<const render::SortEntry*>(t.s->sort_table);
    int faces = 0;
    for (int i = 0; i < 3; ++i) {
      if (i > 0) {
        EXPECT_GE(table[i - 1].key, table[i].key);
      }
      const void* item = table[i].item;
      const double expected = item == &level->faces[0]     ? face_key(level)
                              : item == &slanted->faces[0] ? face_key(slanted)
                                                           : flare_key;
      faces += item == &level->faces[0] || item == &slanted->faces[0];
      EXPECT_NEAR(table[i].key, expected, expected * 1e-6) << i;
    }
    EXPECT_EQ(faces, 2);
    EXPECT_EQ(render::drawStats.flares, 1);
  }
}

TEST(CollectLights, KeepsTheFirst32LightsInWorldOrder) {
  TestScene t;
  EXPECT_EQ(render::CollectLights(t.s), 0);
  EXPECT_EQ(render::lightWeight, 1.0f);
  std::vector<scene::Light*> lights;
  for (int i = 0; i < 34; ++i) {
    lights.push_back(t.Light({float(i), 0, 100}));
    if (i % 8 == 0) t.Material(scene::SHADING_FLAT);
  }
  EXPECT_EQ(render::CollectLights(t.s), 32);
  EXPECT_EQ(render::lightCount, 32);
  EXPECT_EQ(render::lightWeight, 0.03125f);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(render::lightTable[i], lights[i]) << i;
}

TEST(RenderFrame, EachMaterialDrawsThroughItsRasterizer) {
  const std::vector<uint32_t> texture = rendertest::CoordinateTexture();
  const std::vector<uint32_t> mapped = rendertest::CoordinateTexture(0x40);
  const std::vector<uint32_t> shaded = rendertest::ShadedTexture(5);
  std::vector<uint32_t> previous(kWidth * kHeight);
  for (size_t i = 0; i < previous.size(); ++i) previous[i] = uint32_t(i) * 2654435761u;
  constexpr uint32_t kBackground = 0x80604020, kNoMaterial = ~0u;
  constexpr int kNone = -1;
  const Vector light{0, 0, -100}, straight{0, 0, -1}, tilted{0.5f, -0.25f, -0.8f};
  const Vector bent{0.25f, 0.5f, -0.8f};
  const uint32_t* tex = texture.data();
  const auto half = [](uint32_t t) {
    return PerByte(t, kBackground, [](uint32_t a, uint32_t b, int) { return (a >> 1) + (b >> 1); });
  };
  const uint32_t texel = rendertest::Texel(37, 90), phong = rendertest::Texel(192, 96);
  const uint32_t FLAT = scene::SHADING_FLAT, GOURAUD = scene::SHADING_GOURAUD;
  const uint32_t CONSTANT = render::SHADING_CONSTANT_GOURAUD;
  using render::KIND_FLAT;

  struct Case {
    const char* what;
    uint32_t shading;
    const uint32_t* texture;
    int32_t transparency_mode;
    Vector normal;
    float lit;          // gouraud: each corner's light term; constant gouraud: the intensity
    uint32_t expected;  // at (160, 100)
    int kind, mode;     // kNone: the face is skipped
    std::function<void(scene::Material*)> extra = nullptr;
  };
  const Case cases[] = {
      {"flat", FLAT, tex, 0, straight, 0, texel, KIND_FLAT, render::MODE_TEXTURED},
      {"flat half", FLAT, tex, 1, straight, 0, half(texel), KIND_FLAT, render::MODE_HALF},
      {"flat weighted", FLAT, tex, 2, straight, 0,
       PerByte(texel, kBackground,
               [](uint32_t a, uint32_t b, int) { return (a * 153 >> 8) + (b * 102 >> 8); }),
       KIND_FLAT, render::MODE_WEIGHTED,
       [](scene::Material* m) { m->weights[0] = 153 * 0x10001, m->weights[1] = 102 * 0x10001; }},
      {"flat transparency map", FLAT, mapped.data(), 3, straight, 0,
       PerByte(rendertest::Texel(37, 90, 0x40), kBackground,
               [](uint32_t a, uint32_t b, int byte) {
                 return byte == 3 ? a * 255 >> 8 : (a * (255 - 0x40) >> 8) + (b * 0x40 >> 8);
               }),
       KIND_FLAT, render::MODE_MAPPED},
      {"flat animated, animation off", FLAT, tex, 0, straight, 0, texel, KIND_FLAT,
       render::MODE_TEXTURED,
       [](scene::Material* m) {
         m->texture_map.animated = 1;
         m->texture_map.frame_u_offset = 64, m->texture_map.frame_v_offset = 128;
       }},
      {"flat half, transparency off", FLAT, tex, 1, straight, 0, texel, KIND_FLAT,
       render::MODE_TEXTURED, [](scene::Material*) { render::transparencyEnabled = 0; }},
      {"flat, unknown transparency mode", FLAT, tex, 9, straight, 0, kBackground, kNone, kNone},
      {"flat animated", FLAT, tex, 0, straight, 0, rendertest::Texel(101, 218), KIND_FLAT,
       render::MODE_TEXTURED,
       [](scene::Material* m) {
         render::animatedTexturesEnabled = 1;
         m->texture_map.animated = 1;
         m->texture_map.frame_u_offset = 64, m->texture_map.frame_v_offset = 128;
       }},
      {"flat without texture", FLAT, nullptr, 0, straight, 0, kBackground, kNone, kNone},
      {"phong", scene::SHADING_PHONG, tex, 0, tilted, 0, phong, render::KIND_PHONG,
       render::MODE_TEXTURED},
      {"metal", scene::SHADING_METAL, nullptr, 0, bent, 0, previous[145 * kWidth + 197],
       render::KIND_METAL, render::MODE_ENVIRONMENT,
       [&](scene::Material*) { render::previousFrame = previous.data(); }},
      {"metal without a previous frame", scene::SHADING_METAL, nullptr, 0, bent, 0, kBackground,
       kNone, kNone},
      {"gouraud", GOURAUD, nullptr, 0, straight, 0.5f, 0x007F7F7F, render::KIND_GOURAUD,
       render::MODE_GOURAUD},
      {"gouraud textured", GOURAUD, shaded.data(), 0, straight, 0.25f, 0x0005000F,
       render::KIND_GOURAUD, render::MODE_TEXTURED_GOURAUD},
      {"constant gouraud", CONSTANT, nullptr, 0, straight, 200.5f, 0x00C8C8C8,
       render::KIND_CONSTANT_GOURAUD, render::MODE_GOURAUD},
      {"constant gouraud textured", CONSTANT, shaded.data(), 0, straight, 40.5f, 0x00050028,
       render::KIND_CONSTANT_GOURAUD, render::MODE_TEXTURED_GOURAUD},
      {"wire", 0, tex, 0, straight, 0, kBackground, kNone, kNone},
      {"unknown shading", 7, tex, 0, straight, 0, kBackground, kNone, kNone},
      {"shading past the table", 0x80000001u, tex, 0, straight, 0, kBackground, kNone, kNone},
      {"no material", kNoMaterial, nullptr, 0, straight, 0, kBackground, kNone, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestScene t;
    t.frame.assign(t.frame.size(), kBackground);
    scene::Material* m =
        c.shading == kNoMaterial ? nullptr : t.Material(c.shading, c.texture, c.transparency_mode);
    scene::Object* o = t.Triangle(m, Front(160, 50, 80, 100), c.normal, 37.5f, 90.5f);
    if (c.shading == GOURAUD) t.Light(light), AimNormals(o, {light}, {c.lit});
    if (c.shading == CONSTANT) SetIntensity(o, c.lit);
    if (c.extra) c.extra(m);
    t.Render();
    EXPECT_EQ(t.at(160, 100), c.expected) << std::hex << t.at(160, 100);
    const bool skipped = c.kind == kNone;
    EXPECT_EQ(render::drawStats.skipped, skipped ? 1 : 0);
    EXPECT_EQ(FacesDrawn(), skipped ? 0 : 1);
    if (!skipped) {
      EXPECT_EQ(render::drawStats.faces[c.kind][c.mode], 1);
    }
    EXPECT_EQ(render::drawStats.frames, 1);
  }
}

TEST(RenderFrame, LightsEachVertexOfGouraudFaces) {
  const std::vector<uint32_t> shaded = rendertest::ShadedTexture(9);
  const Vector a{0, 0, -100}, b{150, 80, 0};
  struct Case {
    const char* what;
    int32_t single;
    std::vector<Vector> lights;
    std::vector<double> terms;
    bool textured;
    uint32_t expected;
  };
  const Case cases[] = {
      {"first light only", 1, {a, b}, {0.5, -0.9}, false, 0x007F7F7F},
      {"first light facing away", 1, {a, b}, {-0.5, 0.9}, false, 0},
      {"mean of the unclamped terms", 0, {a, b}, {0.8, -0.2}, false, 0x004C4C4C},  // 76.5
      {"mean below zero", 0, {a, b}, {-0.6, 0.2}, false, 0},
      {"shade level of the mean", 0, {a, b}, {0.2, 0.05}, true, 0x00090007},  // 7.75
      {"no light", 1, {}, {}, false, 0},
      {"no light, averaged", 0, {}, {}, false, 0},
  };
  for (const Case& c : cases) {
    TestScene t;
    render::singleLight = c.single;
    for (const Vector& l : c.lights) t.Light(l);
    scene::Object* o =
        t.Triangle(t.Material(scene::SHADING_GOURAUD, c.textured ? shaded.data() : nullptr),
                   Front(160, 50, 80, 100), {0, 0, -1});
    if (!c.lights.empty()) AimNormals(o, c.lights, c.terms);
    t.frame.assign(t.frame.size(), 0xFFFFFFFF);
    t.Render();
    EXPECT_EQ(t.at(160, 100), c.expected) << c.what << ": 0x" << std::hex << t.at(160, 100);
  }
  // Lit once per vertex, not per face: a light standing on the first corner (no direction, so a
  // term of 0 there) and terms 0.6 and 0.9 at the others give their mean 0.5 at the centroid,
  // within the rasterizer's rounding.
  TestScene t;
  const Vector corner = rendertest::CameraSpace({160, 40, 100});
  t.Light(corner);
  scene::Object* o = t.Triangle(t.Material(scene::SHADING_GOURAUD), Front(160, 40, 90, 100));
  for (int i = 1; i < 3; ++i) AimNormal(o->vertices[i], {corner}, {0.3 + 0.3 * i});
  t.Render();
  const uint32_t grey = t.at(160, 100) & 0xFF;  // centroid of (160, 40), (70, 130), (250, 130)
  EXPECT_NEAR(double(grey), 0.5 * 255, 1.5);
  EXPECT_EQ(t.at(160, 100) & 0x00FFFFFF, grey * 0x010101u);
}

TEST(RenderFrame, HostileValuesDrawNothingAndStayInside) {
  std::vector<uint32_t> sprite(16 * 16, 0x00101010);
  TestScene t;
  render::flares = 3;
  render::flareSprite = sprite.data();
  render::singleLight = 0;
  scene::Material* lit = t.Material(scene::SHADING_GOURAUD);
  scene::Material* constant = t.Material(render::SHADING_CONSTANT_GOURAUD);
  t.Light({kNaN, 0, 100}, 16, 16);
  t.Light({0, kInf, 100}, 16, 16);
  t.Light({0, 0, -kInf}, 16, 16);
  scene::Object* o = t.Triangle(lit, Front(160, 50, 80, 100));
  o->vertices[1].pvert.z = kNaN;
  o = t.Triangle(lit, Front(160, 50, 80, 100));
  o->vertices[2].pvert.x = kInf;
  o = t.Triangle(lit, Front(160, 50, 80, 100), {kNaN, 0, -1});
  o = t.Triangle(lit, Front(160, 50, 80, 100));
  o->vertices[0].pvert.x = kNaN;  // a cross product that is not a number lists the face
  o = t.Triangle(constant, Front(160, 50, 80, 100));
  SetIntensity(o, kNaN);
  for (float huge : {1e6f, 1e30f}) {
    o = t.Triangle(constant, {{-huge, -huge, 100}, {-3 * huge, huge, 100}, {3 * huge, huge, 100}});
    SetIntensity(o, 100.5f);
  }
  t.frame.assign(t.frame.size(), 0x11111111);
  t.Render();
  EXPECT_EQ(render::drawStats.flares, 0);
  EXPECT_EQ(FacesDrawn(), 6);  // all but the one with a depth that is not a number
  // Only the huge triangles, clipped to the frame, write pixels.
  for (uint32_t p : t.frame) ASSERT_TRUE(p == 0x11111111u || p == 0x00646464u) << std::hex << p;
  EXPECT_EQ(t.at(160, 100), 0x00646464u);
}

}  // namespace
