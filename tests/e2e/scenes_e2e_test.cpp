// The whole intro with its two scenes, run in this process headless on the virtual clock: the
// scene frames it presents, hashed as they appear, are the same on a second run and match the
// checked-in hashes of a few chosen frames; every material kind is drawn; the scene events of the
// trace name the members and their ranges. The run also leaves a contact sheet of both scenes in
// the build folder for people to look at. The hut, played alone, shows no blackened surface.
//
// The chosen frames are in scene_frames_golden.txt; on a mismatch the frame is written to
// scene_frame_<member>_<n>.png in the build folder. To renew the hashes on purpose:
//   VEK_RENEW_GOLDEN=1 build/dev/tests/e2e/test_e2e_scenes
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "child.h"
#include "display/console.h"
#include "display/headless/capture.h"
#include "display/headless/headless_console.h"
#include "intro/intro.h"
#include "intro/run_state.h"
#include "intro/scenes.h"
#include "intro/trace.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "tests/intro/frame_pair.h"

namespace {

const std::string kGoldenFile = std::string(VEK_SOURCE_DIR) + "/tests/e2e/scene_frames_golden.txt";
const std::string kSheet = std::string(VEK_BINARY_DIR) + "/scenes-contact-sheet.png";
const char* const kMembers[] = {"train.3ds", "hut2.3ds"};
// Frames of each scene whose hashes are kept, as fractions of the scene's length.
const double kChosen[] = {0.125, 0.5, 0.875};
constexpr int kSheetFrames = 8;  // per scene

// FNV-1a over the colour bytes of the part of the frame both scenes present. The rest of the
// display holds whatever the picture screens showed last, which is not the scenes' to guard.
uint64_t scene_hash(const display::headless::Frame& frame) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (int y = intro::hut_area.top; y < intro::hut_area.bottom; ++y)
    for (int x = intro::hut_area.left; x < intro::hut_area.right; ++x) {
      const uint32_t p = frame.pixels[static_cast<size_t>(y) * frame.width + x];
      for (int shift = 0; shift < 24; shift += 8)
        hash = (hash ^ (p >> shift & 0xFF)) * 0x100000001b3ull;
    }
  return hash;
}

// A face that no light reaches is drawn at intensity 0: pure black. A pixel counts as blackened
// when every colour channel is below kNearBlack, and so are those of its eight neighbours: thin
// dark lines (silhouette edges, seams, the dark bands of a texture) then count for nothing, and a
// blackened surface a few pixels across counts with all of its inside.
constexpr int kNearBlack = 16;
// The largest blackened patch, in such pixels, that a hut frame may show: about 11 x 11 pixels,
// 0.2% of the presented area. The dark window panes mirror the black frame before the first one
// for a frame, about 35 pixels; a slope of the roof turned away from the light covers up to 2,200.
constexpr int kMaxBlackPatch = 120;

// The size of the largest 4-connected patch of blackened pixels within `area`.
int largest_black_patch(const display::headless::Frame& frame, const display::Rect& area) {
  const int w = area.right - area.left, h = area.bottom - area.top;
  std::vector<uint8_t> dark(static_cast<size_t>(w) * h), inside(dark.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = frame.pixels[static_cast<size_t>(y + area.top) * frame.width + x + area.left];
      dark[static_cast<size_t>(y) * w + x] =
          (p >> 16 & 0xFF) < kNearBlack && (p >> 8 & 0xFF) < kNearBlack && (p & 0xFF) < kNearBlack;
    }
  for (int y = 1; y + 1 < h; ++y)
    for (int x = 1; x + 1 < w; ++x) {
      bool all = true;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) all = all && dark[static_cast<size_t>(y + dy) * w + x + dx];
      inside[static_cast<size_t>(y) * w + x] = all;
    }
  int largest = 0;
  std::vector<int> pending;
  for (size_t start = 0; start < inside.size(); ++start) {
    if (!inside[start]) continue;
    int size = 0;
    inside[start] = 0;
    pending.push_back(static_cast<int>(start));
    while (!pending.empty()) {
      const int at = pending.back();
      pending.pop_back();
      ++size;
      // The border rows and columns are never inside, so the neighbours stay in the picture.
      for (int next : {at - 1, at + 1, at - w, at + w})
        if (inside[static_cast<size_t>(next)]) {
          inside[static_cast<size_t>(next)] = 0;
          pending.push_back(next);
        }
    }
    largest = std::max(largest, size);
  }
  return largest;
}

