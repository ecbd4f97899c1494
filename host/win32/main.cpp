// vekintro.exe: the Windows host program. Loads vekintro.dll at run time, calls its export
// "_StartVekIntro@4" and exits. Options choose the platform set-up through environment variables
// that the library reads when it starts; they never change the intro.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kPlayed = 0;
constexpr int kUsageError = 2;
constexpr int kLoadError = 3;
constexpr int kIntroFailed = 4;

const char kLibraryName[] = "vekintro.dll";
const char kExportName[] = "_StartVekIntro@4";

struct Option {
  const char* name;
  const char* argument;  // shown in the usage text; null for a switch
  const char* variable;  // null: the option names the library
  const char* value;     // null: the argument is the value
  const char* help;
};

const Option kOptions[] = {
    {"--windowed", nullptr, "VEK_WINDOWED", "1", "a desktop window (GDI) instead of fullscreen"},
    {"--virtual-clock", nullptr, "VEK_CLOCK", "virtual",
     "time moves only when the intro waits (fast, repeatable)"},
    {"--no-dialogs", nullptr, "VEK_DIALOGS", "none", "messages go to standard error only"},
    {"--trace", "FILE", "VEK_TRACE", nullptr, "write the timeline (clock ms, music position, event)"},
    {"--library", "PATH", nullptr, nullptr, "the intro library (default: beside vekintro.exe)"},
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
               "\nexit status: 0 when the intro has played or its window was closed; 1 when vek.bin\n"
               "or the display is missing; %d for a usage error; %d when the library cannot be\n"
               "loaded; %d when its export reports anything but success.\n",
               kUsageError, kLoadError, kIntroFailed);
}

const Option* find_option(const char* name) {
  for (const Option& o : kOptions)
    if (std::strcmp(o.name, name) == 0) return &o;
  return nullptr;
}

// The library beside the executable, so the host works from any current directory.
std::string default_library_path() {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) return kLibraryName;
  std::string path(exe, n);
  size_t slash = path.find_last_of("\\/");
  return path.substr(0, slash == std::string::npos ? 0 : slash + 1) + kLibraryName;
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
      SetEnvironmentVariableA(option->variable, value), _putenv_s(option->variable, value);
    else
      library = value;
  }

  HMODULE handle = LoadLibraryA(library.c_str());
  if (!handle) {
    std::fprintf(stderr, "vekintro: cannot load the intro library %s (error %lu)\n", library.c_str(),
                 GetLastError());
    return kLoadError;
  }
  using StartFunction = int(__stdcall*)(int);
  auto start = reinterpret_cast<StartFunction>(reinterpret_cast<void*>(GetProcAddress(handle, kExportName)));
  if (!start) {
    std::fprintf(stderr, "vekintro: %s has no export %s\n", library.c_str(), kExportName);
    return kLoadError;
  }
  // The library stays loaded until the process ends, so its archive is closed by the exit routines.
  if (start(0) != 1) {
    std::fprintf(stderr, "vekintro: the intro did not finish\n");
    return kIntroFailed;
  }
  return kPlayed;
}
