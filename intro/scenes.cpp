// The 3D scenes: their render settings, the set-up that brings a scene member from the archive into
// the scene library and the renderer, the paced playback loop, and the release after it.
#include "intro/scenes.h"

#include <cstdint>
#include <vector>

#include "archive/archive.h"
#include "display/console.h"
#include "intro/run_state.h"
#include "intro/trace.h"
#include "platform/platform.h"
#include "render/blend.h"
#include "render/frame.h"
#include "render/lights.h"
#include "render/messages.h"
#include "render/optimize.h"
#include "render/settings.h"
#include "render/sort.h"
#include "render/textures.h"
#include "scene/kf.h"

namespace intro {

int framesPerSecond = 33;
int lightsEnabled = 1;
int optimizeEnabled = 1;

namespace {

// The scene slots, reused by both scenes: the scene RunScene has set up and its camera.
scene::Scene* scene_slot = nullptr;
scene::Camera* camera = nullptr;

// Set-up failures end the process; the message goes to the silent channel (VEK_VERBOSE=1 shows it).
[[noreturn]] void fail_scene() { platform::exit_process(1); }

// Reads world and keyframer of the member straight from its bytes: nothing is written to disk, so
// the intro runs from a read-only folder and any number of runs can share one.
void read_scene(const char* member, int32_t size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (archive::library_archive().read_member(member, bytes.data(), 0) != size) {
    render::Note("\nerror: can't read scene '%s' from the archive!", member);
    fail_scene();
  }
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  int last_error = scene::kf_world_read_memory(bytes.data(), length, scene_slot);
  if (last_error != 0) {
    render::Note("error(after):%s\n", scene::kf_error_text(last_error));
    fail_scene();
  }
  last_error = scene::kf_motion_read_memory(bytes.data(), length, scene_slot);
  if (last_error != 0) {
    render::Note("error(after): %s\n", scene::kf_error_text(last_error));
    fail_scene();
  }
}

// With maxCompat the camera must be "Cam"; otherwise "Camera01" is preferred.
void find_camera() {
  scene::WorldNode* camera_node = nullptr;
  if (!render::maxCompat) scene::kf_find_name("Camera01", &camera_node);
  if (!camera_node) scene::kf_find_name("Cam", &camera_node);
  if (!camera_node || camera_node->type != scene::WORLD_CAMERA) {
    render::Note("\n No camera object found('Camera01' or 'Cam')!");
    fail_scene();
  }
  camera = static_cast<scene::Camera*>(camera_node->record);
  camera->size_x = static_cast<float>(screen_width);
  camera->size_y = static_cast<float>(screen_height);
  camera->aspect = 0.75f;
}

// Everything the renderer and the scene library hold of the scene, the record included, so that
// nothing of one scene outlives it.
void release_scene() {
  render::FreeSceneTextures(scene_slot);
  render::FreeFaceSortTable(scene_slot);
  scene::kf_use_camera(nullptr);
  scene::kf_scene_delete(scene_slot);
  scene_slot = nullptr;
  camera = nullptr;
}

// The frame's pixels for the renderer; a surface that cannot be locked ends the run.
uint32_t* lock_frame(display::Console& console, display::Surface& surface) {
  void* pixels = surface.lock();
  if (!pixels) {
    console.error("could not lock surface");
    platform::exit_process(1);
  }
  return static_cast<uint32_t*>(pixels);
}

// The settings both scenes share.
void set_common_settings() {
  render::screenWidth = screen_width;
  render::screenHeight = screen_height;
  framesPerSecond = 33;
  render::flareGlow = 0;
  render::sortMode = 2;
  render::singleLight = 1;
  render::transparencyEnabled = 1;
  render::animatedTexturesEnabled = 0;
  render::ambientTint = 0;
  lightsEnabled = 1;
  render::constantGouraud = 1;
  render::maxCompat = 1;
  optimizeEnabled = 1;
  render::autoResize = 1;
  render::fakeTextures = 0;
  render::backgroundPicture = "";
  render::backgroundEnabled = 0;
  // Hierarchy, normals, morphing and vertex transforms on; short-way slerp and the morphed-normal
  // variants off.
  render::loadOption0 = render::loadOption1 = render::loadOption2 = render::loadOption3 = 1;
  render::loadOption4 = render::loadOption5 = render::loadOption6 = 0;
}

void set_clip(float min_x, float min_y, float max_x, float max_y) {
  render::clipMinX = min_x;
  render::clipMinY = min_y;
  render::clipMaxX = max_x;
  render::clipMaxY = max_y;
}

}  // namespace

void SetTrainSettings() {
  set_common_settings();
  set_clip(0.0f, 0.0f, screen_width - 1.0f, screen_height - 1.0f);
  render::frameBlendMode = 1002;
  render::flares = 3;
}

void SetHutSettings() {
  set_common_settings();
  set_clip(10.0f, 10.0f, screen_width - 10.0f, screen_height - 10.0f);
  render::frameBlendMode = 0;
  render::flares = 0;
}

void RunScene(display::Console& console, const char* member, const display::Rect& area) {
  // An archive without the scene is an incomplete installation rather than a bad scene: say so
  // where it is seen and go on with the rest of the intro.
  const int32_t size = archive::library_archive().member_size(member);
  if (size < 0) {
    render::Log("\nscene '%s' is not in the archive!", member);
    trace_event("scene missing %s", member);
    return;
  }
  scene::kf_startup(render::BuildLoadOptions());
  scene::kf_scene_new(&scene_slot);
  read_scene(member, size);

  scene::kf_use_scene(scene_slot);
  render::AllocFaceSortTable(scene_slot);
  if (!scene_slot->sort_table) fail_scene();
  if (optimizeEnabled) render::OptimizeScene(scene_slot, 1);
  find_camera();
  if (render::ambientTint) render::SetupAmbient(scene_slot);
  // The light table is refilled even when lights are off, so that it never names the lights of
  // the scene played before.
  const int32_t lights = render::CollectLights(scene_slot);
  if (lightsEnabled && lights == 0) render::Note("\n note! no lights in scene!");
  if (render::LoadSceneTextures(scene_slot) != 1) {
    render::Note("\ntextures loading failed!");
    fail_scene();
  }
  scene::kf_use_camera(camera);

  float start = 0.0f, end = 0.0f;
  scene::kf_frame_range(&start, &end);
  trace_event("scene start %s %g %g", member, start, end);
  const int drawn = PlayScene(console, area);
  trace_event("scene end %s %d %s", member, drawn, intro_abort ? "key" : "done");
  release_scene();
}

int PlayScene(display::Console& console, const display::Rect& area) {
  // A range the library refuses (no keyframer) leaves both at 0, which plays nothing.
  float frame = 0.0f, end = 0.0f;
  scene::kf_frame_range(&frame, &end);
  const uint32_t period = 1000 / static_cast<uint32_t>(framesPerSecond);
  int drawn = 0;
  for (; frame < end; frame += 1.0f) {
    const uint32_t deadline = platform::clock_ms() + period;
    // The key stays queued; it only ends the scene, before anything of this frame is drawn.
    if (console.key()) {
      intro_abort = 1;
      break;
    }
    scene::kf_goto_frame(frame);
    scene::kf_evaluate();
    render::ProjectScene(scene_slot, camera, screen_width, screen_height);

    render::frameBuffer = lock_frame(console, *current_surface);
    render::framePitch = current_surface->pitch();
    render::previousFrame = lock_frame(console, *previous_surface);
    render::DrawBackground();
    render::RenderFrame(scene_slot, camera);
    current_surface->unlock();
    previous_surface->unlock();
    render::frameBuffer = nullptr;
    render::previousFrame = nullptr;

    if (render::frameBlendMode != 0) render::BlendFrames(*current_surface, *previous_surface);
    if (render::animatedTexturesEnabled) render::AdvanceAnimatedTextures(scene_slot);
    current_surface->update(area);
    swap_surfaces();
    ++drawn;
    platform::wait_until(deadline);
  }
  return drawn;
}

}  // namespace intro
