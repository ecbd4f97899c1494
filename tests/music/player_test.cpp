// The position on the virtual clock, with and without a module, and the player's failures.
#include <cmath>
#include <vector>

#include "music/device.h"
#include "tests/music/player_support.h"

// When `held_output` is on, the player's output opens without a sound device and its fill is kept
// in `held_fill` for the test to call; otherwise the real output opens.
namespace {
bool held_output = false;
music::DeviceFill held_fill = nullptr;
}  // namespace

extern "C" bool __real__ZN5music11device_openEPFvPsmE(music::DeviceFill fill);
extern "C" bool __wrap__ZN5music11device_openEPFvPsmE(music::DeviceFill fill) {
  if (!held_output) return __real__ZN5music11device_openEPFvPsmE(fill);
  held_fill = fill;
  return true;
}

namespace {

using music_test::boxes;
using music_test::kRowMs;
using music_test::Player;

// Order and row of the song's n-th row: orders 0 to 8, then from order 3 again.
uint32_t song_position(int n) {
  if (n >= 9 * 64) n = 3 * 64 + (n - 9 * 64) % (6 * 64);
  return music::position_of(n / 64, n % 64);
}

// The first whole millisecond of row n: the clock time at which the row is first heard.
uint32_t row_start_ms(int n) { return uint32_t((int64_t(n) * 12500 + 115) / 116); }

// Every row is heard from the first millisecond of its start on and not a millisecond earlier, also
// where it starts on a whole millisecond (every 29th row, 50,000 ms for (7, 16) among them), through
// the jump back to order 3.
TEST_F(Player, EachRowIsHeardFromItsFirstMillisecond) {
  start();
  EXPECT_EQ(music::music_position(), 0u);
  EXPECT_TRUE(music::music_is_active());
  ASSERT_EQ(row_start_ms(7 * 64 + 16), 50000u);
  for (int n = 1; n < 9 * 64 + 80; ++n) {
    platform::wait_until(row_start_ms(n) - 1);
    ASSERT_EQ(music::music_position(), song_position(n - 1)) << "row " << n << " at " << platform::clock_ms();
    platform::wait_until(row_start_ms(n));
    ASSERT_EQ(music::music_position(), song_position(n)) << "row " << n << " at " << platform::clock_ms();
  }
  EXPECT_EQ(music::music_start_time(), uint32_t(9 * 64 * kRowMs));  // the jump back starts anew
  EXPECT_GT(music::music_level(), 0u);
  EXPECT_TRUE(boxes().empty());
}

// Without a module, whatever the reason, the position keeps the module's nominal timing from
// music_init, so the timeline still moves on; a failed load shows one box.
TEST_F(Player, WithoutAModuleThePositionKeepsNominalTime) {
  platform::Resource m = music_test::module();
  const std::string garbage = "this is not a module at all";
  struct Case {
    const char* what;
    const void* data;
    size_t size;
    const char* box;
  } cases[] = {
      {"nothing played", nullptr, 0, nullptr},
      {"not a module", garbage.data(), garbage.size(), "Error(3): Can't play the file\n"},
      {"cut short", m.data, 400, "Error(4): Can't play the file\n"},
      {"no data", nullptr, 0, "Error(3): Can't play the file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::clock_reset();
    boxes().clear();
    platform::sleep_ms(1000);  // the nominal time counts from music_init, not from the clock's start
    music::music_init(nullptr);
    if (c.box) music::music_play_memory(c.data, c.size);
    ASSERT_EQ(boxes().size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(boxes()[0], std::string("Fatal music player error!|") + c.box);
    }
    EXPECT_FALSE(music::music_is_active());
    for (int n : {1, 118, 119, 383, 384, 464, 575, 576, 700}) {
      platform::wait_until(1000 + row_start_ms(n) - 1);
      EXPECT_EQ(music::music_position(), song_position(n - 1)) << "row " << n;
      platform::wait_until(1000 + row_start_ms(n));
      EXPECT_EQ(music::music_position(), song_position(n)) << "row " << n;
    }
    music::music_free();
  }
}

TEST_F(Player, PlayingWithoutInitialisationOrFromAMissingFileFails) {
  platform::Resource m = music_test::module();
  music::music_play_memory(m.data, m.size);
  music::music_init(nullptr);
  music::music_play_file("/nonexistent/SUPER.XM");
  music::music_report_error("Still no music");  // with the last error's code
  ASSERT_EQ(boxes().size(), 3u);
  EXPECT_EQ(boxes()[0], "Fatal music player error!|Error(2): Can't play the file\n");
  EXPECT_EQ(boxes()[1], "Fatal music player error!|Error(6): Can't play the file\n");
  EXPECT_EQ(boxes()[2], "Fatal music player error!|Error(6): Still no music\n");
  EXPECT_FALSE(music::music_is_active());
}

TEST_F(Player, PlaysAModuleFile) {
  music::music_init(nullptr);
  music::music_play_file(VEK_BINARY_DIR "/data/SUPER.XM");
  EXPECT_TRUE(boxes().empty());
  platform::wait_until(row_start_ms(64 + 55) + 1);
  EXPECT_EQ(music::music_position(), 0x10037u);
}

// On the real clock, with no audio device to be had, the box says so and the music goes on silent.
TEST_F(Player, ADeviceThatCannotOpenLeavesTheMusicPacedByTheClock) {
  start_on_the_real_clock("no-such-driver");
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0], "Fatal music player error!|Error(1): Can't initialize device!\n");
  EXPECT_TRUE(music::music_is_active());
  EXPECT_LT(music::music_position(), 0x10000u);
}

// SDL's dummy driver consumes audio in real time like a sound card: the callback renders, the
// position moves on, and a slide ends in silence. Only progress is checked, never a duration.
TEST_F(Player, ADeviceRendersThroughTheCallback) {
  start_on_the_real_clock("dummy");
  EXPECT_TRUE(boxes().empty());
  for (int i = 0; i < 500 && music::music_position() < music::position_of(0, 2); ++i) platform::sleep_ms(10);
  EXPECT_GE(music::music_position(), music::position_of(0, 2));
  music::music_fade_wait();
  platform::sleep_ms(100);
  EXPECT_EQ(music::music_level(), 0u);
}

// An output that takes two blocks and then asks for no more (its sound server went away) holds the
// music only for a moment: then the clock paces it, so that waits on the position and fades end.
TEST_F(Player, AnOutputThatStopsAskingNoLongerHoldsUpTheMusic) {
  held_output = true;
  start_on_the_real_clock("none");
  held_output = false;
  ASSERT_TRUE(held_fill);
  std::vector<int16_t> block(2 * music::kDeviceFrames);
  for (int i = 0; i < 2; ++i) held_fill(block.data(), music::kDeviceFrames);
  uint32_t later = music::position_of(0, 16);  // well past the two blocks' 186 ms
  for (int i = 0; i < 1000 && music::music_position() < later; ++i) platform::sleep_ms(10);
  ASSERT_GE(music::music_position(), later);
  music::music_fade_wait();  // returns
}

TEST_F(Player, FreeingTwiceIsHarmless) {
  start();
  platform::sleep_ms(5000);
  music::music_free();
  music::music_free();
  EXPECT_FALSE(music::music_is_active());
  EXPECT_EQ(music::music_level(), 0u) << "nothing renders after free";
  // The position goes on in nominal time.
  platform::wait_until(row_start_ms(100) + 50);
  EXPECT_EQ(music::music_position(), song_position(100));
  EXPECT_TRUE(boxes().empty());
}

}  // namespace
