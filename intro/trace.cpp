// The timeline trace file.
#include "intro/trace.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "music/music.h"
#include "platform/platform.h"

namespace intro {
namespace {

FILE* trace_file = nullptr;
uint32_t trace_origin = 0;

}  // namespace

void trace_open() {
  trace_close();
  const char* path = std::getenv("VEK_TRACE");
  if (!path || !*path) return;
  trace_file = std::fopen(path, "w");
  if (!trace_file) {
    std::fprintf(stderr, "trace: cannot write '%s'\n", path);
    return;
  }
  trace_origin = platform::clock_ms();
}

void trace_close() {
  if (trace_file) std::fclose(trace_file);
  trace_file = nullptr;
}

void trace_event(const char* format, ...) {
  if (!trace_file) return;
  uint32_t ms = platform::clock_ms() - trace_origin;
  std::fprintf(trace_file, "%u %08x ", static_cast<unsigned>(ms),
               static_cast<unsigned>(music::music_position()));
  va_list args;
  va_start(args, format);
  std::vfprintf(trace_file, format, args);
  va_end(args);
  std::fputc('\n', trace_file);
  std::fflush(trace_file);
}

}  // namespace intro
