// The generated scenes as the intro meets them: read from vek.bin by our scene library and by
// lib3ds, timed to the music, with the camera, textures and every material kind the renderer has,
// and drawn by the renderer in every mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "assets/scenes.h"
#include "display/surface.h"
#include "render/blend.h"
#include "render/frame.h"
#include "render/lights.h"
#include "render/optimize.h"
#include "render/settings.h"
#include "render/sort.h"
#include "render/textures.h"
#include "scene/kf.h"

namespace {

struct SceneCase {
  const char* member;
  float frames;
};
constexpr SceneCase kScenes[] = {{"train.3ds", assets::kTrainFrames}, {"hut2.3ds", assets::kHutFrames}};

// The library's archive, which the renderer loads textures from, pointed at the build's vek.bin.
archive::DataArchive& data() {
  static archive::DataArchive& vek = []() -> archive::DataArchive& {
    archive::DataArchive& a = archive::library_archive();
    a.reopen(VEK_BINARY_DIR "/data/vek.bin");
    return a;
  }();
  return vek;
}

// The member's bytes, as the intro reads them; empty when it cannot be read.
std::vector<uint8_t> member_bytes(const char* member) {
  const int32_t size = data().member_size(member);
  if (size <= 0) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (data().read_member(member, bytes.data(), 0) != size) return {};
  return bytes;
}

// lib3ds reading the member, written to a folder of the test's own; null when it cannot.
Lib3dsFile* lib3ds_load(const char* member) {
  const std::vector<uint8_t> bytes = member_bytes(member);
  char folder[] = "/tmp/vek_scenes_XXXXXX";
  if (bytes.empty() || !mkdtemp(folder)) return nullptr;
  const std::string path = std::string(folder) + "/" + member;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  const bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (out) std::fclose(out);
  Lib3dsFile* file = written ? lib3ds_file_load(path.c_str()) : nullptr;
  std::remove(path.c_str());
  rmdir(folder);
  return file;
}

// One scene read by our library, freed at the end of the test.
class Loaded {
 public:
  explicit Loaded(const char* member) {
    scene::kf_startup(scene::KF_HIERARCHY | scene::KF_NORMALS | scene::KF_MORPH | scene::KF_TRANSFORM);
    scene::kf_scene_new(&scene_);
    const std::vector<uint8_t> bytes = member_bytes(member);
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    world_error_ = scene::kf_world_read_memory(bytes.data(), size, scene_);
    motion_error_ = world_error_ ? -1 : scene::kf_motion_read_memory(bytes.data(), size, scene_);
    scene::kf_use_scene(scene_);
  }
  ~Loaded() {
    scene::kf_use_camera(nullptr);
    scene::kf_world_free(scene_);
    scene::kf_motion_free(scene_);
    scene::kf_scene_delete(scene_);
  }
  bool ok() const { return world_error_ == 0 && motion_error_ == 0; }
  scene::Scene* get() const { return scene_; }
  template <typename Record>
  std::vector<Record*> records(uint32_t type) const {
    std::vector<Record*> out;
    for (scene::WorldNode* n = scene_->world; n; n = n->next)
      if (n->type == type) out.push_back(static_cast<Record*>(n->record));
    return out;
  }

