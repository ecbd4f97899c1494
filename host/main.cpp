// vekintro: the host program. Loads the intro library at run time, calls its one export and exits.
// Options only choose the platform set-up (window or headless, capture, clock, scripted keys,
// trace); they reach the library through environment variables set before it is loaded, because the
// library reads its set-up when it starts and takes no settings through the export.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/host.h"

namespace {

using host::Option;

void print_usage(FILE* out) {
  std::fprintf(out,
               "usage: vekintro [OPTION...]\n"
               "Plays the Glimmerfrost intro. The data archive vek.bin is read from the current\n"
               "directory.\n\noptions:\n");
  for (const Option& o : host::options()) {
    std::string left = std::string(o.name) + (o.argument ? std::string(" ") + o.argument : "");
    std::fprintf(out, "  %-18s %s\n", left.c_str(), o.help);
  }
  std::fprintf(out, "  %-18s %s\n", "--help", "show this text");
  std::fprintf(out,
               "\nexit status: 0 when the intro has played; 1 when vek.bin or the display is\n"
               "missing (the intro's own message says which); %d for a usage error; %d when the\n"
               "library cannot be loaded; %d when its export reports anything but success.\n",
               host::kUsageError, host::kLoadError, host::kIntroFailed);
}

const Option* find_option(const char* name) {
  for (const Option& o : host::options())
    if (std::strcmp(o.name, name) == 0) return &o;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = host::default_library_path();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      print_usage(stdout);
      return host::kPlayed;
    }
    const Option* option = find_option(argv[i]);
    if (!option) {
      std::fprintf(stderr, "vekintro: unknown option '%s' (try --help)\n", argv[i]);
      return host::kUsageError;
    }
    const char* value = option->value;
    if (option->argument) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vekintro: %s needs %s\n", option->name, option->argument);
        return host::kUsageError;
      }
      value = argv[++i];
    }
    if (option->variable)
      host::set_variable(option->variable, value);
    else
      library = value;
  }
  return host::play(library);
}
