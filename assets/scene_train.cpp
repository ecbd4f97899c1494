// "train.3ds": a winter night in a valley ringed by hills. A steam locomotive with its tender and
// three lit coaches runs round a loop of railway past lamp posts and pines; the camera waits by the
// line as the train comes, runs beside the locomotive, then climbs away over the valley.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "assets/scenes.h"

namespace assets {
namespace {

constexpr float kRun = 5170;         // units the locomotive runs over the whole scene
constexpr float kKeyStep = 10;       // frames between the keys of the moving things
constexpr float kBedHalfWidth = 290;  // the railway bed replaces the ground this far either side
constexpr float kBallast = 3;        // rail top above the bed's edge

// The railway: a closed loop, measured by distance along it. Positions are rail top.
class Railway {
 public:
  Railway() {
    constexpr int kFine = 8192;
    std::vector<Vec3> fine;
    std::vector<float> distance{0};
    for (int i = 0; i <= kFine; ++i) {
      const float a = 6.2831853f * static_cast<float>(i) / kFine;
      fine.push_back({1300 * std::cos(a), 850 * std::sin(a) + 60 * std::sin(3 * a), 30 + 30 * std::sin(a - 0.7f)});
      if (i) distance.push_back(distance.back() + assets::length(fine[i] - fine[i - 1]));
    }
    length_ = distance.back();
    constexpr int kSamples = 1024;
    step_ = length_ / kSamples;
    size_t k = 0;
    for (int i = 0; i < kSamples; ++i) {
      const float s = step_ * static_cast<float>(i);
      while (distance[k + 1] < s) ++k;
      samples_.push_back(lerp(fine[k], fine[k + 1], (s - distance[k]) / (distance[k + 1] - distance[k])));
    }
  }
  float length() const { return length_; }
  Vec3 at(float s) const {
    s = std::fmod(s, length_);
    if (s < 0) s += length_;
    const float at = s / step_;
    const size_t i = static_cast<size_t>(at) % samples_.size();
    return lerp(samples_[i], samples_[(i + 1) % samples_.size()], at - std::floor(at));
  }
  Vec3 tangent(float s) const {
    Vec3 d = at(s + 4) - at(s - 4);
    d.z = 0;
    return d * (1 / assets::length(d));
  }
  Vec3 left(float s) const {
    const Vec3 t = tangent(s);
    return {-t.y, t.x, 0};
  }
  // Horizontal distance from (x, y) to the centre line, and the rail height nearest to it.
  float distance(float x, float y, float* rail) const {
    float best = 1e30f;
    for (const Vec3& p : samples_) {
      const float d = (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y);
      if (d < best) {
        best = d;
        *rail = p.z;
      }
    }
    return std::sqrt(best);
  }

