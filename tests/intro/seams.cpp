// The wrappers behind seams.h. Each __wrap_X replaces X for calls from other object files of the
// program, and __real_X is X itself.
#include "tests/intro/seams.h"

#include <cstdint>

#include "display/surface.h"

namespace scene {
struct Scene;
}

namespace seams {

display::Surface* refused_lock = nullptr;
display::Surface* also_refused_lock = nullptr;
int failed_creation = 0;
bool no_sort_table = false;

void reset() {
  refused_lock = also_refused_lock = nullptr;
  failed_creation = 0;
  no_sort_table = false;
}

}  // namespace seams

extern "C" {

// display::Surface::lock(int)
void* __real__ZN7display7Surface4lockEi(display::Surface* self, int32_t flag);
void* __wrap__ZN7display7Surface4lockEi(display::Surface* self, int32_t flag) {
  if (self == seams::refused_lock || self == seams::also_refused_lock) return nullptr;
  return __real__ZN7display7Surface4lockEi(self, flag);
}

// display::Surface::Surface(SurfaceHost*, int, int, const Format&, int, int, int, int); a width of
// 0 makes the real constructor leave the surface empty.
void __real__ZN7display7SurfaceC1EPNS_11SurfaceHostEiiRKNS_6FormatEiiii(
    display::Surface* self, display::SurfaceHost* host, int32_t width, int32_t height,
    const display::Format& format, int32_t memory, int32_t order, int32_t gap, int32_t layout);
void __wrap__ZN7display7SurfaceC1EPNS_11SurfaceHostEiiRKNS_6FormatEiiii(
    display::Surface* self, display::SurfaceHost* host, int32_t width, int32_t height,
    const display::Format& format, int32_t memory, int32_t order, int32_t gap, int32_t layout) {
  if (seams::failed_creation > 0 && --seams::failed_creation == 0) width = 0;
  __real__ZN7display7SurfaceC1EPNS_11SurfaceHostEiiRKNS_6FormatEiiii(
      self, host, width, height, format, memory, order, gap, layout);
}

// render::AllocFaceSortTable(scene::Scene*)
void __real__ZN6render18AllocFaceSortTableEPN5scene5SceneE(scene::Scene* scene);
void __wrap__ZN6render18AllocFaceSortTableEPN5scene5SceneE(scene::Scene* scene) {
  if (!seams::no_sort_table) __real__ZN6render18AllocFaceSortTableEPN5scene5SceneE(scene);
}

}  // extern "C"
