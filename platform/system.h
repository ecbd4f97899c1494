// What the common platform code asks of the operating system: one file per system implements these
// (posix/, win32/).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// Milliseconds of a monotonic tick counter that wraps at 32 bits; only differences are used.
uint32_t system_ms();
void system_sleep(uint32_t ms);
// A resource stored in the library's image by the system's own resource compiler, or empty.
Resource system_resource(const char* type, const char* name);

}  // namespace platform
