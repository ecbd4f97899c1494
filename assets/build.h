// What the asset builder's generators share: where to write, and the members of "vek.bin" that
// each generator adds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/writer.h"

namespace assets {

struct Build {
  std::string data_dir;        // the files the intro reads at run time
  std::string module_source;   // C++ file embedding the module as a resource; empty for none
  // Members of "vek.bin", written after every generator has run. The intro looks members up by
  // file name alone, so a generator adds e.g. {"vek.tga", bytes} for "tex\\vek.tga".
  std::vector<archive::MemberFile> archive;
};

// Each writes its kind of content into the build; false after printing why to standard error.
bool generate_music(Build& build);
bool generate_pictures(Build& build);
// Textures, the flare sprite, "train.3ds" and "hut2.3ds".
bool generate_scenes(Build& build);

// Helpers for the generators.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
// A C++ source that registers the bytes as a resource of the library (type, name) at load time.
bool write_resource_source(const std::string& path, const char* type, const char* name,
                           const std::vector<uint8_t>& bytes);

}  // namespace assets
