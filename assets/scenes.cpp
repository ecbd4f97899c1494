// The scene generator: textures and both scenes into "vek.bin", and the pieces the scenes share.
#include "assets/scenes.h"

#include <cmath>
#include <cstdio>

#include "assets/build.h"
#include "assets/textures.h"

namespace assets {

LightSpec moon_light(float azimuth_degrees, float elevation_degrees) {
  // Far enough that the direction to it is the same from everywhere in the scene. The renderer's
  // normals point into faces wound the 3D Studio way (counter-clockwise seen from the front), so
  // the light stands opposite the moon it stands for: below the ground, where its flare is never
  // seen.
  constexpr float kDistance = -1e6f, kRadians = 3.14159265f / 180;
  const float az = azimuth_degrees * kRadians, el = elevation_degrees * kRadians;
  LightSpec moon;
  moon.name = "Moon";
  moon.position = Vec3{std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)} * kDistance;
  moon.r = 0.75f;
  moon.g = 0.8f;
  moon.b = 0.95f;
  return moon;
}

void add_pine(MeshBuilder& mesh, Vec3 foot, float height) {
  const float s = height / 130;
  mesh.cylinder(foot, 5 * s, 30 * s, 4, "BARK", false);
  mesh.cone(foot + Vec3{0, 0, 18 * s}, 36 * s, 70 * s, 6, "PINE");
  mesh.cone(foot + Vec3{0, 0, 55 * s}, 25 * s, 75 * s, 6, "PINE");
}

MeshBuilder sky_dome(const std::string& name, float radius, const std::string& material) {
  constexpr int kAround = 20, kUp = 10;
  MeshBuilder sky(name);
  for (int j = 0; j <= kUp; ++j)
    for (int i = 0; i <= kAround; ++i) {
      const float lon = 6.2831853f * static_cast<float>(i) / kAround;
      const float lat = 3.14159265f * (static_cast<float>(j) / kUp - 0.5f);
      // The stars repeat four times around, so they stay small.
      sky.vertex(Vec3{std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)} * radius,
                 4.0f * static_cast<float>(i) / kAround, static_cast<float>(j) / kUp);
    }
  // Wound to face the centre; the rows at the poles are triangles.
  for (int j = 0; j < kUp; ++j)
    for (int i = 0; i < kAround; ++i) {
      const int a = j * (kAround + 1) + i, b = a + 1, c = b + kAround + 1, d = a + kAround + 1;
      if (j > 0) sky.triangle(a, d, b, material);
      if (j + 1 < kUp) sky.triangle(b, d, c, material);
    }
  return sky;
}

bool generate_scenes(Build& build) {
  for (const Texture& t : make_textures()) build.archive.push_back({t.member, encode_texture(t)});
  const std::pair<const char*, std::vector<uint8_t> (*)()> scenes[] = {{"train.3ds", make_train_scene},
                                                                          {"hut2.3ds", make_hut_scene}};
  for (const auto& [member, make] : scenes) {
    std::vector<uint8_t> bytes = make();
    if (bytes.empty()) {
      std::fprintf(stderr, "vekassets: %s could not be made\n", member);
      return false;
    }
    build.archive.push_back({member, std::move(bytes)});
  }
  return true;
}

}  // namespace assets
