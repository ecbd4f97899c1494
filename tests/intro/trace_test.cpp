// The timeline trace: line format, time origin, the music position beside each event, and a trace
// file that cannot be written.
#include "intro/trace.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "music/music.h"
#include "platform/platform.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The music is started without a module, so its position follows the module's nominal timing from
// clock 0: row floor(ms / (5 x 2500 / 116 ms)), 64 rows an order.
class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(VEK_BINARY_DIR) + "/trace_test_XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern.data()));
    folder_ = pattern;
    setenv("VEK_CLOCK", "virtual", 1);
    setenv("VEK_AUDIO", "none", 1);
    platform::clock_reset();
    music::music_init();
  }
  void TearDown() override {
    intro::trace_close();
    music::music_free();
    unsetenv("VEK_TRACE");
    std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

TEST_F(Trace, TimesCountFromTheOpenAndEachRunStartsAFreshFile) {
  const std::string path = folder_ + "/trace.txt";
  setenv("VEK_TRACE", path.c_str(), 1);
  // Clock 12824 ms is row 119.004 (order 1, row 55); 12829 ms still row 119. The second run opens
  // at 13529 ms, so its events fall at 25653 ms (row 238.06: order 3, row 46) and 25658 ms.
  const char* const expected[] = {"12124 00010037 T2 end\n12129 00010037 fade end\n",
                                  "12124 0003002e T2 end\n12129 0003002e fade end\n"};
  for (const char* lines : expected) {
    platform::sleep_ms(700);  // time before the run must not count
    intro::trace_open();
    platform::sleep_ms(12124);
    intro::trace_event("T%d end", 2);
    platform::sleep_ms(5);
    intro::trace_event("fade end");
    // Each line is on disk before the trace is closed: a fatal exit keeps what came before it.
    EXPECT_EQ(read_file(path), lines);
    intro::trace_close();
  }
}

TEST_F(Trace, AFileThatCannotBeWrittenIsReportedAndTheRunGoesOn) {
  const std::string path = folder_ + "/missing/trace.txt";
  setenv("VEK_TRACE", path.c_str(), 1);
  testing::internal::CaptureStderr();
  intro::trace_open();
  intro::trace_event("T1 start");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "trace: cannot write '" + path + "'\n");
}

}  // namespace
