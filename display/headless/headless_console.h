// The headless console (VEK_CONSOLE=headless): the display is memory, optionally captured to files,
// and keys come from a script on the clock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "display/console_base.h"
#include "display/headless/capture.h"

namespace display::headless {

struct ScriptedKey {
  uint32_t time_ms = 0;
  int32_t code = 0;
};

// Reads "ms:code,ms:code,..." (VEK_KEYS). A code is a number (decimal, or hex with 0x) or a single
// letter or digit, which stands for its virtual-key code. Malformed entries are reported on
// standard error and skipped. The result is in time order; keys of equal time keep their order.
std::vector<ScriptedKey> parse_key_script(const char* text);

// The last frame any headless console presented, as ARGB8888 top row first, for tests.
struct Frame {
  std::vector<uint32_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t count = 0;  // frames presented since the process started
};
Frame last_frame();

class HeadlessConsole final : public BasicConsole {
 public:
  const char* name() const override { return "headless"; }
  bool key() override;
  // Waits on the clock for the next scripted key. With no key left there is nothing to wait for,
  // so it returns 0 at once instead of hanging the run.
  int32_t read() override;
  void* window() const override { return nullptr; }

 protected:
  bool open_display(int32_t width, int32_t height, int32_t output) override;
  void close_display() override;
  void show(const uint32_t* pixels, int32_t width, int32_t height) override;

 private:
  void deliver_due_keys();

  std::unique_ptr<Capture> capture_;
  std::vector<ScriptedKey> script_;
  size_t next_key_ = 0;
};

}  // namespace display::headless
