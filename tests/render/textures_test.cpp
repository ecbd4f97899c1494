// Texture preparation over scenes built by hand and archives of TGA files made here: slot layouts
// byte for byte, modes, resizing, animated textures, conversions and the failure paths.
#include "render/textures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/writer.h"
#include "effects/effects.h"
#include "render/lights.h"
#include "render/raster.h"
#include "render/settings.h"
#include "scene/kf.h"
#include "scene/library.h"

namespace {

using Bytes = std::vector<uint8_t>;
using scene::Material;

// Before the first note of this process, so that notes reach the captured standard error.
const bool kVerbose = setenv("VEK_VERBOSE", "1", 1) == 0;

void Put16(Bytes& b, size_t at, int value) {
  b[at] = static_cast<uint8_t>(value);
  b[at + 1] = static_cast<uint8_t>(value >> 8);
}

// Uncompressed TGA, top row first: 32-bit true colour, or 8-bit indices with a 24-bit colour map.
Bytes Tga32(int w, int h, const std::function<uint32_t(int, int)>& pixel) {
  Bytes b(18, 0);
  b[2] = 2, b[16] = 32, b[17] = 0x28;
  Put16(b, 12, w), Put16(b, 14, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(pixel(x, y) >> 8 * i));
  return b;
}

Bytes Tga8(int w, int h, const std::vector<uint32_t>& palette,
           const std::function<uint8_t(int, int)>& index) {
  Bytes b(18, 0);
  b[1] = 1, b[2] = 1, b[7] = 24, b[16] = 8, b[17] = 0x20;
  Put16(b, 5, static_cast<int>(palette.size())), Put16(b, 12, w), Put16(b, 14, h);
  for (uint32_t c : palette) b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.push_back(index(x, y));
  return b;
}

uint32_t Texel(const void* slot, int u, int v) {
  return static_cast<const uint32_t*>(slot)[effects::tiled_texel_index(u, v)];
}

class Textures : public testing::Test {
 protected:
  scene::Scene* s = nullptr;
  std::string path = "textures_test_" + std::to_string(getpid()) + ".bin";

  void SetUp() override {
    ASSERT_TRUE(kVerbose);
    scene::kf_scene_new(&s);
    render::backgroundPicture = "";
    render::autoResize = render::fakeTextures = render::maxCompat = render::constantGouraud = 0;
    render::ambientTint = render::flares = render::flareGlow = 0;
    render::transparencyEnabled = render::animatedTexturesEnabled = 0;
    render::animationDelay = 1;
    render::screenWidth = 320, render::screenHeight = 200;
  }
  void TearDown() override {
    render::FreeSceneTextures(s);
    scene::kf_world_free(s);
    std::free(s);
    std::remove(path.c_str());
  }

