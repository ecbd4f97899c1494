// Resources compiled into the library: a registry filled by static ResourceRegistration objects.
#include "platform/platform.h"

#include <strings.h>

#include <vector>

namespace platform {
namespace {

struct Entry {
  const char* type;
  const char* name;
  Resource resource;
};

std::vector<Entry>& registry() {
  static std::vector<Entry> entries;
  return entries;
}

}  // namespace

ResourceRegistration::ResourceRegistration(const char* type, const char* name,
                                           const unsigned char* data, size_t size) {
  registry().push_back({type, name, Resource{data, size}});
}

Resource find_resource(const char* type, const char* name) {
  if (!type || !name) return {};
  for (const Entry& e : registry())
    if (strcasecmp(e.type, type) == 0 && strcasecmp(e.name, name) == 0) return e.resource;
  return {};
}

}  // namespace platform
