// The host on Linux: the intro library is libvekintro.so, loaded with dlopen from beside the host
// or, installed, from lib/glimmerfrost next to the host's bin folder.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "host/host.h"

namespace host {
namespace {

const char kLibraryName[] = "libvekintro.so";
const char kExportName[] = "StartVekIntro";

const Option kOptions[] = {
    {"--headless", nullptr, "VEK_CONSOLE", "headless", "no window: frames stay in memory"},
    {"--capture", "PATH", "VEK_CAPTURE", nullptr,
     "headless: PNG frames and WAV audio into folder PATH (a PATH ending in .mp4: one video)",
     true},
    {"--fullscreen", nullptr, "VEK_FULLSCREEN", "1", "take over the screen instead of a window"},
    {"--virtual-clock", nullptr, "VEK_CLOCK", "virtual",
     "time moves only when the intro waits (fast, repeatable)"},
    {"--keys", "LIST", "VEK_KEYS", nullptr,
     "headless: scripted keys, comma-separated ms:code (2000:27 = escape)"},
    {"--trace", "FILE", "VEK_TRACE", nullptr,
     "write the timeline (clock ms, music position, event)", true},
    {"--data", "DIR", nullptr, nullptr, "the folder holding vek.bin (default: see above)", true},
    {"--library", "PATH", nullptr, nullptr,
     "the intro library (default: beside vekintro, else ../lib/glimmerfrost)", true},
};

}  // namespace

OptionList options() { return {kOptions, std::size(kOptions)}; }

void set_variable(const char* name, const char* value) { setenv(name, value, 1); }

std::string executable_folder() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  exe[n] = '\0';
  std::string path(exe);
  return path.substr(0, path.rfind('/'));
}

std::string default_library_path() {
  const std::string folder = executable_folder();
  if (folder.empty()) return kLibraryName;
  const std::string beside = folder + "/" + kLibraryName;
  const std::string installed = folder + "/../lib/glimmerfrost/" + kLibraryName;
  return access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0 ? installed
                                                                                     : beside;
}

int play(const std::string& library) {
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "vekintro: cannot load the intro library: %s\n", dlerror());
    return kLoadError;
  }
  using StartFunction = int (*)(int);
  auto start = reinterpret_cast<StartFunction>(dlsym(handle, kExportName));
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
