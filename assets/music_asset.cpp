// The music generator: the module file and its resource source.
#include <cstdio>

#include "assets/build.h"
#include "assets/piece.h"

namespace assets {

bool generate_music(Build& build) {
  XmModule module;
  std::string error;
  std::vector<uint8_t> bytes;
  if (make_piece(&module, &error)) bytes = write_xm(module, &error);
  if (bytes.empty()) {
    std::fprintf(stderr, "vekassets: music: %s\n", error.c_str());
    return false;
  }
  if (!write_file(build.data_dir + "/SUPER.XM", bytes)) return false;
  return build.module_source.empty() ||
         write_resource_source(build.module_source, "RT_RCDATA", "SUPER.XM", bytes);
}

}  // namespace assets