  void Pack(const std::vector<archive::MemberFile>& members) {
    ASSERT_EQ(archive::write_archive(path, members), "");
    archive::library_archive().reopen(path.c_str());
  }
  Material* AddMaterial(const char* name, uint32_t shading, const char* texture,
                        float transparency = 0, const char* map = nullptr, uint32_t flags = 0) {
    auto* m = scene::kf_new_record<Material>(name);
    m->shading = shading;
    m->flags = flags;
    m->transparency = transparency;
    if (texture) m->texture_map.filename = scene::kf_copy_name(texture);
    if (map) m->reflection_map.filename = scene::kf_copy_name(map);
    scene::kf_append_world(s, scene::WORLD_MATERIAL, m);
    return m;
  }
  // One face over three vertices with the given texture coordinates and camera-space positions.
  scene::Object* AddTriangle(Material* m, std::vector<std::pair<float, float>> uv = {},
                             std::vector<scene::Vector> at = {}) {
    uv.resize(3), at.resize(3);
    auto* o = scene::kf_new_record<scene::Object>("Tri");
    o->vertex_count = 3;
    o->face_count = 1;
    o->vertices = static_cast<scene::Vertex*>(std::calloc(3, sizeof(scene::Vertex)));
    o->faces = static_cast<scene::Face*>(std::calloc(1, sizeof(scene::Face)));
    for (int i = 0; i < 3; ++i)
      o->vertices[i].u = uv[i].first, o->vertices[i].v = uv[i].second, o->vertices[i].pvert = at[i];
    o->faces[0] = {0, 1,  2,  0, m->id, &o->vertices[0], &o->vertices[1], &o->vertices[2],
                   m, {}, {}, 0};
    scene::kf_append_world(s, scene::WORLD_OBJECT, o);
    return o;
  }
  scene::Light* AddLight(scene::Vector position, float inner, float outer) {
    auto* l = scene::kf_new_record<scene::Light>("Lamp");
    l->position = position, l->range_a = inner, l->range_b = outer;
    scene::kf_append_world(s, scene::WORLD_LIGHT, l);
    return l;
  }
  // Loads the scene's textures; the result, and the log and notes it wrote.
  int32_t Load(std::string& messages) {
    render::CollectLights(s);
    testing::internal::CaptureStderr();
    const int32_t result = render::LoadSceneTextures(s);
    messages = testing::internal::GetCapturedStderr();
    return result;
  }
};

uint32_t Pattern(int x, int y) {
  return 0x80000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | uint32_t(x ^ y);
}

TEST_F(Textures, FlatTexturesAreTiledAndWrongSizesResizedOrRefused) {
  struct Case {
    int size, auto_resize, result;
    const char* message;
  } cases[] = {
      {256, 0, 1, "\nLoading texture file 'Textures\\wood.tga'(Wood), size: 256x256...ok!"},
      {128, 1, 1, "\nAutoresizing texture 'Textures\\wood.tga'(Wood) from 128x128 to 256x256..."},
      {128, 0, 0, "\nFile 'Textures\\wood.tga' in Wood: bad texture size(should be 256x256)!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    TearDown(), SetUp();
    Pack({{"wood.tga", Tga32(c.size, c.size, Pattern)}});
    Material* m = AddMaterial("Wood", scene::SHADING_FLAT, "wood.tga");
    render::autoResize = c.auto_resize;
    std::string messages;
    ASSERT_EQ(Load(messages), c.result);
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    if (!c.result) {
      EXPECT_EQ(s->texture_buffer, nullptr);
      continue;
    }
    ASSERT_NE(m->texture_map.texture, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m->texture_map.texture) % render::kSlotBytes, 0u);
    EXPECT_EQ(m->texture_map.texture_width, 256);
    EXPECT_EQ(m->texture_map.texture_bits, 32);
    const int shift = c.size == 128 ? 1 : 0;  // nearest neighbour: each texel doubled
    for (int v = 0; v < 256; ++v)
      for (int u = 0; u < 256; ++u)
        ASSERT_EQ(Texel(m->texture_map.texture, u, v), Pattern(u >> shift, v >> shift))
            << u << "," << v;
  }
}

TEST_F(Textures, ShadedTexturesHoldIndicesAndShadeTable) {
  const std::vector<uint32_t> palette = {0x000000, 0xC86400, 0xFFFFFF, 0x01FE80};
  const auto index = [](int x, int y) { return uint8_t((x + 3 * y) % 4); };
  // Level: expected red, green, blue of entry 1 (200, 100, 0), worked out by hand.
  const struct {
    int level;
    uint32_t plain, tinted;
  } levels[] = {
      {0, 0x000000, 0x000000},  {15, 0x613000, 0x303000}, {30, 0xC26100, 0x616100},
      {31, 0xC86400, 0x646400}, {32, 0xC86400, 0x646400}, {48, 0xE4B280, 0xB2B280},
      {62, 0xFCF5EF, 0xF5F5EF}, {63, 0xFDFAF7, 0xFAFAF7},
  };
  for (int tint : {0, 1}) {
    for (int size : {256, 64}) {
      SCOPED_TRACE(size);
      TearDown(), SetUp();
      Pack({{"snow.tga", Tga8(size, size, palette, index)}});
      Material* m = AddMaterial("Snow", scene::SHADING_GOURAUD, "snow.tga");
      render::autoResize = 1;
      render::ambientTint = tint;
      render::ambientColour = {0.5f, 1.0f, 0.25f};
      std::string messages;
      ASSERT_EQ(Load(messages), 1) << messages;
      EXPECT_EQ(m->texture_map.texture_bits, 8);
      const auto* block = static_cast<const uint8_t*>(m->texture_map.texture);
      const int shift = size == 64 ? 2 : 0;
      for (int v = 0; v < 256; ++v)
        for (int u = 0; u < 256; ++u) ASSERT_EQ(block[u + 256 * v], index(u >> shift, v >> shift));
      const auto* table = reinterpret_cast<const uint32_t*>(block + render::kShadeTableOffset);
      for (const auto& l : levels)
        EXPECT_EQ(table[1 * 64 + l.level], tint ? l.tinted : l.plain) << l.level;
      EXPECT_EQ(table[2 * 64 + 0], 0u);
      EXPECT_EQ(table[2 * 64 + 31], tint ? 0x80FF40u : 0xFFFFFFu);
    }
  }
}

TEST_F(Textures, TransparencyModes) {
  const uint32_t kPair = 65537;
  Pack({{"glass.tga", Tga32(256, 256, Pattern)},
        {"mask.tga", Tga8(128, 128, {0, 0}, [](int x, int y) { return uint8_t(x + y); })}});
  Material* opaque = AddMaterial("Opaque", scene::SHADING_FLAT, "glass.tga", 0.0f);
  Material* half = AddMaterial("Half", scene::SHADING_FLAT, "glass.tga", 0.5f);
  Material* weighted = AddMaterial("Weighted", scene::SHADING_PHONG, "glass.tga", 0.4f);
  Material* above = AddMaterial("Above", scene::SHADING_PHONG, "glass.tga", 0.6f);
  Material* mapped = AddMaterial("Mapped", scene::SHADING_FLAT, "glass.tga", 0.3f, "mask.tga");
  render::transparencyEnabled = 1;
  render::autoResize = 1;
  // The tint halves green and leaves the transparency map in the top byte.
  render::ambientTint = 1;
  render::ambientColour = {1.0f, 0.5f, 1.0f};
  std::string messages;
  ASSERT_EQ(Load(messages), 1) << messages;
  EXPECT_EQ(opaque->transparency_mode, render::TRANSPARENCY_OPAQUE);
  EXPECT_EQ(half->transparency_mode, render::TRANSPARENCY_HALF);
  EXPECT_EQ(weighted->transparency_mode, render::TRANSPARENCY_WEIGHTED);
  EXPECT_EQ(weighted->weights[0], int32_t(153 * kPair));
  EXPECT_EQ(weighted->weights[1], int32_t(102 * kPair));
  EXPECT_EQ(above->transparency_mode, render::TRANSPARENCY_WEIGHTED);
  ASSERT_EQ(mapped->transparency_mode, render::TRANSPARENCY_MAP);
  EXPECT_NE(messages.find("\nAutoresizing transparency map 'Textures\\mask.tga'(Mapped) from "
                          "128x128 to 256x256..."),
            std::string::npos);
  for (int v = 0; v < 256; v += 5)
    for (int u = 0; u < 256; u += 3)
      ASSERT_EQ(Texel(mapped->texture_map.texture, u, v),
                (Pattern(u, v) & 0xFF00FF) | uint32_t(std::lround(v * 0.5f)) << 8 |
                    uint32_t((u / 2 + v / 2) & 255) << 24);

  TearDown(), SetUp();
  Pack({{"glass.tga", Tga32(256, 256, Pattern)}});
  Material* off = AddMaterial("Off", scene::SHADING_FLAT, "glass.tga", 0.4f, "mask.tga");
  ASSERT_EQ(Load(messages), 1) << messages;
  EXPECT_EQ(off->transparency_mode, render::TRANSPARENCY_OPAQUE);
}

// Frame n of "20ice.001" is uniform colour n.
std::vector<archive::MemberFile> AnimatedFrames(int count, int size = 64) {
  std::vector<archive::MemberFile> files;
  for (int n = 1; n <= count; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "20ice.0%02d", n);
    files.push_back({name, Tga32(n == 5 ? size : 64, n == 5 ? size : 64,
                                 [n](int, int) { return uint32_t(n); })});
  }
  return files;
}

