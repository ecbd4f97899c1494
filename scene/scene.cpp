// Library state, scene allocation, world loading and freeing, the active scene and camera, lookups.
#include <cstdlib>
#include <cstring>

#include "scene/chunks.h"
#include "scene/kf.h"
#include "scene/library.h"

namespace scene {

uint32_t options = 0;
Scene* active_scene = nullptr;
Camera* active_camera = nullptr;

char* kf_copy_name(const char* name) {
    const size_t size = std::strlen(name) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy) std::memcpy(copy, name, size);
    return copy;
}

int kf_append_world(Scene* scene, uint32_t type, void* record) {
    WorldNode* node = static_cast<WorldNode*>(std::calloc(1, sizeof(WorldNode)));
    if (!node) return KF_NO_MEMORY;
    node->type = type;
    node->record = record;
    if (scene->world_tail)
        scene->world_tail->next = node;
    else
        scene->world = node;
    scene->world_tail = node;
    return KF_OK;
}

void kf_free_record(uint32_t type, void* record) {
    if (!record) return;
    switch (type) {
        case WORLD_CAMERA: std::free(static_cast<Camera*>(record)->name); break;
        case WORLD_LIGHT: std::free(static_cast<Light*>(record)->name); break;
        case WORLD_AMBIENT: std::free(static_cast<Ambient*>(record)->name); break;
        case WORLD_OBJECT: {
            Object* object = static_cast<Object*>(record);
            std::free(object->name);
            std::free(object->vertices);
            std::free(object->faces);
            break;
        }
        case WORLD_MATERIAL: {
            Material* material = static_cast<Material*>(record);
            std::free(material->name);
            std::free(material->texture_map.filename);
            std::free(material->bump_map.filename);
            std::free(material->reflection_map.filename);
            break;
        }
    }
    std::free(record);
}

int kf_startup(uint32_t startup_options) {
    options = startup_options;
    active_scene = nullptr;
    active_camera = nullptr;
    return KF_OK;
}

int kf_shutdown() {
    options = 0;
    active_scene = nullptr;
    active_camera = nullptr;
    return KF_OK;
}

const char* kf_error_text(int code) {
    static const char* const kTexts[] = {
        "not enough memory",        "file not found",       "corrupted file",
        "unsupported version",      "unsupported format",   "invalid frame number",
        "invalid object name",      "no frames in keyframer", "scene not loaded",
        "null pointer assignment",  "invalid parameter",    "less than 2 keys in spline",
        "cannot inverse singular matrix", "bad object id",  "object already exist",
    };
    static_assert(sizeof kTexts / sizeof kTexts[0] == KF_EXISTS, "one text per code 1..15");
    if (code < KF_NO_MEMORY || code > KF_EXISTS) return "internal error";
    return kTexts[code - 1];
}

int kf_scene_new(Scene** out) {
    if (!out) return KF_NULL;
    *out = static_cast<Scene*>(std::calloc(1, sizeof(Scene)));
    return *out ? KF_OK : KF_NO_MEMORY;
}

int kf_world_free(Scene* scene) {
    if (!scene || !scene->world) return KF_NULL;
    kf_forget_world_changes(scene);
    for (WorldNode* node = scene->world; node;) {
        WorldNode* next = node->next;
        // The active camera must not outlive its record.
        if (node->record == active_camera) active_camera = nullptr;
        kf_free_record(node->type, node->record);
        std::free(node);
        node = next;
    }
    scene->world = nullptr;
    scene->world_tail = nullptr;
    return KF_OK;
}

int kf_motion_free(Scene* scene) {
    if (!scene || !scene->keyframer) return KF_NULL;
    for (KeyframerNode* node = scene->keyframer; node;) {
        KeyframerNode* next = node->next;
        if (node->tracks) {
            for (Track* track : node->tracks->track) {
                if (!track) continue;
                for (Key* key = track->keys; key;) {
                    Key* next_key = key->next;
                    std::free(key);
                    key = next_key;
                }
                std::free(track);
            }
            std::free(node->tracks);
        }
        std::free(node);
        node = next;
    }
    scene->keyframer = nullptr;
    scene->keyframer_tail = nullptr;
    return KF_OK;
}

