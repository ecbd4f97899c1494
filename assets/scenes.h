// The two 3D scenes of the intro and what they share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets/scene_kit.h"

namespace assets {

// Keyframer ranges: the train plays while the music runs from order 1 row 55 to just before order 6
// row 0 at 30 ms a frame; the hut for about 25 seconds.
constexpr int kTrainFrames = 940;
constexpr int kHutFrames = 830;

// Light ranges in the scenes are those of 3D Studio: full light within `inner`, none past `outer`.
// The moon stands first in every scene's light list because gouraud lighting uses the first light;
// its ranges are 0 so it adds nothing to the precomputed vertex light.
LightSpec moon_light(float azimuth_degrees, float elevation_degrees);

// A snowy pine of the given height standing at `foot`: trunk and two tiers of needles.
void add_pine(MeshBuilder& mesh, Vec3 foot, float height);
// The inside of a sphere around the origin, mapped by longitude and latitude.
MeshBuilder sky_dome(const std::string& name, float radius, const std::string& material);

std::vector<uint8_t> make_train_scene();
std::vector<uint8_t> make_hut_scene();

}  // namespace assets
