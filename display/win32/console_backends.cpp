// The console back ends of Windows. The DirectDraw and GDI back ends are still to be written; until
// they come first in this list, a console on Windows does not open.
#include <iterator>

#include "display/console_base.h"

namespace display {
namespace {

const BackendEntry backends[] = {
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
    {"placeholder", always_chosen, create_placeholder},
};

}  // namespace

BackendList console_backends() { return BackendList{backends, std::size(backends)}; }

}  // namespace display
