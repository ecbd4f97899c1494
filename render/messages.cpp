#include "render/messages.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace render {
namespace {

bool verbose() {
  static const bool on = [] {
    const char* v = std::getenv("VEK_VERBOSE");
    return v && std::strcmp(v, "1") == 0;
  }();
  return on;
}

void write_error(const char* format, va_list args) {
  std::vfprintf(stderr, format, args);
  std::fflush(stderr);
}

}  // namespace

void Note(const char* format, ...) {
  if (!verbose()) return;
  va_list args;
  va_start(args, format);
  write_error(format, args);
  va_end(args);
}

void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  write_error(format, args);
  va_end(args);
}

void* TrackedCalloc(size_t n, size_t size, const char* description, const char* module, int line) {
  // calloc checks n x size for overflow itself; a zero-sized request still yields a block to free.
  void* block = std::calloc(n ? n : 1, size ? size : 1);
  if (!block) Log("\n memory callocation error: %s, file: %s, line: %d", description, module, line);
  return block;
}

void TrackedFree(void* block, const char*, int) { std::free(block); }

}  // namespace render
