// The player over libxmp: one global state under one lock, shared by the caller's thread, the fade
// and restart threads and the audio output's thread. Frames are counted from the moment the output opened;
// each tick the engine renders is marked with the frame it starts at and its order and row, so the
// position of any frame being heard can be looked up.
#include <xmp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "music/device.h"
#include "music/music.h"
#include "music/slide.h"
#include "music/wav.h"
#include "platform/platform.h"

namespace music {
namespace {

constexpr int kChannels = kDeviceChannels;
constexpr size_t kChunkFrames = 4096;     // clock-paced rendering goes in pieces of this size
constexpr uint64_t kNever = UINT64_MAX;
constexpr size_t kTickMarks = 32;
constexpr size_t kLevelFrames = 1024;  // music_level is the peak of the latest 23 ms
constexpr int32_t kOutputLostMs = 1000;  // an output that asks for nothing this long has stopped

// The module's nominal timing: one row is speed x 2.5 s / tempo = 5 x 2500 / 116 ms; 9 orders of
// 64 rows, then back to order 3.
constexpr uint64_t kRowsPerMsNumerator = 116, kRowsPerMsDenominator = 12500;
constexpr uint64_t kRowsPerOrder = 64, kSongRows = 9 * kRowsPerOrder, kLoopRow = 3 * kRowsPerOrder;

const char* const kCaption = "Fatal music player error!";

enum class Output { Closed, Clock, Device };

struct TickMark {
  uint64_t first_frame;
  uint32_t position;
};

struct Player {
  std::mutex lock;
  void* window = nullptr;
  Output output = Output::Closed;
  int error = ERROR_NONE;

  xmp_context engine = nullptr;
  bool loaded = false;
  int loops = 0;

  uint32_t origin_ms = 0;  // clock time of frame 0
  uint32_t start_ms = 0;   // music_start_time
  uint64_t produced = 0;   // frames rendered since the origin
  std::vector<int16_t> tick;  // the engine's latest tick, interleaved
  size_t tick_used = 0;       // frames of it already handed out
  TickMark marks[kTickMarks] = {};  // ring of the latest ticks
  size_t mark_count = 0;

