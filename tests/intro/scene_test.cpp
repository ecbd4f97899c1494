// Scene set-up and playback on small scenes built by hand: a camera "Cam" facing a wall of one flat
// white texture, in an archive of its own, played on a headless console on the virtual clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/writer.h"
#include "display/console.h"
#include "display/headless/headless_console.h"
#include "intro/run_state.h"
#include "intro/scenes.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "render/lights.h"
#include "render/textures.h"
#include "scene/kf.h"
#include "tests/intro/frame_pair.h"
#include "tests/intro/seams.h"
#include "tests/scene/chunk_builder.h"

namespace {

using scene_test::Bytes;
using scene_test::chunk;

// An uncompressed 32-bit TGA of one colour, top row first.
std::vector<uint8_t> tga(int width, int height, uint32_t argb) {
  Bytes b;
  b.u8(0).u8(0).u8(2).u16(0).u16(0).u8(0).u16(0).u16(0);
  b.u16(static_cast<uint16_t>(width)).u16(static_cast<uint16_t>(height)).u8(32).u8(0x28);
  for (int i = 0; i < width * height; ++i) b.u32(argb);
  return b.data;
}

Bytes named(const std::string& name, const Bytes& content) {
  return chunk(0x4000, Bytes().str(name) + content);
}

Bytes node(uint16_t container, const std::string& name, const Bytes& tracks) {
  return chunk(container, chunk(0xB010, Bytes().str(name).u16(0).u16(0).u16(0xFFFF)) + tracks);
}

// One-key track of three floats: position (0xB020) or scale (0xB022).
Bytes track(uint16_t id, float x, float y, float z) {
  return chunk(id, Bytes().u16(0).u32(0).u32(0).u32(1).u32(0).u16(0).floats({x, y, z}));
}
Bytes position(float x, float y, float z) { return track(0xB020, x, y, z); }

// A 200 x 200 wall in the file's x-z plane, lit from in front, seen from 10 units away through a
// camera named `camera`; its faces come in both windings so that one of each pair faces the
// camera. The keyframer runs from `start` to `end`.
std::vector<uint8_t> wall_scene(const std::string& camera, uint32_t start, uint32_t end,
                                const std::string& texture = "white.tga") {
  Bytes points;
  points.u16(4).floats({-100, 0, -100, 100, 0, -100, 100, 0, 100, -100, 0, 100});
  Bytes faces;
  faces.u16(4);
  const uint16_t corners[4][3] = {{0, 1, 2}, {0, 2, 1}, {0, 2, 3}, {0, 3, 2}};
  for (const auto& f : corners) faces.u16(f[0]).u16(f[1]).u16(f[2]).u16(0);
  Bytes group = Bytes().str("White").u16(4).u16(0).u16(1).u16(2).u16(3);
  const Bytes material =
      chunk(0xAFFF, chunk(0xA000, Bytes().str("White")) + chunk(0xA100, Bytes().u16(1)) +
                        chunk(0xA200, chunk(0xA300, Bytes().str(texture))));
  const Bytes world =
      material + named("Wall", chunk(0x4100, chunk(0x4110, points) +
                                                 chunk(0x4120, faces + chunk(0x4130, group)))) +
      named("Lamp", chunk(0x4600, Bytes().floats({0, -5, 0}))) +
      named(camera, chunk(0x4700, Bytes().floats({0, -10, 0, 0, 0, 0, 0, 50})));
  const Bytes nodes = node(0xB003, camera, position(0, -10, 0)) +
                      node(0xB004, camera, position(0, 0, 0)) +
                      node(0xB002, "Wall", position(0, 0, 0) + track(0xB022, 1, 1, 1));
  const Bytes motion = chunk(0xB000, chunk(0xB008, Bytes().u32(start).u32(end)) + nodes);
  return scene_test::file_3ds(world, 3, motion).data;
}

// Each test works in a folder of its own, with the library's archive pointed at the folder's
// vek.bin; the set-up must leave nothing else there.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::string(VEK_BINARY_DIR) + "/scene_test_" + info->name();
    // Not emptied first: a death test's child runs SetUp again in the parent's folder.
    std::filesystem::create_directories(folder_);
    ASSERT_EQ(chdir(folder_.c_str()), 0);
    setenv("VEK_CONSOLE", "headless", 1);
    unsetenv("VEK_CAPTURE");
    unsetenv("VEK_KEYS");
  }
  void TearDown() override {
    intro::current_surface = intro::previous_surface = nullptr;
    ASSERT_EQ(chdir(VEK_BINARY_DIR), 0);
    std::filesystem::remove_all(folder_);
  }

  // The archive holds the texture, the flare sprite and `member`.
  void archive_with(const std::string& member, const std::vector<uint8_t>& bytes) {
    const std::vector<archive::MemberFile> members = {{"white.tga", tga(256, 256, 0xFFFFFFFF)},
                                                      {"lens3.tga", tga(16, 16, 0xFF404040)},
                                                      {member, bytes}};
    ASSERT_EQ(archive::write_archive("vek.bin", members), "");
    archive::library_archive().reopen("vek.bin");
    ASSERT_TRUE(archive::library_archive().ok());
  }

  // Opens a headless console (keys from VEK_KEYS as it is now) and two frame surfaces, starts the
  // clock at 0, sets the scene's settings and runs it; with `refuse_lock` the first frame surface
  // will not lock.
  void run(const char* member, bool hut, const display::Rect& area, bool refuse_lock = false) {
    platform::clock_reset();
    display::Console console;
    ASSERT_TRUE(console.open(320, 200, display::FUZZY32));
    FramePair frames(console);
    if (refuse_lock) seams::refused_lock = &frames.first;
    hut ? intro::SetHutSettings() : intro::SetTrainSettings();
    render::ResetDrawStats();
    intro::intro_abort = 0;
    presented_before_ = display::headless::last_frame().count;
    intro::RunScene(console, member, area);
    presented_ = display::headless::last_frame().count - presented_before_;
    seams::reset();
    console.close();
  }

  std::vector<std::string> folder_files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      names.push_back(entry.path().filename().string());
    return names;
  }

  std::string folder_;
  uint32_t presented_before_ = 0;
  uint32_t presented_ = 0;
};

