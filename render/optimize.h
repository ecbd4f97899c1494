// Scene set-up steps that belong to the renderer: the scene library's load options, removal of
// scene elements the renderer cannot use, and the ambient colour for texture tinting.
#pragma once

#include <cstdint>

#include "scene/records.h"

namespace render {

// Bit i set when loadOptioni is non-zero (i = 0 ... 6); the scene library's start-up options.
uint32_t BuildLoadOptions();

// Removes objects without vertices or faces, then materials no face refers to (by material id);
// their world nodes stay in the list with type 0 and no record. An object that a keyframer node
// animates is kept, since the keyframer writes into it every frame. Notes each removal when
// verbose. Always returns 1.
int32_t OptimizeScene(scene::Scene* scene, int32_t verbose);

// With ambientTint set, takes the first ambient node's colour into ambientColour and returns 1,
// or returns 0 when the scene has none. Without ambientTint returns 1 at once.
int32_t SetupAmbient(scene::Scene* scene);

}  // namespace render
