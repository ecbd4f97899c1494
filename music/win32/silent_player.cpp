// The Windows player: silent, paced by the platform clock. No tracker engine is built for Windows,
// so the position follows the module's nominal timing - one row every 5 x 2.5 / 116 s, orders 0 to
// 8, then back to order 3 - from the moment the module starts, and the timeline keeps its course.
// The module's bytes are still checked, so a damaged resource is reported as on every other build.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "music/music.h"
#include "music/slide.h"
#include "platform/platform.h"

namespace music {
namespace {

constexpr uint64_t kRowsPerMsNumerator = 116, kRowsPerMsDenominator = 12500;
constexpr uint64_t kRowsPerOrder = 64, kSongRows = 9 * kRowsPerOrder, kLoopRow = 3 * kRowsPerOrder;
constexpr char kSignature[] = "Extended Module: ";
constexpr size_t kSignatureSize = sizeof kSignature - 1;

const char* const kCaption = "Fatal music player error!";

struct Player {
  std::mutex lock;
  void* window = nullptr;
  bool open = false;
  bool loaded = false;
  int error = ERROR_NONE;
  uint32_t origin_ms = 0;  // clock time of order 0, row 0
  bool sliding = false;
  uint32_t slide_end_ms = 0;
};

Player& player() {
  static Player p;
  return p;
}

uint64_t rows_since(const Player& p, uint32_t now) {
  int32_t elapsed = static_cast<int32_t>(now - p.origin_ms);
  return elapsed <= 0 ? 0 : uint64_t(elapsed) * kRowsPerMsNumerator / kRowsPerMsDenominator;
}

// The first clock time at which `rows` rows have passed (the inverse of rows_since, rounded up).
uint32_t time_of_row(const Player& p, uint64_t rows) {
  uint64_t ms = (rows * kRowsPerMsDenominator + kRowsPerMsNumerator - 1) / kRowsPerMsNumerator;
  return p.origin_ms + static_cast<uint32_t>(ms);
}

bool reached(uint32_t now, uint32_t deadline) { return static_cast<int32_t>(now - deadline) >= 0; }

void show_error(int code, const char* text) {
  char message[1024];
  std::snprintf(message, sizeof message, "Error(%d): %s\n", code, text);
  platform::message_box(message, kCaption);
}

// Starts the module at order 0, row 0 when the bytes are one; `failure` is the code when they are
// not.
void play(bool is_module, int failure) {
  Player& p = player();
  int error = ERROR_NONE;
  {
    std::lock_guard<std::mutex> guard(p.lock);
    if (!p.open)
      error = ERROR_INIT;
    else if (!is_module)
      error = failure;
    p.loaded = error == ERROR_NONE;
    p.origin_ms = platform::clock_ms();
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
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  p.open = true;
  p.loaded = false;
  p.error = ERROR_NONE;
  p.origin_ms = platform::clock_ms();
  p.sliding = false;
}

void music_play_memory(const void* data, size_t size) {
  bool is_module =
      data && size >= kSignatureSize && std::memcmp(data, kSignature, kSignatureSize) == 0;
  play(is_module, ERROR_FORMAT);
}

void music_play_file(const char* path) {
  std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
  if (!file) {
    play(false, ERROR_FILE);
    return;
  }
  char head[kSignatureSize];
  bool is_module = std::fread(head, 1, kSignatureSize, file) == kSignatureSize &&
                   std::memcmp(head, kSignature, kSignatureSize) == 0;
  std::fclose(file);
  play(is_module, ERROR_FORMAT);
}

uint32_t music_position() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  uint64_t row = rows_since(p, platform::clock_ms());
  if (row >= kSongRows) row = kLoopRow + (row - kSongRows) % (kSongRows - kLoopRow);
  return position_of(int(row / kRowsPerOrder), int(row % kRowsPerOrder));
}

void music_free() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  p.open = false;
  p.loaded = false;
  p.sliding = false;
}

// Nothing is heard, so nothing is loud.
uint32_t music_level() { return 0; }

bool music_is_active() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.loaded && p.open;
}

uint32_t music_start_time() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  uint64_t row = rows_since(p, platform::clock_ms());
  if (!p.loaded || row < kSongRows) return p.origin_ms;
  uint64_t loop_rows = kSongRows - kLoopRow;
  return time_of_row(p, kSongRows + (row - kSongRows) / loop_rows * loop_rows);
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
  p.sliding = true;
  p.slide_end_ms = platform::clock_ms() + ms;
}

bool slide_running() {
  Player& p = player();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.sliding && !reached(platform::clock_ms(), p.slide_end_ms);
}

}  // namespace music
