// The keyframer reader and evaluation on animated 3DS files written by others (assimp's test
// models) and on the intro's scenes, checked against lib3ds reading and evaluating the same bytes.
// lib3ds names its node types differently (its "spot" node is a light target, its "light" node
// both omni and spot), keeps file (z-up) coordinates, and sorts sibling nodes by name.
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/node.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "scene/kf.h"
#include "scene/library.h"
#include "tests/scene/model_files.h"

using namespace scene;

namespace {

// A 3DS file's name and bytes.
struct Model {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Every assimp model (animated or not: those without a keyframer have no nodes in either
// reader), then the intro's scenes from the generated archive while it holds them.
std::vector<Model> all_models() {
    std::vector<Model> models;
    for (const std::string& path : scene_test::model_files(false))
        models.push_back({path, scene_test::read_file(path)});
    archive::DataArchive data(VEK_BINARY_DIR "/data/vek.bin");
    for (const char* name : {"train.3ds", "hut2.3ds"}) {
        const int32_t size = data.member_size(name);
        std::vector<uint8_t> bytes(static_cast<size_t>(std::max(size, 0)));
        if (size > 0 && data.read_member(name, bytes.data(), 0) == size)
            models.push_back({name, bytes});
    }
    return models;
}

template <typename KeyList>
int count_keys(const KeyList* key) {
    int n = 0;
    for (; key; key = key->next) ++n;
    return n;
}

int count_keys(const Track* track) { return track ? track->key_count : 0; }

// lib3ds reads omni and spot light nodes alike: either is a match.
constexpr uint32_t kAnyLightNode = NODE_OMNI_LIGHT | NODE_SPOT_LIGHT;

uint32_t our_type(const Lib3dsNode* node) {
    switch (node->type) {
        case LIB3DS_AMBIENT_NODE: return NODE_AMBIENT;
        case LIB3DS_OBJECT_NODE: return NODE_OBJECT;
        case LIB3DS_CAMERA_NODE: return NODE_CAMERA;
        case LIB3DS_TARGET_NODE: return NODE_CAMERA_TARGET;
        case LIB3DS_LIGHT_NODE: return kAnyLightNode;
        case LIB3DS_SPOT_NODE: return NODE_LIGHT_TARGET;
        default: return 0;
    }
}

// lib3ds's key counts in our track slot order; roll keys count for spot light nodes only (an omni
// node has no roll track).
std::vector<int> their_keys(const Lib3dsNode* node, uint32_t type) {
    const Lib3dsNodeData& d = node->data;
    switch (node->type) {
        case LIB3DS_OBJECT_NODE:
            return {count_keys(d.object.pos_track.keyL), count_keys(d.object.scl_track.keyL),
                    count_keys(d.object.rot_track.keyL), count_keys(d.object.morph_track.keyL),
                    count_keys(d.object.hide_track.keyL)};
        case LIB3DS_CAMERA_NODE:
            return {count_keys(d.camera.pos_track.keyL), count_keys(d.camera.fov_track.keyL),
                    count_keys(d.camera.roll_track.keyL)};
        case LIB3DS_TARGET_NODE: return {count_keys(d.target.pos_track.keyL)};
        case LIB3DS_LIGHT_NODE:
            if (type == NODE_OMNI_LIGHT)
                return {count_keys(d.light.pos_track.keyL), count_keys(d.light.col_track.keyL)};
            return {count_keys(d.light.pos_track.keyL), count_keys(d.light.col_track.keyL),
                    count_keys(d.light.roll_track.keyL)};
        case LIB3DS_SPOT_NODE: return {count_keys(d.spot.pos_track.keyL)};
        case LIB3DS_AMBIENT_NODE: return {count_keys(d.ambient.col_track.keyL)};
        default: return {};
    }
}

int count_lib3ds(const Lib3dsNode* node) {
    int n = 0;
    for (; node; node = node->next) n += 1 + count_lib3ds(node->childs);
    return n;
}

const Lib3dsNode* find_lib3ds(const Lib3dsNode* node, int id) {
    for (; node; node = node->next) {
        if (node->node_id == id) return node;
        if (const Lib3dsNode* found = find_lib3ds(node->childs, id)) return found;
    }
    return nullptr;
}

const int kSlotsByType[][2] = {{NODE_CAMERA, 3},     {NODE_CAMERA_TARGET, 1}, {NODE_OMNI_LIGHT, 2},
                               {NODE_SPOT_LIGHT, 3}, {NODE_LIGHT_TARGET, 1},  {NODE_OBJECT, 5},
                               {NODE_AMBIENT, 1}};

class KeyframerFilesTest : public ::testing::Test {
protected:
    Scene* scene = nullptr;

    // With `first_camera`, views through the world's first camera.
    void load(const Model& model, uint32_t options, bool first_camera = false) {
        kf_startup(options);
        ASSERT_EQ(kf_scene_new(&scene), KF_OK);
        const uint32_t size = static_cast<uint32_t>(model.bytes.size());
        ASSERT_EQ(kf_world_read_memory(model.bytes.data(), size, scene), KF_OK) << model.name;
        ASSERT_EQ(kf_motion_read_memory(model.bytes.data(), size, scene), KF_OK) << model.name;
        kf_use_scene(scene);
        // A viewport as the intro sets it, so the projection factors are defined.
        for (WorldNode* node = scene->world; node; node = node->next) {
            if (node->type != WORLD_CAMERA) continue;
            Camera* camera = static_cast<Camera*>(node->record);
            camera->size_x = 320.0f;
            camera->size_y = 200.0f;
            camera->aspect = 0.75f;
            if (first_camera) kf_use_camera(camera);
            first_camera = false;
        }
    }

    void unload() {
        kf_use_camera(nullptr);
        kf_scene_delete(scene);
        scene = nullptr;
    }

    void TearDown() override {
        unload();
        kf_shutdown();
    }
};

// Nodes, hierarchy, key counts, and the frames and values of position keys (lib3ds's with y and z
// exchanged), on every model and the intro's scenes.
TEST_F(KeyframerFilesTest, NodesAndKeysMatchLib3ds) {
    const std::vector<Model> models = all_models();
    ASSERT_GE(models.size(), 4u);
    for (const Model& model : models) {
        SCOPED_TRACE(model.name);
        Lib3dsFile* reference = scene_test::lib3ds_read_memory(model.bytes);
        ASSERT_NE(reference, nullptr);
        load(model, 0);
        if (scene->keyframer) {
            EXPECT_EQ(scene->frame_start, static_cast<float>(reference->segment_from));
            EXPECT_EQ(scene->frame_end, static_cast<float>(reference->segment_to));
        }
        // Each of our nodes is lib3ds's node of its id, and lib3ds has no other.
        std::set<int> ids;
        for (const KeyframerNode* node = scene->keyframer; node; node = node->next) {
            const Lib3dsNode* their = find_lib3ds(reference->nodes, node->id);
            ASSERT_NE(their, nullptr);
            SCOPED_TRACE(their->name);
            ids.insert(node->id);
            const uint32_t type = our_type(their);
            EXPECT_TRUE(type == kAnyLightNode ? (node->type & type) != 0 : node->type == type);
            const bool dummy = std::strcmp(their->name, "$$$DUMMY") == 0;
            EXPECT_STREQ(kf_record_head(node->record)->name,
                         dummy ? their->data.object.instance : their->name);
            EXPECT_EQ(node->parent ? node->parent->id : -1,
                      their->parent ? their->parent->node_id : -1);
            std::set<int> children, their_children;
            for (const KeyframerNode* child = node->child; child; child = child->sibling)
                children.insert(child->id);
            for (const Lib3dsNode* child = their->childs; child; child = child->next)
                their_children.insert(child->node_id);
            EXPECT_EQ(children, their_children);
            std::vector<int> keys;
            for (const auto& row : kSlotsByType)
                if (row[0] == static_cast<int>(node->type))
                    for (int i = 0; i < row[1]; ++i)
                        keys.push_back(count_keys(node->tracks->track[i]));
            EXPECT_EQ(keys, their_keys(their, node->type));
            const Lib3dsLin3Key* their_key = nullptr;
            if (node->type == NODE_OBJECT) their_key = their->data.object.pos_track.keyL;
            if (node->type == NODE_CAMERA) their_key = their->data.camera.pos_track.keyL;
            if (node->type == NODE_CAMERA_TARGET) their_key = their->data.target.pos_track.keyL;
            const Track* position = node->tracks->track[0];
            for (const Key* key = position && their_key ? position->keys : nullptr; key;
                 key = key->next, their_key = their_key->next) {
                ASSERT_NE(their_key, nullptr);
                EXPECT_EQ(key->frame, static_cast<float>(their_key->tcb.frame));
                EXPECT_EQ(key->value[0], their_key->value[0]);
                EXPECT_EQ(key->value[1], their_key->value[2]);
                EXPECT_EQ(key->value[2], their_key->value[1]);
            }
        }
        EXPECT_EQ(static_cast<int>(ids.size()), count_lib3ds(reference->nodes));
        lib3ds_file_free(reference);
        unload();
    }
}

// Everything the evaluation writes, as one list of floats: object matrices and camera-space
// vertices, camera positions, targets and matrices.
std::vector<float> evaluated_state(const Scene* scene) {
    std::vector<float> out;
    const auto add = [&out](const void* p, size_t bytes) {
        const float* f = static_cast<const float*>(p);
        out.insert(out.end(), f, f + bytes / sizeof(float));
    };
    for (const WorldNode* node = scene->world; node; node = node->next) {
        if (node->type == WORLD_OBJECT) {
            const Object* object = static_cast<const Object*>(node->record);
            add(&object->matrix, sizeof(Matrix));
            for (int32_t i = 0; i < object->vertex_count; ++i)
                add(&object->vertices[i].pvert, sizeof(Vector));
        } else if (node->type == WORLD_CAMERA) {
            const Camera* camera = static_cast<const Camera*>(node->record);
            add(&camera->position, sizeof(Vector));
            add(&camera->target, sizeof(Vector));
            add(&camera->matrix, sizeof(Matrix));
            add(&camera->persp_x, sizeof(float) * 2);
        }
    }
    return out;
}

// Where lib3ds evaluates a track by the same rules: a track of one key, a frame after its last
// key, or a segment between inner keys of a value track (lib3ds prepares open ends differently); for
// a rotation track, a segment whose keys and their neighbours have no tension, continuity or bias
// and turn by less than half a turn each (lib3ds flips and spins differently).
bool lib3ds_agrees(const Track* track, const Lib3dsQuatKey* rotation_keys, float frame) {
    if (track == nullptr || track->keys->next == nullptr) return true;
    if (frame < track->keys->frame) return false;
    int segment = 0;
    const Key* k0 = track->keys;
    while (k0->next && k0->next->frame < frame) {
        k0 = k0->next;
        ++segment;
    }
    if (k0->next == nullptr) return true;
    if (rotation_keys == nullptr) return segment >= 1 && k0->next->next != nullptr;
    for (int i = 0; rotation_keys; rotation_keys = rotation_keys->next, ++i) {
        const Lib3dsTcb& tcb = rotation_keys->tcb;
        if (i >= segment - 1 && i <= segment + 2 &&
            (std::fabs(rotation_keys->angle) >= 3.14159f || tcb.tens != 0 || tcb.cont != 0 ||
             tcb.bias != 0))
            return false;
    }
    return true;
}

// Matrix element (row, column) of lib3ds's matrix in our y-up coordinates; lib3ds stores columns.
float their_element(const Lib3dsMatrix& m, int row, int column) {
    const int swap[4] = {0, 2, 1, 3};
    return m[swap[column]][swap[row]];
}

// Object matrices through the hierarchy, and camera positions, targets, fields of view and rolls,
// at frames between keys wherever lib3ds evaluates by the same rules. The whole evaluation runs
// on every frame (normals, morphs, camera space) and stays finite.
TEST_F(KeyframerFilesTest, EvaluationMatchesLib3dsBetweenKeys) {
    for (const Model& model : all_models()) {
        SCOPED_TRACE(model.name);
        Lib3dsFile* reference = scene_test::lib3ds_read_memory(model.bytes);
        ASSERT_NE(reference, nullptr);
        load(model, KF_HIERARCHY | KF_NORMALS | KF_MORPH | KF_TRANSFORM, true);
        float start, end;
        if (kf_frame_range(&start, &end) != KF_OK) {
            lib3ds_file_free(reference);
            unload();
            continue;
        }
        int compared = 0;
        for (float frame = start + 0.375f; frame < end; frame += 0.75f) {
            ASSERT_EQ(kf_goto_frame(frame), KF_OK);
            ASSERT_EQ(kf_evaluate(), KF_OK);
            for (float v : evaluated_state(scene)) ASSERT_TRUE(std::isfinite(v)) << frame;
            lib3ds_file_eval(reference, frame);
            for (const KeyframerNode* node = scene->keyframer; node; node = node->next) {
                const Lib3dsNode* their = find_lib3ds(reference->nodes, node->id);
                // Our hierarchy moves children of objects only; the node and its parents must all
                // be where lib3ds agrees.
                bool comparable = true;
                for (const KeyframerNode* up = node; up && comparable; up = up->parent) {
                    const Lib3dsNode* their_up = find_lib3ds(reference->nodes, up->id);
                    if (up != node && up->type != NODE_OBJECT) comparable = false;
                    for (int slot = 0; slot < 3 && comparable; ++slot) {
                        const Track* track = up->tracks->track[slot];
                        const bool rotation = up->type == NODE_OBJECT && slot == 2;
                        if (rotation && track)
                            comparable = lib3ds_agrees(track, their_up->data.object.rot_track.keyL, frame);
                        else if (track && (slot == 0 || up->type == NODE_OBJECT || up->type == NODE_CAMERA))
                            comparable = lib3ds_agrees(track, nullptr, frame);
                    }
                }
                if (!comparable) continue;
                if (node->type == NODE_OBJECT) {
                    const Matrix& m = static_cast<const Object*>(node->record)->matrix;
                    const float* ours = &m.xx;
                    for (int r = 0; r < 3; ++r)
                        for (int c = 0; c < 4; ++c) {
                            const float theirs = their_element(their->matrix, r, c);
                            EXPECT_NEAR(ours[4 * r + c], theirs, 2e-4f * (1.0f + std::fabs(theirs)))
                                << their->name << " frame " << frame << " element " << r << c;
                        }
                    ++compared;
                } else if ((node->type == NODE_CAMERA || node->type == NODE_CAMERA_TARGET) &&
                           node->parent == nullptr && node->tracks->track[0]) {
                    const Camera* camera = static_cast<const Camera*>(node->record);
                    const bool target = node->type == NODE_CAMERA_TARGET;
                    const Vector& at = target ? camera->target : camera->position;
                    const float* p = target ? their->data.target.pos : their->data.camera.pos;
                    const float scale = 2e-4f * (1.0f + std::fabs(p[0]) + std::fabs(p[1]) + std::fabs(p[2]));
                    EXPECT_NEAR(at.x, p[0], scale) << their->name << " frame " << frame;
                    EXPECT_NEAR(at.y, p[2], scale) << their->name << " frame " << frame;
                    EXPECT_NEAR(at.z, p[1], scale) << their->name << " frame " << frame;
                    if (!target) {
                        EXPECT_NEAR(camera->fov, their->data.camera.fov, 1e-4f) << frame;
                        EXPECT_NEAR(camera->roll, their->data.camera.roll, 1e-4f) << frame;
                    }
                    ++compared;
                }
            }
        }
        if (scene->keyframer && scene->keyframer->next) {
            EXPECT_GT(compared, 0);
        }
        lib3ds_file_free(reference);
        unload();
    }
}

}  // namespace
