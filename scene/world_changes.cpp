// What keyframer reads change in the world, kept so that they can be undone: reading a keyframer
// again, or failing half way, must start from the world as the world read left it instead of
// adding a second dummy or taking a pivot off twice.
#include <cstdlib>
#include <new>
#include <unordered_map>
#include <vector>

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
    // An object's vertex positions before its pivot was taken off; empty when it was not.
    std::vector<Vector> positions;
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
    std::unordered_map<const void*, size_t> index;  // record -> entry of `saved`
};

int kf_keep_world_changes(Scene* scene) {
    if (scene->world_changes) return KF_OK;
    WorldChanges* changes = new (std::nothrow) WorldChanges();
    if (!changes) return KF_NO_MEMORY;
    changes->last_read = scene->world_tail;
    scene->world_changes = changes;
    return KF_OK;
}

int kf_save_record(Scene* scene, uint32_t type, void* record) {
    WorldChanges* changes = scene->world_changes;
    if (!changes || (type != WORLD_OBJECT && type != WORLD_CAMERA && type != WORLD_LIGHT))
        return KF_OK;
    try {
        if (!changes->index.emplace(record, changes->saved.size()).second) return KF_OK;
        changes->saved.emplace_back();
    } catch (const std::bad_alloc&) {
        changes->index.erase(record);
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
    bool kept = false;
    if (WorldChanges* changes = scene->world_changes) {
        const auto found = changes->index.find(object);
        kept = found != changes->index.end() &&
               changes->saved[found->second].before.object.name == object->name;
    }
    if (!kept) std::free(object->name);
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
            saved.positions.resize(static_cast<size_t>(object->vertex_count));
        } catch (const std::bad_alloc&) {
            return KF_NO_MEMORY;
        }
        for (int32_t i = 0; i < object->vertex_count; ++i) {
            saved.positions[i] = object->vertices[i].vert;
            vec_sub(&object->vertices[i].vert, &pivot, &object->vertices[i].vert);
        }
    }
    return KF_OK;
}

void kf_undo_world_changes(Scene* scene) {
    WorldChanges* changes = scene->world_changes;
    if (!changes) return;
    for (WorldNode* node = changes->last_read->next; node;) {
        WorldNode* next = node->next;
        kf_free_record(node->type, node->record);
        std::free(node);
        node = next;
    }
    changes->last_read->next = nullptr;
    scene->world_tail = changes->last_read;
    for (const SavedRecord& saved : changes->saved) {
        switch (saved.type) {
            case WORLD_OBJECT: {
                Object* object = static_cast<Object*>(saved.record);
                for (size_t i = 0; i < saved.positions.size(); ++i)
                    object->vertices[i].vert = saved.positions[i];
                if (object->name != saved.before.object.name) std::free(object->name);
                *object = saved.before.object;
                break;
            }
            case WORLD_CAMERA:
                restore_camera(static_cast<Camera*>(saved.record), saved.before.camera);
                break;
            case WORLD_LIGHT:
                restore_light(static_cast<Light*>(saved.record), saved.before.light);
                break;
        }
    }
    delete changes;
    scene->world_changes = nullptr;
}

void kf_forget_world_changes(Scene* scene) {
    WorldChanges* changes = scene->world_changes;
    if (!changes) return;
    // Names the world read gave renamed objects are owned here.
    for (const SavedRecord& saved : changes->saved) {
        if (saved.type != WORLD_OBJECT) continue;
        const Object* object = static_cast<const Object*>(saved.record);
        if (object->name != saved.before.object.name) std::free(saved.before.object.name);
    }
    delete changes;
    scene->world_changes = nullptr;
}

}  // namespace scene
