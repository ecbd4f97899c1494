// The timeline trace: line format, time origin, and runs without a usable trace file.
#include "intro/trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

std::string expected_line(unsigned ms, const char* event) {
  char line[128];
  std::snprintf(line, sizeof line, "%u %08x %s\n", ms, music::music_position(), event);
  return line;
}

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VEK_CLOCK", "virtual", 1);
    platform::clock_reset();
  }
  void TearDown() override {
    intro::trace_close();
    unsetenv("VEK_TRACE");
    std::remove(path_.c_str());
  }
  const std::string path_ = std::string(VEK_BINARY_DIR) + "/trace_test.txt";
};

TEST_F(Trace, TimesCountFromTheOpenAndEachRunStartsAFreshFile) {
  setenv("VEK_TRACE", path_.c_str(), 1);
  for (int run = 0; run < 2; ++run) {
    platform::sleep_ms(700);  // time before the run must not count
    intro::trace_open();
    platform::sleep_ms(12823);
    std::string expected = expected_line(12823, "T2 end");
    intro::trace_event("T%d end", 2);
    platform::sleep_ms(5);
    expected += expected_line(12828, "fade end");
    intro::trace_event("fade end");
    // Each line is on disk before the trace is closed: a fatal exit keeps what came before it.
    EXPECT_EQ(read_file(path_), expected) << "run " << run;
    intro::trace_close();
  }
}

TEST_F(Trace, WithoutAUsableFileEventsAreDropped) {
  for (const char* path : {static_cast<const char*>(nullptr), "", "/nonexistent-dir/trace.txt"}) {
    if (path)
      setenv("VEK_TRACE", path, 1);
    else
      unsetenv("VEK_TRACE");
    intro::trace_open();
    intro::trace_event("T1 start");
    intro::trace_close();
  }
  std::ifstream none("/nonexistent-dir/trace.txt");
  EXPECT_FALSE(none.good());
}

}  // namespace