 private:
  scene::Scene* scene_ = nullptr;
  int world_error_ = -1, motion_error_ = -1;
};

TEST(Scenes, TrainLeavesThePresentPictureTimeToFadeInBeforeOrder6) {
  // The train starts at order 1 row 55, or when the logo's 36-frame fade-out that begins at order
  // 1 row 40 is over if that is later; the present picture's 64-frame fade-in must be over before
  // order 6 row 0, and its hold should not drag on for long.
  // A row lasts 5 ticks x 2.5 / 116 s, a picture frame 50 ms, a scene frame 30 ms.
  const double row_s = 5 * 2.5 / 116;
  const double start_s = std::max((1 * 64 + 55) * row_s, (1 * 64 + 40) * row_s + 36 * 0.050);
  const double limit_s = (6 * 64) * row_s;
  const double faded_in_s = start_s + assets::kTrainFrames * 0.030 + 64 * 0.050;
  EXPECT_LT(faded_in_s, limit_s);
  EXPECT_GT(faded_in_s, limit_s - 1.0);
  EXPECT_NEAR(assets::kHutFrames * 0.030, 25.0, 0.5);
}

// Material kinds by the properties that choose the renderer's mode for them.
TEST(Scenes, UseEveryMaterialKindAndTrackKind) {
  std::set<std::string> kinds;
  bool hide = false, morph = false;
  for (const SceneCase& c : kScenes) {
    Loaded loaded(c.member);
    ASSERT_TRUE(loaded.ok()) << c.member;
    for (scene::Material* m : loaded.records<scene::Material>(scene::WORLD_MATERIAL)) {
      SCOPED_TRACE(m->name);
      const bool textured = m->texture_map.filename != nullptr;
      const bool two_sided = m->flags & scene::MATERIAL_TWOSIDED;
      switch (m->shading) {
        case scene::SHADING_FLAT:
          ASSERT_TRUE(textured) << "flat materials need a texture";
          if (two_sided) kinds.insert("flat two-sided");
          else if (m->transparency == 0) kinds.insert("flat textured");
          else if (m->reflection_map.filename) kinds.insert("transparency map");
          else if (m->transparency == 0.5f) kinds.insert("half transparent");
          else kinds.insert("weighted transparent");
          break;
        case scene::SHADING_GOURAUD:
          kinds.insert(textured ? "gouraud textured" : "gouraud");
          break;
        case scene::SHADING_PHONG:
          ASSERT_TRUE(textured);
          EXPECT_FALSE(two_sided) << "phong two-sided would be drawn as gouraud";
          kinds.insert("phong");
          break;
        case scene::SHADING_METAL:
          kinds.insert("metal");
          break;
        default:
          ADD_FAILURE() << "shading " << m->shading;
      }
    }
    for (scene::KeyframerNode* n = loaded.get()->keyframer; n; n = n->next)
      if (n->type == scene::NODE_OBJECT) {
        morph = morph || n->tracks->track[3] != nullptr;
        hide = hide || n->tracks->track[4] != nullptr;
      }
  }
  const std::set<std::string> expected = {"flat textured", "flat two-sided", "transparency map", "half transparent",
                                          "weighted transparent", "gouraud textured", "gouraud", "phong", "metal"};
  EXPECT_EQ(kinds, expected);
  EXPECT_TRUE(hide);
  EXPECT_TRUE(morph);
}

// Every texture file a material names is a member of vek.bin (found by its file name alone; the
// archive writer refuses names over 12 characters), 256 x 256, and 8-bit colour-mapped where
// gouraud shading or a transparency map needs it.
TEST(Scenes, TexturesAreMembersOfTheRightKind) {
  std::set<std::string> checked;
  for (const SceneCase& c : kScenes) {
    Loaded loaded(c.member);
    ASSERT_TRUE(loaded.ok());
    for (scene::Material* m : loaded.records<scene::Material>(scene::WORLD_MATERIAL)) {
      const bool gouraud = m->shading == scene::SHADING_GOURAUD || (m->flags & scene::MATERIAL_TWOSIDED);
      for (const auto& [name, indexed] : {std::pair{m->texture_map.filename, gouraud},
                                          std::pair{m->reflection_map.filename, true}}) {
        if (!name) continue;
        SCOPED_TRACE(name);
        checked.insert(name);
        uint8_t header[18];
        ASSERT_EQ(data().read_member((std::string("Textures\\") + name).c_str(), header, 18), 18);
        EXPECT_EQ(header[2], indexed ? 1 : 2);
        EXPECT_EQ(header[16], indexed ? 8 : 32);
        display::Surface s(nullptr, data(), (std::string("Textures\\") + name).c_str(), 30);
        ASSERT_TRUE(s.ok());
        EXPECT_EQ(s.width(), 256);
        EXPECT_EQ(s.height(), 256);
      }
    }
  }
  EXPECT_GE(checked.size(), 11u);
  display::Surface flare(nullptr, data(), "Flares\\lens3.tga", 30);
  EXPECT_TRUE(flare.ok());
}

// Our library and lib3ds, an independent reader, find the same scene, including the morph tracks
// our writer adds after lib3ds has written the rest. The camera moves over the whole range and its
// target is never where it stands.
TEST(Scenes, ReadByOurLibraryAndByLib3ds) {
  for (const SceneCase& c : kScenes) {
    SCOPED_TRACE(c.member);
    Loaded ours(c.member);
    ASSERT_TRUE(ours.ok());
    scene::WorldNode* cam = nullptr;
    scene::kf_find_name("Cam", &cam);
    ASSERT_TRUE(cam && cam->type == scene::WORLD_CAMERA);
    float start = -1, end = -1;
    ASSERT_EQ(scene::kf_frame_range(&start, &end), scene::KF_OK);
    EXPECT_EQ(start, 0.0f);
    EXPECT_EQ(end, c.frames);
    auto* camera = static_cast<scene::Camera*>(cam->record);
    scene::Vector first{};
    for (float f = start; f < end; f += 10) {
      scene::kf_goto_frame(f);
      scene::kf_evaluate();
      const scene::Vector d{camera->target.x - camera->position.x,
                            camera->target.y - camera->position.y,
                            camera->target.z - camera->position.z};
      EXPECT_GT(d.x * d.x + d.y * d.y + d.z * d.z, 100.0f) << "frame " << f;
      if (f == start) first = camera->position;
    }
    EXPECT_NE(camera->position.x, first.x);

    Lib3dsFile* file = lib3ds_load(c.member);
    ASSERT_NE(file, nullptr);
    EXPECT_NE(lib3ds_file_camera_by_name(file, "Cam"), nullptr);
    EXPECT_EQ(file->segment_from, 0);
    EXPECT_EQ(file->segment_to, static_cast<int>(c.frames));
    size_t meshes = 0, morphs = 0;
    for (Lib3dsMesh* m = file->meshes; m; m = m->next) ++meshes;
    EXPECT_EQ(meshes, ours.records<scene::Object>(scene::WORLD_OBJECT).size());
    for (scene::KeyframerNode* n = ours.get()->keyframer; n; n = n->next) {
      if (n->type != scene::NODE_OBJECT || !n->tracks->track[3]) continue;
      const char* name = static_cast<scene::Object*>(n->record)->name;
      Lib3dsNode* theirs = lib3ds_file_node_by_name(file, name, LIB3DS_OBJECT_NODE);
      ASSERT_NE(theirs, nullptr) << name;
      int keys = 0;
      for (Lib3dsMorphKey* k = theirs->data.object.morph_track.keyL; k; k = k->next, ++keys)
        EXPECT_NE(lib3ds_file_mesh_by_name(file, k->name), nullptr) << k->name;
      EXPECT_EQ(keys, n->tracks->track[3]->key_count) << name;
      ++morphs;
    }
    EXPECT_EQ(morphs > 0, std::string(c.member) == "hut2.3ds");
    lib3ds_file_free(file);
  }
}

TEST(Scenes, GeneratedTheSameEveryTime) {
  EXPECT_EQ(assets::make_train_scene(), assets::make_train_scene());
  EXPECT_EQ(assets::make_hut_scene(), assets::make_hut_scene());
}

// Set up each scene as the intro does and draw every third frame: together the scenes use every
// material kind in every mode the renderer has, the train shows flares, and no frame hands the
// rasterizers more faces than a frame can afford.
TEST(Scenes, DrawEveryKindInEveryMode) {
  auto faces_so_far = [] {
    int64_t n = render::drawStats.skipped;
    for (const auto& kind : render::drawStats.faces)
      for (int64_t count : kind) n += count;
    return n;
  };
  render::ResetDrawStats();
  int64_t most_faces = 0;
  for (const SceneCase& c : kScenes) {
    SCOPED_TRACE(c.member);
    const bool train = c.member == kScenes[0].member;
    render::clipMinX = render::clipMinY = train ? 0.0f : 10.0f;
    render::clipMaxX = train ? 319.0f : 310.0f;
    render::clipMaxY = train ? 199.0f : 190.0f;
    render::screenWidth = 320;
    render::screenHeight = 200;
    render::frameBlendMode = train ? 1002 : 0;
    render::flares = train ? 3 : 0;
    render::flareGlow = 0;
    render::sortMode = 2;
    render::singleLight = render::transparencyEnabled = render::constantGouraud = 1;
    render::maxCompat = render::autoResize = 1;
    render::animatedTexturesEnabled = render::ambientTint = render::fakeTextures = 0;
    render::backgroundPicture = "";
    render::backgroundEnabled = 0;
    Loaded loaded(c.member);
    ASSERT_TRUE(loaded.ok());
    render::AllocFaceSortTable(loaded.get());
    render::OptimizeScene(loaded.get(), 0);
    scene::WorldNode* cam = nullptr;
    scene::kf_find_name("Cam", &cam);
    ASSERT_NE(cam, nullptr);
    auto* camera = static_cast<scene::Camera*>(cam->record);
    camera->size_x = 320.0f, camera->size_y = 200.0f, camera->aspect = 0.75f;
    EXPECT_GT(render::CollectLights(loaded.get()), 1);
    ASSERT_EQ(render::LoadSceneTextures(loaded.get()), 1);
    scene::kf_use_camera(camera);
    display::Surface current(320, 200, display::Format(display::ARGB8888));
    display::Surface previous(320, 200, display::Format(display::ARGB8888));
    render::framePitch = current.pitch();
    for (float f = 0; f < c.frames; f += 3) {
      scene::kf_goto_frame(f);
      scene::kf_evaluate();
      render::ProjectScene(loaded.get(), camera, 320, 200);
      render::frameBuffer = static_cast<uint32_t*>(current.lock());
      render::previousFrame = static_cast<const uint32_t*>(previous.lock());
      const int64_t before = faces_so_far();
      render::RenderFrame(loaded.get(), camera);
      current.unlock();
      previous.unlock();
      if (render::frameBlendMode) render::BlendFrames(current, previous);
      most_faces = std::max(most_faces, faces_so_far() - before);
    }
    if (train) {
      EXPECT_GT(render::drawStats.flares, 0);
    }
    render::FreeSceneTextures(loaded.get());
    render::FreeFaceSortTable(loaded.get());
    scene::kf_use_camera(nullptr);
    scene::kf_world_free(loaded.get());
    render::CollectLights(loaded.get());  // empty: the light table must not name freed lights
  }
  using render::drawStats;
  const std::pair<render::MaterialKind, render::DrawMode> drawn[] = {
      {render::KIND_FLAT, render::MODE_TEXTURED},
      {render::KIND_FLAT, render::MODE_HALF},
      {render::KIND_FLAT, render::MODE_WEIGHTED},
      {render::KIND_FLAT, render::MODE_MAPPED},
      {render::KIND_GOURAUD, render::MODE_GOURAUD},
      {render::KIND_GOURAUD, render::MODE_TEXTURED_GOURAUD},
      {render::KIND_PHONG, render::MODE_TEXTURED},
      {render::KIND_METAL, render::MODE_ENVIRONMENT},
      {render::KIND_CONSTANT_GOURAUD, render::MODE_TEXTURED_GOURAUD},
  };
  for (const auto& [kind, mode] : drawn) {
    EXPECT_GT(drawStats.faces[kind][mode], 0) << kind << " " << mode;
  }
  EXPECT_LT(most_faces, 3000);
  std::printf("most faces handed to the rasterizers in one frame: %lld\n", static_cast<long long>(most_faces));
}

}  // namespace
