// Library-global state and the record helpers shared by the scene library's own files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "scene/records.h"

namespace scene {

extern uint32_t options;       // KF_* bits given to kf_startup
extern Scene* active_scene;    // null at start
extern Camera* active_camera;  // null at start

// Every world record starts with its name and id.
struct RecordHead {
    char* name;
    int32_t id;
};
static_assert(offsetof(Camera, id) == offsetof(RecordHead, id), "camera starts with name, id");
static_assert(offsetof(Light, id) == offsetof(RecordHead, id), "light starts with name, id");
static_assert(offsetof(Object, id) == offsetof(RecordHead, id), "object starts with name, id");
static_assert(offsetof(Material, id) == offsetof(RecordHead, id), "material starts with name, id");
static_assert(offsetof(Ambient, id) == offsetof(RecordHead, id), "ambient starts with name, id");

inline const RecordHead* kf_record_head(const void* record) {
    return static_cast<const RecordHead*>(record);
}

// Heap copy of a zero-terminated name; null when out of memory.
char* kf_copy_name(const char* name);

// A zeroed world record named by a heap copy of `name`; null when out of memory.
template <typename Record>
Record* kf_new_record(const char* name) {
    Record* record = static_cast<Record*>(std::calloc(1, sizeof(Record)));
    if (!record) return nullptr;
    record->name = kf_copy_name(name);
    if (!record->name) {
        std::free(record);
        return nullptr;
    }
    return record;
}

// Appends a world node owning `record` to the scene's world list; KF_NO_MEMORY on failure (the
// record is then still the caller's).
int kf_append_world(Scene* scene, uint32_t type, void* record);

// Which fields a normal computation reads and writes: object space (vert into norm) after a world
// read, camera space (pvert into pnorm) for a morphed object.
struct NormalFields {
    Vector Vertex::*position;
    Vector Vertex::*vertex_normal;
    Vector Face::*face_normal;
};
constexpr NormalFields kObjectNormals = {&Vertex::vert, &Vertex::norm, &Face::norm};
constexpr NormalFields kCameraNormals = {&Vertex::pvert, &Vertex::pnorm, &Face::pnorm};

// Face normals, then each vertex's normal as the normalised mean of the faces naming it. Sums run
// in face order, as a scan of all faces per vertex would add them; a face naming one vertex twice
// counts once. `uses` has room for the object's vertex count.
void kf_compute_normals(Object* object, int32_t* uses, const NormalFields& fields);

// Frees a world record of the given WORLD_* type with everything it owns; null is ignored.
void kf_free_record(uint32_t type, void* record);

}  // namespace scene