TEST_F(Textures, TwentyFramesFillTwoSlotsAndStepInTurn) {
  auto files = AnimatedFrames(20, 32);
  files.push_back({"ice.tga", Tga8(64, 64, {0}, [](int x, int) { return uint8_t(x); })});
  Pack(files);
  Material* m = AddMaterial("Ice", scene::SHADING_FLAT, "20ice.001", 0.2f, "ice.tga");
  scene::Object* o = AddTriangle(m, {{0.5f, 1.0f}, {0, 0}, {0, 0}});
  render::animatedTexturesEnabled = render::transparencyEnabled = render::autoResize = 1;
  render::maxCompat = 1;
  render::animationDelay = 2;
  std::string messages;
  ASSERT_EQ(Load(messages), 1) << messages;
  EXPECT_NE(
      messages.find("\nAutoresizing animated frame 'Animated\\20ice.005' from 32x32 to 64x64..."),
      std::string::npos);
  const scene::TextureMap& t = m->texture_map;
  ASSERT_EQ(t.animated, 1);
  EXPECT_EQ(t.last_frame, 19);
  EXPECT_EQ(t.texture, t.first_slot);
  EXPECT_EQ(o->vertices[0].u, 31.0f);  // scaled to one 64-texel frame
  EXPECT_EQ(o->vertices[1].v, 62.0f);  // and flipped within it
  ASSERT_EQ(s->animated_count, 1);
  EXPECT_EQ(static_cast<Material**>(s->animated_textures)[0], m);
  const auto* first = static_cast<const uint8_t*>(t.first_slot);
  for (int k = 0; k < 20; ++k) {
    const void* slot = first + (k / 16) * render::kSlotBytes;
    const render::FrameOffset at = render::kFrameOffsets[k % 16];
    for (int d : {0, 63})
      EXPECT_EQ(Texel(slot, int(at.u) + d, int(at.v) + d), uint32_t(k + 1) | uint32_t(d) << 24)
          << k;
  }
  // Every second call steps: frame 16 is the second slot's first; frame 19 wraps to 0.
  for (int call = 1; call <= 32; ++call) render::AdvanceAnimatedTextures(s);
  EXPECT_EQ(t.current_frame, 16);
  EXPECT_EQ(t.texture, first + render::kSlotBytes);
  EXPECT_EQ(t.frame_u_offset, 0.0f);
  for (int call = 1; call <= 8; ++call) render::AdvanceAnimatedTextures(s);
  EXPECT_EQ(t.current_frame, 0);
  EXPECT_EQ(t.texture, first);
  // A delay below 1 steps on every call instead of never again.
  render::animationDelay = 0;
  for (int call = 1; call <= 6; ++call) render::AdvanceAnimatedTextures(s);
  EXPECT_EQ(t.current_frame, 6);
  EXPECT_EQ(t.frame_u_offset, 128.0f);
  EXPECT_EQ(t.frame_v_offset, 64.0f);
}

