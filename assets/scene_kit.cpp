// Mesh building and the lib3ds writer behind both scenes.
#include "assets/scene_kit.h"

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/io.h>
#include <lib3ds/light.h>
#include <lib3ds/material.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace assets {

Vec3 lerp(Vec3 a, Vec3 b, float t) { return a + (b - a) * t; }
float length(Vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
float smoothstep(float edge0, float edge1, float x) {
  float t = (x - edge0) / (edge1 - edge0);
  t = t < 0 ? 0 : t > 1 ? 1 : t;
  return t * t * (3 - 2 * t);
}

uint32_t Random::next() {
  // xorshift32: the same sequence on every platform and build.
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

float Random::uniform(float low, float high) {
  return low + (high - low) * static_cast<float>(next() >> 8) / 16777216.0f;
}

int MeshBuilder::vertex(Vec3 p, float u, float v) {
  points.push_back(p);
  uv.push_back(u);
  uv.push_back(v);
  return static_cast<int>(points.size()) - 1;
}

void MeshBuilder::triangle(int a, int b, int c, const std::string& material) {
  faces.push_back({static_cast<uint16_t>(a), static_cast<uint16_t>(b), static_cast<uint16_t>(c), material});
}

void MeshBuilder::quad(int a, int b, int c, int d, const std::string& material) {
  triangle(a, b, c, material);
  triangle(a, c, d, material);
}

void MeshBuilder::mapped_quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, float u, float v,
                              const std::string& material) {
  quad(vertex(a, 0, 0), vertex(b, u, 0), vertex(c, u, v), vertex(d, 0, v), material);
}

void MeshBuilder::panel(std::vector<Vec3> corners, Vec3 outward, Vec3 u_axis, Vec3 v_axis, float tile,
                        const std::string& material) {
  if (dot(cross(corners[1] - corners[0], corners[2] - corners[0]), outward) < 0)
    std::swap(corners[1], corners[corners.size() - 1]);
  // Mapping coordinates must not be negative (the renderer mirrors them), hence the offset.
  constexpr float kOffset = 32;
  std::vector<int> v;
  for (Vec3 p : corners) v.push_back(vertex(p, dot(p, u_axis) / tile + kOffset, dot(p, v_axis) / tile + kOffset));
  if (v.size() == 4)
    quad(v[0], v[1], v[2], v[3], material);
  else
    triangle(v[0], v[1], v[2], material);
}

void MeshBuilder::wall(Vec3 origin, Vec3 along, Vec3 up, const std::vector<float>& cuts_along,
                       const std::vector<float>& cuts_up, float tile,
                       const std::function<std::string(int, int)>& material) {
  const Vec3 outward = cross(along, up);
  for (size_t i = 0; i + 1 < cuts_along.size(); ++i)
    for (size_t j = 0; j + 1 < cuts_up.size(); ++j) {
      const std::string m = material(static_cast<int>(i), static_cast<int>(j));
      if (m.empty()) continue;
      auto at = [&](size_t a, size_t u) { return origin + along * cuts_along[a] + up * cuts_up[u]; };
      panel({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, outward, along, up, tile, m);
    }
}

void MeshBuilder::box(Vec3 lo, Vec3 hi, const std::string& material, float tile, bool open_bottom) {
  const float dx = (hi.x - lo.x) / tile, dy = (hi.y - lo.y) / tile, dz = (hi.z - lo.z) / tile;
  // Each side counter-clockwise seen from outside.
  mapped_quad({lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}, dx, dz, material);
  mapped_quad({hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, dx, dz, material);
  mapped_quad({hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}, dy, dz, material);
  mapped_quad({lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z}, {lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, dy, dz, material);
  mapped_quad({lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, dx, dy, material);
  if (!open_bottom)
    mapped_quad({lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, lo.y, lo.z}, {lo.x, lo.y, lo.z}, dx, dy, material);
}

void MeshBuilder::cylinder(Vec3 base, float radius, float height, int sides,
                           const std::string& material, bool cap_top) {
  const int first = static_cast<int>(points.size());
  for (int i = 0; i <= sides; ++i) {
    const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(sides);
    const Vec3 rim = base + Vec3{radius * std::cos(a), radius * std::sin(a), 0};
    const float u = static_cast<float>(i) / static_cast<float>(sides);
    vertex(rim, u, 0);
    vertex(rim + Vec3{0, 0, height}, u, 1);
  }
  for (int i = 0; i < sides; ++i) {
    const int a = first + 2 * i;
    quad(a, a + 2, a + 3, a + 1, material);
  }
  if (!cap_top) return;
  const int centre = vertex(base + Vec3{0, 0, height}, 0.5f, 0.5f);
  for (int i = 0; i < sides; ++i) triangle(centre, first + 2 * i + 1, first + 2 * i + 3, material);
}

void MeshBuilder::cone(Vec3 base, float radius, float height, int sides, const std::string& material) {
  const int first = static_cast<int>(points.size());
  for (int i = 0; i <= sides; ++i) {
    const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(sides);
    vertex(base + Vec3{radius * std::cos(a), radius * std::sin(a), 0}, static_cast<float>(i) / sides, 0);
  }
  const int apex = vertex(base + Vec3{0, 0, height}, 0.5f, 1);
  // The underside has a rim of its own: a shared rim would average the flank's normals with the
  // floor's and turn the flank's lower edge down, away from any light above, into a black band.
  const int under_rim = static_cast<int>(points.size());
  for (int i = 0; i <= sides; ++i) {
    const size_t at = static_cast<size_t>(first + i);
    vertex(points[at], uv[2 * at], 0);
  }
  const int under = vertex(base, 0.5f, 0.5f);
  for (int i = 0; i < sides; ++i) {
    triangle(first + i, first + i + 1, apex, material);
    triangle(under, under_rim + i + 1, under_rim + i, material);
  }
}

void MeshBuilder::ball(float radius, float lumps, uint32_t seed, const std::string& material) {
  // Octahedron faces split into four twice; vertices are not shared between the 8 faces so the
  // mapping can follow each face.
  const Vec3 corners[6] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  const int octants[8][3] = {{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4},
                             {1, 0, 5}, {2, 1, 5}, {3, 2, 5}, {0, 3, 5}};
  Random random(seed);
  float bumps[16];
  for (float& b : bumps) b = 1 + random.uniform(-lumps, lumps);
  auto place = [&](Vec3 p) {
    const float n = length(p);
    p = p * (1 / n);
    // The bump depends on the direction only, so the vertices the faces share stay together.
    const int cell = (p.x > 0) + 2 * (p.y > 0) + 4 * (p.z > 0) + 8 * (std::fabs(p.z) > 0.6f);
    return p * (radius * bumps[cell]);
  };
  for (const auto& o : octants) {
    const Vec3 a = corners[o[0]], b = corners[o[1]], c = corners[o[2]];
    constexpr int kSteps = 4;
    int row_start[kSteps + 1];
    for (int i = 0; i <= kSteps; ++i) {
      row_start[i] = static_cast<int>(points.size());
      for (int j = 0; j <= kSteps - i; ++j) {
        const float s = static_cast<float>(i) / kSteps, t = static_cast<float>(j) / kSteps;
        const Vec3 p = a * (1 - s - t) + b * t + c * s;
        vertex(place(p), t + 0.5f * s, s);
      }
    }
    for (int i = 0; i < kSteps; ++i)
      for (int j = 0; j < kSteps - i; ++j) {
        const int p = row_start[i] + j, q = row_start[i + 1] + j;
        triangle(p, p + 1, q, material);
        if (j + 1 < kSteps - i) triangle(p + 1, q + 1, q, material);
      }
  }
}

void MeshBuilder::append(const MeshBuilder& other, const std::function<Vec3(Vec3)>& place) {
  const int base = static_cast<int>(points.size());
  for (size_t i = 0; i < other.points.size(); ++i) vertex(place(other.points[i]), other.uv[2 * i], other.uv[2 * i + 1]);
  for (const Face& f : other.faces) triangle(base + f.a, base + f.b, base + f.c, f.material);
}

namespace {

void copy_name(char* to, size_t size, const std::string& from) {
  std::snprintf(to, size, "%s", from.c_str());
}

template <typename T>
void append_to_list(T*& head, T* item) {
  T** at = &head;
  while (*at) at = &(*at)->next;
  *at = item;
}

// lib3ds writes through an I/O object with seek and tell (it goes back to patch chunk lengths).
struct MemoryStream {
  std::vector<uint8_t> bytes;
  long position = 0;
};

Lib3dsBool stream_error(void*) { return LIB3DS_FALSE; }
long stream_seek(void* self, long offset, Lib3dsIoSeek origin) {
  auto* s = static_cast<MemoryStream*>(self);
  const long base = origin == LIB3DS_SEEK_SET ? 0 : origin == LIB3DS_SEEK_CUR ? s->position
                                                                              : static_cast<long>(s->bytes.size());
  if (base + offset < 0) return -1;
  s->position = base + offset;
  return 0;
}
long stream_tell(void* self) { return static_cast<MemoryStream*>(self)->position; }
size_t stream_read(void*, void*, size_t) { return 0; }
size_t stream_write(void* self, const void* buffer, size_t size) {
  auto* s = static_cast<MemoryStream*>(self);
  const size_t end = static_cast<size_t>(s->position) + size;
  if (end > s->bytes.size()) s->bytes.resize(end);
  std::memcpy(s->bytes.data() + s->position, buffer, size);
  s->position = static_cast<long>(end);
  return size;
}

uint16_t get16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(get16(b, at)) | static_cast<uint32_t>(get16(b, at + 2)) << 16;
}
void put32_at(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

// 3DS chunk ids the morph patch walks (the main chunk, 0x4D4D, starts the file).
constexpr uint16_t kKeyframer = 0xB000, kObjectNode = 0xB002, kNodeHeader = 0xB010, kMorphTrack = 0xB026;

// The offset of the first direct child with `id` inside the container chunk at `chunk`, searching
// from the child at `from` when it is given; 0 when there is none.
size_t find_child(const std::vector<uint8_t>& b, size_t chunk, uint16_t id, size_t from = 0) {
  const size_t end = chunk + get32(b, chunk + 2);
  for (size_t at = from ? from : chunk + 6; at + 6 <= end; at += get32(b, at + 2)) {
    if (get32(b, at + 2) < 6) return 0;
    if (get16(b, at) == id) return at;
  }
  return 0;
}

// lib3ds 1.3 cannot write morph tracks, so each is added here as the last chunk of its object
// node: a 14-byte track header (flags, 8 unused bytes, key count), then per key a u32 frame, u16
// key flags 0 and the target's name.
bool add_morph_track(std::vector<uint8_t>& b, const std::string& node_name,
                     const std::vector<std::pair<int, std::string>>& targets) {
  const size_t keyframer = find_child(b, 0, kKeyframer);
  if (!keyframer) return false;
  for (size_t node = find_child(b, keyframer, kObjectNode); node;
       node = find_child(b, keyframer, kObjectNode, node + get32(b, node + 2))) {
    const size_t header = find_child(b, node, kNodeHeader);
    if (!header || node_name != reinterpret_cast<const char*>(b.data() + header + 6)) continue;
    std::vector<uint8_t> chunk;
    put16(chunk, kMorphTrack);
    put32(chunk, 0);
    put16(chunk, 0);
    for (int i = 0; i < 8; ++i) chunk.push_back(0);
    put32(chunk, static_cast<uint32_t>(targets.size()));
    for (const auto& [frame, name] : targets) {
      put32(chunk, static_cast<uint32_t>(frame));
      put16(chunk, 0);
      chunk.insert(chunk.end(), name.begin(), name.end());
      chunk.push_back(0);
    }
    put32_at(chunk, 2, static_cast<uint32_t>(chunk.size()));
    const size_t at = node + get32(b, node + 2);
    b.insert(b.begin() + static_cast<long>(at), chunk.begin(), chunk.end());
    for (size_t grow : {node, keyframer, size_t{0}}) put32_at(b, grow + 2, get32(b, grow + 2) + static_cast<uint32_t>(chunk.size()));
    return true;
  }
  return false;
}

}  // namespace

SceneWriter::SceneWriter(int frame_start, int frame_end) : file_(lib3ds_file_new()) {
  file_->segment_from = frame_start;
  file_->segment_to = frame_end;
  file_->frames = frame_end;
}

SceneWriter::~SceneWriter() { lib3ds_file_free(file_); }

void SceneWriter::material(const MaterialSpec& def) {
  Lib3dsMaterial* m = lib3ds_material_new();
  copy_name(m->name, sizeof m->name, def.name);
  m->shading = static_cast<Lib3dsIntw>(def.shading);
  m->transparency = def.transparency;
  m->two_sided = def.two_sided;
  m->diffuse[0] = def.r;
  m->diffuse[1] = def.g;
  m->diffuse[2] = def.b;
  m->ambient[0] = def.r * 0.3f;
  m->ambient[1] = def.g * 0.3f;
  m->ambient[2] = def.b * 0.3f;
  copy_name(m->texture1_map.name, sizeof m->texture1_map.name, def.texture);
  copy_name(m->reflection_map.name, sizeof m->reflection_map.name, def.transparency_map);
  append_to_list(file_->materials, m);
}

void SceneWriter::mesh(const MeshBuilder& b) {
  Lib3dsMesh* m = lib3ds_mesh_new(b.name.c_str());
  lib3ds_matrix_identity(m->matrix);
  lib3ds_mesh_new_point_list(m, static_cast<Lib3dsDword>(b.points.size()));
  lib3ds_mesh_new_texel_list(m, static_cast<Lib3dsDword>(b.points.size()));
  lib3ds_mesh_new_face_list(m, static_cast<Lib3dsDword>(b.faces.size()));
  for (size_t i = 0; i < b.points.size(); ++i) {
    m->pointL[i].pos[0] = b.points[i].x;
    m->pointL[i].pos[1] = b.points[i].y;
    m->pointL[i].pos[2] = b.points[i].z;
    m->texelL[i][0] = b.uv[2 * i];
    m->texelL[i][1] = b.uv[2 * i + 1];
  }
  for (size_t i = 0; i < b.faces.size(); ++i) {
    Lib3dsFace& f = m->faceL[i];
    f.points[0] = b.faces[i].a;
    f.points[1] = b.faces[i].b;
    f.points[2] = b.faces[i].c;
    f.flags = LIB3DS_FACE_FLAG_VIS_AB | LIB3DS_FACE_FLAG_VIS_BC | LIB3DS_FACE_FLAG_VIS_AC;
    f.smoothing = 1;
    copy_name(f.material, sizeof f.material, b.faces[i].material);
  }
  append_to_list(file_->meshes, m);
}

void SceneWriter::light(const LightSpec& def) {
  Lib3dsLight* l = lib3ds_light_new(def.name.c_str());
  l->position[0] = def.position.x;
  l->position[1] = def.position.y;
  l->position[2] = def.position.z;
  l->color[0] = def.r;
  l->color[1] = def.g;
  l->color[2] = def.b;
  l->inner_range = def.inner_range;
  l->outer_range = def.outer_range;
  l->multiplier = 1;
  append_to_list(file_->lights, l);
}

void SceneWriter::camera(const std::string& name, Vec3 position, Vec3 target, float fov) {
  Lib3dsCamera* c = lib3ds_camera_new(name.c_str());
  c->position[0] = position.x;
  c->position[1] = position.y;
  c->position[2] = position.z;
  c->target[0] = target.x;
  c->target[1] = target.y;
  c->target[2] = target.z;
  c->fov = fov;
  append_to_list(file_->cameras, c);
}

Lib3dsNode* SceneWriter::node(int id) const { return nodes_.at(static_cast<size_t>(id)); }

namespace {

int add_node(Lib3dsFile* file, std::vector<Lib3dsNode*>& nodes, Lib3dsNode* n, const std::string& name, int parent) {
  copy_name(n->name, sizeof n->name, name);
  n->node_id = static_cast<Lib3dsWord>(nodes.size());
  n->parent_id = parent < 0 ? LIB3DS_NO_PARENT : static_cast<Lib3dsWord>(parent);
  if (parent < 0) {
    append_to_list(file->nodes, n);
  } else {
    n->parent = nodes.at(static_cast<size_t>(parent));
    append_to_list(n->parent->childs, n);
  }
  nodes.push_back(n);
  return n->node_id;
}

void set_vector_keys(Lib3dsLin3Track& track, const std::vector<PathKey>& keys, bool ease) {
  lib3ds_lin3_track_free_keys(&track);
  track.keyL = nullptr;  // lib3ds frees the keys but leaves the list head
  for (const PathKey& k : keys) {
    Lib3dsLin3Key* key = lib3ds_lin3_key_new();
    key->tcb.frame = k.frame;
    if (ease) {
      key->tcb.flags = LIB3DS_USE_TENSION;
      key->tcb.tens = 1;
    }
    key->value[0] = k.value.x;
    key->value[1] = k.value.y;
    key->value[2] = k.value.z;
    lib3ds_lin3_track_insert(&track, key);
  }
}

void set_scalar_keys(Lib3dsLin1Track& track, const std::vector<std::pair<int, float>>& keys) {
  lib3ds_lin1_track_free_keys(&track);
  track.keyL = nullptr;
  for (const auto& [frame, value] : keys) {
    Lib3dsLin1Key* key = lib3ds_lin1_key_new();
    key->tcb.frame = frame;
    key->value = value;
    lib3ds_lin1_track_insert(&track, key);
  }
}

}  // namespace

int SceneWriter::object_node(const std::string& name, int parent, bool hidden) {
  Lib3dsNode* n = lib3ds_node_new_object();
  if (hidden) n->flags1 |= LIB3DS_HIDDEN;
  const int id = add_node(file_, nodes_, n, name, parent);
  // Every object needs a key in each track, or it would be drawn at scale 0.
  position_keys(id, {{0, {0, 0, 0}}});
  scale_keys(id, {{0, {1, 1, 1}}});
  heading_keys(id, {{0, 0.0f}});
  return id;
}

int SceneWriter::light_node(const std::string& name, int parent) {
  Lib3dsNode* n = lib3ds_node_new_light();
  const int id = add_node(file_, nodes_, n, name, parent);
  for (Lib3dsLight* l = file_->lights; l; l = l->next)
    if (name == l->name) {
      Lib3dsLin3Key* key = lib3ds_lin3_key_new();
      std::memcpy(key->value, l->color, sizeof key->value);
      lib3ds_lin3_track_insert(&n->data.light.col_track, key);
    }
  return id;
}

int SceneWriter::camera_nodes(const std::string& name) {
  const int id = add_node(file_, nodes_, lib3ds_node_new_camera(), name, -1);
  add_node(file_, nodes_, lib3ds_node_new_target(), name, -1);
  set_scalar_keys(node(id)->data.camera.roll_track, {{0, 0.0f}});
  return id;
}

void SceneWriter::position_keys(int id, const std::vector<PathKey>& keys, bool ease) {
  Lib3dsNode* n = node(id);
  Lib3dsLin3Track& track = n->type == LIB3DS_OBJECT_NODE   ? n->data.object.pos_track
                           : n->type == LIB3DS_CAMERA_NODE ? n->data.camera.pos_track
                           : n->type == LIB3DS_TARGET_NODE ? n->data.target.pos_track
                                                           : n->data.light.pos_track;
  set_vector_keys(track, keys, ease);
}

void SceneWriter::target_keys(int camera_node, const std::vector<PathKey>& keys) {
  set_vector_keys(node(camera_node + 1)->data.target.pos_track, keys, false);
}

void SceneWriter::scale_keys(int id, const std::vector<PathKey>& keys, bool ease) {
  set_vector_keys(node(id)->data.object.scl_track, keys, ease);
}

void SceneWriter::heading_keys(int id, const std::vector<std::pair<int, float>>& headings) {
  Lib3dsQuatTrack& track = node(id)->data.object.rot_track;
  lib3ds_quat_track_free_keys(&track);
  track.keyL = nullptr;
  float previous = 0;
  for (const auto& [frame, heading] : headings) {
    Lib3dsQuatKey* key = lib3ds_quat_key_new();
    key->tcb.frame = frame;
    // Our reader turns the 3D Studio axes into y-up ones by exchanging y and z, which also turns
    // the sense of rotation about the vertical round: the angle is stored negated.
    key->axis[2] = 1;
    key->angle = previous - heading;
    previous = heading;
    lib3ds_quat_track_insert(&track, key);
  }
}

void SceneWriter::fov_keys(int camera_node, const std::vector<std::pair<int, float>>& fovs) {
  set_scalar_keys(node(camera_node)->data.camera.fov_track, fovs);
}

void SceneWriter::hide_keys(int id, const std::vector<int>& frames) {
  for (int frame : frames) {
    Lib3dsBoolKey* key = lib3ds_bool_key_new();
    key->tcb.frame = frame;
    lib3ds_bool_track_insert(&node(id)->data.object.hide_track, key);
  }
}

void SceneWriter::morph_keys(int id, const std::vector<std::pair<int, std::string>>& targets) {
  morphs_.push_back({node(id)->name, targets});
}

std::vector<uint8_t> SceneWriter::bytes() {
  MemoryStream stream;
  Lib3dsIo* io = lib3ds_io_new(&stream, stream_error, stream_seek, stream_tell, stream_read, stream_write);
  const bool written = io && lib3ds_file_write(file_, io);
  if (io) lib3ds_io_free(io);
  if (!written) {
    std::fprintf(stderr, "vekassets: lib3ds could not write a scene\n");
    return {};
  }
  for (const Morph& m : morphs_)
    if (!add_morph_track(stream.bytes, m.node_name, m.targets)) {
      std::fprintf(stderr, "vekassets: no keyframer node '%s' for a morph track\n", m.node_name.c_str());
      return {};
    }
  return stream.bytes;
}

}  // namespace assets
