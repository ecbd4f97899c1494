// vekintro: the host program. Finds the data archive, loads the intro library at run time, calls its
// one export and exits. Options only choose the platform set-up (window or headless, capture, clock,
// scripted keys, trace) and where the data and the library are; the set-up reaches the library
// through environment variables set before it is loaded, because the library reads it when it starts
// and takes no settings through the export.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/host.h"

namespace {

namespace fs = std::filesystem;
using host::Option;

constexpr char kArchive[] = "vek.bin";

// Data installed with the program: relative to the executable first, so an unpacked package uses
// its own data wherever it lies, then the folder the build was configured to install to.
std::vector<fs::path> installed_data_folders(const fs::path& executable_folder) {
  std::vector<fs::path> folders;
  if (!executable_folder.empty())
    folders.push_back((executable_folder / ".." / "share" / "glimmerfrost").lexically_normal());
#ifdef VEK_INSTALLED_DATA
  folders.push_back(VEK_INSTALLED_DATA);
#endif
  return folders;
}

void print_usage(FILE* out) {
  std::fprintf(out,
               "usage: vekintro [OPTION...]\n"
               "Plays the Glimmerfrost intro. It runs in the folder of its data archive vek.bin:\n"
               "the folder --data names, else the current folder when vek.bin is there, else the\n"
               "folder of vekintro itself, else the installed data folder");
  for (const fs::path& folder : installed_data_folders(host::executable_folder()))
    std::fprintf(out, "\n  %s", folder.string().c_str());
  std::fprintf(out, "\n\noptions:\n");
  for (const Option& o : host::options()) {
    std::string left = std::string(o.name) + (o.argument ? std::string(" ") + o.argument : "");
    std::fprintf(out, "  %-18s %s\n", left.c_str(), o.help);
  }
  std::fprintf(out, "  %-18s %s\n", "--help", "show this text");
  std::fprintf(out,
               "\nexit status: 0 when the intro has played; 1 when vek.bin or the display is\n"
               "missing (the intro's own message says which; also when --data names a folder\n"
               "without vek.bin); %d for a usage error; %d when the library cannot be loaded; %d\n"
               "when its export reports anything but success.\n",
               host::kUsageError, host::kLoadError, host::kIntroFailed);
}

const Option* find_option(const char* name) {
  for (const Option& o : host::options())
    if (std::strcmp(o.name, name) == 0) return &o;
  return nullptr;
}

bool has_archive(const fs::path& folder) {
  std::error_code ignored;
  return fs::is_regular_file(folder / kArchive, ignored);
}

// The folder to run in: `named` (from --data) if given, else the first of the current folder, the
// executable's folder and the installed data folders that holds vek.bin. Without any, the current
// folder, where the intro then reports the missing archive itself.
fs::path data_folder(const std::string& named) {
  if (!named.empty()) return named;
  const fs::path executable = host::executable_folder();
  const std::vector<fs::path> installed = installed_data_folders(executable);
  if (has_archive(".")) return ".";
  if (!executable.empty() && has_archive(executable)) return executable;
  for (const fs::path& folder : installed)
    if (has_archive(folder)) return folder;
  std::fprintf(stderr, "vekintro: no %s in the current folder, beside vekintro or in", kArchive);
  for (size_t i = 0; i < installed.size(); ++i)
    std::fprintf(stderr, "%s %s", i > 0 ? " or" : "", installed[i].string().c_str());
  std::fprintf(stderr, "; --data DIR names its folder\n");
  return ".";
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = host::default_library_path();
  std::string data;
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
    std::string value = option->value ? option->value : "";
    if (option->argument) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vekintro: %s needs %s\n", option->name, option->argument);
        return host::kUsageError;
      }
      value = argv[++i];
      // Paths given on the command line mean what they mean in the folder the host started in.
      std::error_code ignored;
      if (option->path && !value.empty()) value = fs::absolute(value, ignored).string();
    }
    if (option->variable)
      host::set_variable(option->variable, value.c_str());
    else if (std::strcmp(option->name, "--data") == 0)
      data = value;
    else
      library = value;
  }

  if (!data.empty() && !has_archive(data)) {
    std::fprintf(stderr, "vekintro: --data %s: no %s in that folder\n", data.c_str(), kArchive);
    return host::kNoArchive;
  }
  // The library opens vek.bin by its relative name when it is loaded.
  const fs::path folder = data_folder(data);
  std::error_code failed;
  fs::current_path(folder, failed);
  if (failed) {
    std::fprintf(stderr, "vekintro: cannot change into %s: %s\n", folder.string().c_str(),
                 failed.message().c_str());
    return host::kNoArchive;
  }
  return host::play(library);
}