// What one run presented during the scenes.
struct SceneRun {
  std::vector<uint64_t> hashes;  // every frame drawn by a scene, in order
  bool find_black_patches = false;
  std::vector<int> black_patches;  // per frame, when asked for: the largest blackened patch
  std::map<size_t, display::headless::Frame> kept;  // the frames whose index is in `keep`
  render::DrawStats stats{};
  std::string trace;
};

SceneRun* recording = nullptr;
std::vector<size_t> keep;
int64_t frames_seen = 0;

// Called from every wait of the clock. A scene frame ends with a wait, so a new count of drawn
// frames means the frame just presented was a scene frame.
void record_scene_frame() {
  if (!recording || render::drawStats.frames == frames_seen) return;
  frames_seen = render::drawStats.frames;
  display::headless::Frame frame = display::headless::last_frame();
  const size_t index = recording->hashes.size();
  recording->hashes.push_back(scene_hash(frame));
  if (recording->find_black_patches)
    recording->black_patches.push_back(largest_black_patch(frame, intro::hut_area));
  for (size_t k : keep)
    if (k == index) recording->kept[index] = frame;
}

SceneRun run_intro(const std::string& folder) {
  SceneRun run;
  const std::string trace = folder + "/trace.txt";
  setenv("VEK_CONSOLE", "headless", 1);
  setenv("VEK_TRACE", trace.c_str(), 1);
  unsetenv("VEK_CAPTURE");
  unsetenv("VEK_KEYS");
  EXPECT_EQ(chdir(folder.c_str()), 0);
  archive::library_archive().reopen(VEK_BINARY_DIR "/data/vek.bin");
  render::ResetDrawStats();
  frames_seen = 0;
  recording = &run;
  platform::set_event_pump(record_scene_frame);
  platform::clock_reset();
  intro::trace_open();
  EXPECT_EQ(intro::RunIntro(), 0);
  intro::trace_close();
  platform::set_event_pump(nullptr);
  recording = nullptr;
  run.stats = render::drawStats;
  run.trace = e2e::read_file(trace);
  EXPECT_EQ(chdir(VEK_BINARY_DIR), 0);
  return run;
}

// "scene start MEMBER START END" and "scene end MEMBER FRAMES done|key" of the trace.
struct SceneEvents {
  unsigned start_ms = 0;
  float start = -1, end = -1;
  int frames = -1;
  std::string how;
};

std::map<std::string, SceneEvents> scene_events(const std::string& trace) {
  std::map<std::string, SceneEvents> scenes;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    unsigned ms = 0, position = 0;
    char member[64] = {}, how[16] = {};
    float start = 0, end = 0;
    int frames = 0;
    if (std::sscanf(line.c_str(), "%u %x scene start %63s %f %f", &ms, &position, member, &start,
                    &end) == 5) {
      scenes[member].start_ms = ms;
      scenes[member].start = start;
      scenes[member].end = end;
    } else if (std::sscanf(line.c_str(), "%u %x scene end %63s %d %15s", &ms, &position, member,
                           &frames, how) == 5) {
      scenes[member].frames = frames;
      scenes[member].how = how;
    }
  }
  return scenes;
}

std::map<std::string, uint64_t> read_goldens() {
  std::map<std::string, uint64_t> goldens;
  std::ifstream in(kGoldenFile);
  std::string key;
  uint64_t hash = 0;
  while (in >> key >> std::hex >> hash) goldens[key] = hash;
  return goldens;
}

