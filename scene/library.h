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

// What a keyframer read changes in the world: the dummies and ambient records it appends, and the
// parent links, names, flags, pivots and evaluated fields of the records its nodes animate. The
// changes are kept with the scene so that the next keyframer read, or a failed one, can give the
// world back as the world read left it.
//
// Starts keeping them for a read into `scene`: the records appended from now on are the
// keyframer's. KF_NO_MEMORY on failure.
int kf_keep_world_changes(Scene* scene);
// Keeps the state of a world record before a keyframer node first changes it; later calls for the
// same record do nothing. KF_NO_MEMORY on failure.
int kf_save_record(Scene* scene, uint32_t type, void* record);
// Names an object; the name the world read gave it stays with the saved state.
int kf_rename_object(Scene* scene, Object* object, const char* name);
// Takes each animated object's pivot off its vertices, once, at the end of a keyframer read.
int kf_apply_pivots(Scene* scene);
// Gives the world back as the world read left it and forgets the changes.
void kf_undo_world_changes(Scene* scene);
// Forgets the changes without undoing them, before the world itself is freed.
void kf_forget_world_changes(Scene* scene);

}  // namespace scene
