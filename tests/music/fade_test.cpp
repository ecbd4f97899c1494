// Fading out on the virtual clock: the slide on the rendered samples, the flag, the capture.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/music/player_support.h"

namespace {

using music_test::boxes;
using music_test::Player;

struct Wav {
  uint32_t rate = 0, channels = 0;
  std::vector<int16_t> samples;
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

Wav read_wav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Wav w;
  // The RIFF and data sizes must match the file: a capture cut short reads as no capture.
  if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
      le32(b, 4) != b.size() - 8 || le32(b, 40) != b.size() - 44)
    return w;
  w.channels = b[22] | b[23] << 8;
  w.rate = le32(b, 24);
  for (size_t i = 44; i + 1 < b.size(); i += 2) w.samples.push_back(int16_t(b[i] | b[i + 1] << 8));
  return w;
}

size_t frames_at(uint32_t ms) { return size_t(uint64_t(ms) * music::kSampleRate / 1000); }

struct FadeRun {
  uint32_t cleared_ms = 0;
  Wav wav;
};

// A capture folder of the test's own, removed with it.
struct CaptureDir {
  std::string path;
  CaptureDir() {
    char pattern[] = "/tmp/vek_music_XXXXXX";
    if (mkdtemp(pattern)) path = pattern;
  }
  ~CaptureDir() {
    if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
  }
};

// The intro's ending: start the fade thread, poll the flag every 100 ms, wait 200 ms, free again.
// Unless `faded` the music plays on until the same end, for comparison.
FadeRun fade_at(uint32_t start_ms, bool with_module, const std::string& dir, bool faded = true) {
  setenv("VEK_CONSOLE", "headless", 1);
  setenv("VEK_CAPTURE", dir.c_str(), 1);
  platform::clock_reset();
  music::music_init(nullptr);
  platform::Resource m = music_test::module();
  if (with_module) music::music_play_memory(m.data, m.size);
  platform::wait_until(start_ms);
  if (!faded) {
    platform::sleep_ms(music::kFadeThreadMs);
    music::music_free();
    return FadeRun{0, read_wav(dir + "/audio.wav")};
  }
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

// The slide scales each frame by what is left of it, (end - frame) / (end - start), against the
// same music played without a fade.
TEST_F(Player, FadeThreadSlidesToSilenceAndClearsTheFlagAtAFixedTime) {
  CaptureDir dir, plain_dir;
  ASSERT_FALSE(dir.path.empty() || plain_dir.path.empty());
  const Wav plain = fade_at(20000, true, plain_dir.path, false).wav;
  for (bool with_module : {true, false}) {
    SCOPED_TRACE(with_module ? "with the module" : "without a module");
    FadeRun run = fade_at(20000, with_module, dir.path);
    EXPECT_EQ(run.cleared_ms, 20000 + music::kFadeThreadMs);

    // The capture holds every frame from clock 0 to the end of the fade thread's slide: the
    // fade thread frees the player, which ends the capture.
    const Wav& w = run.wav;
    ASSERT_EQ(w.rate, uint32_t(music::kSampleRate));
    ASSERT_EQ(w.channels, 2u);
    const size_t start = frames_at(20000), end = frames_at(20000 + music::kFadeThreadMs);
    ASSERT_EQ(w.samples.size(), 2 * end);
    int before = 0;
    for (size_t f = start - frames_at(1000); f < start; ++f) before = std::max(before, std::abs(int(w.samples[2 * f])));
    EXPECT_EQ(before > 0, with_module);
    ASSERT_GE(plain.samples.size() / 2, end);
    for (size_t f = start; f < end; ++f)
      for (int c = 0; c < 2; ++c) {
        const int64_t heard = with_module ? plain.samples[2 * f + c] : 0;
        const int64_t left = int64_t(end - f), length = int64_t(end - start);
        ASSERT_EQ(w.samples[2 * f + c], heard * left / length) << "frame " << f;
      }
  }
}

TEST_F(Player, FadeWaitPollsUntilSilent) {
  start();
  platform::sleep_ms(3000);
  EXPECT_GT(music::music_level() & 0xFFFF, 0u) << "left";
  EXPECT_GT(music::music_level() >> 16, 0u) << "right";
  EXPECT_LE(music::music_level() & 0xFFFF, 32768u);
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
  for (int i = 0; i < 7 && music::music_restart_busy(); ++i) platform::sleep_ms(100);
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
