// The records of one loaded scene: the world list (cameras, lights, meshes, materials, ambient)
// and the keyframer list (one node per animated thing with its tracks).
//
// Everything is stored y-up: every position, vector, pivot, scale, axis and mesh matrix read from a
// 3DS file (z-up) has its y and z exchanged; colours never are. Angles are degrees unless stated.
// Fields marked "renderer" belong to the renderer: the scene library allocates them zeroed and
// never reads or writes them afterwards.
#pragma once

#include <cstdint>

#include "scene/math.h"

namespace scene {

struct Color {
    float r, g, b;  // 0..1
};

struct Material;
struct KeyframerNode;

// World node types; also the bits of the type masks of kf_find_first / kf_find_next.
constexpr uint32_t WORLD_CAMERA = 1;
constexpr uint32_t WORLD_LIGHT = 2;
constexpr uint32_t WORLD_OBJECT = 4;
constexpr uint32_t WORLD_MATERIAL = 8;
constexpr uint32_t WORLD_AMBIENT = 16;

// Keyframer node types.
constexpr uint32_t NODE_CAMERA = 1;
constexpr uint32_t NODE_CAMERA_TARGET = 2;
constexpr uint32_t NODE_OMNI_LIGHT = 4;
constexpr uint32_t NODE_SPOT_LIGHT = 8;
constexpr uint32_t NODE_LIGHT_TARGET = 16;
constexpr uint32_t NODE_OBJECT = 32;
constexpr uint32_t NODE_AMBIENT = 64;

// Object flags.
constexpr uint32_t OBJECT_HIDDEN = 1;
constexpr uint32_t OBJECT_DISPLAY_HIDDEN = 2;
constexpr uint32_t OBJECT_DUMMY = 4;
constexpr uint32_t OBJECT_MORPH = 8;

// Material shading codes (0: none given, drawn as wire).
constexpr uint32_t SHADING_FLAT = 1;
constexpr uint32_t SHADING_GOURAUD = 2;
constexpr uint32_t SHADING_PHONG = 3;
constexpr uint32_t SHADING_METAL = 4;

// Material flags.
constexpr uint32_t MATERIAL_TWOSIDED = 1;
constexpr uint32_t MATERIAL_SOFTEN = 2;
constexpr uint32_t MATERIAL_WIREFRAME = 4;
constexpr uint32_t MATERIAL_TRANSPARENCY_ADD = 8;

// Texture map flags (the file's tiling word; only these two are shown in dumps).
constexpr uint32_t MAP_MIRROR = 2;
constexpr uint32_t MAP_NEGATIVE = 8;

// Light kinds.
constexpr uint32_t LIGHT_OMNI = 1;
constexpr uint32_t LIGHT_SPOT = 2;

// Track modes.
constexpr uint32_t TRACK_NONE = 0;
constexpr uint32_t TRACK_REPEAT = 1;
constexpr uint32_t TRACK_LOOP = 2;

// Dummy objects and the ambient record take their keyframer node id plus this as world id.
constexpr int32_t KEYFRAMER_ID_BASE = 0x400;

// Face flags.
constexpr uint32_t FACE_WRAP_U = 1;  // file face info bit 3 (0x08)
constexpr uint32_t FACE_WRAP_V = 2;  // file face info bit 4 (0x10)

struct WorldNode {
    uint32_t type;   // WORLD_*; 0 for a node whose record the renderer's optimizer removed
    void* record;    // Camera, Light, Object, Material or Ambient; owned by the node
    WorldNode* next;
};

struct Scene {
    float frame_start;
    float frame_end;
    float frame_current;  // frame that kf_evaluate uses
    WorldNode* world;     // null: no world loaded
    WorldNode* world_tail;
    KeyframerNode* keyframer;  // null: no motion loaded
    KeyframerNode* keyframer_tail;
    // Library: what keyframer reads changed in the world, undone before the next keyframer read.
    struct WorldChanges* world_changes;
    // renderer
    void* sort_table;         // face sort table
    void* texture_buffer;     // texture slots, unaligned as allocated
    void* animated_textures;  // table of animated materials
    int32_t animated_count;
    uint32_t render_reserved;
};

struct Camera {
    char* name;
    int32_t id;
    int32_t parent1;  // world id of the camera's keyframer parent, -1 none
    int32_t parent2;  // the same for the target
    Vector position;
    Vector target;
    float fov;  // horizontal
    float roll;
    float size_x, size_y;  // viewport in pixels, set by the caller
    float aspect;          // pixel aspect, set by the caller
    float persp_x, persp_y;
    Matrix matrix;  // world to camera
};

// Omni and spot lights. Target, roll, hotspot and falloff are meaningful for spots only.
struct Light {
    char* name;
    int32_t id;
    int32_t parent1;  // light source parent, -1 none
    int32_t parent2;  // spot target parent, -1 none
    uint32_t kind;    // LIGHT_OMNI or LIGHT_SPOT
    Vector position;
    Vector target;
    // renderer
    float flare_x, flare_y;
    int32_t flare_visible;
    float flare_depth;
    int32_t flare_width, flare_height;
    float flare_margin_x, flare_margin_y;
    float roll;
    float hotspot, falloff;  // degrees as stored in the file
    float range_a, range_b;  // chunks 0x4659 and 0x465A
    Color color;
};

struct Vertex {
    Vector vert;   // object space
    Vector pvert;  // camera space
    Vector norm;   // object-space unit normal
    Vector pnorm;  // world-space normal
    float u, v;
    // renderer
    float screen_x, screen_y;
    float intensity;
    int32_t visible;
};

struct Face {
    int32_t a, b, c;  // vertex indices, each below the object's vertex_count
    uint32_t flags;   // FACE_*
    int32_t material;  // material id, 0 when none was assigned
    Vertex* pa;
    Vertex* pb;
    Vertex* pc;
    Material* pmaterial;  // null when none was assigned
    Vector norm;
    Vector pnorm;
    uint32_t render_reserved;  // renderer
};

struct Object {
    char* name;
    int32_t id;
    int32_t parent;  // world id of the keyframer parent object, -1 none
    int32_t vertex_count;
    int32_t face_count;
    uint32_t flags;  // OBJECT_*
    Vertex* vertices;
    Face* faces;
    Vector pivot;  // already subtracted from the vertices
    Vector translate;
    Vector scale;
    Vector bbox_min, bbox_max;    // object space
    Vector pbbox_min, pbbox_max;  // world space, when the library transforms
    Quaternion rotate;
    int32_t morph_from, morph_to;  // object ids
    float morph_alpha;
    Matrix matrix;  // object to world
};

struct TextureMap {
    char* filename;  // null: no map
    uint32_t flags;  // MAP_* among others
    float u_scale, v_scale;
    float u_offset, v_offset;
    float angle;
    // renderer
    void* texture;
    int32_t texture_width, texture_height, texture_bits;
    int32_t animated;
    int32_t last_frame, current_frame;
    float frame_u_offset, frame_v_offset;
    void* first_slot;
};

struct Material {
    char* name;
    int32_t id;
    uint32_t shading;  // SHADING_*, 0 when none was given
    uint32_t flags;    // MATERIAL_*
    Color ambient, diffuse, specular;
    // Fractions 0..1 (the file's percent / 100).
    float shininess;
    float shininess_strength;
    float transparency;
    float trans_falloff;
    float reflection_blur;
    float self_illumination;
    TextureMap texture_map;
    TextureMap bump_map;
    TextureMap reflection_map;
    // renderer
    int32_t transparency_mode;
    int32_t weights[2];
};

struct Ambient {
    char* name;
    int32_t id;
    Color color;
};

struct Key {
    float frame;
    float tension, bias, continuity, ease_to, ease_from;
    // Scalar tracks use value[0]; vector and colour tracks three; rotation tracks the accumulated
    // angle and the axis; morph tracks the target object id as int32 in the first word.
    float value[4];
    float tangent_in[4];
    float tangent_out[4];
    Quaternion quat_a;  // outgoing squad control point
    Quaternion quat_b;  // incoming squad control point
    Quaternion quat;    // absolute rotation at this key
    Key* next;
    Key* prev;
};

struct Track {
    uint32_t mode;  // TRACK_*
    int32_t key_count;
    float frames;  // frame of the last key: the period of repeat and loop
    Key* keys;
    Key* current;  // reading: last appended key; evaluating: key found by the previous search
};

// The tracks of one keyframer node, null where the file has none. Slots by node type:
//   camera: position, fov, roll          camera target, light target: position
//   omni light: position, colour         spot light: position, colour, roll
//   object: position, scale, rotation, morph, hide
//   ambient: colour
struct TrackSet {
    Track* track[5];
};

struct KeyframerNode {
    uint32_t type;  // NODE_*
    int32_t id;     // keyframer node id
    TrackSet* tracks;  // owned by the node
    void* record;      // the world record it animates
    KeyframerNode* parent;
    KeyframerNode* child;    // first child
    KeyframerNode* sibling;  // next child of the same parent
    KeyframerNode* next;     // keyframer list, file order
    // Cameras, lights and their targets: the record's position (targets: target) as the world read
    // gave it. Evaluation starts there when the node has no position track, so that parents move
    // it from the same place every frame.
    Vector local;
};

}  // namespace scene
