// The host on Windows: the intro library is vekintro.dll, loaded with LoadLibrary; its export is
// the stdcall "_StartVekIntro@4".
#include "host/host.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

namespace host {
namespace {

const char kLibraryName[] = "vekintro.dll";
const char kExportName[] = "_StartVekIntro@4";

const Option kOptions[] = {
    {"--windowed", nullptr, "VEK_WINDOWED", "1", "a desktop window (GDI) instead of fullscreen"},
    {"--virtual-clock", nullptr, "VEK_CLOCK", "virtual",
     "time moves only when the intro waits (fast, repeatable)"},
    {"--no-dialogs", nullptr, "VEK_DIALOGS", "none", "messages go to standard error only"},
    {"--trace", "FILE", "VEK_TRACE", nullptr,
     "write the timeline (clock ms, music position, event)", true},
    {"--data", "DIR", nullptr, nullptr, "the folder holding vek.bin (default: see above)", true},
    {"--library", "PATH", nullptr, nullptr, "the intro library (default: beside vekintro.exe)",
     true},
};

}  // namespace

OptionList options() { return {kOptions, std::size(kOptions)}; }

void set_variable(const char* name, const char* value) { _putenv_s(name, value); }

std::string executable_folder() {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) return "";
  std::string path(exe, n);
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string default_library_path() {
  const std::string folder = executable_folder();
  return folder.empty() ? kLibraryName : folder + "\\" + kLibraryName;
}

int play(const std::string& library) {
  HMODULE handle = LoadLibraryA(library.c_str());
  if (!handle) {
    std::fprintf(stderr, "vekintro: cannot load the intro library %s (error %lu)\n",
                 library.c_str(), GetLastError());
    return kLoadError;
  }
  using StartFunction = int(__stdcall*)(int);
  auto start =
      reinterpret_cast<StartFunction>(reinterpret_cast<void*>(GetProcAddress(handle, kExportName)));
  if (!start) {
    std::fprintf(stderr, "vekintro: %s has no export %s\n", library.c_str(), kExportName);
    return kLoadError;
  }
  if (start(0) != 1) {
    std::fprintf(stderr, "vekintro: the intro did not finish\n");
    return kIntroFailed;
  }
  return kPlayed;
}

}  // namespace host
