#include "render/messages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// The failure case asks for an impossible block; the address sanitizer must answer null too,
// as the allocator does, instead of stopping the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

TEST(Messages, LogWritesAtOnceAndNoteStaysSilent) {
  testing::internal::CaptureStderr();
  render::Note("\nprogress %d", 1);
  render::Log("\nerror %s", "here");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nerror here");
}

TEST(Messages, TrackedCallocZeroFillsAndReportsFailures) {
  auto* block = static_cast<unsigned char*>(render::TrackedCalloc(8, 100, "table", __FILE__, __LINE__));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 800; ++i) ASSERT_EQ(block[i], 0) << i;
  render::TrackedFree(block, __FILE__, __LINE__);
  render::TrackedFree(nullptr, __FILE__, __LINE__);

  testing::internal::CaptureStderr();
  void* huge = render::TrackedCalloc(SIZE_MAX / 2, 4, "face_sort_table[]", "sort.cpp", 42);
  EXPECT_EQ(huge, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n memory callocation error: face_sort_table[], file: sort.cpp, line: 42");
}

}  // namespace