// Evenly spaced frames of both scenes as a capture folder, put on one sheet by
// scripts/contact-sheet. `sheet` holds (index over both scenes, clock time) pairs.
void write_contact_sheet(const std::map<size_t, display::headless::Frame>& frames,
                         const std::vector<std::pair<size_t, unsigned>>& sheet) {
  const std::string dir = std::string(VEK_BINARY_DIR) + "/scenes-contact-sheet";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream index(dir + "/frames.txt");
  for (const auto& [n, ms] : sheet) {
    char number[16];
    std::snprintf(number, sizeof number, "%05zu", n);
    const display::headless::Frame& frame = frames.at(n);
    display::headless::write_png(dir + "/frame_" + number + ".png", frame.pixels.data(),
                                 frame.width, frame.height);
    index << number << " " << ms << "\n";
  }
  index.close();
  const std::string command = std::string(VEK_SOURCE_DIR) + "/scripts/contact-sheet --count " +
                              std::to_string(sheet.size()) + " " + dir + " " + kSheet +
                              " > /dev/null 2>&1";
  if (std::system(command.c_str()) == 0) std::printf("contact sheet: %s\n", kSheet.c_str());
}

TEST(Scenes, TheWholeIntroPlaysBothScenesAlikeTwiceWithEveryMaterialKind) {
  e2e::TempDir first_folder("scenes_run1"), second_folder("scenes_run2");
  // The first run only hashes; its trace gives the scenes' lengths, from which the frames the
  // second run keeps are chosen.
  const SceneRun first = run_intro(first_folder.path());
  const auto scenes = scene_events(first.trace);
  ASSERT_EQ(scenes.size(), 2u) << first.trace;
  size_t offset = 0;
  std::vector<std::pair<std::string, size_t>> chosen;  // (key, index over both scenes)
  std::vector<std::pair<size_t, unsigned>> sheet;
  for (const char* member : kMembers) {
    SCOPED_TRACE(member);
    ASSERT_TRUE(scenes.count(member));
    const SceneEvents& s = scenes.at(member);
    EXPECT_EQ(s.how, "done");
    EXPECT_EQ(s.frames, static_cast<int>(s.end - s.start));
    ASSERT_GT(s.frames, kSheetFrames);
    for (double f : kChosen) {
      const size_t n = static_cast<size_t>(s.frames * f);
      chosen.push_back({std::string(member) + ":" + std::to_string(n), offset + n});
    }
    for (int i = 0; i < kSheetFrames; ++i) {
      const int n = i * (s.frames - 1) / (kSheetFrames - 1);
      sheet.push_back({offset + n, s.start_ms + 30u * n});
    }
    offset += static_cast<size_t>(s.frames);
  }
  EXPECT_EQ(first.hashes.size(), offset);
  keep.clear();
  for (const auto& entry : sheet) keep.push_back(entry.first);
  for (const auto& c : chosen) keep.push_back(c.second);

  // Every material kind, and each transparency mode, in at least one frame.
  const auto& faces = first.stats.faces;
  using namespace render;
  const struct {
    const char* what;
    int64_t count;
  } kinds[] = {
      {"flat textured", faces[KIND_FLAT][MODE_TEXTURED]},
      {"gouraud", faces[KIND_GOURAUD][MODE_GOURAUD]},
      {"gouraud with an 8-bit texture", faces[KIND_GOURAUD][MODE_TEXTURED_GOURAUD]},
      {"phong (environment map)", faces[KIND_PHONG][MODE_TEXTURED] +
                                      faces[KIND_PHONG][MODE_HALF] +
                                      faces[KIND_PHONG][MODE_WEIGHTED] +
                                      faces[KIND_PHONG][MODE_MAPPED]},
      {"metal", faces[KIND_METAL][MODE_ENVIRONMENT]},
      {"constant gouraud", faces[KIND_CONSTANT_GOURAUD][MODE_GOURAUD] +
                               faces[KIND_CONSTANT_GOURAUD][MODE_TEXTURED_GOURAUD]},
      {"transparency 0.5", faces[KIND_FLAT][MODE_HALF] + faces[KIND_PHONG][MODE_HALF]},
      {"weighted transparency", faces[KIND_FLAT][MODE_WEIGHTED] + faces[KIND_PHONG][MODE_WEIGHTED]},
      {"transparency map", faces[KIND_FLAT][MODE_MAPPED] + faces[KIND_PHONG][MODE_MAPPED]},
      {"lens flares", first.stats.flares},
  };
  for (const auto& k : kinds) EXPECT_GT(k.count, 0) << k.what;

  // The second run keeps the chosen frames; it must present exactly what the first did.
  const SceneRun second = run_intro(second_folder.path());
  ASSERT_EQ(second.hashes.size(), first.hashes.size());
  for (size_t i = 0; i < first.hashes.size(); ++i)
    ASSERT_EQ(second.hashes[i], first.hashes[i]) << "scene frame " << i << " differs";
  write_contact_sheet(second.kept, sheet);

  if (std::getenv("VEK_RENEW_GOLDEN")) {
    std::ofstream out(kGoldenFile);
    for (const auto& c : chosen) {
      char hex[17];
      std::snprintf(hex, sizeof hex, "%016llx",
                    static_cast<unsigned long long>(first.hashes[c.second]));
      out << c.first << " " << hex << "\n";
    }
    std::printf("renewed %s\n", kGoldenFile.c_str());
    return;
  }
  const auto goldens = read_goldens();
  for (const auto& [key, index] : chosen) {
    const auto golden = goldens.find(key);
    ASSERT_NE(golden, goldens.end()) << key << " has no golden hash";
    if (first.hashes[index] == golden->second) continue;
    std::string file = std::string(VEK_BINARY_DIR) + "/scene_frame_" + key + ".png";
    file[file.rfind(':')] = '_';
    display::headless::write_png(file, second.kept.at(index).pixels.data(), 320, 200);
    ADD_FAILURE() << key << ": hash " << std::hex << first.hashes[index] << ", golden "
                  << golden->second << "; frame written to " << file;
  }
}

