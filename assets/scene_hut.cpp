// "hut2.3ds": a log hut in a snowy clearing ringed by pines. Its windows light up warm soon after
// the start, smoke billows from the chimney, and the camera circles in from high and far to stand
// before the door.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "assets/scenes.h"

namespace assets {
namespace {

constexpr float kHalf = 70;     // the hut's walls stand at x, y = +-70
constexpr float kEaves = 90;    // wall height
constexpr int kLightsOn = 45;   // frame after which the windows are lit
constexpr float kMoonElevation = 78;  // degrees above the horizon

float ground_height(float x, float y) {
  const float r = std::hypot(x, y);
  float h = 14 * std::sin(x / 230) * std::cos(y / 310) + 8 * std::sin((x + 2 * y) / 170);
  h *= smoothstep(160, 400, r);
  return h + 300 * smoothstep(1000, 1400, std::max(std::fabs(x), std::fabs(y)));
}

// The clearing: a grid whose lines are dense near the hut and sparse at the edge, with the hut's
// footprint on four whole cells left out.
MeshBuilder clearing() {
  const std::vector<float> lines = {-1400, -1100, -850, -640, -470, -330, -220, -140, -70, 0,
                                    70,    140,   220,  330,  470,  640,  850,  1100, 1400};
  const int n = static_cast<int>(lines.size());
  MeshBuilder m("Clearing");
  for (float y : lines)
    for (float x : lines) m.vertex({x, y, ground_height(x, y)}, (x + 1600) / 300, (y + 1600) / 300);
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      const float cx = (lines[i] + lines[i + 1]) / 2, cy = (lines[j] + lines[j + 1]) / 2;
      if (std::fabs(cx) < kHalf && std::fabs(cy) < kHalf) continue;
      const int a = j * n + i;
      m.quad(a, a + 1, a + n + 1, a + n, "GROUND");
    }
  return m;
}

// Walls with holes for the windows (filled by the dark panes set back inside and the lit panes
// of the "Windows" object), a door, gables, the snowy roof and a brick chimney.
MeshBuilder hut(MeshBuilder& windows) {
  MeshBuilder m("Hut");
  const Vec3 up{0, 0, 1};
  const std::vector<float> rows = {0, 30, 62, kEaves};
  struct Wall {
    Vec3 origin, along;
    std::vector<float> cuts;
    std::vector<int> windows;  // cells i (in row 1) that are windows
    int door;
  };
  const Wall walls[] = {
      {{-kHalf, -kHalf, 0}, {1, 0, 0}, {0, 25, 50, 90, 115, 140}, {1, 3}, 2},  // front, facing -y
      {{kHalf, -kHalf, 0}, {0, 1, 0}, {0, 50, 90, 140}, {1}, -1},
      {{kHalf, kHalf, 0}, {-1, 0, 0}, {0, 70, 140}, {}, -1},
      {{-kHalf, kHalf, 0}, {0, -1, 0}, {0, 50, 90, 140}, {1}, -1},
  };
  for (const Wall& w : walls) {
    auto is_window = [&](int i, int j) {
      if (j != 1) return false;
      for (int k : w.windows)
        if (k == i) return true;
      return false;
    };
    m.wall(w.origin, w.along, up, w.cuts, rows, 120, [&](int i, int j) -> std::string {
      if (is_window(i, j)) return "";
      return i == w.door && j < 2 ? "DOOR" : "PLANKS";
    });
    const Vec3 inward = cross(up, w.along);
    for (int i : w.windows) {
      const Vec3 a = w.origin + w.along * w.cuts[static_cast<size_t>(i)];
      const Vec3 b = w.origin + w.along * w.cuts[static_cast<size_t>(i) + 1];
      const Vec3 outward = cross(w.along, up);
      const std::vector<Vec3> pane = {a + up * rows[1], b + up * rows[1], b + up * rows[2], a + up * rows[2]};
      windows.panel(pane, outward, w.along, up, w.cuts[static_cast<size_t>(i) + 1] - w.cuts[static_cast<size_t>(i)], "WINLIGHT");
      std::vector<Vec3> back = pane;
      for (Vec3& p : back) p = p + inward * 2;
      m.panel(back, outward, w.along, up, 40, "WINDARK");
    }
  }
  for (float x : {kHalf, -kHalf})
    m.panel({{x, -kHalf, kEaves}, {x, kHalf, kEaves}, {x, 0, 152}}, {x, 0, 0}, {0, 1, 0}, up, 120, "PLANKS");
  for (float side : {1.0f, -1.0f}) {
    const Vec3 eave_a{-82, 88 * side, 84}, eave_b{82, 88 * side, 84}, ridge_b{82, 0, 156}, ridge_a{-82, 0, 156};
    const Vec3 mid_a = lerp(eave_a, ridge_a, 0.5f), mid_b = lerp(eave_b, ridge_b, 0.5f);
    const Vec3 mid_e = lerp(eave_a, eave_b, 0.5f), mid_r = lerp(ridge_a, ridge_b, 0.5f), centre = lerp(mid_a, mid_b, 0.5f);
    const Vec3 out{0, side, 1.2f};
    for (const auto& q : {std::vector<Vec3>{eave_a, mid_e, centre, mid_a}, {mid_e, eave_b, mid_b, centre},
                          {mid_a, centre, mid_r, ridge_a}, {centre, mid_b, ridge_b, mid_r}})
      m.panel(q, out, {1, 0, 0}, {0, 1, 0}, 200, "ROOF");
    m.panel({eave_a, eave_b, ridge_b, ridge_a}, out * -1, {1, 0, 0}, {0, 1, 0}, 120, "PLANKS");
  }
  m.box({30, 18, 118}, {54, 42, 192}, "BRICK", 60);
  return m;
}

// The camera circles in: from far and high behind the hut round to low before its door.
std::pair<Vec3, Vec3> camera_at(int frame) {
  const float t = static_cast<float>(frame) / kHutFrames;
  const float p = 0.7f * smoothstep(0, 1, t) + 0.3f * t;
  const float angle = -1.5707963f - 1.7f * 3.14159265f * (1 - p);
  const float radius = 950 - 680 * p, height = 320 - 230 * p;
  return {{radius * std::cos(angle), radius * std::sin(angle), height}, {0, 0, 75 - 20 * p}};
}

// The moon at a frame: high in the sky, on the side of the hut the camera is on. A face the
// camera sees turns less than a right angle from the camera, which looks at the hut and sees
// nothing more than about 37 degrees off its line of sight; so with the moon 78 degrees up even
// a pine's steepest flank (18 degrees from upright) at the edge of the picture, seen from the
// side, takes a fifth of the light, and the roof a half or more. The moon's light is so high
// that upright faces would be dim; the hut's are flat materials.
LightSpec moon_behind(int frame) {
  const auto [eye, target] = camera_at(frame);
  const float azimuth = std::atan2(eye.y - target.y, eye.x - target.x) * 180 / 3.14159265f;
  return moon_light(azimuth, kMoonElevation);
}

}  // namespace

