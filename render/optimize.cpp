#include "render/optimize.h"

#include <cmath>

#include "render/messages.h"
#include "render/settings.h"
#include "scene/library.h"

namespace render {
namespace {

bool AnimatedByKeyframer(const scene::Scene* scene, const void* record) {
  for (const scene::KeyframerNode* node = scene->keyframer; node; node = node->next)
    if (node->record == record) return true;
  return false;
}

const char* NameOf(const char* name) { return name ? name : ""; }

bool MaterialInUse(const scene::Scene* scene, int32_t id) {
  for (const scene::WorldNode* node = scene->world; node; node = node->next) {
    if (node->type != scene::WORLD_OBJECT) continue;
    const auto* object = static_cast<const scene::Object*>(node->record);
    for (int32_t i = 0; i < object->face_count; ++i)
      if (object->faces[i].material == id) return true;
  }
  return false;
}

int ToByteScale(float multiplier) { return static_cast<int>(std::lround(multiplier * 255.0)); }

void Remove(scene::WorldNode* node) {
  scene::kf_free_record(node->type, node->record);
  node->type = 0;
  node->record = nullptr;
}

}  // namespace

uint32_t BuildLoadOptions() {
  const int32_t options[] = {loadOption0, loadOption1, loadOption2, loadOption3,
                             loadOption4, loadOption5, loadOption6};
  uint32_t bits = 0;
  for (int i = 0; i < 7; ++i)
    if (options[i]) bits |= 1u << i;
  return bits;
}

int32_t OptimizeScene(scene::Scene* scene, int32_t verbose) {
  if (verbose) Note("\nTrying to optimize scene... Please wait...");
  // Objects first, so that a material used only by a removed object is then found unused.
  for (scene::WorldNode* node = scene->world; node; node = node->next) {
    if (node->type != scene::WORLD_OBJECT) continue;
    const auto* object = static_cast<const scene::Object*>(node->record);
    if (object->vertex_count != 0 && object->face_count != 0) continue;
    if (AnimatedByKeyframer(scene, object)) continue;
    if (verbose) Note("\nOptimizer: object '%s' has 0 vertices or 0 faces! Deleted.", NameOf(object->name));
    Remove(node);
  }
  for (scene::WorldNode* node = scene->world; node; node = node->next) {
    if (node->type != scene::WORLD_MATERIAL) continue;
    const auto* material = static_cast<const scene::Material*>(node->record);
    if (MaterialInUse(scene, material->id)) continue;
    if (verbose) Note("\nOptimizer: material '%s' is unused! Deleted.", NameOf(material->name));
    Remove(node);
  }
  return 1;
}

int32_t SetupAmbient(scene::Scene* scene) {
  if (!ambientTint) return 1;
  const scene::WorldNode* node = scene->world;
  while (node && node->type != scene::WORLD_AMBIENT) node = node->next;
  if (!node) return 0;
  const auto* ambient = static_cast<const scene::Ambient*>(node->record);
  ambientColour = {ambient->color.r, ambient->color.g, ambient->color.b};
  Note("\n scene ambient color: R=%d G=%d B=%d \n", ToByteScale(ambientColour.red),
       ToByteScale(ambientColour.green), ToByteScale(ambientColour.blue));
  return 1;
}

}  // namespace render