TEST_F(Textures, AnimatedNamesAreCheckedAndMissingFramesFail) {
  const struct {
    const char* name;
    std::vector<const char*> messages;
  } cases[] = {
      {"00ice.001",
       {"\n Error! bad number of frames (0) in animated texture '00ice.001' from material Ice!"}},
      {"20ice.001",
       {"\nCouldn't load texture file: 'Animated\\20ice.004'!",
        "\n Can't load animated textures from material Ice!"}},
  };
  std::string messages;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown(), SetUp();
    Pack(AnimatedFrames(3));
    AddMaterial("Ice", scene::SHADING_FLAT, c.name);
    render::animatedTexturesEnabled = 1;
    EXPECT_EQ(Load(messages), 0);
    for (const char* m : c.messages) EXPECT_NE(messages.find(m), std::string::npos) << messages;
    EXPECT_EQ(s->texture_buffer, nullptr);
  }

  // Only flat and phong materials hold frames: a gouraud one reads the name as a single texture.
  TearDown(), SetUp();
  Pack({{"20ice.001", Tga8(256, 256, {0xFFFFFF}, [](int, int) { return 0; })}});
  Material* shaded = AddMaterial("Ice", scene::SHADING_GOURAUD, "20ice.001");
  render::animatedTexturesEnabled = 1;
  ASSERT_EQ(Load(messages), 1) << messages;
  EXPECT_EQ(shaded->texture_map.animated, 0);
  EXPECT_EQ(shaded->texture_map.texture_bits, 8);
  EXPECT_EQ(s->animated_textures, nullptr);
}

