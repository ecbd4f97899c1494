// Resources: those the operating system keeps in the library's image (Windows), then a registry
// filled by static ResourceRegistration objects (the module compiled in as code elsewhere).
#include "platform/platform.h"

#include <strings.h>

#include <vector>

#include "platform/system.h"

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
  if (Resource found = system_resource(type, name)) return found;
  for (const Entry& e : registry())
    if (strcasecmp(e.type, type) == 0 && strcasecmp(e.name, name) == 0) return e.resource;
  return {};
}

}  // namespace platform
