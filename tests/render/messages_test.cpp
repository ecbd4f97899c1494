#include "render/messages.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The failure case asks for an impossible block; the address sanitizer must answer null too,
// as the allocator does, instead of stopping the process.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

// What a child process writes to standard error when it runs `body` with VEK_VERBOSE as given
// (null: unset) and a fully buffered standard error, then ends at once without flushing anything:
// only what was flushed by then reaches the pipe.
std::string ChildStderr(const char* verbose, void (*body)()) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return "pipe failed";
  std::fflush(stderr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_ends[1], 2);
    close(pipe_ends[0]);
    static char buffer[4096];
    std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
    if (verbose) setenv("VEK_VERBOSE", verbose, 1);
    else unsetenv("VEK_VERBOSE");
    body();
    _exit(0);
  }
  close(pipe_ends[1]);
  std::string text;
  char chunk[256];
  for (ssize_t got; (got = read(pipe_ends[0], chunk, sizeof chunk)) > 0;) text.append(chunk, got);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return text;
}

void NoteThenLog() {
  render::Note("\nprogress %d", 1);
  render::Log("\nerror %s", "here");
}

TEST(Messages, LogIsFlushedAtOnceAndNoteWritesOnlyWhenVerbose) {
  EXPECT_EQ(ChildStderr(nullptr, NoteThenLog), "\nerror here");
  EXPECT_EQ(ChildStderr("0", NoteThenLog), "\nerror here");
  EXPECT_EQ(ChildStderr("1", NoteThenLog), "\nprogress 1\nerror here");
}

TEST(Messages, TrackedCallocReportsFailures) {
  render::TrackedFree(nullptr, __FILE__, __LINE__);
  testing::internal::CaptureStderr();
  void* huge = render::TrackedCalloc(SIZE_MAX / 2, 4, "face_sort_table[]", "sort.cpp", 42);
  EXPECT_EQ(huge, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n memory callocation error: face_sort_table[], file: sort.cpp, line: 42");
}

}  // namespace