 private:
  std::vector<Vec3> samples_;
  float step_ = 0, length_ = 0;
};

// Rolling hills rising to a ring of mountains at the edge, levelled near the railway.
float ground_height(const Railway& railway, float x, float y) {
  float hills = 45 * std::sin(x / 300 + 1) * std::cos(y / 260) + 30 * std::sin((x - y) / 190) +
                20 * std::cos(x / 120 + y / 170);
  hills += 380 * smoothstep(0.6f, 1.0f, std::max(std::fabs(x) / 2400, std::fabs(y) / 2000));
  float rail = 0;
  const float d = railway.distance(x, y, &rail);
  return rail - 1 + (hills - (rail - 1)) * smoothstep(150, 450, d);
}

// The scene's moves are set on its time as a fraction of its length, 0 to 1, so that a longer or
// shorter scene plays the same story at another pace.
float scene_time(int frame) { return static_cast<float>(frame) / kTrainFrames; }

// How far along the railway the locomotive's front is at a frame.
float head(int frame) { return kRun * scene_time(frame); }

struct Car {
  const char* name;
  float length;
  float behind;  // centre's distance behind the locomotive's front
};
const Car kCars[] = {{"Loco", 100, 50}, {"Tender", 50, 131}, {"Coach1", 90, 207}, {"Coach2", 90, 303},
                     {"Coach3", 90, 399}};

// Where a car stands at a frame: centre between its bogies and heading along the chord.
void car_pose(const Railway& railway, const Car& car, int frame, Vec3* centre, float* heading) {
  const float s = head(frame) - car.behind;
  const Vec3 front = railway.at(s + 0.3f * car.length), back = railway.at(s - 0.3f * car.length);
  *centre = lerp(front, back, 0.5f) + Vec3{0, 0, kBallast};
  *heading = std::atan2(front.y - back.y, front.x - back.x);
}

// Wheels on both sides at the given distances along the car, axle height = radius.
void add_wheels(MeshBuilder& mesh, const std::vector<float>& at, float radius, float half_gauge) {
  MeshBuilder wheel("wheel");
  wheel.cylinder({0, 0, 0}, radius, 3, 8, "CHROME", true);
  for (float x : at) {
    mesh.append(wheel, [&](Vec3 p) { return Vec3{p.x + x, p.z + half_gauge, radius - p.y}; });
    mesh.append(wheel, [&](Vec3 p) { return Vec3{p.x + x, -p.z - half_gauge, radius + p.y}; });
  }
}

MeshBuilder locomotive() {
  MeshBuilder m("Loco");
  m.box({-50, -13, 8}, {50, 13, 16}, "PAINT", 40);
  m.box({-50, -15, 16}, {-18, 15, 56}, "LOCO", 64);
  m.box({-54, -17, 56}, {-14, 17, 60}, "LOCO", 64);
  m.box({46, -16, 6}, {52, 16, 14}, "PAINT", 40);
  m.box({50, -4, 34}, {55, 4, 42}, "LANTERN", 8);
  m.cylinder({34, 0, 44}, 5, 18, 8, "CHROME", true);
  m.cylinder({8, 0, 44}, 6, 8, 8, "CHROME", true);
  add_wheels(m, {-32, -8, 16}, 10, 14);
  return m;
}

MeshBuilder boiler() {
  MeshBuilder round("round");
  round.cylinder({0, 0, 0}, 13, 66, 10, "BOILER", true);
  MeshBuilder m("Boiler");
  // Lay the cylinder along the locomotive, its capped end forward.
  m.append(round, [](Vec3 p) { return Vec3{p.z - 18, p.y, 31 - p.x}; });
  return m;
}

MeshBuilder tender() {
  MeshBuilder m("Tender");
  m.box({-25, -14, 8}, {25, 14, 40}, "LOCO", 64);
  m.box({-22, -12, 40}, {22, 12, 44}, "PAINT", 40);
  add_wheels(m, {-14, 14}, 8, 12);
  return m;
}

MeshBuilder coach(const char* name) {
  MeshBuilder m(name);
  m.box({-45, -14, 8}, {45, 14, 14}, "PAINT", 40);
  const std::vector<float> along = {0, 8.5f, 21.5f, 28.5f, 41.5f, 48.5f, 61.5f, 68.5f, 81.5f, 90};
  const std::vector<float> up = {0, 14, 30, 38};
  auto cell = [](int i, int j) { return j == 1 && i % 2 == 1 ? "GLASS" : "COACH"; };
  m.wall({45, 15, 14}, {-1, 0, 0}, {0, 0, 1}, along, up, 64, cell);
  m.wall({-45, -15, 14}, {1, 0, 0}, {0, 0, 1}, along, up, 64, cell);
  for (float x : {45.0f, -45.0f}) {
    const Vec3 out{x > 0 ? 1.0f : -1.0f, 0, 0};
    m.panel({{x, -15, 14}, {x, 15, 14}, {x, 15, 52}, {x, -15, 52}}, out, {0, 1, 0}, {0, 0, 1}, 64, "COACH");
    m.panel({{x, -15, 52}, {x, 15, 52}, {x, 0, 60}}, out, {0, 1, 0}, {0, 0, 1}, 64, "COACH");
  }
  for (float y : {17.0f, -17.0f})
    m.panel({{-47, y, 52}, {47, y, 52}, {47, 0, 60}, {-47, 0, 60}}, {0, y, 30}, {1, 0, 0}, {0, 1, 0}, 60, "ROOF");
  add_wheels(m, {-30, 30}, 7, 12);
  return m;
}

// The bed: a strip along the loop, the track in the middle (mapped afresh on every segment, so
// its coordinates stay small), snow to either side meeting the ground, lamp light on the snow
// near each lamp post.
MeshBuilder railway_bed(const Railway& railway, const std::vector<float>& lamps) {
  MeshBuilder m("Bed");
  const float across[] = {-kBedHalfWidth, -110, -20, 20, 110, kBedHalfWidth};
  const int segments = static_cast<int>(railway.length() / 80);
  const float step = railway.length() / static_cast<float>(segments);
  auto point = [&](int i, float lateral) {
    const float s = step * static_cast<float>(i);
    Vec3 p = railway.at(s) + railway.left(s) * lateral;
    p.z = std::fabs(lateral) < 21 ? railway.at(s).z + kBallast : ground_height(railway, p.x, p.y);
    return p;
  };
  std::vector<int> row;
  for (int i = 0; i <= segments; ++i)
    for (float lateral : across) {
      const Vec3 p = point(i % segments, lateral);
      row.push_back(m.vertex(p, (p.x + 3200) / 400, (p.y + 3200) / 400));
    }
  constexpr int kAcross = 6;
  for (int i = 0; i < segments; ++i) {
    const float s = step * (static_cast<float>(i) + 0.5f);
    bool lit = false;
    for (float lamp : lamps) lit = lit || std::fabs(std::remainder(s - lamp, railway.length())) < 2.5f * step;
    for (int k = 0; k + 1 < kAcross; ++k) {
      const int a = row[static_cast<size_t>(i * kAcross + k)], b = a + 1, c = b + kAcross, d = a + kAcross;
      if (k == 2) {
        // The track: its own vertices, the pattern repeating every 40 units.
        const int ta = m.vertex(m.points[static_cast<size_t>(a)], 0, 0);
        const int tb = m.vertex(m.points[static_cast<size_t>(b)], 1, 0);
        const int tc = m.vertex(m.points[static_cast<size_t>(c)], 1, step / 40);
        const int td = m.vertex(m.points[static_cast<size_t>(d)], 0, step / 40);
        m.quad(ta, td, tc, tb, "TRACK");
        continue;
      }
      m.quad(a, d, c, b, lit && k < 2 ? "POOL" : "SNOW");
    }
  }
  return m;
}

MeshBuilder ground(const Railway& railway) {
  MeshBuilder m("Ground");
  constexpr int kColumns = 30, kRows = 25;
  constexpr float kCell = 160, kX0 = -2400, kY0 = -2000;
  std::vector<bool> near;
  for (int j = 0; j <= kRows; ++j)
    for (int i = 0; i <= kColumns; ++i) {
      const float x = kX0 + kCell * static_cast<float>(i), y = kY0 + kCell * static_cast<float>(j);
      float rail = 0;
      near.push_back(railway.distance(x, y, &rail) < 50);
      m.vertex({x, y, ground_height(railway, x, y)}, (x + 3200) / 400, (y + 3200) / 400);
    }
  for (int j = 0; j < kRows; ++j)
    for (int i = 0; i < kColumns; ++i) {
      const int a = j * (kColumns + 1) + i, b = a + 1, c = b + kColumns + 1, d = a + kColumns + 1;
      // Cells the railway crosses are left to the bed, which sorts better against the train.
      if (near[static_cast<size_t>(a)] || near[static_cast<size_t>(b)] || near[static_cast<size_t>(c)] ||
          near[static_cast<size_t>(d)])
        continue;
      m.quad(a, b, c, d, "SNOW");
    }
  return m;
}

// Camera position and target at a frame: waiting beside the line ahead of the train, then running
// beside the locomotive, then climbing away over the inside of the loop.
std::pair<Vec3, Vec3> camera_at(const Railway& r, int frame) {
  const float t = scene_time(frame);
  const float h = head(frame);
  const Vec3 up{0, 0, 1};
  const float wait_spot = 900;
  const Vec3 wait_eye = r.at(wait_spot) + r.left(wait_spot) * 150 + up * 40;
  const Vec3 run_eye = r.at(h - 120) + r.left(h - 120) * 170 + up * 60;
  const float climb = smoothstep(0.64f, 1, t);
  const Vec3 climb_eye = r.at(h - 500) + r.left(h - 500) * (170 + 500 * climb) + up * (60 + 420 * climb);
  const Vec3 eye = lerp(lerp(wait_eye, run_eye, smoothstep(0.18f, 0.28f, t)), climb_eye, smoothstep(0.6f, 0.7f, t));
  const Vec3 on_loco = r.at(h - 40) + up * 30;
  const Vec3 on_train = r.at(h - 220) + up * 20;
  return {eye, lerp(on_loco, on_train, smoothstep(0.6f, 0.745f, t))};
}

}  // namespace

std::vector<uint8_t> make_train_scene() {
  const Railway railway;
  SceneWriter scene(0, kTrainFrames);

  const MaterialSpec materials[] = {
      {"SKY", 1, "sky.tga", "", 0, false, 0.1f, 0.1f, 0.3f},
      {"SNOW", 2, "snow.tga", "", 0, false, 0.8f, 0.85f, 1},
      {"TRACK", 2, "track.tga", "", 0, false, 0.5f, 0.5f, 0.5f},
      {"POOL", 1, "snow.tga", "", 0, true, 1, 0.9f, 0.7f},
      {"PINE", 2, "pine.tga", "", 0, false, 0.1f, 0.3f, 0.15f},
      {"BARK", 2, "bark.tga", "", 0, false, 0.4f, 0.3f, 0.2f},
      {"PAINT", 2, "", "", 0, false, 0.15f, 0.15f, 0.17f},
      {"ROOF", 2, "", "", 0, false, 0.9f, 0.9f, 0.95f},
      {"CHROME", 4, "", "", 0, false, 0.8f, 0.8f, 0.8f},
      {"BOILER", 3, "metal.tga", "", 0, false, 0.2f, 0.25f, 0.3f},
      {"LOCO", 1, "loco.tga", "", 0, false, 0.1f, 0.25f, 0.15f},
      {"COACH", 1, "coach.tga", "", 0, false, 0.5f, 0.1f, 0.1f},
      {"GLASS", 1, "glass.tga", "", 0.5f, false, 1, 0.8f, 0.4f},
      {"LANTERN", 1, "glass.tga", "", 0, false, 1, 0.9f, 0.6f},
      {"STEAM", 1, "smoke.tga", "", 0.6f, false, 0.9f, 0.9f, 0.9f},
  };
  for (const MaterialSpec& m : materials) scene.material(m);

  // Lamp posts on the outside of the loop, the camera's far side while it runs with the train.
  std::vector<float> lamps;
  for (int i = 0; i < 6; ++i) lamps.push_back(railway.length() * (static_cast<float>(i) + 0.35f) / 6);

  // Camera keys first: the trees keep clear of the path it flies.
  std::vector<PathKey> eye_keys, target_keys;
  for (int f = 0; f <= kTrainFrames; f += static_cast<int>(kKeyStep)) {
    auto [eye, target] = camera_at(railway, f);
    eye.z = std::max(eye.z, ground_height(railway, eye.x, eye.y) + 25);
    eye_keys.push_back({f, eye});
    target_keys.push_back({f, target});
  }

  scene.mesh(sky_dome("Sky", 9000, "SKY"));
  scene.mesh(ground(railway));
  scene.mesh(railway_bed(railway, lamps));

  MeshBuilder forest("Forest");
  Random random(7);
  std::vector<Vec3> trees;
  for (int attempt = 0; attempt < 4000 && trees.size() < 36; ++attempt) {
    const float x = random.uniform(-2200, 2200), y = random.uniform(-1800, 1800), height = random.uniform(90, 170);
    float rail = 0;
    bool clear = railway.distance(x, y, &rail) > kBedHalfWidth + 40;
    for (const Vec3& t : trees) clear = clear && std::hypot(t.x - x, t.y - y) > 150;
    const Vec3 foot{x, y, ground_height(railway, x, y) - 2};
    for (const PathKey& k : eye_keys)
      clear = clear && (std::hypot(k.value.x - x, k.value.y - y) > 90 || k.value.z > foot.z + height + 40);
    if (!clear) continue;
    trees.push_back(foot);
    add_pine(forest, foot, height);
  }
  scene.mesh(forest);

  scene.light(moon_light(215, 33));
  scene.light({"Headlamp", {0, 0, 0}, 1, 0.95f, 0.8f, 0, 0});
  MeshBuilder posts("Lamps");
  for (size_t i = 0; i < lamps.size(); ++i) {
    const Vec3 foot = railway.at(lamps[i]) + railway.left(lamps[i]) * -105;
    posts.box(foot + Vec3{-2, -2, 0}, foot + Vec3{2, 2, 74}, "PAINT", 40);
    posts.box(foot + Vec3{-5, -5, 74}, foot + Vec3{5, 5, 84}, "LANTERN", 10, false);
    scene.light({"Lamp" + std::to_string(i + 1), foot + Vec3{0, 0, 79}, 1, 0.85f, 0.6f, 60, 360});
  }
  scene.mesh(posts);

  scene.mesh(locomotive());
  scene.mesh(boiler());
  scene.mesh(tender());
  for (const char* c : {"Coach1", "Coach2", "Coach3"}) scene.mesh(coach(c));
  MeshBuilder puff("Steam1");
  puff.ball(8, 0.25f, 5, "STEAM");
  for (int i = 1; i <= 4; ++i) {
    puff.name = "Steam" + std::to_string(i);
    scene.mesh(puff);
  }

  scene.camera("Cam", eye_keys[0].value, target_keys[0].value, 70);

  // Static parts: one node each, so the whole world has a keyframer node.
  for (const char* name : {"Sky", "Ground", "Bed", "Forest", "Lamps"}) scene.object_node(name, -1);

  for (const Car& car : kCars) {
    const int id = scene.object_node(car.name, -1);
    std::vector<PathKey> positions;
    std::vector<std::pair<int, float>> headings;
    float previous = 0;
    for (int f = 0; f <= kTrainFrames; f += static_cast<int>(kKeyStep)) {
      Vec3 centre;
      float heading = 0;
      car_pose(railway, car, f, &centre, &heading);
      // Unwrapped, so each key turns the short way from the one before.
      if (!headings.empty()) heading = previous + std::remainder(heading - previous, 6.2831853f);
      previous = heading;
      positions.push_back({f, centre});
      headings.push_back({f, heading});
    }
    scene.position_keys(id, positions);
    scene.heading_keys(id, headings);
    if (std::string(car.name) != "Loco") continue;

    scene.object_node("Boiler", id);
    const int lamp = scene.light_node("Headlamp", id);
    scene.position_keys(lamp, {{0, {56, 0, 38}}});
    // Steam puffs leave the chimney, grow and drift back over the train; each is hidden while it
    // jumps back to the chimney.
    constexpr int kPeriod = 32;
    for (int p = 0; p < 4; ++p) {
      const int steam = scene.object_node("Steam" + std::to_string(p + 1), id);
      std::vector<PathKey> path, size;
      std::vector<int> hide;
      for (int start = p * kPeriod / 4; start <= kTrainFrames; start += kPeriod) {
        path.push_back({start, {34, 0, 64}});
        path.push_back({start + kPeriod - 1, {-116, 8, 132}});
        size.push_back({start, {0.6f, 0.6f, 0.6f}});
        size.push_back({start + kPeriod - 1, {2.4f, 2.4f, 2.0f}});
        hide.push_back(start + kPeriod - 4);
        hide.push_back(start + kPeriod);
      }
      scene.position_keys(steam, path, true);
      scene.scale_keys(steam, size, true);
      scene.hide_keys(steam, hide);
    }
  }

  const int cam = scene.camera_nodes("Cam");
  scene.position_keys(cam, eye_keys);
  scene.target_keys(cam, target_keys);
  scene.fov_keys(cam, {{0, 70.0f}});
  return scene.bytes();
}

}  // namespace assets
