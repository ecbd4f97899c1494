// The two 3D scenes of the intro and what they share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets/scene_kit.h"

namespace assets {

// Keyframer ranges at 30 ms a frame. The train starts when the logo has faded out, 13.05 s into the
// music (order 1 row 40 and 36 frames of 50 ms), and ends at 37.65 s: the picture screen after it
// then has the 3.2 s its first picture takes to fade in and half a second to show it before order
// 6 row 0 (41.38 s). The hut plays for about 25 seconds.
constexpr int kTrainFrames = 820;
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
