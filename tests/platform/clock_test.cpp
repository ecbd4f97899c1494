#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

namespace {

class VirtualClock : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VEK_CLOCK", "virtual", 1);
    platform::clock_reset();
  }
};

TEST_F(VirtualClock, AdvancesOnlyWhenWaiting) {
  ASSERT_TRUE(platform::clock_is_virtual());
  EXPECT_EQ(platform::clock_ms(), 0u);
  EXPECT_EQ(platform::clock_ms(), 0u);

  platform::wait_until(30);
  EXPECT_EQ(platform::clock_ms(), 30u);
  platform::wait_until(10);  // a deadline in the past returns at once
  EXPECT_EQ(platform::clock_ms(), 30u);

  platform::sleep_ms(50);
  EXPECT_EQ(platform::clock_ms(), 80u);
  for (int i = 0; i < 5; ++i) platform::poll_step();
  EXPECT_EQ(platform::clock_ms(), 85u);
}

TEST_F(VirtualClock, DeadlinesCompareAcrossWrapAround) {
  platform::sleep_ms(0xFFFFFFF0u);
  platform::wait_until(0x10);  // 32 ms later, after the counter wrapped
  EXPECT_EQ(platform::clock_ms(), 0x10u);
}

TEST_F(VirtualClock, OtherThreadsWaitForTheOwner) {
  std::atomic<bool> woke{false};
  std::thread sleeper = platform::start_thread([&] {
    platform::sleep_ms(20);
    woke = true;
  });
  // The sleeper cannot move time itself; it wakes only once the owner's waits have passed its
  // deadline (how far past depends on scheduling, so only the lower bound is checked).
  while (!woke) platform::poll_step();
  sleeper.join();
  EXPECT_GE(platform::clock_ms(), 20u);
}

// The real clock's waits sleep most of the way; whatever the sleeps overrun or fall short by, a wait
// never returns before its deadline.
TEST(RealClock, WaitsNeverReturnBeforeTheirDeadline) {
  unsetenv("VEK_CLOCK");
  platform::clock_reset();
  ASSERT_FALSE(platform::clock_is_virtual());
  for (uint32_t ahead : {0u, 1u, 2u, 3u, 7u, 25u}) {
    const uint32_t deadline = platform::clock_ms() + ahead;
    platform::wait_until(deadline);
    EXPECT_GE(static_cast<int32_t>(platform::clock_ms() - deadline), 0) << ahead << " ms ahead";
  }
  setenv("VEK_CLOCK", "virtual", 1);
  platform::clock_reset();
}

TEST(Resources, FoundByTypeAndNameWithoutRegardToCase) {
  static const unsigned char bytes[] = {1, 2, 3};
  static platform::ResourceRegistration reg("RT_RCDATA", "TEST.BIN", bytes, sizeof bytes);
  platform::Resource r = platform::find_resource("rt_rcdata", "test.bin");
  ASSERT_TRUE(r);
  EXPECT_EQ(r.data, bytes);
  EXPECT_EQ(r.size, 3u);
  EXPECT_FALSE(platform::find_resource("RT_RCDATA", "TEST.BI"));
  EXPECT_FALSE(platform::find_resource("RT_ICON", "TEST.BIN"));
}

TEST(MessageBox, WritesCaptionAndTextToStandardError) {
  testing::internal::CaptureStderr();
  platform::message_box("I need a file", "caption");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "caption: I need a file\n");
}

}  // namespace