std::vector<uint8_t> make_hut_scene() {
  SceneWriter scene(0, kHutFrames);
  // The hut's upright faces (walls, door, chimney) are flat: lit from high above they would only
  // be dim, and their textures show best as they are. The moon shades the roof and the pines.
  const MaterialSpec materials[] = {
      {"SKY", 1, "sky.tga", "", 0, false, 0.1f, 0.1f, 0.3f},
      {"GROUND", 1, "snow.tga", "", 0, true, 0.8f, 0.85f, 1},
      {"PINE", 2, "pine.tga", "", 0, false, 0.1f, 0.3f, 0.15f},
      {"BARK", 2, "bark.tga", "", 0, false, 0.4f, 0.3f, 0.2f},
      {"PLANKS", 1, "planks.tga", "", 0, false, 0.5f, 0.35f, 0.2f},
      {"DOOR", 1, "door.tga", "", 0, false, 0.35f, 0.25f, 0.15f},
      {"ROOF", 2, "", "", 0, false, 0.9f, 0.9f, 0.95f},
      {"BRICK", 1, "brick.tga", "", 0, false, 0.6f, 0.25f, 0.2f},
      {"WINLIGHT", 1, "glass.tga", "", 0, false, 1, 0.8f, 0.4f},
      {"WINDARK", 4, "", "", 0, false, 0.2f, 0.2f, 0.3f},
      {"SMOKE", 1, "smoke.tga", "smokea.tga", 0.7f, false, 0.8f, 0.8f, 0.8f},
  };
  for (const MaterialSpec& m : materials) scene.material(m);

  // The moon is the only light of the gouraud faces, and a face turned away from it is black: a
  // moon fixed in the sky would blacken one slope of the roof and the far side of every pine
  // whenever the camera comes round to them. So it travels round with the camera (keyed below).
  // The ground's light is worked out once from the other lights' ranges: the windows' glow fades
  // across the whole clearing, and the high "Sky" light adds the same dim share everywhere.
  scene.light(moon_behind(0));
  scene.light({"Glow1", {0, -110, 45}, 1, 0.75f, 0.4f, 40, 1800});
  scene.light({"Glow2", {110, 0, 45}, 1, 0.75f, 0.4f, 40, 1800});
  scene.light({"Sky", {0, 0, 10000}, 0.3f, 0.35f, 0.5f, 0, 18000});

  std::vector<PathKey> eye_keys, target_keys;
  for (int f = 0; f <= kHutFrames; f += 10) {
    const auto [eye, target] = camera_at(f);
    eye_keys.push_back({f, eye});
    target_keys.push_back({f, target});
  }

  scene.mesh(sky_dome("Sky", 9000, "SKY"));
  scene.mesh(clearing());
  MeshBuilder windows("Windows");
  scene.mesh(hut(windows));
  scene.mesh(windows);

  MeshBuilder forest("Forest");
  Random random(3);
  std::vector<Vec3> trees;
  for (int attempt = 0; attempt < 4000 && trees.size() < 34; ++attempt) {
    const float angle = random.uniform(0, 6.2831853f);
    const float radius = trees.size() < 6 ? random.uniform(260, 480) : random.uniform(640, 1300);
    const float x = radius * std::cos(angle), y = radius * std::sin(angle), height = random.uniform(110, 200);
    bool clear = true;
    for (const Vec3& t : trees) clear = clear && std::hypot(t.x - x, t.y - y) > 110;
    for (const PathKey& k : eye_keys)
      clear = clear && (std::hypot(k.value.x - x, k.value.y - y) > 110 || k.value.z > height + 40);
    if (!clear) continue;
    trees.push_back({x, y, 0});
    add_pine(forest, {x, y, ground_height(x, y) - 2}, height);
  }
  scene.mesh(forest);

  // Smoke: puffs whose shapes morph between two hidden lumpy balls.
  MeshBuilder puff_a("PuffA"), puff_b("PuffB");
  puff_a.ball(14, 0.2f, 1, "SMOKE");
  puff_b.ball(14, 0.35f, 2, "SMOKE");
  scene.mesh(puff_a);
  scene.mesh(puff_b);
  constexpr int kPuffs = 6, kPeriod = 132;
  for (int i = 1; i <= kPuffs; ++i) {
    puff_a.name = "Puff" + std::to_string(i);
    scene.mesh(puff_a);
  }

  scene.camera("Cam", eye_keys[0].value, target_keys[0].value, 64);

  for (const char* name : {"Sky", "Clearing", "Forest"}) scene.object_node(name, -1);
  const int hut_node = scene.object_node("Hut", -1);
  const int lit = scene.object_node("Windows", hut_node);
  scene.hide_keys(lit, {0, kLightsOn});
  for (const char* name : {"PuffA", "PuffB"}) scene.object_node(name, -1, true);
  for (int i = 0; i < kPuffs; ++i) {
    const int puff = scene.object_node("Puff" + std::to_string(i + 1), hut_node);
    std::vector<PathKey> path, size;
    std::vector<int> hide;
    std::vector<std::pair<int, std::string>> shapes;
    for (int start = i * kPeriod / kPuffs; start <= kHutFrames; start += kPeriod) {
      path.push_back({start, {42, 30, 196}});
      path.push_back({start + kPeriod - 1, {190, 100, 400}});
      size.push_back({start, {0.8f, 0.8f, 0.8f}});
      size.push_back({start + kPeriod - 1, {4.0f, 4.0f, 3.2f}});
      hide.push_back(start + kPeriod - 6);
      hide.push_back(start + kPeriod);
    }
    for (int f = 0, k = i; f <= kHutFrames + kPeriod; f += 50, ++k) shapes.push_back({f, k % 2 ? "PuffB" : "PuffA"});
    scene.position_keys(puff, path, true);
    scene.scale_keys(puff, size, true);
    scene.hide_keys(puff, hide);
    scene.morph_keys(puff, shapes);
  }

  std::vector<PathKey> moon_keys;
  for (int f = 0; f <= kHutFrames; f += 10) moon_keys.push_back({f, moon_behind(f).position});
  scene.position_keys(scene.light_node("Moon", -1), moon_keys);

  const int cam = scene.camera_nodes("Cam");
  scene.position_keys(cam, eye_keys);
  scene.target_keys(cam, target_keys);
  scene.fov_keys(cam, {{0, 64.0f}, {kHutFrames, 56.0f}});
  return scene.bytes();
}

}  // namespace assets
