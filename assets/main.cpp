// vekassets: generates the intro's content - the music module and the members of "vek.bin" - from
// the code in this folder. Each kind of content has one generator; they run in the order below.
#include <cstdio>
#include <cstring>
#include <string>

#include <filesystem>
#include <system_error>

#include "assets/build.h"

namespace assets {
namespace {

struct Generator {
  const char* kind;
  bool (*run)(Build&);
};

const Generator kGenerators[] = {
    {"music", generate_music},
    {"pictures", generate_pictures},
    {"scenes", generate_scenes},
};

void usage(FILE* to) {
  std::fprintf(to,
               "usage: vekassets --out DIR [--module-source FILE.cpp]\n"
               "Writes the intro's generated content into DIR: SUPER.XM (the music module) and\n"
               "vek.bin (the data archive).\n"
               "  --out DIR                 folder for the data files (created if missing)\n"
               "  --module-source FILE.cpp  also write a C++ source embedding the module as the\n"
               "                            library resource \"RT_RCDATA\" / \"SUPER.XM\"\n"
               "  --help                    this text\n");
}

}  // namespace

}  // namespace assets

int main(int argc, char** argv) {
  assets::Build build;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help") {
      assets::usage(stdout);
      return 0;
    }
    if ((arg == "--out" || arg == "--module-source") && i + 1 < argc) {
      (arg == "--out" ? build.data_dir : build.module_source) = argv[++i];
      continue;
    }
    std::fprintf(stderr, "vekassets: unexpected argument '%s'\n", arg.c_str());
    assets::usage(stderr);
    return 2;
  }
  if (build.data_dir.empty()) {
    assets::usage(stderr);
    return 2;
  }
  std::error_code made;
  std::filesystem::create_directories(build.data_dir, made);
  if (made) {
    std::fprintf(stderr, "vekassets: cannot create %s: %s\n", build.data_dir.c_str(), made.message().c_str());
    return 1;
  }
  for (const assets::Generator& g : assets::kGenerators)
    if (!g.run(build)) {
      std::fprintf(stderr, "vekassets: %s failed\n", g.kind);
      return 1;
    }
  std::string error = archive::write_archive(build.data_dir + "/vek.bin", build.archive);
  if (!error.empty()) {
    std::fprintf(stderr, "vekassets: vek.bin: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