// The hut alone, played as the intro plays it (headless, virtual clock). Its only light for the
// gouraud faces is the first one, and the camera circles the hut: no frame may show a large
// surface turned black, from any side.
TEST(Scenes, NoLargeSurfaceOfTheHutTurnsBlackFromAnyCameraPosition) {
  e2e::TempDir folder("scenes_hut");
  setenv("VEK_CONSOLE", "headless", 1);
  unsetenv("VEK_CAPTURE");
  unsetenv("VEK_KEYS");
  ASSERT_EQ(chdir(folder.path().c_str()), 0);
  archive::library_archive().reopen(VEK_BINARY_DIR "/data/vek.bin");
  platform::clock_reset();
  display::Console console;
  ASSERT_TRUE(console.open(320, 200, display::FUZZY32));
  FramePair frames(console);
  intro::SetHutSettings();
  intro::intro_abort = 0;
  render::ResetDrawStats();
  SceneRun run;
  run.find_black_patches = true;
  frames_seen = 0;
  recording = &run;
  platform::set_event_pump(record_scene_frame);
  intro::RunScene(console, "hut2.3ds", intro::hut_area);
  platform::set_event_pump(nullptr);
  recording = nullptr;
  console.close();
  EXPECT_EQ(chdir(VEK_BINARY_DIR), 0);

  ASSERT_GT(run.black_patches.size(), 800u);
  int failing = 0, worst = 0;
  size_t worst_frame = 0;
  for (size_t i = 0; i < run.black_patches.size(); ++i) {
    if (run.black_patches[i] > kMaxBlackPatch) ++failing;
    if (run.black_patches[i] > worst) worst = run.black_patches[i], worst_frame = i;
  }
  EXPECT_EQ(failing, 0) << "hut frames with a blackened patch over " << kMaxBlackPatch
                        << " pixels; the largest, " << worst << " pixels, in frame " << worst_frame;
}

}  // namespace
