// Message boxes, process exit, the foreground window and threads on Windows.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace {

std::atomic<void (*)(const char*, const char*)> message_box_hook{nullptr};

// Each caller's box has its own buttons and icon; the caption tells which box it is.
struct BoxStyle {
  const char* caption;
  UINT type;
};
const BoxStyle box_styles[] = {
    {"Glimmerfrost intro", MB_OKCANCEL},
    {"display error", MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST},
    {"Fatal music player error!", MB_ICONERROR},
};
static_assert((MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST) == 0x00050010, "display error box");

UINT box_type(const char* caption) {
  for (const BoxStyle& style : box_styles)
    if (std::strcmp(style.caption, caption) == 0) return style.type;
  return MB_OK;
}

// VEK_DIALOGS=none: the text goes to standard error only, so unattended runs never block.
bool dialogs_wanted() {
  const char* dialogs = std::getenv("VEK_DIALOGS");
  return !(dialogs && std::strcmp(dialogs, "none") == 0);
}

}  // namespace

void message_box(const char* text, const char* caption) {
  text = text ? text : "";
  caption = caption ? caption : "";
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);
  if (auto show = message_box_hook.load()) {
    show(text, caption);
    return;
  }
  if (dialogs_wanted()) MessageBoxA(nullptr, text, caption, box_type(caption));
}

void set_message_box_hook(void (*show)(const char* text, const char* caption)) {
  message_box_hook.store(show);
}

void exit_process(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}

void* foreground_window() { return GetForegroundWindow(); }

// The console's window comes to the foreground by itself when its thread shows it.
void set_foreground_window(void*) {}

std::thread start_thread(std::function<void()> body) { return std::thread(std::move(body)); }

}  // namespace platform
