// The module whose resources the intro reads: the library, as its entry routine reports it.
#pragma once

#include <windows.h>

namespace platform {

void set_module_handle(HMODULE module);
// The stored handle; before the entry routine has run, the module that holds this code.
HMODULE module_handle();

}  // namespace platform