// Preparing again converts the coordinates the scene was loaded with, under the settings of the
// moment; releasing the textures puts them back.
TEST_F(Textures, CoordinatesAreMirroredScaledAndFlippedOnceWhateverThePreparations) {
  Pack({{"wood.tga", Tga32(256, 256, Pattern)}});
  scene::Object* o = AddTriangle(AddMaterial("Wood", scene::SHADING_FLAT, "wood.tga"),
                                 {{-0.25f, 0.5f}, {1.0f, -1.0f}, {0, 0}});
  for (int compat : {0, 0, 1}) {
    render::maxCompat = compat;
    std::string messages;
    ASSERT_EQ(Load(messages), 1) << messages;
    EXPECT_EQ(o->vertices[0].u, 63.75f);
    EXPECT_EQ(o->vertices[0].v, 127.5f);
    EXPECT_EQ(o->vertices[1].u, 255.0f);
    EXPECT_EQ(o->vertices[1].v, compat ? 0.0f : 255.0f);
    EXPECT_EQ(o->vertices[2].v, compat ? 255.0f : 0.0f);
  }
  render::FreeSceneTextures(s);
  EXPECT_EQ(o->vertices[0].u, -0.25f);
  EXPECT_EQ(o->vertices[0].v, 0.5f);
  EXPECT_EQ(o->vertices[1].v, -1.0f);
  EXPECT_EQ(o->vertices[2].u, 0.0f);
}

TEST_F(Textures, ShadingConversionsAndVertexIntensities) {
  Pack({{"snow.tga", Tga8(256, 256, {0xFFFFFF}, [](int, int) { return 0; })}});
  Material* plain =
      AddMaterial("Plain", scene::SHADING_FLAT, nullptr, 0, nullptr, scene::MATERIAL_TWOSIDED);
  Material* snow =
      AddMaterial("Snow", scene::SHADING_FLAT, "snow.tga", 0, nullptr, scene::MATERIAL_TWOSIDED);
  // The first light reaches 10 fully and 20 at most; the second fades from 2 to 6.
  AddLight({0, 0, 0}, 10, 20);
  AddLight({4, 0, 0}, 2, 6);
  scene::Object* a = AddTriangle(plain, {}, {{4, 1, 0}, {4, 4, 0}, {4, 9, 0}});
  scene::Object* b = AddTriangle(snow, {}, {{4, 1, 0}, {4, 6, 0}, {0, 30, 0}});
  render::maxCompat = render::constantGouraud = 1;
  std::string messages;
  ASSERT_EQ(Load(messages), 1) << messages;
  EXPECT_EQ(plain->shading, render::SHADING_CONSTANT_GOURAUD);
  EXPECT_EQ(plain->texture_map.texture, nullptr);
  EXPECT_EQ(snow->shading, render::SHADING_CONSTANT_GOURAUD);
  EXPECT_EQ(snow->texture_map.texture_bits, 8);
  // Both lights, one at half, one out of range; one at its outer range, and none.
  const float plain_expected[] = {255.0f, 191.25f, 255.0f}, snow_expected[] = {62.0f, 31.0f, 0.0f};
  for (int i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(a->vertices[i].intensity, plain_expected[i]) << i;
    EXPECT_FLOAT_EQ(b->vertices[i].intensity, snow_expected[i]) << i;
  }
}

