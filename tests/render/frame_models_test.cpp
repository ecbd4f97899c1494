// Animated 3DS scenes with a camera that other tools wrote, dressed with a light and one material
// of each kind (their faces carry none), set up as the intro sets up its scenes (missing textures
// made dull) and played through their keyframer range: every frame stays inside the frame buffer,
// and every material kind and the flare are drawn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/optimize.h"
#include "support.h"
#include "tests/scene/model_files.h"

namespace {

using rendertest::kHeight;
using rendertest::kWidth;
// Rows of guard pixels above and below the frame, which nothing may write.
constexpr int kGuardRows = 4;
constexpr uint32_t kGuard = 0xA5A5A5A5;

// Shading and two-sided flag of each added material: flat, flat two-sided (constant gouraud after
// set-up), gouraud, phong, metal.
struct Kind {
  uint32_t shading, flags;
};
constexpr Kind kKinds[] = {{scene::SHADING_FLAT, 0},
                           {scene::SHADING_FLAT, scene::MATERIAL_TWOSIDED},
                           {scene::SHADING_GOURAUD, 0},
                           {scene::SHADING_PHONG, 0},
                           {scene::SHADING_METAL, 0}};

// Gives every face one of the added materials in turn, and the scene a light by the camera.
void Dress(scene::Scene* s, const scene::Camera& camera) {
  std::vector<scene::Material*> materials;
  for (const Kind& k : kKinds) {
    auto* m = scene::kf_new_record<scene::Material>("kind");
    m->id = 9000 + static_cast<int32_t>(materials.size());
    m->shading = k.shading;
    m->flags = k.flags;
    m->transparency = materials.size() == 0 ? 0.5f : 0.0f;
    scene::kf_append_world(s, scene::WORLD_MATERIAL, m);
    materials.push_back(m);
  }
  for (scene::WorldNode* node = s->world; node; node = node->next) {
    if (node->type != scene::WORLD_OBJECT) continue;
    auto* o = static_cast<scene::Object*>(node->record);
    for (int32_t i = 0; i < o->face_count; ++i) {
      scene::Material* m = materials[static_cast<size_t>(i) % materials.size()];
      o->faces[i].material = m->id;
      o->faces[i].pmaterial = m;
    }
  }
  auto* light = scene::kf_new_record<scene::Light>("lamp");
  light->kind = scene::LIGHT_OMNI;
  light->position = camera.target;
  light->range_a = 1e9f, light->range_b = 2e9f;
  scene::kf_append_world(s, scene::WORLD_LIGHT, light);
}

TEST(RenderFrame, PlaysOtherToolsScenesInsideTheFrame) {
  std::vector<uint32_t> sprite(32 * 32, 0x00202020);
  render::fakeTextures = render::autoResize = render::maxCompat = render::constantGouraud = 1;
  render::transparencyEnabled = 1;
  render::ResetDrawStats();
  int scenes = 0;
  for (const std::string& file : scene_test::model_files()) {
    scene::kf_startup(scene::KF_HIERARCHY | scene::KF_NORMALS | scene::KF_MORPH |
                      scene::KF_TRANSFORM);
    scene::Scene* s = nullptr;
    scene::kf_scene_new(&s);
    scene::WorldNode* node = nullptr;
    if (scene::kf_world_read(file.c_str(), s) == scene::KF_OK &&
        scene::kf_motion_read(file.c_str(), s) == scene::KF_OK) {
      scene::kf_use_scene(s);
      scene::kf_find_first(scene::WORLD_CAMERA, &node);
    }
    if (node) {
      ++scenes;
      auto* camera = static_cast<scene::Camera*>(node->record);
      camera->size_x = 320.0f, camera->size_y = 200.0f, camera->aspect = 0.75f;
      Dress(s, *camera);
      render::AllocFaceSortTable(s);
      render::OptimizeScene(s, 0);
      render::CollectLights(s);
      render::flares = 0;
      ASSERT_EQ(render::LoadSceneTextures(s), 1) << file;
      render::flares = 3;
      render::flareSprite = sprite.data();
      render::lightTable[0]->flare_width = render::lightTable[0]->flare_height = 32;
      render::lightTable[0]->flare_margin_x = render::lightTable[0]->flare_margin_y = 32.0f;
      scene::kf_use_camera(camera);
      std::vector<uint32_t> buffer((kHeight + 2 * kGuardRows) * kWidth, kGuard);
      std::vector<uint32_t> previous(kWidth * kHeight, 0x00808080);
      float start = 0, end = 0;
      scene::kf_frame_range(&start, &end);
      for (float f = start; f < end; f += 3.0f) {
        scene::kf_goto_frame(f);
        scene::kf_evaluate();
        render::ProjectScene(s, camera, kWidth, kHeight);
        render::frameBuffer = buffer.data() + kGuardRows * kWidth;
        render::framePitch = kWidth * 4;
        render::previousFrame = previous.data();
        render::singleLight = int32_t(f) % 2;
        render::sortMode = int32_t(f) % 5 ? 2 : 0;
        render::RenderFrame(s, camera);
      }
      for (int i = 0; i < kGuardRows * kWidth; ++i) {
        ASSERT_EQ(buffer[i], kGuard) << file;
        ASSERT_EQ(buffer[buffer.size() - 1 - i], kGuard) << file;
      }
    }
    render::frameBuffer = nullptr;
    render::previousFrame = nullptr;
    render::FreeSceneTextures(s);
    render::FreeFaceSortTable(s);
    scene::kf_use_camera(nullptr);
    scene::kf_world_free(s);
    render::CollectLights(s);
    scene::kf_scene_delete(s);
  }
  if (scenes == 0) GTEST_SKIP() << "no animated 3DS test models with a camera installed";
  for (render::MaterialKind kind : {render::KIND_FLAT, render::KIND_GOURAUD, render::KIND_PHONG,
                                    render::KIND_METAL, render::KIND_CONSTANT_GOURAUD})
    EXPECT_GT(rendertest::FacesDrawn(kind), 0) << kind;
  EXPECT_GT(render::drawStats.faces[render::KIND_FLAT][render::MODE_HALF], 0);
  EXPECT_GT(render::drawStats.flares, 0);
  render::fakeTextures = render::autoResize = render::maxCompat = render::constantGouraud = 0;
  render::transparencyEnabled = render::flares = render::singleLight = 0;
  render::sortMode = 2;
}

}  // namespace