  uint64_t slide_start = kNever, slide_end = kNever;
  uint64_t callback_end = 0;  // frames produced when the output last asked, and when it asked
  uint32_t callback_ms = 0;
  uint32_t level = 0;
  WavWriter capture;
  std::vector<int16_t> scratch;
};

// Between rendering and hearing lie at most kDeviceLatencyFrames; the ring must still hold the tick
// being heard at the shortest tick there is (tempo 255).
static_assert(kTickMarks * (kSampleRate * 5 / 2 / 255) > kDeviceLatencyFrames,
              "tick ring too short for the device's latency");

// Never destroyed: the output's thread may still run while the process exits.
Player& player() {
  static Player& p = *new Player;
  return p;
}

uint64_t frames_at(const Player& p, uint32_t now) {
  int32_t elapsed = static_cast<int32_t>(now - p.origin_ms);
  return elapsed <= 0 ? 0 : uint64_t(elapsed) * kSampleRate / 1000;
}

uint32_t nominal_position(const Player& p, uint32_t now) {
  int32_t elapsed = static_cast<int32_t>(now - p.origin_ms);
  uint64_t row = elapsed <= 0 ? 0 : uint64_t(elapsed) * kRowsPerMsNumerator / kRowsPerMsDenominator;
  if (row >= kSongRows) row = kLoopRow + (row - kSongRows) % (kSongRows - kLoopRow);
  return position_of(int(row / kRowsPerOrder), int(row % kRowsPerOrder));
}

// Asks the engine for its next tick; the first frame it will fill is `first_frame`.
bool next_tick(Player& p, uint64_t first_frame) {
  if (!p.loaded || xmp_play_frame(p.engine) != 0) return false;
  xmp_frame_info fi;
  xmp_get_frame_info(p.engine, &fi);
  p.marks[p.mark_count++ % kTickMarks] = {first_frame, position_of(fi.pos, fi.row)};
  if (fi.loop_count != p.loops) {
    p.loops = fi.loop_count;
    p.start_ms = p.origin_ms + uint32_t(first_frame * 1000 / kSampleRate);
  }
  const int16_t* samples = static_cast<const int16_t*>(fi.buffer);
  p.tick.assign(samples, samples + fi.buffer_size / sizeof(int16_t));
  p.tick_used = 0;
  return !p.tick.empty();
}

// Scales frames by the slide: full volume before it, silence after it, a straight line between.
void apply_slide(const Player& p, int16_t* out, size_t frames) {
  if (p.slide_start == kNever) return;
  uint64_t length = p.slide_end - p.slide_start;
  for (size_t i = 0; i < frames; ++i) {
    uint64_t f = p.produced + i;
    if (f < p.slide_start) continue;
    uint64_t left = f >= p.slide_end ? 0 : p.slide_end - f;
    for (int c = 0; c < kChannels; ++c) {
      int16_t& s = out[i * kChannels + c];
      s = static_cast<int16_t>(s * int64_t(left) / int64_t(length));
    }
  }
}

// Fills frames with the module (silence without one), slides the volume, captures, and keeps the
// level of the latest frames.
void produce(Player& p, int16_t* out, size_t frames) {
  for (size_t done = 0; done < frames;) {
    size_t tick_frames = p.tick.size() / kChannels;
    if (p.tick_used == tick_frames && !next_tick(p, p.produced + done)) {
      std::fill(out + done * kChannels, out + frames * kChannels, int16_t(0));
      break;
    }
    tick_frames = p.tick.size() / kChannels;
    size_t n = std::min(frames - done, tick_frames - p.tick_used);
    std::copy_n(p.tick.data() + p.tick_used * kChannels, n * kChannels, out + done * kChannels);
    p.tick_used += n;
    done += n;
  }
  apply_slide(p, out, frames);
  uint32_t left = 0, right = 0;
  for (size_t i = frames - std::min(frames, kLevelFrames); i < frames; ++i) {
    left = std::max<uint32_t>(left, std::abs(int(out[2 * i])));
    right = std::max<uint32_t>(right, std::abs(int(out[2 * i + 1])));
  }
  p.level = left | right << 16;
  p.capture.write(out, frames);
  p.produced += frames;
  // A tick that starts right after these frames is heard from the moment they end, so it is
  // fetched and marked now, though none of its frames has been asked for yet.
  if (p.tick_used == p.tick.size() / kChannels) next_tick(p, p.produced);
}

// An output that has stopped asking for blocks (its sound server went away, say) no longer paces
// the music: the clock does from then on, silently, from the last frame the output took, so that
// waits on the music's position and fades still end.
void follow_clock_if_output_stopped(Player& p, uint32_t now) {
  if (p.output != Output::Device || static_cast<int32_t>(now - p.callback_ms) < kOutputLostMs) return;
  p.output = Output::Clock;
  p.origin_ms = now - uint32_t(p.produced * 1000 / kSampleRate);
}

// Clock-paced output: renders every frame due by now.
void render_to(Player& p, uint32_t now) {
  follow_clock_if_output_stopped(p, now);
  if (p.output != Output::Clock) return;
  uint64_t due = frames_at(p, now);
  p.scratch.resize(kChunkFrames * kChannels);
  while (p.produced < due) {
    size_t n = size_t(std::min<uint64_t>(due - p.produced, kChunkFrames));
    produce(p, p.scratch.data(), n);
  }
}

// The frame the listener hears now: kDeviceLatencyFrames before the end of the block the output last
// asked for, moving on with the clock from then but never past what exists.
uint64_t heard_frame(const Player& p, uint32_t now) {
  if (p.output != Output::Device) return frames_at(p, now);
  uint64_t oldest = p.callback_end > kDeviceLatencyFrames ? p.callback_end - kDeviceLatencyFrames : 0;
  int32_t since = std::max(0, static_cast<int32_t>(now - p.callback_ms));
  return std::min(p.callback_end, oldest + uint64_t(since) * kSampleRate / 1000);
}

uint32_t heard_position(const Player& p, uint64_t frame) {
  const TickMark* best = nullptr;
  size_t kept = std::min(p.mark_count, kTickMarks);
  for (size_t i = 0; i < kept; ++i) {
    const TickMark& m = p.marks[i];
    if (m.first_frame <= frame && (!best || m.first_frame > best->first_frame)) best = &m;
  }
  return best ? best->position : position_of(0, 0);
}

void feed(int16_t* out, size_t frames) {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  if (p.output != Output::Device) {
    std::fill(out, out + frames * kChannels, int16_t(0));
    return;
  }
  produce(p, out, frames);
  p.callback_end = p.produced;
  p.callback_ms = platform::clock_ms();
}

bool device_wanted() {
  const char* audio = std::getenv("VEK_AUDIO");
  return !platform::clock_is_virtual() && !(audio && std::strcmp(audio, "none") == 0);
}

// DIR/audio.wav when a headless run captures its frames into DIR.
std::string capture_path() {
  const char* console = std::getenv("VEK_CONSOLE");
  const char* dir = std::getenv("VEK_CAPTURE");
  if (!console || std::strcmp(console, "headless") != 0 || !dir || !*dir) return {};
  std::string path = dir;
  if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".mp4") == 0) return {};
  return path + "/audio.wav";
}

void unload(Player& p) {
  if (p.loaded) {
    xmp_end_player(p.engine);
    xmp_release_module(p.engine);
  }
  p.loaded = false;
  p.tick.clear();
  p.tick_used = 0;
  p.mark_count = 0;
}

