// Fading out on the virtual clock: the slide on the rendered samples, the flag, the capture.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/music/player_support.h"

namespace {

using music_test::boxes;
using music_test::Player;

struct Wav {
  uint32_t rate = 0, channels = 0, data_bytes = 0;
  std::vector<int16_t> samples;
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

Wav read_wav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Wav w;
  if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" || le32(b, 4) != b.size() - 8) return w;
  w.channels = b[22] | b[23] << 8;
  w.rate = le32(b, 24);
  w.data_bytes = le32(b, 40);
  for (size_t i = 44; i + 1 < b.size(); i += 2) w.samples.push_back(int16_t(b[i] | b[i + 1] << 8));
  return w;
}

size_t frames_at(uint32_t ms) { return size_t(uint64_t(ms) * music::kSampleRate / 1000); }

struct FadeRun {
  uint32_t cleared_ms = 0;
  Wav wav;
};

// The intro's ending: start the fade thread, poll the flag every 100 ms, wait 200 ms, free again.
FadeRun fade_at(uint32_t start_ms, bool with_module, const std::string& dir) {
  std::filesystem::create_directories(dir);
  setenv("VEK_CONSOLE", "headless", 1);
  setenv("VEK_CAPTURE", dir.c_str(), 1);
  platform::clock_reset();
  music::music_init(nullptr);
  platform::Resource m = music_test::module();
  if (with_module) music::music_play_memory(m.data, m.size);
  platform::wait_until(start_ms);
  music::FadeFlag fading;
  std::thread fade = platform::start_thread([&fading] { music::music_fade_thread(&fading); });
  while (fading.is_set()) platform::sleep_ms(100);
  FadeRun run;
  run.cleared_ms = platform::clock_ms();
  platform::sleep_ms(200);
  music::music_free();
  fade.join();
  run.wav = read_wav(dir + "/audio.wav");
  return run;
}

TEST_F(Player, FadeThreadSlidesToSilenceAndClearsTheFlagAtAFixedTime) {
  const std::string dir = std::string(VEK_BINARY_DIR) + "/tests/music/capture";
  for (bool with_module : {true, false}) {
    SCOPED_TRACE(with_module ? "with the module" : "without a module");
    FadeRun run = fade_at(20000, with_module, dir);
    EXPECT_EQ(run.cleared_ms, 20000 + music::kFadeThreadMs);

    // The capture holds every frame from clock 0 to the end of the fade thread's slide.
    const Wav& w = run.wav;
    ASSERT_EQ(w.rate, uint32_t(music::kSampleRate));
    ASSERT_EQ(w.channels, 2u);
    const size_t start = frames_at(20000), end = frames_at(20000 + music::kFadeThreadMs);
    ASSERT_GE(w.samples.size() / 2, end);
    int before = 0;
    for (size_t f = start - frames_at(1000); f < start; ++f) before = std::max(before, std::abs(int(w.samples[2 * f])));
    EXPECT_EQ(before > 0, with_module);
    for (size_t f = start; f < w.samples.size() / 2; ++f) {
      // Within the slide no sample exceeds full scale times what is left of it; silence after.
      int64_t left = f < end ? int64_t(end - f) : 0;
      for (int c = 0; c < 2; ++c)
        ASSERT_LE(std::abs(int(w.samples[2 * f + c])) * int64_t(end - start), 32767 * left) << "frame " << f;
    }
  }
}

TEST_F(Player, TheSameRunCapturesTheSameAudio) {
  const std::string base = std::string(VEK_BINARY_DIR) + "/tests/music/";
  FadeRun first = fade_at(12000, true, base + "capture_a"), second = fade_at(12000, true, base + "capture_b");
  EXPECT_EQ(first.cleared_ms, second.cleared_ms);
  // The fade thread frees the player, which ends the capture.
  EXPECT_EQ(first.wav.samples.size(), frames_at(12000 + music::kFadeThreadMs) * 2);
  EXPECT_TRUE(first.wav.samples == second.wav.samples);
}

TEST_F(Player, FadeWaitPollsUntilSilent) {
  start();
  platform::sleep_ms(3000);
  EXPECT_GT(music::music_level(), 0u);
  music::music_fade_wait();
  EXPECT_EQ(platform::clock_ms(), 3000 + music::kFadeWaitMs);
  platform::sleep_ms(50);
  EXPECT_EQ(music::music_level(), 0u);
  EXPECT_TRUE(music::music_is_active()) << "the module plays on, silent";
}

TEST_F(Player, RestartFadesOutThenPlaysFromTheBeginning) {
  start();
  platform::sleep_ms(30000);
  platform::Resource m = music_test::module();
  music::music_restart(m.data, m.size);
  music::music_restart(m.data, m.size);  // ignored while the first is busy
  while (music::music_restart_busy()) platform::sleep_ms(100);
  EXPECT_EQ(platform::clock_ms(), 30000 + music::kFadeThreadMs);
  EXPECT_TRUE(music::music_is_active());
  platform::sleep_ms(1000);
  EXPECT_EQ(music::music_position(), music::position_of(0, 9));
  EXPECT_GT(music::music_level(), 0u) << "the volume is back";
  EXPECT_TRUE(boxes().empty());
}

}  // namespace
