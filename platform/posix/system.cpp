// The clock ticks and the sleep of a POSIX system; its resources are only those compiled in as
// code, which the common registry keeps.
#include "platform/system.h"

#include <chrono>
#include <thread>

namespace platform {

uint32_t system_ms() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void system_sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Resource system_resource(const char*, const char*) { return {}; }

}  // namespace platform
