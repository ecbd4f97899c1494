// vekintro: the host program. Loads the intro library at run time, calls its one export and exits.
// Options only choose the platform set-up (window or headless, capture, clock, scripted keys, trace);
// they reach the library through environment variables set before it is loaded, because the library
// reads its set-up when it starts and takes no settings through the export.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Exit statuses of the host itself; the intro's fatal paths end the process with their own (1 or 0).
constexpr int kPlayed = 0;
constexpr int kUsageError = 2;
constexpr int kLoadError = 3;
constexpr int kIntroFailed = 4;

const char kLibraryName[] = "libvekintro.so";
const char kExportName[] = "StartVekIntro";

// One option: either it sets an environment variable (to a fixed value, or to its argument when
// `value` is null), or it names the library (`variable` null).
struct Option {
  const char* name;
  const char* argument;  // shown in the usage text; null for a switch
  const char* variable;
  const char* value;
  const char* help;
};

const Option kOptions[] = {
    {"--headless", nullptr, "VEK_CONSOLE", "headless", "no window: frames stay in memory"},
    {"--capture", "PATH", "VEK_CAPTURE", nullptr,
     "headless: PNG frames and WAV audio into folder PATH (a PATH ending in .mp4: one video)"},
    {"--fullscreen", nullptr, "VEK_FULLSCREEN", "1", "take over the screen instead of a window"},
    {"--virtual-clock", nullptr, "VEK_CLOCK", "virtual",
     "time moves only when the intro waits (fast, repeatable)"},
    {"--keys", "LIST", "VEK_KEYS", nullptr,
     "headless: scripted keys, comma-separated ms:code (2000:27 = escape)"},
    {"--trace", "FILE", "VEK_TRACE", nullptr,
     "write the timeline (clock ms, music position, event)"},
    {"--library", "PATH", nullptr, nullptr, "the intro library (default: beside vekintro)"},
};

void print_usage(FILE* out) {
  std::fprintf(out,
               "usage: vekintro [OPTION...]\n"
               "Plays the Glimmerfrost intro. The data archive vek.bin is read from the current\n"
               "directory.\n\noptions:\n");
  for (const Option& o : kOptions) {
    std::string left = std::string(o.name) + (o.argument ? std::string(" ") + o.argument : "");
    std::fprintf(out, "  %-18s %s\n", left.c_str(), o.help);
  }
  std::fprintf(out, "  %-18s %s\n", "--help", "show this text");
  std::fprintf(out,
               "\nexit status: 0 when the intro has played; 1 when vek.bin or the display is\n"
               "missing (the intro's own message says which); %d for a usage error; %d when the\n"
               "library cannot be loaded; %d when its export reports anything but success.\n",
               kUsageError, kLoadError, kIntroFailed);
}

const Option* find_option(const char* name) {
  for (const Option& o : kOptions)
    if (std::strcmp(o.name, name) == 0) return &o;
  return nullptr;
}

// The library beside the executable, so the host works from any current directory.
std::string default_library_path() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return kLibraryName;
  exe[n] = '\0';
  std::string path(exe);
  size_t slash = path.rfind('/');
  return path.substr(0, slash + 1) + kLibraryName;
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = default_library_path();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      print_usage(stdout);
      return kPlayed;
    }
    const Option* option = find_option(argv[i]);
    if (!option) {
      std::fprintf(stderr, "vekintro: unknown option '%s' (try --help)\n", argv[i]);
      return kUsageError;
    }
    const char* value = option->value;
    if (option->argument) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vekintro: %s needs %s\n", option->name, option->argument);
        return kUsageError;
      }
      value = argv[++i];
    }
    if (option->variable)
      setenv(option->variable, value, 1);
    else
      library = value;
  }

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
  // The library stays loaded until the process ends, so its archive is closed by the exit routines
  // exactly as on the intro's own fatal paths.
  if (start(0) != 1) {
    std::fprintf(stderr, "vekintro: the intro did not finish\n");
    return kIntroFailed;
  }
  return kPlayed;
}
