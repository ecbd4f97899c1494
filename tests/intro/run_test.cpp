// Whole runs and screens of the intro in this process, headless on the virtual clock: without the
// music module (this program does not link it), with a frame surface that cannot be made, and with
// frame surfaces that will not lock (tests/intro/seams.h).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "display/console.h"
#include "display/headless/headless_console.h"
#include "display/surface.h"
#include "intro/intro.h"
#include "intro/run_state.h"
#include "intro/screens.h"
#include "intro/trace.h"
#include "platform/platform.h"
#include "tests/intro/frame_pair.h"
#include "tests/intro/seams.h"

namespace {

class Run : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(VEK_BINARY_DIR) + "/run_test_XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern.data()));
    folder_ = pattern;
    setenv("VEK_CLOCK", "virtual", 1);
    setenv("VEK_AUDIO", "none", 1);
    setenv("VEK_CONSOLE", "headless", 1);
    setenv("VEK_TRACE", (folder_ + "/trace").c_str(), 1);
    unsetenv("VEK_KEYS");
    unsetenv("VEK_CAPTURE");
    seams::reset();
    archive::library_archive().reopen(VEK_BINARY_DIR "/data/vek.bin");
    ASSERT_TRUE(archive::library_archive().ok());
  }
  void TearDown() override {
    seams::reset();
    intro::trace_close();
    std::filesystem::remove_all(folder_);
  }

  // RunIntro as the export runs it; returns its result.
  int run_intro() {
    platform::clock_reset();
    intro::trace_open();
    const int result = intro::RunIntro();
    intro::trace_close();
    return result;
  }
  std::vector<std::string> trace_lines() const {
    std::vector<std::string> lines;
    std::ifstream in(folder_ + "/trace");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::string folder_;
};

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Without the module the position is the module's nominal one, a row every 5 x 2500 / 116 ms from
// the start of the run, and every wait and hold still ends.
TEST_F(Run, WithoutTheModuleTheTimelineKeepsTheNominalTimingToTheEnd) {
  ASSERT_FALSE(platform::find_resource("RT_RCDATA", "super.xm"));
  ASSERT_EQ(run_intro(), 0);
  const std::vector<std::string> lines = trace_lines();
  ASSERT_FALSE(lines.empty());
  // Row 104 (order 1, row 40) comes at 11206.9 ms, so the logo holds until its frame at 11250 ms;
  // its fade-out of 36 frames of 50 ms ends at 13050 ms, past row 119 (order 1, row 55, at
  // 12823.3 ms), so the wait before the train ends at once, on row 121.1. Row 503 (order 7,
  // row 55) comes at 54202.6 ms.
  for (const char* line : {"11250 00010028 logo hold end 225", "13050 00010039 T2 end",
                           "54203 00070037 T5 end"})
    EXPECT_TRUE(contains(lines, line)) << line;
  std::vector<std::string> steps;
  for (const std::string& line : lines) {
    const std::string event = line.substr(line.find(' ', line.find(' ') + 1) + 1);
    if (event.size() > 3 && event[0] == 'T' && (event.substr(2) == " end")) steps.push_back(event);
  }
  const std::vector<std::string> all = {"T1 end", "T2 end", "T3 end", "T4 end",
                                        "T5 end", "T6 end", "T7 end"};
  EXPECT_EQ(steps, all);
  EXPECT_NE(lines.back().find(" fade end"), std::string::npos) << lines.back();
}

// Either frame surface failing: one message, nothing shown or played, and RunIntro returns 1.
TEST_F(Run, AFrameSurfaceThatCannotBeMadeEndsTheRunWithOne) {
  for (int which : {1, 2}) {
    SCOPED_TRACE(which == 1 ? "first surface" : "second surface");
    seams::failed_creation = which;
    const uint32_t shown = display::headless::last_frame().count;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_intro(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "display error: could not create surface\n");
    EXPECT_EQ(display::headless::last_frame().count, shown);
    EXPECT_TRUE(trace_lines().empty());
    EXPECT_EQ(intro::current_surface, nullptr);
  }
}

// The picture screens draw into the locked frame; a frame surface that refuses its lock is shown
// as it is, and the screen goes on.
TEST_F(Run, PictureFramesThatWillNotLockAreShownUnchanged) {
  platform::clock_reset();
  display::Console console;
  ASSERT_TRUE(console.open(320, 200, display::FUZZY32));
  FramePair frames(console);
  for (display::Surface* s : {&frames.first, &frames.second}) {
    auto* pixels = static_cast<uint32_t*>(s->lock());
    ASSERT_TRUE(pixels);
    std::fill(pixels, pixels + 320 * 200, 0x00808080u);
    s->unlock();
  }
  seams::refused_lock = &frames.first;
  seams::also_refused_lock = &frames.second;
  const uint32_t shown = display::headless::last_frame().count;
  intro::FinalFade();
  // All 36 frames of the fade are shown, none darkened.
  const display::headless::Frame frame = display::headless::last_frame();
  EXPECT_EQ(frame.count - shown, 36u);
  ASSERT_EQ(frame.pixels.size(), 320u * 200u);
  EXPECT_EQ(frame.pixels[100 * 320 + 160] & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(frame.pixels[196 * 320 + 316] & 0xFFFFFF, 0x808080u);
}

}  // namespace
