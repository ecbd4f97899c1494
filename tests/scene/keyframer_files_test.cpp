// The keyframer reader and evaluation on animated 3DS files written by others (assimp's test
// models), checked against lib3ds reading the same files. lib3ds names its node types differently
// (its "spot" node is a light target, its "light" node both omni and spot), keeps file (z-up)
// coordinates, and sorts sibling nodes by name.
#include <gtest/gtest.h>
#include <lib3ds/file.h>
#include <lib3ds/node.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "scene/kf.h"
#include "scene/library.h"
#include "tests/scene/model_files.h"

using namespace scene;

namespace {

const char* const kAnimatedModels[] = {
    "RotatingCube.3DS",
    "CameraRollAnim.3ds",
    "CameraRollAnimWithChildObject.3ds",
    "TargetCameraAnim.3ds",
};

// The intro's scenes, extracted from the generated archive into the build tree; none while the
// archive does not hold them.
std::vector<std::string> intro_scene_files() {
    std::vector<std::string> files;
    archive::DataArchive data(VEK_BINARY_DIR "/data/vek.bin");
    for (const char* name : {"train.3ds", "hut2.3ds"}) {
        const int32_t size = data.member_size(name);
        if (size <= 0) continue;
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        if (data.read_member(name, bytes.data(), 0) != size) continue;
        const std::string path = std::string(VEK_BINARY_DIR "/keyframer_test_") + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) continue;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) == 0 && written) files.push_back(path);
    }
    return files;
}

std::string model_path(const char* name) {
    return std::string("/usr/share/assimp/models/3DS/") + name;
}

template <typename KeyList>
int count_keys(const KeyList* key) {
    int n = 0;
    for (; key; key = key->next) ++n;
    return n;
}

int count_keys(const Track* track) { return track ? track->key_count : 0; }

// What both readers agree a node is: type, name, parent, children and key counts per track.
struct NodeFacts {
    uint32_t type = 0;
    std::string name;
    int parent = -1;
    std::set<int> children;
    std::vector<int> keys;  // in our slot order
};

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