TEST_F(SceneTest, PlaysEachFrameOfTheRangeOncePerPeriodAndShowsOnlyTheArea) {
  const struct {
    bool hut;
    display::Rect area;
  } cases[] = {{false, intro::train_area}, {true, intro::hut_area}};
  archive_with("wall.3ds", wall_scene("Cam", 0, 100));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hut ? "hut settings" : "train settings");
    run("wall.3ds", c.hut, c.area);
    // Frames 0 ... 99, each drawn, presented and paced by 1000 / 33 ms; no catching up.
    EXPECT_EQ(presented_, 100u);
    EXPECT_EQ(render::drawStats.frames, 100);
    EXPECT_EQ(platform::clock_ms(), 100u * 30);
    EXPECT_GT(render::drawStats.faces[render::KIND_FLAT][render::MODE_TEXTURED], 0);
    EXPECT_EQ(intro::intro_abort, 0);
    EXPECT_EQ(folder_files(), std::vector<std::string>{"vek.bin"});
    // Released: the light table and the library hold nothing of the freed scene.
    scene::Camera* camera = nullptr;
    scene::kf_current_camera(&camera);
    EXPECT_EQ(camera, nullptr);
    EXPECT_EQ(render::flareSprite, nullptr);

    const display::headless::Frame shown = display::headless::last_frame();
    ASSERT_EQ(shown.width, 320);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 320; ++x) {
        const bool inside = x >= c.area.left && x < c.area.right && y >= c.area.top &&
                            y < c.area.bottom;
        const uint32_t pixel = shown.pixels[static_cast<size_t>(y) * 320 + x] & 0xFFFFFF;
        if (inside != (pixel != 0)) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") " << std::hex << pixel;
          y = 200;
          break;
        }
      }
  }
}

TEST_F(SceneTest, KeysEmptyRangesAndMissingMembersEndThePlayback) {
  const struct {
    uint32_t start, end;
    const char* keys;
    uint32_t frames;
    int abort;
  } cases[] = {
      {0, 100, "0:32", 0, 1},    // pending before the first frame: nothing is drawn
      {0, 100, "150:32", 5, 1},  // seen before frame 5, at 150 ms
      {5, 5, "", 0, 0},          // nothing to play
      {7, 10, "", 3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << "-" << c.end << " keys " << c.keys);
    archive_with("wall.3ds", wall_scene("Cam", c.start, c.end));
    setenv("VEK_KEYS", c.keys, 1);
    run("wall.3ds", true, intro::hut_area);
    EXPECT_EQ(presented_, c.frames);
    EXPECT_EQ(intro::intro_abort, c.abort);
    EXPECT_EQ(folder_files(), std::vector<std::string>{"vek.bin"});
    scene::Camera* camera = nullptr;
    scene::kf_current_camera(&camera);
    EXPECT_EQ(camera, nullptr);
  }
  // An archive without the scene: the intro goes on without it.
  unsetenv("VEK_KEYS");
  run("gone.3ds", true, intro::hut_area);
  EXPECT_EQ(presented_, 0u);
  EXPECT_EQ(intro::intro_abort, 0);
}

// A scene that cannot be set up or drawn ends the process with status 1; with VEK_VERBOSE=1 the
// reason of a set-up failure is on standard error.
TEST_F(SceneTest, SetUpAndDrawingFailuresEndTheProcessWithStatusOne) {
  setenv("VEK_VERBOSE", "1", 1);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::vector<uint8_t> corrupted = wall_scene("Cam", 0, 10);
  corrupted.resize(corrupted.size() / 2);
  std::vector<uint8_t> bad_length = wall_scene("Cam", 0, 10);
  bad_length[2] = 0xFF;  // the main chunk claims more bytes than the file has
  enum Fault { kNone, kNoSortTable, kFrameWillNotLock };
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    Fault fault;
    const char* message;
  } cases[] = {
      {"truncated", corrupted, kNone, "error\\(after\\)"},
      {"bad chunk length", bad_length, kNone, "error\\(after\\)"},
      {"camera named Camera01", wall_scene("Camera01", 0, 10), kNone,
       "No camera object found\\('Camera01' or 'Cam'\\)!"},
      {"texture missing", wall_scene("Cam", 0, 10, "snow.tga"), kNone, "textures loading failed!"},
      {"no sort table", wall_scene("Cam", 0, 10), kNoSortTable, ""},
      {"frame will not lock", wall_scene("Cam", 0, 10), kFrameWillNotLock,
       "display error: could not lock surface"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    archive_with("wall.3ds", c.bytes);
    seams::no_sort_table = c.fault == kNoSortTable;
    EXPECT_EXIT(run("wall.3ds", true, intro::hut_area, c.fault == kFrameWillNotLock),
                testing::ExitedWithCode(1), c.message);
    seams::reset();
    EXPECT_EQ(folder_files(), std::vector<std::string>{"vek.bin"});
  }
}

}  // namespace
