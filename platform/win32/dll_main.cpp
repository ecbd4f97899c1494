// The library's entry routine. It only stores the module handle, for the resource lookups; the
// archive is opened by the library's static initialisation, which the runtime runs before this.
#include <windows.h>

#include "platform/win32/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
  platform::set_module_handle(module);
  return TRUE;
}
