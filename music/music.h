// The music player: plays the intro's tracker module from memory and reports where it is, as the
// timeline needs, then fades it out at the end. The engine is libxmp; the output is SDL2 audio, or,
// without a device (VEK_AUDIO=none, no device found, or the virtual clock), the module is rendered
// silently in step with the platform clock, so the position moves exactly as it would with sound.
//
// Position: order x 65536 + row of the audio being heard, so positions compare in playing order
// (0x10037 is order 1, row 55). Without a module it follows the module's nominal timing from the
// clock: one row every 5 x 2.5 / 116 s, orders 0 to 8, then back to order 3.
//
// Virtual clock: the music is rendered lazily, up to the clock's time, whenever the position is asked
// or the player is freed, never by a free-running thread; a run is the same sample for sample.
// With VEK_CONSOLE=headless and VEK_CAPTURE=DIR the rendered audio is also written to DIR/audio.wav,
// its first sample at clock time 0, in step with the captured frames.
//
// Failures show "Error(code): text" in a box captioned "Fatal music player error!" and the player goes
// on silently: a device that cannot be opened leaves the clock-paced output, a module that cannot be
// loaded leaves the nominal timing. Every function may be called in any state.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace music {

constexpr uint32_t position_of(int order, int row) { return uint32_t(order) << 16 | uint32_t(row); }

// The codes shown in the error box.
enum Error : int {
  ERROR_NONE = 0,
  ERROR_DEVICE = 1,  // no audio device could be opened
  ERROR_INIT = 2,    // music_play_* without music_init, or after music_free
  ERROR_FORMAT = 3,  // not a module the engine can play
  ERROR_LOAD = 4,    // a module, but damaged or cut short
  ERROR_FILE = 6,    // the file could not be read
};

// The engine rounds each tick down to whole frames. At 44.08 kHz a tick of the intro's module
// (2.5 s / 116) is exactly 950 frames, so the music keeps its nominal time; at 44.1 kHz it would run
// 0.05 % fast and be 25 ms early by the second scene.
constexpr int kSampleRate = 44080;
constexpr uint32_t kFadeThreadMs = 1500;  // the slide of music_fade_thread and music_restart
constexpr uint32_t kFadeWaitMs = 500;     // the quicker slide of music_fade_wait

void music_set_window(void* window);
// Opens the output (the stored window is kept for the platform's sake; SDL audio does not need it).
// Checks the engine's version first: a wrong one ends the process with status 0 after a box.
void music_init(void* window);
void music_init();
// Loads and starts the module at order 0, row 0. The bytes are copied; the caller may free them.
void music_play_memory(const void* data, size_t size);
void music_play_file(const char* path);
uint32_t music_position();
// Stops and releases everything; the clock-paced rendering is completed up to now first, so a
// capture ends where the clock is. Safe to call again.
void music_free();

// The intro's `music_fading`: set until music_fade_thread has faded the music out and freed the
// player. Poll it from the clock's owner thread, first right after starting the thread and then
// between its waits. On the virtual clock a poll waits until the fade thread has caught up with the
// owner's time, so the value seen at each clock time is the same on every run:
//
//   std::thread fade = platform::start_thread([&] { music::music_fade_thread(&music_fading); });
//   while (music_fading.is_set()) platform::sleep_ms(100);
//   platform::sleep_ms(200);
//   music::music_free();
//   fade.join();
class FadeFlag {
 public:
  bool is_set();

 private:
  friend void music_fade_thread(FadeFlag* flag);
  friend void music_restart(const void* data, size_t size);
  friend void fade_out(FadeFlag& flag);
  void wake_at(uint32_t ms);
  void clear();

  std::mutex lock_;
  std::condition_variable changed_;
  bool set_ = true;
  bool started_ = false;
  uint32_t next_wake_ = 0;  // clock time the fade thread waits for next
};

// Thread routine: slides the volume to silence over kFadeThreadMs, waits for the slide to be heard,
// frees the player and clears the flag.
void music_fade_thread(FadeFlag* flag);
// Slides to silence over kFadeWaitMs and polls until it is done.
void music_fade_wait();
// Fades out on a thread of its own, then starts the module again from its beginning (the bytes are
// copied); does nothing while an earlier restart is still busy. music_restart_busy is polled like a
// FadeFlag, with the same guarantee on the virtual clock.
void music_restart(const void* data, size_t size);
bool music_restart_busy();

// Peak levels of the latest rendered audio: left in the low 16 bits, right in the high, 0..32768.
uint32_t music_level();
bool music_is_active();
// Clock time at which the music started (music_init) or last looped back to order 3.
uint32_t music_start_time();
// Shows the error box for the text with the last error code, then frees the player.
void music_report_error(const char* text);

}  // namespace music
