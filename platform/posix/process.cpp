// Message box, process exit, foreground window and threads on a POSIX system.
#include "platform/platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
std::atomic<void (*)(const char*, const char*)> message_box_hook{nullptr};
std::atomic<void*> foreground{nullptr};
}  // namespace

void message_box(const char* text, const char* caption) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  if (auto show = message_box_hook.load()) show(text ? text : "", caption ? caption : "");
}

void set_message_box_hook(void (*show)(const char* text, const char* caption)) {
  message_box_hook.store(show);
}

void exit_process(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}

void* foreground_window() { return foreground.load(); }
void set_foreground_window(void* window) { foreground.store(window); }

std::thread start_thread(std::function<void()> body) { return std::thread(std::move(body)); }

}  // namespace platform
