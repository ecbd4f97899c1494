#include "render/lights.h"

namespace render {

int32_t CollectLights(scene::Scene* scene) {
  lightCount = 0;
  for (scene::Light*& slot : lightTable) slot = nullptr;
  for (const scene::WorldNode* node = scene->world; node && lightCount < kMaxLights;
       node = node->next)
    if (node->type == scene::WORLD_LIGHT && node->record)
      lightTable[lightCount++] = static_cast<scene::Light*>(node->record);
  lightWeight = lightCount ? 1.0f / static_cast<float>(lightCount) : 1.0f;
  return lightCount;
}

}  // namespace render