void collect_lib3ds(const Lib3dsNode* node, std::map<int, NodeFacts>* out) {
    for (; node; node = node->next) {
        NodeFacts& facts = (*out)[node->node_id];
        facts.type = our_type(node);
        facts.name = node->name;
        if (node->type == LIB3DS_OBJECT_NODE && std::strcmp(node->name, "$$$DUMMY") == 0)
            facts.name = node->data.object.instance;
        facts.parent = node->parent ? node->parent->node_id : -1;
        for (const Lib3dsNode* child = node->childs; child; child = child->next)
            facts.children.insert(child->node_id);
        const Lib3dsNodeData& d = node->data;
        switch (node->type) {
            case LIB3DS_OBJECT_NODE:
                facts.keys = {
                    count_keys(d.object.pos_track.keyL), count_keys(d.object.scl_track.keyL),
                    count_keys(d.object.rot_track.keyL), count_keys(d.object.morph_track.keyL),
                    count_keys(d.object.hide_track.keyL)};
                break;
            case LIB3DS_CAMERA_NODE:
                facts.keys = {count_keys(d.camera.pos_track.keyL),
                              count_keys(d.camera.fov_track.keyL),
                              count_keys(d.camera.roll_track.keyL)};
                break;
            case LIB3DS_TARGET_NODE: facts.keys = {count_keys(d.target.pos_track.keyL)}; break;
            case LIB3DS_LIGHT_NODE:
                // Roll keys count for spot light nodes only: an omni node has no roll track.
                facts.keys = {count_keys(d.light.pos_track.keyL),
                              count_keys(d.light.col_track.keyL),
                              count_keys(d.light.roll_track.keyL)};
                break;
            case LIB3DS_SPOT_NODE: facts.keys = {count_keys(d.spot.pos_track.keyL)}; break;
            case LIB3DS_AMBIENT_NODE: facts.keys = {count_keys(d.ambient.col_track.keyL)}; break;
            default: break;
        }
        collect_lib3ds(node->childs, out);
    }
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

std::map<int, NodeFacts> collect_ours(const Scene* scene) {
    std::map<int, NodeFacts> out;
    for (const KeyframerNode* node = scene->keyframer; node; node = node->next) {
        NodeFacts& facts = out[node->id];
        facts.type = node->type;
        facts.name = kf_record_head(node->record)->name;
        facts.parent = node->parent ? node->parent->id : -1;
        for (const KeyframerNode* child = node->child; child; child = child->sibling)
            facts.children.insert(child->id);
        for (const auto& row : kSlotsByType)
            if (row[0] == static_cast<int>(node->type))
                for (int i = 0; i < row[1]; ++i)
                    facts.keys.push_back(count_keys(node->tracks->track[i]));
    }
    return out;
}

class KeyframerFilesTest : public ::testing::Test {
protected:
    Scene* scene = nullptr;

    // With `first_camera`, views through the world's first camera.
    void load(const std::string& path, uint32_t options, bool first_camera = false) {
        kf_startup(options);
        ASSERT_EQ(kf_scene_new(&scene), KF_OK);
        ASSERT_EQ(kf_world_read(path.c_str(), scene), KF_OK) << path;
        ASSERT_EQ(kf_motion_read(path.c_str(), scene), KF_OK) << path;
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

// Every assimp model, animated or not (those without a keyframer have no nodes in either reader),
// and the intro's scenes.
TEST_F(KeyframerFilesTest, NodesAndKeysMatchLib3ds) {
    std::vector<std::string> files = scene_test::model_files(false);
    ASSERT_GE(files.size(), 4u);
    for (const std::string& path : intro_scene_files()) files.push_back(path);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        Lib3dsFile* reference = lib3ds_file_load(path.c_str());
        ASSERT_NE(reference, nullptr);
        load(path, 0);
        if (scene->keyframer) {
            EXPECT_EQ(scene->frame_start, static_cast<float>(reference->segment_from));
            EXPECT_EQ(scene->frame_end, static_cast<float>(reference->segment_to));
        }
        std::map<int, NodeFacts> theirs;
        collect_lib3ds(reference->nodes, &theirs);
        const std::map<int, NodeFacts> ours = collect_ours(scene);
        ASSERT_EQ(ours.size(), theirs.size());
        for (const auto& [id, facts] : theirs) {
            SCOPED_TRACE(facts.name);
            ASSERT_EQ(ours.count(id), 1u);
            const NodeFacts& mine = ours.at(id);
            std::vector<int> keys = facts.keys;
            if (facts.type == kAnyLightNode) {
                EXPECT_TRUE(mine.type & kAnyLightNode);
                if (mine.type == NODE_OMNI_LIGHT) keys.pop_back();
            } else {
                EXPECT_EQ(mine.type, facts.type);
            }
            EXPECT_EQ(mine.name, facts.name);
            EXPECT_EQ(mine.parent, facts.parent);
            EXPECT_EQ(mine.children, facts.children);
            EXPECT_EQ(mine.keys, keys);
        }
        lib3ds_file_free(reference);
        unload();
    }
}

// Positions, fields of view and rolls stand exactly at their keys' values at the key frames, and
// those values are lib3ds's with y and z exchanged.
TEST_F(KeyframerFilesTest, KeysAreHitAtKeyFrames) {
    for (const char* name : kAnimatedModels) {
        SCOPED_TRACE(name);
        Lib3dsFile* reference = lib3ds_file_load(model_path(name).c_str());
        ASSERT_NE(reference, nullptr);
        load(model_path(name), 0);
        int checked = 0;
        for (const KeyframerNode* node = scene->keyframer; node; node = node->next) {
            const Lib3dsNode* their = find_lib3ds(reference->nodes, node->id);
            ASSERT_NE(their, nullptr);
            const Track* position = node->tracks->track[0];
            const Lib3dsLin3Key* their_key = nullptr;
            if (node->type == NODE_OBJECT) their_key = their->data.object.pos_track.keyL;
            if (node->type == NODE_CAMERA) their_key = their->data.camera.pos_track.keyL;
            if (node->type == NODE_CAMERA_TARGET) their_key = their->data.target.pos_track.keyL;
            if (!position || !their_key) continue;
            for (const Key* key = position->keys; key;
                 key = key->next, their_key = their_key->next) {
                ASSERT_NE(their_key, nullptr);
                EXPECT_EQ(key->frame, static_cast<float>(their_key->tcb.frame));
                EXPECT_EQ(key->value[0], their_key->value[0]);
                EXPECT_EQ(key->value[1], their_key->value[2]);
                EXPECT_EQ(key->value[2], their_key->value[1]);
                if (kf_goto_frame(key->frame) != KF_OK) continue;  // beyond the scene's range
                ASSERT_EQ(kf_evaluate(), KF_OK);
                const Vector* at = node->type == NODE_OBJECT
                                       ? &static_cast<const Object*>(node->record)->translate
                                   : node->type == NODE_CAMERA
                                       ? &static_cast<const Camera*>(node->record)->position
                                       : &static_cast<const Camera*>(node->record)->target;
                EXPECT_EQ(at->x, key->value[0]);
                EXPECT_EQ(at->y, key->value[1]);
                EXPECT_EQ(at->z, key->value[2]);
                ++checked;
            }
            if (node->type != NODE_CAMERA) continue;
            const Track* roll = node->tracks->track[2];
            for (const Key* key = roll ? roll->keys : nullptr; key; key = key->next) {
                if (kf_goto_frame(key->frame) != KF_OK) continue;
                ASSERT_EQ(kf_evaluate(), KF_OK);
                EXPECT_EQ(static_cast<const Camera*>(node->record)->roll, key->value[0]);
                ++checked;
            }
        }
        EXPECT_GT(checked, 0);
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

// No value jumps: the largest change between samples shrinks with the sampling step, as it does
// for a continuous curve, even where a key turns an object almost a full turn within one frame.
TEST_F(KeyframerFilesTest, EvaluationIsFiniteAndContinuous) {
    for (const char* name : kAnimatedModels) {
        SCOPED_TRACE(name);
        load(model_path(name), KF_HIERARCHY | KF_TRANSFORM | KF_NORMALS, true);
        float start, end;
        ASSERT_EQ(kf_frame_range(&start, &end), KF_OK);

        // Largest change of each value between samples `step` apart over the whole range.
        const auto largest_steps = [&](float step) {
            std::vector<float> previous, largest;
            for (int n = 0; start + step * n < end; ++n) {
                EXPECT_EQ(kf_goto_frame(start + step * n), KF_OK);
                EXPECT_EQ(kf_evaluate(), KF_OK);
                const std::vector<float> state = evaluated_state(scene);
                if (largest.empty()) largest.assign(state.size(), 0.0f);
                for (size_t i = 0; i < state.size(); ++i) {
                    EXPECT_TRUE(std::isfinite(state[i])) << start + step * n << " " << i;
                    if (!previous.empty())
                        largest[i] = std::max(largest[i], std::fabs(state[i] - previous[i]));
                }
                previous = state;
            }
            return largest;
        };
        const std::vector<float> coarse = largest_steps(1.0f / 8.0f);
        const std::vector<float> fine = largest_steps(1.0f / 64.0f);
        ASSERT_EQ(coarse.size(), fine.size());
        for (size_t i = 0; i < fine.size(); ++i)
            EXPECT_LE(fine[i], 0.25f * coarse[i] + 1e-4f) << "value " << i;
        unload();
    }
}

// The intro's scenes as the intro plays them: every frame of the range evaluates to finite values.
TEST_F(KeyframerFilesTest, IntroScenesEvaluateAtEveryFrame) {
    const std::vector<std::string> files = intro_scene_files();
    if (files.empty()) GTEST_SKIP() << "vek.bin holds no scenes yet";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        load(path, KF_HIERARCHY | KF_NORMALS | KF_MORPH | KF_TRANSFORM);
        WorldNode* camera = nullptr;
        kf_find_name("Camera01", &camera);
        if (!camera) kf_find_name("Cam", &camera);
        ASSERT_NE(camera, nullptr);
        kf_use_camera(static_cast<Camera*>(camera->record));
        float start, end;
        ASSERT_EQ(kf_frame_range(&start, &end), KF_OK);
        for (float frame = start; frame < end; frame += 1.0f) {
            ASSERT_EQ(kf_goto_frame(frame), KF_OK);
            ASSERT_EQ(kf_evaluate(), KF_OK);
            for (float v : evaluated_state(scene)) ASSERT_TRUE(std::isfinite(v)) << frame;
        }
        unload();
    }
}

// The evaluated state at fixed frames, hashed: the arithmetic is the same on every compiler and at
// every optimisation level, so the release and sanitizer builds must both give these values. When
// the evaluation is changed on purpose, the new hashes are the ones this test prints.
TEST_F(KeyframerFilesTest, EvaluationTrace) {
    const uint32_t expected[] = {0xd32b380au, 0x1ec8f2cau, 0x468ab556u, 0xe4fedfbeu};
    for (size_t m = 0; m < sizeof kAnimatedModels / sizeof kAnimatedModels[0]; ++m) {
        const char* name = kAnimatedModels[m];
        load(model_path(name), KF_HIERARCHY | KF_TRANSFORM | KF_NORMALS, true);
        uint32_t hash = 2166136261u;  // FNV-1a
        for (float frame : {0.0f, 7.5f, 33.25f, 60.0f, 99.875f, 145.5f, 250.0f}) {
            if (kf_goto_frame(frame) != KF_OK) continue;
            ASSERT_EQ(kf_evaluate(), KF_OK);
            const std::vector<float> state = evaluated_state(scene);
            const uint8_t* bytes = reinterpret_cast<const uint8_t*>(state.data());
            for (size_t i = 0; i < state.size() * sizeof(float); ++i)
                hash = (hash ^ bytes[i]) * 16777619u;
        }
        EXPECT_EQ(hash, expected[m]) << name << ": 0x" << std::hex << hash;
        unload();
    }
}

}  // namespace
