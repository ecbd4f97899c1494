// The multimedia timer, Sleep and the library's resources on Windows.
#include "platform/system.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <atomic>
#include <mutex>

#include "platform/win32/module.h"

namespace platform {
namespace {

std::atomic<HMODULE> stored_module{nullptr};

// The module that contains this function: the library when linked into it, else the program.
HMODULE own_module() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&own_module), &module);
  return module;
}

// The timer ticks every 10-16 ms unless asked for more; the frames are paced in whole milliseconds.
// Asked on first use, not at load, since the loader's lock is held while the library initialises.
void fine_timer() {
  static std::once_flag asked;
  std::call_once(asked, [] { timeBeginPeriod(1); });
}

}  // namespace

void set_module_handle(HMODULE module) { stored_module.store(module); }

HMODULE module_handle() {
  HMODULE module = stored_module.load();
  return module ? module : own_module();
}

uint32_t system_ms() {
  fine_timer();
  return timeGetTime();
}

void system_sleep(uint32_t ms) {
  fine_timer();
  Sleep(ms);
}

// The type is a name ("RT_RCDATA" as a string, not the numeric type), as is the entry's name.
Resource system_resource(const char* type, const char* name) {
  HMODULE module = module_handle();
  HRSRC found = FindResourceA(module, name, type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return {};
  return Resource{static_cast<const unsigned char*>(data), SizeofResource(module, found)};
}

}  // namespace platform