void show_error(int code, const char* text) {
  char message[1024];
  std::snprintf(message, sizeof message, "Error(%d): %s\n", code, text);
  platform::message_box(message, kCaption);
}

int engine_error(int result) {
  switch (-result) {
    case XMP_ERROR_FORMAT: return ERROR_FORMAT;
    case XMP_ERROR_SYSTEM: return ERROR_FILE;
    default: return ERROR_LOAD;
  }
}

// Loads a module through `load` and starts it at the next frame; the error box on failure.
template <typename Load>
void play(Load load) {
  Player& p = player();
  int error = ERROR_NONE;
  {
    std::lock_guard<std::mutex> guard(p.lock);
    render_to(p, platform::clock_ms());  // the music starts now, not when the clock was last read
    unload(p);
    if (p.output == Output::Closed) {
      error = ERROR_INIT;
    } else {
      if (!p.engine) p.engine = xmp_create_context();
      int result = p.engine ? load(p.engine) : -XMP_ERROR_SYSTEM;
      if (result == 0 && xmp_start_player(p.engine, kSampleRate, 0) != 0) {
        xmp_release_module(p.engine);
        result = -XMP_ERROR_SYSTEM;
      }
      if (result != 0) error = engine_error(result);
      p.loaded = result == 0;
      p.loops = 0;
    }
    p.error = error;
  }
  if (error != ERROR_NONE) {
    show_error(error, "Can't play the file");
    music_free();
  }
}

}  // namespace

void music_set_window(void* window) {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  p.window = window;
}

void music_init(void* window) {
  music_set_window(window);
  music_init();
}

void music_init() {
  if (xmp_vercode >> 16 != XMP_VER_MAJOR) {
    platform::message_box("BASS version 0.6 was not loaded!", "");
    platform::exit_process(0);
  }
  music_free();  // a second initialisation starts over
  Player& p = player();
  bool want_device = device_wanted();
  bool device = want_device && device_open(feed);
  {
    std::lock_guard<std::mutex> guard(p.lock);
    p.output = device ? Output::Device : Output::Clock;
    p.error = want_device && !device ? ERROR_DEVICE : ERROR_NONE;
    p.origin_ms = p.start_ms = platform::clock_ms();
    p.produced = p.callback_end = 0;
    p.callback_ms = p.origin_ms;
    p.slide_start = p.slide_end = kNever;
    p.level = 0;
    std::string path = capture_path();
    if (!path.empty() && p.capture.open(path, kSampleRate, kChannels)) {
      p.capture.write(nullptr, size_t(uint64_t(p.origin_ms) * kSampleRate / 1000));  // clock time 0 first
    } else if (!path.empty()) {
      std::fprintf(stderr, "music: cannot write %s\n", path.c_str());
    }
  }
  // Without a device the music goes on paced by the clock, so the intro keeps its timing, silent.
  if (want_device && !device) show_error(ERROR_DEVICE, "Can't initialize device!");
  if (device) device_start();
}

void music_play_memory(const void* data, size_t size) {
  play([&](xmp_context engine) {
    return data && size ? xmp_load_module_from_memory(engine, data, long(size))
                        : -XMP_ERROR_FORMAT;
  });
}

void music_play_file(const char* path) {
  play([&](xmp_context engine) { return path ? xmp_load_module(engine, path) : -XMP_ERROR_SYSTEM; });
}

uint32_t music_position() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  uint32_t now = platform::clock_ms();
  render_to(p, now);
  return p.loaded ? heard_position(p, heard_frame(p, now)) : nominal_position(p, now);
}

void music_free() {
  Player& p = player();
  {
    std::lock_guard<std::mutex> guard(p.lock);
    render_to(p, platform::clock_ms());
    p.output = Output::Closed;
    unload(p);
    if (p.engine) xmp_free_context(p.engine);
    p.engine = nullptr;
    p.level = 0;
    p.capture.close();
  }
  // Outside the lock: closing waits for a running fill, which takes the lock.
  device_close();
}

uint32_t music_level() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  render_to(p, platform::clock_ms());
  return p.level;
}

bool music_is_active() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.loaded && p.output != Output::Closed;
}

uint32_t music_start_time() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  render_to(p, platform::clock_ms());
  return p.start_ms;
}

void music_report_error(const char* text) {
  int code;
  {
    Player& p = player();
    std::lock_guard<std::mutex> guard(p.lock);
    code = p.error;
  }
  show_error(code, text ? text : "");
  music_free();
}

void begin_slide(uint32_t ms) {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  uint32_t now = platform::clock_ms();
  render_to(p, now);
  p.slide_start = std::max(p.produced, heard_frame(p, now));
  p.slide_end = p.slide_start + uint64_t(ms) * kSampleRate / 1000;
}

bool slide_running() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  uint32_t now = platform::clock_ms();
  render_to(p, now);
  return p.slide_start != kNever && heard_frame(p, now) < p.slide_end;
}

}  // namespace music
