// The tools the two scene generators share: 3DS-space vectors (z up, as 3D Studio stores them),
// a mesh builder with per-vertex mapping and per-face materials, a few primitives, and a writer that
// hands everything to lib3ds and returns the bytes of the .3ds file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Lib3dsFile;
struct Lib3dsNode;

namespace assets {

struct Vec3 {
  float x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 lerp(Vec3 a, Vec3 b, float t);
float length(Vec3 a);
float smoothstep(float edge0, float edge1, float x);

// A deterministic generator for placements and texture noise (no clock, no global state).
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint32_t next();
  float uniform(float low, float high);

 private:
  uint32_t state_;
};

// Builds one triangle mesh in its own local frame. Faces wind counter-clockwise seen from the front.
struct MeshBuilder {
  struct Face {
    uint16_t a, b, c;
    std::string material;
  };
  std::string name;
  std::vector<Vec3> points;
  std::vector<float> uv;  // two per point
  std::vector<Face> faces;

  explicit MeshBuilder(std::string mesh_name) : name(std::move(mesh_name)) {}
  int vertex(Vec3 p, float u, float v);
  void triangle(int a, int b, int c, const std::string& material);
  // Two triangles over a, b, c, d in counter-clockwise order.
  void quad(int a, int b, int c, int d, const std::string& material);
  // A quad with its own four vertices mapped (0,0) (u,0) (u,v) (0,v).
  void mapped_quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, float u, float v, const std::string& material);
  // A planar polygon of 3 or 4 corners in either order, turned to face `outward`, mapped by
  // projecting each corner on two axes (one texture repeat per `tile` units).
  void panel(std::vector<Vec3> corners, Vec3 outward, Vec3 u_axis, Vec3 v_axis, float tile,
             const std::string& material);
  // A flat wall from `origin`, cut at the given distances along `along` and `up` into cells;
  // `material(i, j)` names the material of cell i along, j up, or "" to leave a hole. It faces
  // along x up.
  void wall(Vec3 origin, Vec3 along, Vec3 up, const std::vector<float>& cuts_along,
            const std::vector<float>& cuts_up, float tile,
            const std::function<std::string(int, int)>& material);
  // An axis-aligned box, every side facing out and mapped once per `tile` units; `open_bottom`
  // leaves the underside out.
  void box(Vec3 low, Vec3 high, const std::string& material, float tile, bool open_bottom = true);
  // A closed-top prism or cylinder around the z axis through `base`, `sides` faces around.
  void cylinder(Vec3 base, float radius, float height, int sides, const std::string& material,
                bool cap_top);
  // A cone standing on `base` with its underside closed.
  void cone(Vec3 base, float radius, float height, int sides, const std::string& material);
  // A lumpy ball around the origin: an octahedron split twice, `lumps` pushing vertices in or out.
  void ball(float radius, float lumps, uint32_t seed, const std::string& material);
  // Appends another mesh's vertices and faces, each vertex moved by `place`. `place` must be a
  // rotation and a shift (no mirroring), so the faces keep facing out.
  void append(const MeshBuilder& other, const std::function<Vec3(Vec3)>& place);
};

// One key of a position or scale track.
struct PathKey {
  int frame;
  Vec3 value;
};

struct MaterialSpec {
  std::string name;
  int shading;                // 1 flat, 2 gouraud, 3 phong, 4 metal
  std::string texture;        // texture file name, empty for none
  std::string transparency_map;  // stored as the reflection map name
  float transparency = 0;
  bool two_sided = false;
  float r = 0.7f, g = 0.7f, b = 0.7f;  // diffuse colour, for viewers that show it
};

struct LightSpec {
  std::string name;
  Vec3 position;
  float r = 1, g = 1, b = 1;
  float inner_range = 0, outer_range = 0;  // 3DS attenuation ranges
};

// Collects a scene and writes it with lib3ds. Nodes are numbered in the order they are added, and
// a parent must be added before its children, which is also the order in the file.
class SceneWriter {
 public:
  SceneWriter(int frame_start, int frame_end);
  ~SceneWriter();
  SceneWriter(const SceneWriter&) = delete;
  SceneWriter& operator=(const SceneWriter&) = delete;

  void material(const MaterialSpec& def);
  void mesh(const MeshBuilder& mesh);
  void light(const LightSpec& def);
  void camera(const std::string& name, Vec3 position, Vec3 target, float fov);

  // Keyframer nodes; each returns the node id. `parent` is -1 for a root.
  // `hidden`: the node's hidden flag, so the object is never drawn (a morph target).
  int object_node(const std::string& name, int parent, bool hidden = false);
  int light_node(const std::string& name, int parent);
  int camera_nodes(const std::string& name);  // camera and target node; returns the camera's id
  // With `ease` every key has tension 1: the path slows into each key and never overshoots, so two
  // keys a frame apart can make a jump.
  void position_keys(int node, const std::vector<PathKey>& keys, bool ease = false);
  void target_keys(int camera_node, const std::vector<PathKey>& keys);
  void scale_keys(int node, const std::vector<PathKey>& keys, bool ease = false);
  // Turns about the vertical: absolute headings (radians, counter-clockwise seen from above, 0
  // along +x) at each frame, written as the relative turns 3D Studio stores.
  void heading_keys(int node, const std::vector<std::pair<int, float>>& headings);
  void fov_keys(int camera_node, const std::vector<std::pair<int, float>>& fovs);
  // Frames at which the object is hidden, then shown, then hidden again ...
  void hide_keys(int node, const std::vector<int>& frames);
  // Morph keys: at each frame the object takes the shape of the named target.
  void morph_keys(int node, const std::vector<std::pair<int, std::string>>& targets);

  // The whole file; empty after printing why to standard error.
  std::vector<uint8_t> bytes();

 private:
  Lib3dsNode* node(int id) const;
  Lib3dsFile* file_;
  std::vector<Lib3dsNode*> nodes_;  // by id
  struct Morph {
    std::string node_name;
    std::vector<std::pair<int, std::string>> targets;
  };
  std::vector<Morph> morphs_;
};

}  // namespace assets