int kf_scene_free(Scene* scene) {
    const int error = kf_world_free(scene);
    return error ? error : kf_motion_free(scene);
}

int kf_scene_delete(Scene* scene) {
    if (!scene) return KF_OK;
    kf_world_free(scene);
    kf_motion_free(scene);
    if (active_scene == scene) active_scene = nullptr;
    std::free(scene);
    return KF_OK;
}

void kf_compute_normals(Object* object, int32_t* uses, const NormalFields& fields) {
    std::memset(uses, 0, sizeof(int32_t) * static_cast<size_t>(object->vertex_count));
    for (int32_t i = 0; i < object->vertex_count; ++i)
        vec_zero(&(object->vertices[i].*fields.vertex_normal));
    for (int32_t i = 0; i < object->face_count; ++i) {
        Face& face = object->faces[i];
        Vector ab, bc, n;
        vec_sub(&(face.pa->*fields.position), &(face.pb->*fields.position), &ab);
        vec_sub(&(face.pb->*fields.position), &(face.pc->*fields.position), &bc);
        vec_cross(&ab, &bc, &n);
        Vector& face_normal = face.*fields.face_normal;
        vec_normalize(&n, &face_normal);
        const int32_t corners[3] = {face.a, face.b, face.c};
        for (int k = 0; k < 3; ++k) {
            if ((k >= 1 && corners[k] == corners[0]) || (k == 2 && corners[2] == corners[1]))
                continue;
            Vector& sum = object->vertices[corners[k]].*fields.vertex_normal;
            vec_add(&sum, &face_normal, &sum);
            ++uses[corners[k]];
        }
    }
    for (int32_t i = 0; i < object->vertex_count; ++i) {
        Vector& norm = object->vertices[i].*fields.vertex_normal;
        if (uses[i] > 0) vec_scale(&norm, 1.0f / static_cast<float>(uses[i]), &norm);
        vec_normalize(&norm, &norm);
    }
}

namespace {

void compute_bounding_box(Object* object) {
    if (object->vertex_count == 0) return;
    Vector low = object->vertices[0].vert;
    Vector high = low;
    for (int32_t i = 1; i < object->vertex_count; ++i) {
        const Vector& v = object->vertices[i].vert;
        if (v.x < low.x) low.x = v.x;
        if (v.y < low.y) low.y = v.y;
        if (v.z < low.z) low.z = v.z;
        if (v.x > high.x) high.x = v.x;
        if (v.y > high.y) high.y = v.y;
        if (v.z > high.z) high.z = v.z;
    }
    object->bbox_min = low;
    object->bbox_max = high;
}

int finish_world(Scene* scene) {
    int32_t most_vertices = 0;
    for (WorldNode* node = scene->world; node; node = node->next) {
        if (node->type != WORLD_OBJECT) continue;
        Object* object = static_cast<Object*>(node->record);
        compute_bounding_box(object);
        if (object->vertex_count > most_vertices) most_vertices = object->vertex_count;
    }
    if (!(options & KF_NORMALS) || most_vertices == 0) return KF_OK;
    int32_t* uses = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(most_vertices)));
    if (!uses) return KF_NO_MEMORY;
    for (WorldNode* node = scene->world; node; node = node->next)
        if (node->type == WORLD_OBJECT)
            kf_compute_normals(static_cast<Object*>(node->record), uses, kObjectNormals);
    std::free(uses);
    return KF_OK;
}

// Empties the scene's lists before a load; a previous load is freed rather than lost.
void clear_scene(Scene* scene) {
    kf_world_free(scene);
    kf_motion_free(scene);
    scene->frame_start = 0.0f;
    scene->frame_end = 0.0f;
    scene->frame_current = 0.0f;
}

