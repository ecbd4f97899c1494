// The renderer's two message channels and its tracked allocator.
// Messages are printf-style and begin with a line break rather than end with one.
#pragma once

#include <cstddef>

namespace render {

// Progress and set-up problems. Silent unless VEK_VERBOSE=1, when it writes to standard error.
void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Errors: standard error, flushed at once so the message survives a crash that follows.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Zero-filled n x size bytes; on failure logs the description with the caller's module and line
// and returns null. Never aborts: every caller tests the result.
void* TrackedCalloc(size_t n, size_t size, const char* description, const char* module, int line);
// Frees a block from TrackedCalloc; null is ignored.
void TrackedFree(void* block, const char* module, int line);

}  // namespace render
