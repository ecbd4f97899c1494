// Frames and per-frame evaluation: tracks into records, parent transforms, camera matrices and
// projection factors, and the transform of every object into camera space.
#include <cmath>
#include <cstdlib>

#include "scene/kf.h"
#include "scene/library.h"
#include "scene/tracks.h"

namespace scene {
namespace {

// Track slots (see TrackSet).
enum : int { SLOT_POSITION = 0, SLOT_FOV = 1, SLOT_CAMERA_ROLL = 2 };
enum : int { SLOT_COLOR = 1, SLOT_SPOT_ROLL = 2, SLOT_AMBIENT_COLOR = 0 };
enum : int { SLOT_SCALE = 1, SLOT_ROTATION = 2, SLOT_MORPH = 3, SLOT_HIDE = 4 };

int frames_ready() {
    if (active_scene == nullptr || active_scene->keyframer == nullptr) return KF_NO_SCENE;
    if (active_scene->frame_end - active_scene->frame_start == 0.0f) return KF_NO_FRAMES;
    return KF_OK;
}

float radians(float degrees) { return degrees * (1.0f / 180.0f) * kPi; }

Track* track_of(const KeyframerNode* node, int slot) { return node->tracks->track[slot]; }

// Evaluators leave their output untouched when the node has no such track; but an object without
// a hide track is shown, and its morph flag is set exactly when it has a morph track.
void evaluate_object(const KeyframerNode* node, float frame) {
    Object* object = static_cast<Object*>(node->record);
    kf_track_vector(track_of(node, SLOT_POSITION), frame, &object->translate);
    kf_track_vector(track_of(node, SLOT_SCALE), frame, &object->scale);
    kf_track_rotation(track_of(node, SLOT_ROTATION), frame, &object->rotate);
    int hidden = 0;
    kf_track_hide(track_of(node, SLOT_HIDE), frame, &hidden);
    if (hidden)
        object->flags |= OBJECT_HIDDEN;
    else
        object->flags &= ~OBJECT_HIDDEN;
    if (kf_track_morph(track_of(node, SLOT_MORPH), frame, &object->morph_from, &object->morph_to,
                       &object->morph_alpha) == KF_OK)
        object->flags |= OBJECT_MORPH;
    else
        object->flags &= ~OBJECT_MORPH;

    // matrix = [R | translate] x diag(scale)
    Matrix rotation, scale;
    qt_to_matrix(&object->rotate, &rotation);
    rotation.xw = object->translate.x;
    rotation.yw = object->translate.y;
    rotation.zw = object->translate.z;
    mat_scale(&object->scale, &scale);
    mat_mul(&rotation, &scale, &object->matrix);
}

// A camera, light or target without position keys starts from its own place every frame, not from
// where the hierarchy moved it the frame before.
void place(const KeyframerNode* node, float frame, Vector* position) {
    if (kf_track_vector(track_of(node, SLOT_POSITION), frame, position) != KF_OK)
        *position = node->local;
}

void evaluate_node(const KeyframerNode* node, float frame) {
    switch (node->type) {
        case NODE_CAMERA: {
            Camera* camera = static_cast<Camera*>(node->record);
            place(node, frame, &camera->position);
            kf_track_scalar(track_of(node, SLOT_FOV), frame, &camera->fov);
            kf_track_scalar(track_of(node, SLOT_CAMERA_ROLL), frame, &camera->roll);
            break;
        }
        case NODE_CAMERA_TARGET:
            place(node, frame, &static_cast<Camera*>(node->record)->target);
            break;
        case NODE_OMNI_LIGHT:
        case NODE_SPOT_LIGHT: {
            Light* light = static_cast<Light*>(node->record);
            place(node, frame, &light->position);
            kf_track_color(track_of(node, SLOT_COLOR), frame, &light->color);
            if (node->type == NODE_SPOT_LIGHT)
                kf_track_scalar(track_of(node, SLOT_SPOT_ROLL), frame, &light->roll);
            break;
        }
        case NODE_LIGHT_TARGET:
            place(node, frame, &static_cast<Light*>(node->record)->target);
            break;
        case NODE_AMBIENT:
            kf_track_color(track_of(node, SLOT_AMBIENT_COLOR), frame,
                           &static_cast<Ambient*>(node->record)->color);
            break;
        case NODE_OBJECT: evaluate_object(node, frame); break;
    }
}

void apply_parent(const Matrix* parent, const KeyframerNode* child) {
    switch (child->type) {
        case NODE_OBJECT: {
            Object* object = static_cast<Object*>(child->record);
            mat_mul(parent, &object->matrix, &object->matrix);
            break;
        }
        case NODE_CAMERA: {
            Camera* camera = static_cast<Camera*>(child->record);
            mat_mul_point(parent, &camera->position, &camera->position);
            break;
        }
        case NODE_CAMERA_TARGET: {
            Camera* camera = static_cast<Camera*>(child->record);
            mat_mul_point(parent, &camera->target, &camera->target);
            break;
        }
        case NODE_OMNI_LIGHT:
        case NODE_SPOT_LIGHT: {
            Light* light = static_cast<Light*>(child->record);
            mat_mul_point(parent, &light->position, &light->position);
            break;
        }
        case NODE_LIGHT_TARGET: {
            Light* light = static_cast<Light*>(child->record);
            mat_mul_point(parent, &light->target, &light->target);
            break;
        }
    }
}

// One pass in list order: a grandchild gets the whole chain only when its parent stands before it.
void apply_hierarchy(const Scene* scene) {
    for (const KeyframerNode* node = scene->keyframer; node != nullptr; node = node->next) {
        if (node->type != NODE_OBJECT) continue;
        const Matrix* matrix = &static_cast<const Object*>(node->record)->matrix;
        for (const KeyframerNode* child = node->child; child != nullptr; child = child->sibling)
            apply_parent(matrix, child);
    }
    for (const KeyframerNode* node = scene->keyframer; node != nullptr; node = node->next) {
        if (node->type != NODE_CAMERA) continue;
        const Vector* position = &static_cast<const Camera*>(node->record)->position;
        for (const KeyframerNode* child = node->child; child != nullptr; child = child->sibling) {
            if (child->type != NODE_OMNI_LIGHT && child->type != NODE_SPOT_LIGHT) continue;
            Light* light = static_cast<Light*>(child->record);
            vec_add(&light->position, position, &light->position);
        }
    }
}

// Camera space has +z along the view direction and +y up; yaw turns about y from +z toward +x,
// pitch raises the view toward +y, roll turns the picture about the view direction.
void update_camera(Camera* camera) {
    Vector d;
    vec_sub(&camera->target, &camera->position, &d);
    const float length = vec_length(&d);
    const float yaw = std::atan2(d.x, d.z);
    // Rounding may put |d.y| a hair above the length; asin would give NaN there.
    const float rise = std::fmax(-1.0f, std::fmin(1.0f, d.y / length));
    const float pitch = std::asin(rise);
    const float r = radians(camera->roll);
    const float sy = std::sin(yaw), cy = std::cos(yaw);
    const float sp = std::sin(pitch), cp = std::cos(pitch);
    const float sr = std::sin(r), cr = std::cos(r);
    const Vector right = {cy, 0.0f, -sy};
    const Vector up = {-sy * sp, cp, -cy * sp};
    const Vector forward = {sy * cp, sp, cy * cp};

    Matrix& m = camera->matrix;
    m.xx = cr * right.x - sr * up.x;
    m.xy = cr * right.y - sr * up.y;
    m.xz = cr * right.z - sr * up.z;
    m.yx = sr * right.x + cr * up.x;
    m.yy = sr * right.y + cr * up.y;
    m.yz = sr * right.z + cr * up.z;
    m.zx = forward.x;
    m.zy = forward.y;
    m.zz = forward.z;
    Vector back, t;
    vec_negate(&camera->position, &back);
    mat_mul_normal(&m, &back, &t);
    m.xw = t.x;
    m.yw = t.y;
    m.zw = t.z;

    const float tan_half = std::tan(radians(camera->fov * 0.5f));
    camera->persp_x = (camera->size_x * 0.5f) / tan_half;
    camera->persp_y = (camera->size_y * 0.5f / camera->aspect) / tan_half;
}

// Scratch counts for recomputed vertex normals; grows to the largest object and is kept.
int32_t* face_uses(int32_t count) {
    static int32_t* uses = nullptr;
    static int32_t capacity = 0;
    if (count > capacity) {
        int32_t* grown = static_cast<int32_t*>(std::realloc(uses, sizeof(int32_t) * count));
        if (grown == nullptr) return nullptr;
        uses = grown;
        capacity = count;
    }
    return uses;
}

// Face and vertex normals of the transformed vertices, as a world read computes them from the
// object-space ones. False when there is no memory for the counts.
bool recompute_normals(Object* object) {
    int32_t* uses = face_uses(object->vertex_count);
    if (uses == nullptr) return false;
    kf_compute_normals(object, uses, kCameraNormals);
    return true;
}

void turn_normals(Object* object, const Matrix* n) {
    for (int32_t i = 0; i < object->vertex_count; ++i)
        mat_mul_normal(n, &object->vertices[i].norm, &object->vertices[i].pnorm);
    for (int32_t i = 0; i < object->face_count; ++i)
        mat_mul_normal(n, &object->faces[i].norm, &object->faces[i].pnorm);
}

// The morph targets of an object, when both are objects with at least its vertices and faces;
// anything else is drawn unmorphed rather than read past the targets' arrays.
bool morph_targets(const Object* object, const Object** a, const Object** b) {
    const int32_t ids[2] = {object->morph_from, object->morph_to};
    const Object* found[2];
    for (int i = 0; i < 2; ++i) {
        WorldNode* node = nullptr;
        kf_find_id(ids[i], &node);
        if (node == nullptr || node->type != WORLD_OBJECT) return false;
        found[i] = static_cast<const Object*>(node->record);
        if (found[i]->vertex_count < object->vertex_count ||
            found[i]->face_count < object->face_count)
            return false;
    }
    *a = found[0];
    *b = found[1];
    return true;
}

void morph_object(Object* object, const Matrix* m, const Matrix* n, const Object* a,
                  const Object* b) {
    const float alpha = object->morph_alpha;
    Vector v;
    vec_lerp(&a->bbox_min, &b->bbox_min, alpha, &v);
    mat_mul_point(&object->matrix, &v, &object->pbbox_min);
    vec_lerp(&a->bbox_max, &b->bbox_max, alpha, &v);
    mat_mul_point(&object->matrix, &v, &object->pbbox_max);
    for (int32_t i = 0; i < object->vertex_count; ++i) {
        vec_lerp(&a->vertices[i].vert, &b->vertices[i].vert, alpha, &v);
        mat_mul_point(m, &v, &object->vertices[i].pvert);
    }
    if (!(options & KF_NORMALS)) return;
    if (options & KF_MORPH_NORMALS) {
        for (int32_t i = 0; i < object->vertex_count; ++i) {
            vec_lerp(&a->vertices[i].norm, &b->vertices[i].norm, alpha, &v);
            mat_mul_normal(n, &v, &object->vertices[i].pnorm);
        }
        for (int32_t i = 0; i < object->face_count; ++i) {
            vec_lerp(&a->faces[i].norm, &b->faces[i].norm, alpha, &v);
            mat_mul_normal(n, &v, &object->faces[i].pnorm);
        }
        return;
    }
    if ((options & KF_MORPH_RENORMAL) && recompute_normals(object)) return;
    turn_normals(object, n);
}

void transform_object(Object* object) {
    Matrix m, n;
    if (active_camera != nullptr)
        mat_mul(&active_camera->matrix, &object->matrix, &m);
    else
        m = object->matrix;
    mat_normalize(&object->matrix, &n);

    const Object *a, *b;
    if ((options & KF_MORPH) && (object->flags & OBJECT_MORPH) && morph_targets(object, &a, &b)) {
        morph_object(object, &m, &n, a, b);
        return;
    }
    mat_mul_point(&object->matrix, &object->bbox_min, &object->pbbox_min);
    mat_mul_point(&object->matrix, &object->bbox_max, &object->pbbox_max);
    for (int32_t i = 0; i < object->vertex_count; ++i)
        mat_mul_point(&m, &object->vertices[i].vert, &object->vertices[i].pvert);
    if (options & KF_NORMALS) turn_normals(object, &n);
}

}  // namespace

int kf_frame_range(float* start, float* end) {
    if (const int error = frames_ready()) return error;
    if (start == nullptr || end == nullptr) return KF_NULL;
    *start = active_scene->frame_start;
    *end = active_scene->frame_end;
    return KF_OK;
}

int kf_goto_frame(float frame) {
    if (const int error = frames_ready()) return error;
    // The end frame itself is outside the range; NaN is outside every range.
    if (!(frame >= active_scene->frame_start && frame < active_scene->frame_end))
        return KF_BAD_FRAME;
    active_scene->frame_current = frame;
    return KF_OK;
}

int kf_current_frame(float* out) {
    if (const int error = frames_ready()) return error;
    if (out == nullptr) return KF_NULL;
    *out = active_scene->frame_current;
    return KF_OK;
}

int kf_evaluate() {
    Scene* scene = active_scene;
    if (scene == nullptr || scene->world == nullptr || scene->keyframer == nullptr)
        return KF_NO_SCENE;
    const float frame = scene->frame_current;
    for (const KeyframerNode* node = scene->keyframer; node != nullptr; node = node->next)
        evaluate_node(node, frame);
    if (options & KF_HIERARCHY) apply_hierarchy(scene);
    for (const KeyframerNode* node = scene->keyframer; node != nullptr; node = node->next)
        if (node->type == NODE_CAMERA) update_camera(static_cast<Camera*>(node->record));
    if (options & KF_TRANSFORM) {
        for (WorldNode* node = scene->world; node != nullptr; node = node->next)
            if (node->type == WORLD_OBJECT) transform_object(static_cast<Object*>(node->record));
    }
    return KF_OK;
}

}  // namespace scene