int read_world(const uint8_t* data, uint32_t size, Scene* scene, Scene* remembered) {
    active_scene = scene;
    ChunkReader reader;
    kf_reader_begin(reader, data, size, scene);
    int error = kf_read_3ds_world(reader);
    if (!error) error = finish_world(scene);
    if (remembered) active_scene = remembered;
    if (error) kf_world_free(scene);
    return error;
}

}  // namespace

int kf_world_read_memory(const uint8_t* data, uint32_t size, Scene* scene) {
    if (!scene || (!data && size > 0)) return KF_NULL;
    Scene* remembered = active_scene;
    clear_scene(scene);
    return read_world(data, size, scene, remembered);
}

int kf_world_read(const char* name, Scene* scene) {
    if (!name || !scene) return KF_NULL;
    Scene* remembered = active_scene;
    clear_scene(scene);
    uint8_t* data;
    uint32_t size;
    int error = kf_load_file(name, &data, &size);
    if (error) return error;
    error = read_world(data, size, scene, remembered);
    std::free(data);
    return error;
}

int kf_use_scene(Scene* scene) {
    if (!scene) return KF_NULL;
    active_scene = scene;
    return KF_OK;
}

int kf_use_camera(Camera* camera) {
    active_camera = camera;
    return KF_OK;
}

int kf_current_camera(Camera** out) {
    if (!out) return KF_NULL;
    *out = active_camera;
    return KF_OK;
}

namespace {

// Every world record starts with its name and id.
const char* record_name(const WorldNode* node) {
    switch (node->type) {
        case WORLD_CAMERA: return static_cast<const Camera*>(node->record)->name;
        case WORLD_LIGHT: return static_cast<const Light*>(node->record)->name;
        case WORLD_OBJECT: return static_cast<const Object*>(node->record)->name;
        case WORLD_MATERIAL: return static_cast<const Material*>(node->record)->name;
        case WORLD_AMBIENT: return static_cast<const Ambient*>(node->record)->name;
    }
    return nullptr;
}

bool record_id(const WorldNode* node, int32_t* id) {
    switch (node->type) {
        case WORLD_CAMERA: *id = static_cast<const Camera*>(node->record)->id; return true;
        case WORLD_LIGHT: *id = static_cast<const Light*>(node->record)->id; return true;
        case WORLD_OBJECT: *id = static_cast<const Object*>(node->record)->id; return true;
        case WORLD_MATERIAL: *id = static_cast<const Material*>(node->record)->id; return true;
        case WORLD_AMBIENT: *id = static_cast<const Ambient*>(node->record)->id; return true;
    }
    return false;
}

// 0 when there is a world to search, else the error the lookups report.
int lookup_ready(const void* out) {
    if (!out) return KF_NULL;
    if (!active_scene || !active_scene->world) return KF_NO_SCENE;
    return KF_OK;
}

WorldNode* first_of_type(WorldNode* node, uint32_t type_mask) {
    while (node && !(node->type & type_mask)) node = node->next;
    return node;
}

}  // namespace

int kf_find_name(const char* name, WorldNode** out) {
    if (const int error = lookup_ready(out)) return error;
    *out = nullptr;
    if (!name) return KF_NULL;
    for (WorldNode* node = active_scene->world; node; node = node->next) {
        const char* record = record_name(node);
        if (record && std::strcmp(record, name) == 0) {
            *out = node;
            break;
        }
    }
    return KF_OK;
}

int kf_find_id(int32_t id, WorldNode** out) {
    if (const int error = lookup_ready(out)) return error;
    *out = nullptr;
    for (WorldNode* node = active_scene->world; node; node = node->next) {
        int32_t record;
        if (record_id(node, &record) && record == id) {
            *out = node;
            break;
        }
    }
    return KF_OK;
}

int kf_find_first(uint32_t type_mask, WorldNode** out) {
    if (const int error = lookup_ready(out)) return error;
    *out = first_of_type(active_scene->world, type_mask);
    return KF_OK;
}

int kf_find_next(uint32_t type_mask, WorldNode** node) {
    if (const int error = lookup_ready(node)) return error;
    if (!*node) return KF_NULL;
    *node = first_of_type((*node)->next, type_mask);
    return KF_OK;
}

}  // namespace scene
