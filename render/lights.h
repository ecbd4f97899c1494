// The light table: the scene's lights in world-list order, shared by texture preparation (vertex
// intensities of constant gouraud materials) and the frame renderer (lighting and flares).
#pragma once

#include <cstdint>

#include "scene/records.h"

namespace render {

// Lights beyond the 32nd are ignored.
constexpr int32_t kMaxLights = 32;

inline scene::Light* lightTable[kMaxLights] = {};
inline int32_t lightCount = 0;
// 1 / lightCount, or 1.0 without lights: the averaging factor of multi-light gouraud lighting.
inline float lightWeight = 1.0f;

// Fills the light table from the scene's world list; returns the number of lights.
int32_t CollectLights(scene::Scene* scene);

}  // namespace render
