// The main sequence: set-up, the timeline of screens and scenes against the music, and shutdown.
#include <cstdint>
#include <thread>

#include "archive/archive.h"
#include "display/console.h"
#include "display/surface.h"
#include "intro/intro.h"
#include "intro/run_state.h"
#include "intro/scenes.h"
#include "intro/screens.h"
#include "intro/trace.h"
#include "music/music.h"
#include "platform/platform.h"
#include "render/settings.h"

namespace intro {
namespace {

// One timeline step between its two trace events.
template <class Body>
void step(const char* name, Body body) {
  trace_event("%s start", name);
  body();
  trace_event("%s end", name);
}

// The waits before the scenes: poll the music once a millisecond, without looking at the keyboard,
// so a scene starts on its row.
void wait_for_music(uint32_t position) {
  while (music::music_position() < position) platform::poll_step();
}

// T1 to T7. Each guard is read once, before its step; a wait and the scene after it share one test,
// so a scene always follows its wait. After an abort only the final fade runs.
void RunTimeline(display::Console& console) {
  if (!intro_abort) step("T1", [&] { LogoScreen(console); });
  if (!intro_abort) {
    step("T2", [] { wait_for_music(music::position_of(1, 55)); });
    step("T3", [&] {
      SetTrainSettings();
      RunScene(console, "train.3ds", train_area);
    });
  }
  if (!intro_abort) step("T4", [&] { PictureScreen(console); });
  if (!intro_abort) {
    step("T5", [] { wait_for_music(music::position_of(7, 55)); });
    step("T6", [&] {
      SetHutSettings();
      RunScene(console, "hut2.3ds", hut_area);
    });
  }
  step("T7", [] { FinalFade(); });
}

// The music fades on a thread of its own while this one only sleeps, so the two never drive the
// player at the same time; the player is freed once more afterwards, which it allows. The flag is
// fresh for every run, so a second call of the export waits for its own fade as well.
void FadeMusic() {
  music::FadeFlag music_fading;
  std::thread fader = platform::start_thread([&] { music::music_fade_thread(&music_fading); });
  while (music_fading.is_set()) platform::sleep_ms(100);
  platform::sleep_ms(200);
  music::music_free();
  fader.join();
  trace_event("fade end");
}

}  // namespace

int RunIntro() {
  intro_abort = 0;
  if (!archive::library_archive().ok()) {
    platform::message_box("I need file 'VEK.BIN' to run properly!", "Glimmerfrost intro");
    platform::exit_process(1);
  }

  display::Console console;
  console.open(screen_width, screen_height, display::FUZZY32);
  if (!console.ok()) console.open(screen_width, screen_height, display::FUZZY16);
  if (!console.ok()) {
    console.error("could not initialize - vesa 2.0 16/24/32bpp linear mode!");
    platform::exit_process(1);
  }
  console.title("KARST 3DEngine v2");

  const display::Format frame_format(display::ARGB8888);
  display::Surface first(&console.impl(), screen_width, screen_height, frame_format,
                         display::MEMORY_SYSTEM, -1, -1, -1);
  if (!first.ok()) {
    console.error("could not create surface");
    return 1;
  }
  display::Surface second(&console.impl(), screen_width, screen_height, frame_format,
                          display::MEMORY_SYSTEM, -1, -1, -1);
  if (!second.ok()) {
    console.error("could not create surface");
    return 1;
  }
  current_surface = &first;
  previous_surface = &second;
  render::framePitch = first.pitch();

  music::music_init(platform::foreground_window());
  if (platform::Resource module = platform::find_resource("RT_RCDATA", "super.xm"))
    music::music_play_memory(module.data, module.size);

  RunTimeline(console);
  FadeMusic();

  console.close();
  current_surface = previous_surface = nullptr;
  return 0;
}

}  // namespace intro