TEST_F(Textures, MissingFilesFailOrBecomeDull) {
  struct Case {
    uint32_t shading;
    const char* texture;
    int fake, result;
    const char* message;
  } cases[] = {
      {scene::SHADING_FLAT, "gone.tga", 0, 0,
       "\nCouldn't load texture file: 'Textures\\gone.tga' from material M!"},
      {scene::SHADING_FLAT, "gone.tga", 1, 1,
       "\n*Couldn't locate file 'Textures\\gone.tga'! Applying dull texture!"},
      {scene::SHADING_PHONG, nullptr, 0, 0,
       "\n*No texture filename for flat/phong shading in material M!"},
      {scene::SHADING_PHONG, nullptr, 1, 1, "\n*Applying fake-texture name to material 'M'!"},
      {scene::SHADING_GOURAUD, "gone.tga", 0, 0,
       "\nCouldn't load texture file: 'Textures\\gone.tga'(M)!"},
      {scene::SHADING_GOURAUD, "gone.tga", 1, 1,
       "\n*Couldn't locate file 'Textures\\gone.tga'! Applying dull texture!"},
      {scene::SHADING_GOURAUD, "wood.tga", 1, 0,
       "\nTexture 'Textures\\wood.tga' in gouraud material M should have only 256 colors!"},
      {scene::SHADING_FLAT, "wood.tga", 0, 0,
       "\nCouldn't load transparency map file: 'Textures\\gone.tga'(M)!"},
      {scene::SHADING_FLAT, "wood.tga", 0, 0,
       "\nTransparency map 'Textures\\wood.tga' should have only max. 256 colors!"},
      {7, "wood.tga", 0, 0, "\n*Error! Unknown material shading(code: 7)!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TearDown(), SetUp();
    Pack({{"wood.tga", Tga32(256, 256, Pattern)}});
    const bool mapped = std::strstr(c.message, "ransparency map");
    const char* map = !mapped ? nullptr : std::strstr(c.message, "gone") ? "gone.tga" : "wood.tga";
    Material* m = AddMaterial("M", c.shading, c.texture, mapped ? 0.5f : 0.0f, map);
    render::fakeTextures = c.fake;
    render::transparencyEnabled = 1;
    std::string messages;
    EXPECT_EQ(Load(messages), c.result);
    EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
    if (!c.result) {
      EXPECT_EQ(s->texture_buffer, nullptr);
      EXPECT_EQ(m->texture_map.texture, nullptr);
      continue;
    }
    const auto* texture = static_cast<const uint8_t*>(m->texture_map.texture);
    ASSERT_NE(texture, nullptr);
    if (c.shading == scene::SHADING_GOURAUD)
      EXPECT_EQ(reinterpret_cast<const uint32_t*>(texture + render::kShadeTableOffset)[31],
                0x404040u);
    else
      EXPECT_EQ(Texel(texture, 17, 99) & 0xFFFFFF, 0x404040u);
    if (!c.texture) {
      EXPECT_STREQ(m->texture_map.filename, "$dully$");
    }
  }
}

TEST_F(Textures, FlareSpriteTakesItsOwnSlotEvenWithoutMaterials) {
  Pack({{"lens3.tga", Tga32(16, 8, Pattern)}});
  scene::Light* light = AddLight({0, 0, 0}, 0, 0);
  AddMaterial("Chrome", scene::SHADING_METAL, "wood.tga");
  for (int on : {0, 3}) {
    render::flares = on;
    std::string messages;
    ASSERT_EQ(Load(messages), 1) << messages;
    EXPECT_NE(messages.find("\nNo materials textures defined in scene!"), std::string::npos);
    EXPECT_EQ(messages.find("\nMaterial Chrome with environment mapping needs no texture...") !=
                  std::string::npos,
              on != 0);
    if (!on) {
      EXPECT_EQ(s->texture_buffer, nullptr);
      EXPECT_EQ(render::flareSprite, nullptr);
      continue;
    }
    ASSERT_NE(render::flareSprite, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(render::flareSprite) % render::kSlotBytes, 0u);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x)
        ASSERT_EQ(render::flareSprite[y * 16 + x], Pattern(x, y) & 0xFFFFFF);
    EXPECT_EQ(light->flare_width, 16);
    EXPECT_EQ(light->flare_height, 8);
    EXPECT_EQ(light->flare_margin_y, 8.0f);
  }
  render::flares = 2;
  std::string messages;
  EXPECT_EQ(Load(messages), 0);
  EXPECT_NE(messages.find("\nCouldn't load flare-texture file: 'Flares\\lens2.tga'!"),
            std::string::npos);
}

