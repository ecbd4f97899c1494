// What the player tests share: the embedded module, a fresh virtual clock, the boxes shown.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "music/music.h"
#include "platform/platform.h"

namespace music_test {

constexpr double kRowMs = 5 * 2500.0 / 116;

inline std::vector<std::string>& boxes() {
  static std::vector<std::string> shown;
  return shown;
}

inline platform::Resource module() { return platform::find_resource("RT_RCDATA", "SUPER.XM"); }

// Each case starts on a virtual clock at 0 with the player freed and no capture.
class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VEK_CLOCK", "virtual", 1);
    setenv("VEK_AUDIO", "none", 1);
    unsetenv("VEK_CAPTURE");
    unsetenv("VEK_CONSOLE");
    platform::clock_reset();
    music::music_free();
    boxes().clear();
    platform::set_message_box_hook([](const char* text, const char* caption) {
      boxes().push_back(std::string(caption) + "|" + text);
    });
  }
  void TearDown() override {
    music::music_free();
    platform::set_message_box_hook(nullptr);
  }
  static void start() {
    music::music_init(nullptr);
    platform::Resource m = module();
    ASSERT_TRUE(m);
    music::music_play_memory(m.data, m.size);
  }
  // On the real clock, through SDL's audio driver of that name.
  static void start_on_the_real_clock(const char* driver) {
    setenv("VEK_CLOCK", "real", 1);
    unsetenv("VEK_AUDIO");
    setenv("SDL_AUDIODRIVER", driver, 1);
    platform::clock_reset();
    start();
    unsetenv("SDL_AUDIODRIVER");
  }
};

}  // namespace music_test
