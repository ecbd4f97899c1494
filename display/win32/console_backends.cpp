// The console back ends of Windows, in the order they are tried: DirectDraw (exclusive fullscreen),
// GDI (a desktop window), then the placeholders. VEK_WINDOWED=1 asks for a window, so DirectDraw is
// passed over.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "display/console_base.h"

namespace display {
namespace win32 {
ConsoleImpl* create_directx_console();  // directx_console.cpp
ConsoleImpl* create_gdi_console();      // gdi_console.cpp
}  // namespace win32

namespace {

bool fullscreen_allowed() {
  const char* windowed = std::getenv("VEK_WINDOWED");
  return !(windowed && std::strcmp(windowed, "1") == 0);
}

const BackendEntry backends[] = {
    {"DirectX", fullscreen_allowed, win32::create_directx_console},
    {"GDI", always_chosen, win32::create_gdi_console},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
};

}  // namespace

BackendList console_backends() { return BackendList{backends, std::size(backends)}; }

}  // namespace display
