// The console back ends of a desktop Linux: an SDL window unless a headless run is asked for with
// VEK_CONSOLE=headless, then the placeholders.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "display/console_base.h"
#include "display/headless/headless_console.h"
#include "display/sdl/sdl_console.h"

namespace display {
namespace {

bool headless_chosen() {
  const char* choice = std::getenv("VEK_CONSOLE");
  return choice && std::strcmp(choice, "headless") == 0;
}

bool window_chosen() { return !headless_chosen(); }

ConsoleImpl* create_window() { return new sdl::SdlConsole; }
ConsoleImpl* create_headless() { return new headless::HeadlessConsole; }

const BackendEntry backends[] = {
    {"SDL", window_chosen, create_window},
    {"headless", headless_chosen, create_headless},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
};

}  // namespace

BackendList console_backends() { return BackendList{backends, std::size(backends)}; }

}  // namespace display
