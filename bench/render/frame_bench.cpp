// One scene frame as the playback loop draws it: ProjectScene, RenderFrame and the frame blend,
// through two surfaces swapped every frame. On the intro's scenes from the generated vek.bin (set
// up with the intro's settings, every keyframer frame evaluated outside the timing) and on a
// hand-built scene of 2,000 faces of every material kind. Counters: median_ms and max_ms over the
// frames of the scene, the medians of its steps (project_ms, render_ms, blend_ms); vs_baseline,
// the median frame over one 320 x 200 frame copy timed in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "support.h"
#include "intro/scenes.h"
#include "render/blend.h"
#include "render/optimize.h"
#include "scene/kf.h"

namespace {

using Clock = std::chrono::steady_clock;
using rendertest::kHeight;
using rendertest::kWidth;

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Milliseconds per frame, whole and by step.
struct Timings {
  std::vector<double> frame, project, render, blend;
};

// The frame's two surfaces, swapped after every frame.
struct Surfaces {
  display::Surface a{kWidth, kHeight, display::Format(display::ARGB8888)};
  display::Surface b{kWidth, kHeight, display::Format(display::ARGB8888)};
  display::Surface* current = &a;
  display::Surface* previous = &b;
  Timings timings;

  // One frame after the keyframer: what the timing covers.
  void Draw(scene::Scene* s, const scene::Camera* camera) {
    const Clock::time_point t0 = Clock::now();
    render::ProjectScene(s, camera, kWidth, kHeight);
    const Clock::time_point t1 = Clock::now();
    render::frameBuffer = static_cast<uint32_t*>(current->lock());
    render::framePitch = current->pitch();
    render::previousFrame = static_cast<const uint32_t*>(previous->lock());
    render::RenderFrame(s, camera);
    current->unlock();
    previous->unlock();
    const Clock::time_point t2 = Clock::now();
    if (render::frameBlendMode) render::BlendFrames(*current, *previous);
    const Clock::time_point t3 = Clock::now();
    std::swap(current, previous);
    timings.frame.push_back(Ms(t0, t3));
    timings.project.push_back(Ms(t0, t1));
    timings.render.push_back(Ms(t1, t2));
    timings.blend.push_back(Ms(t2, t3));
  }
};

// The baseline: one frame's pixels copied once, in microseconds.
double FrameCopyMs() {
  std::vector<uint32_t> from(kWidth * kHeight, 1), to(kWidth * kHeight);
  std::vector<double> times;
  for (int i = 0; i < 200; ++i) {
    const Clock::time_point t0 = Clock::now();
    std::memcpy(to.data(), from.data(), from.size() * 4);
    benchmark::ClobberMemory();
    times.push_back(Ms(t0, Clock::now()));
  }
  return Median(times);
}

void Report(benchmark::State& state, const Timings& t) {
  const double median = Median(t.frame);
  state.counters["median_ms"] = median;
  state.counters["max_ms"] = *std::max_element(t.frame.begin(), t.frame.end());
  state.counters["project_ms"] = Median(t.project);
  state.counters["render_ms"] = Median(t.render);
  state.counters["blend_ms"] = Median(t.blend);
  state.counters["frames"] = double(t.frame.size());
  state.counters["vs_baseline"] = median / FrameCopyMs();
}

void BM_IntroScene(benchmark::State& state, const char* member) {
  const bool train = std::strcmp(member, "train.3ds") == 0;
  archive::DataArchive& data = archive::library_archive();
  data.reopen(VEK_BINARY_DIR "/data/vek.bin");
  const int32_t size = data.member_size(member);
  std::vector<uint8_t> bytes(size > 0 ? size_t(size) : 0);
  if (bytes.empty() || data.read_member(member, bytes.data(), 0) != size) {
    state.SkipWithError("scene not in data/vek.bin");
    return;
  }
  if (train)
    intro::SetTrainSettings();
  else
    intro::SetHutSettings();
  scene::kf_startup(scene::KF_HIERARCHY | scene::KF_NORMALS | scene::KF_MORPH |
                    scene::KF_TRANSFORM);
  scene::Scene* s = nullptr;
  scene::kf_scene_new(&s);
  scene::WorldNode* node = nullptr;
  if (scene::kf_world_read_memory(bytes.data(), uint32_t(size), s) == scene::KF_OK &&
      scene::kf_motion_read_memory(bytes.data(), uint32_t(size), s) == scene::KF_OK) {
    scene::kf_use_scene(s);
    render::AllocFaceSortTable(s);
    render::OptimizeScene(s, 0);
    scene::kf_find_name("Cam", &node);
  }
  if (!node) {
    state.SkipWithError("scene unreadable or without camera \"Cam\"");
    scene::kf_scene_delete(s);
    return;
  }
  auto* camera = static_cast<scene::Camera*>(node->record);
  camera->size_x = 320.0f, camera->size_y = 200.0f, camera->aspect = 0.75f;
  render::CollectLights(s);
  if (render::LoadSceneTextures(s) != 1) {
    state.SkipWithError("textures failed");
  } else {
    scene::kf_use_camera(camera);
    float start = 0, end = 0;
    scene::kf_frame_range(&start, &end);
    Surfaces surfaces;
    for (auto _ : state) {
      surfaces.timings = {};
      for (float frame = start; frame < end; frame += 1.0f) {
        scene::kf_goto_frame(frame);
        scene::kf_evaluate();
        surfaces.Draw(s, camera);
      }
    }
    if (!surfaces.timings.frame.empty()) Report(state, surfaces.timings);
  }
  render::FreeSceneTextures(s);
  render::FreeFaceSortTable(s);
  scene::kf_use_camera(nullptr);
  scene::kf_world_free(s);
  render::CollectLights(s);  // empty: the light table must not name freed lights
  scene::kf_scene_delete(s);
}

// 2,000 faces of every material kind, over one another at random depths, two flares, blend 1002;
// with the draw statistics counted when `counted`.
void BM_HandBuiltScene(benchmark::State& state, bool counted) {
  rendertest::TestScene t;
  render::ResetDrawStats(counted);
  const std::vector<uint32_t> texture = rendertest::CoordinateTexture();
  const std::vector<uint32_t> mapped = rendertest::CoordinateTexture(0x80);
  const std::vector<uint32_t> shaded = rendertest::ShadedTexture(7);
  const std::vector<uint32_t> sprite(64 * 64, 0x00080808);
  render::flares = 3;
  render::flareSprite = sprite.data();
  render::frameBlendMode = 1002;
  scene::Material* materials[] = {
      t.Material(scene::SHADING_FLAT, texture.data()),
      t.Material(scene::SHADING_FLAT, texture.data(), 1),
      t.Material(scene::SHADING_FLAT, mapped.data(), 3),
      t.Material(scene::SHADING_PHONG, texture.data()),
      t.Material(scene::SHADING_METAL),
      t.Material(scene::SHADING_GOURAUD),
      t.Material(scene::SHADING_GOURAUD, shaded.data()),
      t.Material(render::SHADING_CONSTANT_GOURAUD),
  };
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> unit(0, 1);
  for (int i = 0; i < 2000; ++i) {
    const float z = 100.0f + 300.0f * unit(rng);
    scene::Object* o = t.Triangle(
        materials[i % 8],
        rendertest::Front(10 + 300 * unit(rng), 5 + 170 * unit(rng), 2 + 10 * unit(rng), z),
        {0.3f, -0.2f, -0.93f}, 20 + 200 * unit(rng), 20 + 200 * unit(rng));
    for (int k = 0; k < 3; ++k) o->vertices[k].intensity = 100.5f;
  }
  t.Light({-40, 20, 120}, 64, 64);
  t.Light({60, -30, 250}, 64, 64);
  render::AllocFaceSortTable(t.s);
  render::CollectLights(t.s);
  Surfaces surfaces;
  for (auto _ : state) surfaces.Draw(t.s, &t.camera);
  render::frameBlendMode = 0;
  render::ResetDrawStats(false);
  Report(state, surfaces.timings);
}

const bool registered = [] {
  benchmark::RegisterBenchmark("frame/hand_built_2000_faces", BM_HandBuiltScene, false);
  benchmark::RegisterBenchmark("frame/hand_built_2000_faces/counted", BM_HandBuiltScene, true);
  for (const char* member : {"train.3ds", "hut2.3ds"})
    benchmark::RegisterBenchmark((std::string("frame/") + member).c_str(), BM_IntroScene, member)
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
