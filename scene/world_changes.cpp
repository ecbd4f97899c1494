// What keyframer reads change in the world, kept so that they can be undone: reading a keyframer
// again, or failing half way, must start from the world as the world read left it instead of
// adding a second dummy or taking a pivot off twice.
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "scene/hash_index.h"
#include "scene/kf.h"
#include "scene/library.h"

namespace scene {

namespace {

struct SavedRecord {
    uint32_t type;  // WORLD_OBJECT, WORLD_CAMERA or WORLD_LIGHT
    void* record;
    union {
        Object object;
        Camera camera;
        Light light;
    } before;
};

void restore_camera(Camera* camera, const Camera& before) {
    // Viewport size and aspect are the caller's; everything else the keyframer may have written.
    camera->parent1 = before.parent1;
    camera->parent2 = before.parent2;
    camera->position = before.position;
    camera->target = before.target;
    camera->fov = before.fov;
    camera->roll = before.roll;
    camera->persp_x = before.persp_x;
    camera->persp_y = before.persp_y;
    camera->matrix = before.matrix;
}

void restore_light(Light* light, const Light& before) {
    // The flare fields are the renderer's.
    light->parent1 = before.parent1;
    light->parent2 = before.parent2;
    light->position = before.position;
    light->target = before.target;
    light->roll = before.roll;
    light->color = before.color;
}

}  // namespace

struct WorldChanges {
    WorldNode* last_read;  // last node of the world read; the keyframer's own records follow it
    std::vector<SavedRecord> saved;  // in the order first changed
    HashIndex saved_records;         // the records of `saved`
    // Each object renamed and the name it had, in order; the names are owned here.
    std::vector<std::pair<Object*, char*>> renames;
    // Each object whose pivot was taken off and its vertex positions before.
    std::vector<std::pair<Object*, std::vector<Vector>>> unpivoted;
};

int kf_keep_world_changes(Scene* scene) {
    if (scene->world_changes) return KF_OK;
    WorldChanges* changes = new (std::nothrow) WorldChanges();
    if (!changes) return KF_NO_MEMORY;
    changes->last_read = scene->world_tail;
    scene->world_changes = changes;
    // Room for every record a node may save, so that saving never moves the saved ones.
    size_t records = 0;
    for (const WorldNode* node = scene->world; node; node = node->next)
        if (node->type & (WORLD_OBJECT | WORLD_CAMERA | WORLD_LIGHT)) ++records;
    try {
        changes->saved.reserve(records);
    } catch (const std::bad_alloc&) {
        return KF_NO_MEMORY;
    }
    return KF_OK;
}

int kf_save_record(Scene* scene, uint32_t type, void* record) {
    WorldChanges* changes = scene->world_changes;
    if (!changes || (type != WORLD_OBJECT && type != WORLD_CAMERA && type != WORLD_LIGHT))
        return KF_OK;
    const uint32_t hash = kf_hash_pointer(record);
    if (changes->saved_records.find(hash, [record](const void* saved) { return saved == record; }))
        return KF_OK;
    try {
        changes->saved.emplace_back();
    } catch (const std::bad_alloc&) {
        return KF_NO_MEMORY;
    }
    if (!changes->saved_records.add(hash, record)) {
        changes->saved.pop_back();
        return KF_NO_MEMORY;
    }
    SavedRecord& saved = changes->saved.back();
    saved.type = type;
    saved.record = record;
    switch (type) {
        case WORLD_OBJECT: saved.before.object = *static_cast<Object*>(record); break;
        case WORLD_CAMERA: saved.before.camera = *static_cast<Camera*>(record); break;
        case WORLD_LIGHT: saved.before.light = *static_cast<Light*>(record); break;
    }
    return KF_OK;
}

int kf_rename_object(Scene* scene, Object* object, const char* name) {
    char* copy = kf_copy_name(name);
    if (!copy) return KF_NO_MEMORY;
    if (WorldChanges* changes = scene->world_changes) {
        try {
            changes->renames.emplace_back(object, object->name);
        } catch (const std::bad_alloc&) {
            std::free(copy);
            return KF_NO_MEMORY;
        }
    } else {
        std::free(object->name);
    }
    object->name = copy;
    return KF_OK;
}

int kf_apply_pivots(Scene* scene) {
    WorldChanges* changes = scene->world_changes;
    if (!changes) return KF_OK;
    for (SavedRecord& saved : changes->saved) {
        if (saved.type != WORLD_OBJECT) continue;
        Object* object = static_cast<Object*>(saved.record);
        const Vector pivot = object->pivot;
        if ((pivot.x == 0.0f && pivot.y == 0.0f && pivot.z == 0.0f) || object->vertex_count == 0)
            continue;
        // Kept whole: adding the pivot back need not give the same floats.
        try {
            changes->unpivoted.emplace_back(object, std::vector<Vector>());
            changes->unpivoted.back().second.resize(static_cast<size_t>(object->vertex_count));
        } catch (const std::bad_alloc&) {
            if (!changes->unpivoted.empty() && changes->unpivoted.back().second.empty())
                changes->unpivoted.pop_back();
            return KF_NO_MEMORY;
        }
        std::vector<Vector>& positions = changes->unpivoted.back().second;
        for (int32_t i = 0; i < object->vertex_count; ++i) {
            positions[i] = object->vertices[i].vert;
            vec_sub(&object->vertices[i].vert, &pivot, &object->vertices[i].vert);
        }
    }
    return KF_OK;
}

void kf_undo_world_changes(Scene* scene) {
    WorldChanges* changes = scene->world_changes;
    if (!changes) return;
    // Names first, newest first, while the records the keyframer added still exist.
    for (auto rename = changes->renames.rbegin(); rename != changes->renames.rend(); ++rename) {
        std::free(rename->first->name);
        rename->first->name = rename->second;
    }
    for (auto& unpivoted : changes->unpivoted)
        for (size_t i = 0; i < unpivoted.second.size(); ++i)
            unpivoted.first->vertices[i].vert = unpivoted.second[i];
    for (const SavedRecord& saved : changes->saved) {
        switch (saved.type) {
            case WORLD_OBJECT: *static_cast<Object*>(saved.record) = saved.before.object; break;
            case WORLD_CAMERA:
                restore_camera(static_cast<Camera*>(saved.record), saved.before.camera);
                break;
            case WORLD_LIGHT:
                restore_light(static_cast<Light*>(saved.record), saved.before.light);
                break;
        }
    }
    for (WorldNode* node = changes->last_read->next; node;) {
        WorldNode* next = node->next;
        kf_free_record(node->type, node->record);
        std::free(node);
        node = next;
    }
    changes->last_read->next = nullptr;
    scene->world_tail = changes->last_read;
    delete changes;
    scene->world_changes = nullptr;
}

void kf_forget_world_changes(Scene* scene) {
    WorldChanges* changes = scene->world_changes;
    if (!changes) return;
    // The names renamed objects had are owned here; the world holds only the current ones.
    for (const auto& rename : changes->renames) std::free(rename.second);
    delete changes;
    scene->world_changes = nullptr;
}

}  // namespace scene
