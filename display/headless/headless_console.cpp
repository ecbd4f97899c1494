// The headless console: frames go to memory and, with VEK_CAPTURE=DIR, to PNG files; keys come from
// VEK_KEYS and enter the queue when the clock reaches their time.
#include "display/headless/headless_console.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace display::headless {
namespace {

struct LastFrame {
  std::mutex lock;
  Frame frame;
};

LastFrame& last() {
  static LastFrame shared;
  return shared;
}

bool parse_time(const std::string& text, uint32_t& time_ms) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (*end != '\0' || value > UINT32_MAX) return false;
  time_ms = static_cast<uint32_t>(value);
  return true;
}

bool parse_code(const std::string& text, int32_t& code) {
  if (text.size() == 1 && std::isalnum(static_cast<unsigned char>(text[0]))) {
    code = std::toupper(static_cast<unsigned char>(text[0]));
    return true;
  }
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 0);
  if (*end != '\0' || value < 0 || value > 0xFF) return false;
  code = static_cast<int32_t>(value);
  return true;
}

}  // namespace

std::vector<ScriptedKey> parse_key_script(const char* text) {
  std::vector<ScriptedKey> keys;
  if (!text) return keys;
  std::string script(text);
  for (size_t start = 0; start <= script.size();) {
    size_t comma = std::min(script.find(',', start), script.size());
    std::string entry = script.substr(start, comma - start);
    start = comma + 1;
    if (entry.empty()) continue;
    size_t colon = entry.find(':');
    ScriptedKey key;
    if (colon == std::string::npos || !parse_time(entry.substr(0, colon), key.time_ms) ||
        !parse_code(entry.substr(colon + 1), key.code)) {
      std::fprintf(stderr, "VEK_KEYS: ignoring \"%s\" (expected ms:code, e.g. 1500:27)\n", entry.c_str());
      continue;
    }
    keys.push_back(key);
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [](const ScriptedKey& a, const ScriptedKey& b) { return a.time_ms < b.time_ms; });
  return keys;
}

Frame last_frame() {
  std::lock_guard<std::mutex> guard(last().lock);
  return last().frame;
}

bool HeadlessConsole::open_display(int32_t, int32_t, int32_t) {
  const char* target = std::getenv("VEK_CAPTURE");
  if (target && *target) capture_ = open_capture(target);
  script_ = parse_key_script(std::getenv("VEK_KEYS"));
  next_key_ = 0;
  return true;
}

void HeadlessConsole::close_display() {
  capture_.reset();
  script_.clear();
  next_key_ = 0;
}

void HeadlessConsole::show(const uint32_t* pixels, int32_t width, int32_t height) {
  uint32_t now = platform::clock_ms();
  if (capture_) capture_->frame(pixels, width, height, now);
  std::lock_guard<std::mutex> guard(last().lock);
  Frame& frame = last().frame;
  frame.pixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
  frame.width = width;
  frame.height = height;
  ++frame.count;
}

void HeadlessConsole::deliver_due_keys() {
  // Times compare like tick counts, as every deadline of the clock does.
  uint32_t now = platform::clock_ms();
  while (next_key_ < script_.size() && static_cast<int32_t>(now - script_[next_key_].time_ms) >= 0)
    keys_.push(script_[next_key_++].code);
}

bool HeadlessConsole::key() {
  deliver_due_keys();
  return !keys_.empty();
}

int32_t HeadlessConsole::read() {
  deliver_due_keys();
  int32_t code = 0;
  if (keys_.pop(code)) return code;
  if (next_key_ == script_.size()) return 0;
  platform::wait_until(script_[next_key_].time_ms);
  deliver_due_keys();
  keys_.pop(code);
  return code;
}

}  // namespace display::headless
