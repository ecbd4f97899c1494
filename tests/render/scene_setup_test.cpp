// Face sorting, the scene optimizer, the ambient colour, the load options, the light table and the
// shading conversions of texture preparation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "render/lights.h"
#include "render/optimize.h"
#include "render/settings.h"
#include "render/sort.h"
#include "render/textures.h"
#include "scene/kf.h"
#include "scene/library.h"

namespace {

using render::SortEntry;

// A scene built by hand the way the readers allocate, so that the scene library frees it.
struct SceneBuilder {
  scene::Scene* s = nullptr;
  int32_t next_id = 0;
  SceneBuilder() { scene::kf_scene_new(&s); }
  ~SceneBuilder() {
    scene::kf_world_free(s);
    scene::kf_motion_free(s);
    std::free(s);
  }
  scene::Object* Object(const char* name, int vertices, std::vector<int32_t> face_materials,
                        uint32_t flags = 0) {
    auto* o = scene::kf_new_record<scene::Object>(name);
    o->id = next_id++;
    o->flags = flags;
    o->vertex_count = vertices;
    o->vertices = static_cast<scene::Vertex*>(std::calloc(vertices + 1, sizeof(scene::Vertex)));
    o->face_count = static_cast<int32_t>(face_materials.size());
    o->faces = static_cast<scene::Face*>(std::calloc(face_materials.size() + 1, sizeof(scene::Face)));
    for (size_t i = 0; i < face_materials.size(); ++i) o->faces[i].material = face_materials[i];
    scene::kf_append_world(s, scene::WORLD_OBJECT, o);
    return o;
  }
  scene::Material* Material(const char* name) {
    auto* m = scene::kf_new_record<scene::Material>(name);
    m->id = next_id++;
    m->texture_map.filename = scene::kf_copy_name("wood.tga");
    scene::kf_append_world(s, scene::WORLD_MATERIAL, m);
    return m;
  }
  scene::Light* Light(scene::Vector position, float inner, float outer) {
    auto* l = scene::kf_new_record<scene::Light>("lamp");
    l->position = position, l->range_a = inner, l->range_b = outer;
    scene::kf_append_world(s, scene::WORLD_LIGHT, l);
    return l;
  }
  void Ambient(float r, float g, float b) {
    auto* a = scene::kf_new_record<scene::Ambient>("$AMBIENT$");
    a->color = {r, g, b};
    scene::kf_append_world(s, scene::WORLD_AMBIENT, a);
  }
  void Animate(void* record) {
    auto* node = static_cast<scene::KeyframerNode*>(std::calloc(1, sizeof(scene::KeyframerNode)));
    node->type = scene::NODE_OBJECT;
    node->record = record;
    if (s->keyframer_tail) s->keyframer_tail->next = node;
    else s->keyframer = node;
    s->keyframer_tail = node;
  }
  std::vector<std::string> Names(uint32_t type) const {
    std::vector<std::string> names;
    for (const scene::WorldNode* node = s->world; node; node = node->next)
      if (node->type == type) names.push_back(*static_cast<char* const*>(node->record));
    return names;
  }
};

TEST(FaceSort, SortsLargestKeyFirstAndKeepsEveryItem) {
  std::mt19937 rng(17);
  for (int n : {0, 1, 2, 3, 7, 100, 2048}) {
    std::vector<SortEntry> table(n);
    std::vector<int> items(n);
    // Keys 0.625 apart (ordered: the difference rounds to 1) or equal.
    for (int i = 0; i < n; ++i) table[i] = {float(int(rng() % 500)) * 0.625f, &items[i]};
    render::SortFaces(table.data(), n);
    std::vector<int> seen(n, 0);
    for (int i = 0; i < n; ++i) {
      ++seen[static_cast<int*>(table[i].item) - items.data()];
      if (i > 0) {
        ASSERT_GE(table[i - 1].key, table[i].key) << n << " at " << i;
      }
    }
    for (int i = 0; i < n; ++i) ASSERT_EQ(seen[i], 1) << n;
  }
  // Keys closer than 0.5 are equal to the comparison, which makes "equal" non-transitive, and keys
  // that are not numbers are equal to everything: the sort stays in bounds and keeps every item.
  std::vector<SortEntry> table(3000);
  std::vector<int> items(table.size());
  std::uniform_real_distribution<float> key(0, 40);
  for (size_t i = 0; i < table.size(); ++i)
    table[i] = {i % 97 == 0 ? std::numeric_limits<float>::quiet_NaN() : key(rng), &items[i]};
  render::SortFaces(table.data(), static_cast<int>(table.size()));
  std::vector<int> seen(table.size(), 0);
  for (const SortEntry& e : table) ++seen[static_cast<int*>(e.item) - items.data()];
  for (int count : seen) ASSERT_EQ(count, 1);
}

TEST(FaceSort, TableHasRoomForEveryFaceAndEveryFlare) {
  SceneBuilder b;
  b.Object("box", 8, std::vector<int32_t>(12, 0));
  b.Object("hidden", 3, std::vector<int32_t>(5, 0), scene::OBJECT_HIDDEN);
  render::AllocFaceSortTable(b.s);
  ASSERT_NE(b.s->sort_table, nullptr);
  // Every slot writable (the sanitizer build checks the bound).
  auto* table = static_cast<SortEntry*>(b.s->sort_table);
  for (int i = 0; i < 12 + 5 + render::kFlareSlots; ++i) table[i] = {float(i), &table[i]};
  render::FreeFaceSortTable(b.s);
  EXPECT_EQ(b.s->sort_table, nullptr);
  render::FreeFaceSortTable(b.s);
}

std::string Captured(void (*run)(SceneBuilder&), SceneBuilder& b) {
  setenv("VEK_VERBOSE", "1", 1);  // before the first note of this process
  testing::internal::CaptureStderr();
  run(b);
  return testing::internal::GetCapturedStderr();
}

TEST(Optimizer, RemovesEmptyObjectsThenTheMaterialsNoFaceUses) {
  SceneBuilder b;
  scene::Material* wood = b.Material("wood");
  scene::Material* glass = b.Material("glass");
  b.Material("stone");
  b.Object("table", 4, {wood->id, wood->id});
  b.Object("pane", 4, {});                 // vertices but no faces
  b.Object("nothing", 0, {glass->id, wood->id});  // faces but no vertices: glass goes with it
  scene::Object* dummy = b.Object("$$$DUMMY", 0, {});
  b.Animate(dummy);
  b.Ambient(0.1f, 0.2f, 0.3f);

  const std::string notes = Captured([](SceneBuilder& b) { EXPECT_EQ(render::OptimizeScene(b.s, 1), 1); }, b);
  EXPECT_EQ(notes,
            "\nTrying to optimize scene... Please wait..."
            "\nOptimizer: object 'pane' has 0 vertices or 0 faces! Deleted."
            "\nOptimizer: object 'nothing' has 0 vertices or 0 faces! Deleted."
            "\nOptimizer: material 'glass' is unused! Deleted."
            "\nOptimizer: material 'stone' is unused! Deleted.");
  // The keyframer's dummy stays: the keyframer writes its matrix every frame.
  EXPECT_EQ(b.Names(scene::WORLD_OBJECT), (std::vector<std::string>{"table", "$$$DUMMY"}));
  EXPECT_EQ(b.Names(scene::WORLD_MATERIAL), std::vector<std::string>{"wood"});

  // Silent unless asked, and nothing left to remove the second time.
  testing::internal::CaptureStderr();
  EXPECT_EQ(render::OptimizeScene(b.s, 0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(b.Names(scene::WORLD_OBJECT).size(), 2u);
}

TEST(Optimizer, AmbientColourIsTakenOnlyWithTint) {
  SceneBuilder b;
  b.Material("wood");
  render::ambientColour = {};
  render::ambientTint = 0;
  EXPECT_EQ(render::SetupAmbient(b.s), 1);
  render::ambientTint = 1;
  EXPECT_EQ(render::SetupAmbient(b.s), 0);
  EXPECT_EQ(render::ambientColour.red, 1.0f);

  b.Ambient(0.2f, 0.5f, 1.0f);
  b.Ambient(0.9f, 0.9f, 0.9f);
  const std::string note = Captured([](SceneBuilder& b) { EXPECT_EQ(render::SetupAmbient(b.s), 1); }, b);
  EXPECT_EQ(note, "\n scene ambient color: R=51 G=128 B=255 \n");
  EXPECT_EQ(render::ambientColour.red, 0.2f);
  EXPECT_EQ(render::ambientColour.green, 0.5f);
  EXPECT_EQ(render::ambientColour.blue, 1.0f);
  render::ambientTint = 0;
  render::ambientColour = {};
}

TEST(TexturePreparation, OnlyMaxCompatTurnsTwoSidedPhongIntoGouraud) {
  render::fakeTextures = 1;  // the textures named are missing: dull ones stand in
  for (int32_t compat : {0, 1}) {
    SCOPED_TRACE(compat);
    SceneBuilder b;
    struct {
      uint32_t shading, flags, converted;
    } cases[] = {{scene::SHADING_PHONG, scene::MATERIAL_TWOSIDED, scene::SHADING_GOURAUD},
                 {scene::SHADING_PHONG, 0, scene::SHADING_PHONG},
                 {scene::SHADING_FLAT, scene::MATERIAL_TWOSIDED, scene::SHADING_FLAT}};
    std::vector<scene::Material*> materials;
    for (const auto& c : cases) {
      materials.push_back(b.Material("m"));
      materials.back()->shading = c.shading, materials.back()->flags = c.flags;
    }
    render::maxCompat = compat;
    render::CollectLights(b.s);
    ASSERT_EQ(render::LoadSceneTextures(b.s), 1);
    for (size_t i = 0; i < materials.size(); ++i) {
      const bool converted = compat && cases[i].converted != cases[i].shading;
      EXPECT_EQ(materials[i]->shading, compat ? cases[i].converted : cases[i].shading) << i;
      EXPECT_EQ(materials[i]->flags, converted ? 0u : cases[i].flags) << i;
    }
    render::FreeSceneTextures(b.s);
  }
  render::fakeTextures = render::maxCompat = 0;
}

TEST(TexturePreparation, VertexAttenuationFadesToTheOuterRangeInclusive) {
  SceneBuilder b;
  b.Light({0, 0, 0}, 1000, 2000);    // counts 1 near the origin
  b.Light({0, 0, 0}, 10, 20);        // 1 up to 10, falling to 0 at 20, left out beyond
  b.Light({0, 0, -3000}, 50, 50);    // no fade: 1 nearer than 50, left out from 50 on
  render::CollectLights(b.s);
  struct Case {
    scene::Vector at;
    float expected;  // the mean of the lights that count
  };
  const Case cases[] = {
      {{5, 0, 0}, 1.0f},       {{0, 10, 0}, 1.0f},       {{12, 0, 0}, 0.9f},
      {{0, 0, 19.5f}, 0.525f}, {{20, 0, 0}, 0.5f},       {{0, 20.5f, 0}, 1.0f},
      {{0, 0, -3049}, 1.0f},   {{0, 0, -3050}, 0.0f},    {{0, 0, 2500}, 0.0f},
  };
  for (const Case& c : cases) {
    scene::Vertex v{};
    v.pvert = c.at;
    EXPECT_FLOAT_EQ(render::VertexAttenuation(v), c.expected) << c.at.x << " " << c.at.y << " " << c.at.z;
  }
  scene::kf_world_free(b.s);
  render::CollectLights(b.s);
}

}  // namespace