TEST_F(Textures, BackgroundPictureFillsTheInnerRectangle) {
  Pack({{"back.tga", Tga32(2, 2, [](int x, int y) { return uint32_t(1 + x + 2 * y); })}});
  render::backgroundPicture = "back.tga";
  // The 22.10 step is rounded: 2 pixels stretched to 300 switch at 147 (step 7), not at 150.
  const struct {
    int width, border, switch_x, switch_y;
  } cases[] = {{320, 10, 147, 94}, {400, 20, 171, 79}};
  for (const auto& c : cases) {
    render::screenWidth = c.width;
    std::string messages;
    ASSERT_EQ(Load(messages), 1) << messages;
    ASSERT_NE(render::BackgroundPicPtr, nullptr);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < c.width; ++x) {
        const bool inside =
            x >= c.border && x < c.width - c.border && y >= c.border && y < 200 - c.border;
        const uint32_t expected = inside ? 1 + (x - c.border >= c.switch_x) +
                                               2 * (y - c.border >= c.switch_y)
                                         : 0;
        ASSERT_EQ(render::BackgroundPicPtr[y * c.width + x], expected) << x << "," << y;
      }
  }
  render::backgroundPicture = "none.tga";
  std::string messages;
  EXPECT_EQ(Load(messages), 0);
  EXPECT_EQ(render::BackgroundPicPtr, nullptr);
}

TEST(TextureImages, ResizingNeverReadsPastTheLastPixel) {
  auto picture = std::make_unique<display::Surface>(2, 1, display::Format(display::ARGB8888));
  auto* pixels = static_cast<uint32_t*>(picture->lock());
  pixels[0] = 5, pixels[1] = 9;
  picture->unlock();
  // The 22.10 step round(2 / 700 x 1024) = 3 overshoots: 699 x 3 >> 10 = 2.
  auto wide = render::ResizeImage(std::move(picture), 700, 3);
  ASSERT_NE(wide, nullptr);
  const auto* row = static_cast<const uint32_t*>(wide->lock());
  EXPECT_EQ(row[0], 5u);
  EXPECT_EQ(row[341], 5u);
  EXPECT_EQ(row[342], 9u);
  EXPECT_EQ(row[699], 9u);
  wide->unlock();
  EXPECT_EQ(render::ResizeImage(std::move(wide), 0, 5), nullptr);
  EXPECT_EQ(render::ResizeIndexedImage(
                std::make_unique<display::Surface>(4, 4, display::Format(display::ARGB8888)), 8, 8),
            nullptr);
}

}  // namespace
