// The keyframer reader and evaluation on 3DS files built by hand: node numbering and binding,
// hierarchy links, track layouts, the frame API, cameras and the dump.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "scene/kf.h"
#include "tests/scene/scene_builder.h"

using namespace scene;
using namespace scene_test;

namespace {

enum : uint16_t {
    OMNI_NODE = 0xB005,
    LIGHT_TARGET_NODE = 0xB006,
    SPOT_NODE = 0xB007,
    AMBIENT_NODE = 0xB001,
    OBJECT_NODE = 0xB002,
    CAMERA_NODE = 0xB003,
    TARGET_NODE = 0xB004,
    POSITION = 0xB020,
    ROTATION = 0xB021,
    SCALE = 0xB022,
    COLOR = 0xB025,
    MORPH = 0xB026,
    HIDE = 0xB029,
};

Bytes unit_scale() { return one_key(SCALE, {1, 1, 1}); }

Bytes light(const std::string& name, std::initializer_list<float> at, bool spot) {
    Bytes body = Bytes().floats(at);
    if (spot) body.add(chunk(0x4610, Bytes().floats({0, 0, -1, 30, 40})));
    return chunk(0x4000, Bytes().str(name) + chunk(0x4600, body));
}

Bytes position_track(std::initializer_list<std::initializer_list<float>> keys, uint16_t flags = 0) {
    Bytes body;
    for (const auto& k : keys) {
        const float* v = k.begin();
        body.add(key(static_cast<uint32_t>(v[0])).floats({v[1], v[2], v[3]}));
    }
    return track(POSITION, static_cast<uint32_t>(keys.size()), body, flags);
}

class KeyframerTest : public SceneTest {
protected:
    static std::string world_dump() {
        testing::internal::CaptureStdout();
        kf_dump_world();
        return testing::internal::GetCapturedStdout();
    }

    KeyframerNode* node_at(int index) {
        KeyframerNode* n = scene->keyframer;
        while (n && index-- > 0) n = n->next;
        return n;
    }
};

TEST_F(KeyframerTest, NodesAreNumberedOnUnlessAnIdChunkSetsTheNumber) {
    // The last node's id chunk repeats the first node's id; each keeps its own position track.
    const Bytes world =
        triangle("A") + triangle("B") + triangle("C") + triangle("D") + triangle("E");
    const Bytes nodes = node(OBJECT_NODE, "A", -1, position_track({{0, 1, 0, 0}})) +
                        node(OBJECT_NODE, "B", -1) + node(OBJECT_NODE, "C", -1, Bytes(), 10) +
                        node(OBJECT_NODE, "D", -1) +
                        node(OBJECT_NODE, "E", -1, position_track({{0, 3, 0, 0}}), 0);
    ASSERT_EQ(load(world, keyframer(nodes)), KF_OK);
    const int expected[] = {0, 1, 10, 11, 0};
    for (int i = 0; i < 5; ++i) {
        ASSERT_NE(node_at(i), nullptr);
        EXPECT_EQ(node_at(i)->id, expected[i]);
        EXPECT_EQ(node_at(i)->type, NODE_OBJECT);
    }
    EXPECT_EQ(node_at(5), nullptr);
    EXPECT_EQ(record<Object>("A")->translate.x, 1.0f);
    EXPECT_EQ(record<Object>("E")->translate.x, 3.0f);
}

TEST_F(KeyframerTest, ChildrenWithoutPositionKeysStayPutWhenAFrameIsEvaluatedAgain) {
    // Children without a position track start every evaluation from the place the file gave them;
    // file (x, y, z) is stored (x, z, y).
    const Bytes cam_at_123 = chunk(0x4700, Bytes().floats({1, 2, 3, 0, 10, 0, 0, 50}));
    const Bytes world = triangle("Root") + chunk(0x4000, Bytes().str("Cam") + cam_at_123) +
                        light("Omni", {1, 2, 3}, false) + light("Spot", {0, 0, 1}, true);
    const Bytes nodes =
        node(OBJECT_NODE, "Root", -1,
             position_track({{0, 10, 0, 0}, {10, 20, 0, 0}}) + unit_scale()) +
        node(CAMERA_NODE, "Cam", 0) + node(TARGET_NODE, "Cam.target", 0) +
        node(OMNI_NODE, "Omni", 0) + node(SPOT_NODE, "Spot", 1) +
        node(LIGHT_TARGET_NODE, "Spot", 0);
    ASSERT_EQ(load(world, keyframer(nodes), KF_HIERARCHY), KF_OK);
    const Camera* cam = record<Camera>("Cam");
    const Light* omni = record<Light>("Omni");
    const Light* spot = record<Light>("Spot");
    // Parents are recorded as world ids.
    const int32_t root_id = record<Object>("Root")->id;
    EXPECT_EQ(cam->parent1, root_id);
    EXPECT_EQ(cam->parent2, root_id);
    EXPECT_EQ(omni->parent1, root_id);
    EXPECT_EQ(spot->parent1, cam->id);
    EXPECT_EQ(spot->parent2, root_id);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        go(5.0f);  // Root half way from x 10 to x 20
        const struct {
            const char* what;
            Vector got, expected;
        } cases[] = {
            {"camera", cam->position, {16, 3, 2}},
            {"camera target", cam->target, {15, 0, 10}},
            {"omni light", omni->position, {16, 3, 2}},
            {"spot light under the camera", spot->position, {16, 4, 2}},
            {"spot target", spot->target, {15, -1, 0}},
        };
        for (const auto& c : cases) {
            EXPECT_FLOAT_EQ(c.got.x, c.expected.x) << c.what;
            EXPECT_FLOAT_EQ(c.got.y, c.expected.y) << c.what;
            EXPECT_FLOAT_EQ(c.got.z, c.expected.z) << c.what;
        }
    }
}

TEST_F(KeyframerTest, SelfAndMutualParentsFormNoLoop) {
    // After them, two nodes share id 5; a child of 5 hangs under the later one only.
    const Bytes world = triangle("Self") + triangle("P") + triangle("Q") + triangle("A") +
                        triangle("B") + triangle("C");
    const Bytes nodes = node(OBJECT_NODE, "Self", 0, Bytes(), 0) +
                        node(OBJECT_NODE, "P", 2, Bytes(), 1) +
                        node(OBJECT_NODE, "Q", 1, Bytes(), 2) +
                        node(OBJECT_NODE, "A", -1, Bytes(), 5) +
                        node(OBJECT_NODE, "B", -1, Bytes(), 5) +
                        node(OBJECT_NODE, "C", 5, Bytes(), 6);
    ASSERT_EQ(load(world, keyframer(nodes), KF_HIERARCHY | KF_TRANSFORM), KF_OK);
    EXPECT_EQ(node_at(0)->parent, nullptr);
    EXPECT_EQ(node_at(0)->child, nullptr);
    EXPECT_EQ(node_at(1)->parent, nullptr);  // its parent comes later in the file
    EXPECT_EQ(node_at(2)->parent, node_at(1));
    EXPECT_EQ(node_at(5)->parent, node_at(4));
    EXPECT_EQ(record<Object>("C")->parent, record<Object>("B")->id);
    EXPECT_EQ(node_at(4)->child, node_at(5));
    EXPECT_EQ(node_at(3)->child, nullptr);
    for (KeyframerNode* n = scene->keyframer; n; n = n->next) {
        int depth = 0;
        for (KeyframerNode* up = n->parent; up; up = up->parent) ASSERT_LT(++depth, 4);
    }
    go(5.0f);
}

TEST_F(KeyframerTest, TrackLayouts) {
    // Key frames keep their low 16 bits; rotation angles accumulate as whole numbers; hide keys
    // toggle; the display-hidden node flag reaches the object.
    Bytes rotation_keys;
    for (uint32_t frame : {0u, 10u, 20u}) rotation_keys.add(key(frame).floats({1.9f, 0, 0, 1}));
    Bytes hide_keys = Bytes().u16(10).u32(0) + Bytes().u16(20).u32(0);
    Bytes tcb_key =
        Bytes().u32(5).u16(0x1F).floats({0.25f, 0.5f, 0.75f, 0.1f, 0.2f}).floats({1, 1, 1});
    const Bytes nodes =
        node(OBJECT_NODE, "Box", -1,
             position_track({{70000, 1, 2, 3}}) + track(ROTATION, 3, rotation_keys, 3) +
                 track(SCALE, 1, tcb_key, 2) + track(HIDE, 2, hide_keys),
             -1, 0x0800);
    ASSERT_EQ(load(triangle("Box"), keyframer(nodes)), KF_OK);
    const TrackSet* tracks = node_at(0)->tracks;
    EXPECT_EQ(tracks->track[0]->keys->frame, 4464.0f);
    const Track* rot = tracks->track[2];
    ASSERT_EQ(rot->key_count, 3);
    EXPECT_EQ(rot->mode, TRACK_LOOP);
    float expected = 1.0f;
    for (const Key* k = rot->keys; k; k = k->next, expected += 1.0f) {
        EXPECT_EQ(k->value[0], expected);
        EXPECT_EQ(k->value[3], 0.0f);  // file axis (0, 0, 1) is stored (0, 1, 0)
        EXPECT_EQ(k->value[2], 1.0f);
    }
    // Three turns of 1.9 radians about y.
    EXPECT_NEAR(rot->keys->next->next->quat.w, std::cos(2.85f), 1e-5f);
    EXPECT_NEAR(rot->keys->next->next->quat.y, std::sin(2.85f), 1e-5f);
    const Key* scale = tracks->track[1]->keys;
    EXPECT_EQ(tracks->track[1]->mode, TRACK_REPEAT);
    EXPECT_EQ(scale->tension, 0.25f);
    EXPECT_EQ(scale->continuity, 0.5f);
    EXPECT_EQ(scale->bias, 0.75f);
    EXPECT_EQ(scale->ease_to, 0.1f);
    EXPECT_EQ(scale->ease_from, 0.2f);

    Object* box = record<Object>("Box");
    EXPECT_TRUE(box->flags & OBJECT_DISPLAY_HIDDEN);
    for (float frame : {9.0f, 10.0f, 20.0f, 20.5f}) {
        go(frame);
        EXPECT_EQ((box->flags & OBJECT_HIDDEN) != 0, frame >= 10.0f && frame <= 20.0f) << frame;
    }
}

TEST_F(KeyframerTest, AReadReplacesTheWorldChangesOfThePreviousOneAndAFailedReadLeavesNone) {
    // The keyframer adds the ambient and a dummy to the world, links, renames and flags the box
    // and moves its vertices by its pivot (the last one given). Each read starts from the world
    // as the world read left it; a read that fails leaves it so.
    const Bytes world = triangle("Box");
    const Bytes changes =
        node(AMBIENT_NODE, "$AMBIENT$", -1, track(COLOR, 1, key(0).floats({0.5f, 0.25f, 1.0f}))) +
        node(OBJECT_NODE, "$$$DUMMY", -1,
             chunk(0xB011, Bytes().str("Helper")) + position_track({{0, 5, 0, 0}})) +
        node(OBJECT_NODE, "Box", 1,
             chunk(0xB011, Bytes().str("Box01")) + chunk(0xB013, Bytes().floats({9, 9, 9})) +
                 chunk(0xB013, Bytes().floats({1, 2, 3})),
             -1, 0x0800);
    const Bytes good = keyframer(changes);
    const Bytes bad = keyframer(changes + node(OBJECT_NODE, "Nobody", -1));
    ASSERT_EQ(load(world, Bytes(), KF_HIERARCHY), KF_OK);
    const std::string bare = world_dump();

    ASSERT_EQ(read_motion(world, good), KF_OK);
    const std::string first = world_dump();
    const Object* box = record<Object>("Box01");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->vertices[1].vert.x, 0.0f);  // (1, 0, 0) less the last pivot (1, 3, 2), once
    EXPECT_EQ(box->vertices[1].vert.y, -3.0f);
    EXPECT_EQ(box->vertices[1].vert.z, -2.0f);
    int records = 0;
    for (const WorldNode* n = scene->world; n; n = n->next) ++records;
    EXPECT_EQ(records, 3);

    ASSERT_EQ(read_motion(world, good), KF_OK);
    EXPECT_EQ(world_dump(), first);
    ASSERT_EQ(read_motion(world, bad), KF_NO_RECORD);
    EXPECT_EQ(world_dump(), bare);
    ASSERT_EQ(read_motion(world, bad), KF_NO_RECORD);
    EXPECT_EQ(world_dump(), bare);
    kf_motion_free(scene);
    ASSERT_EQ(read_motion(world, good), KF_OK);
    EXPECT_EQ(world_dump(), first);

    // The ambient's colour, the dummy's record, and the box moved by the dummy through the link.
    EXPECT_EQ(record<Ambient>("$AMBIENT$")->color.g, 0.25f);
    const Object* helper = record<Object>("Helper");
    EXPECT_EQ(helper->flags & OBJECT_DUMMY, OBJECT_DUMMY);
    EXPECT_EQ(helper->vertex_count, 0);
    EXPECT_EQ(box->parent, helper->id);
    go(0.0f);
    EXPECT_EQ(box->matrix.xw, 5.0f);
}

TEST_F(KeyframerTest, ReadErrors) {
    const Bytes world = triangle("Box");
    const struct {
        const char* what;
        Bytes motion;
        int error;
    } cases[] = {
        {"unknown node name", keyframer(node(OBJECT_NODE, "Nobody", -1)), KF_NO_RECORD},
        {"node of the wrong kind", keyframer(node(CAMERA_NODE, "Box", -1)), KF_NO_RECORD},
        {"unknown morph target",
         keyframer(node(OBJECT_NODE, "Box", -1, track(MORPH, 1, key(0).str("Nobody")))),
         KF_NO_RECORD},
        {"key count beyond the chunk",
         keyframer(node(OBJECT_NODE, "Box", -1, track(POSITION, 4000, key(0).floats({1, 2, 3})))),
         KF_CORRUPTED},
        {"key cut short",
         keyframer(node(OBJECT_NODE, "Box", -1, track(POSITION, 1, key(0).floats({1, 2})))),
         KF_CORRUPTED},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(load(world, c.motion), c.error) << c.what;
        EXPECT_EQ(scene->keyframer, nullptr) << c.what;
        EXPECT_EQ(scene->keyframer_tail, nullptr) << c.what;
    }
    Scene* empty = nullptr;
    kf_scene_new(&empty);
    const Bytes file = file_3ds(world);
    EXPECT_EQ(
        kf_motion_read_memory(file.data.data(), static_cast<uint32_t>(file.data.size()), empty),
        KF_NO_SCENE);
    kf_scene_delete(empty);
}

TEST_F(KeyframerTest, FrameRangeAndCurrentFrame) {
    float start = -1, end = -1, current = -1;
    kf_startup(0);
    EXPECT_EQ(kf_frame_range(&start, &end), KF_NO_SCENE);
    EXPECT_EQ(kf_evaluate(), KF_NO_SCENE);
    ASSERT_EQ(load(triangle("Box"), keyframer(node(OBJECT_NODE, "Box", -1), 0, 255)), KF_OK);
    ASSERT_EQ(kf_frame_range(&start, &end), KF_OK);
    EXPECT_EQ(start, 0.0f);
    EXPECT_EQ(end, 255.0f);
    EXPECT_EQ(kf_goto_frame(254.999f), KF_OK);
    EXPECT_EQ(kf_goto_frame(255.0f), KF_BAD_FRAME);
    EXPECT_EQ(kf_goto_frame(-0.5f), KF_BAD_FRAME);
    EXPECT_EQ(kf_goto_frame(NAN), KF_BAD_FRAME);
    ASSERT_EQ(kf_current_frame(&current), KF_OK);
    EXPECT_EQ(current, 254.999f);
    EXPECT_EQ(kf_goto_frame(0.0f), KF_OK);
    ASSERT_EQ(load(triangle("Box"), keyframer(node(OBJECT_NODE, "Box", -1), 20, 20)), KF_OK);
    EXPECT_EQ(kf_frame_range(&start, &end), KF_NO_FRAMES);
    EXPECT_EQ(kf_goto_frame(20.0f), KF_NO_FRAMES);
    EXPECT_EQ(kf_current_frame(&current), KF_NO_FRAMES);
}

// File coordinates are z-up. The eye goes to the origin and the target straight ahead along +z at
// its distance; the rows stay orthonormal, and a roll of 90 degrees brings right (+x) to +y.
TEST_F(KeyframerTest, CameraMatrixAndProjection) {
    const struct {
        float x, y, z, roll;  // the target from the eye, in file order
    } cases[] = {{10, 0, 0, 0}, {3, 4, 12, 0}, {0, 10, 0, 90}, {-2, -7, -1, 30}};
    for (const auto& c : cases) {
        const Bytes nodes =
            node(CAMERA_NODE, "Cam", -1, position_track({{0, 1, 2, 3}}) + one_key(0xB024, {c.roll})) +
            node(TARGET_NODE, "Cam", -1, position_track({{0, 1 + c.x, 2 + c.y, 3 + c.z}}));
        ASSERT_EQ(load(camera("Cam"), keyframer(nodes)), KF_OK);
        Camera* cam = record<Camera>("Cam");
        cam->size_x = 320;
        cam->size_y = 200;
        cam->aspect = 0.75f;
        cam->fov = 90;
        go(0.0f);
        const Matrix& m = cam->matrix;
        Vector eye, ahead;
        mat_mul_point(&m, &cam->position, &eye);
        mat_mul_point(&m, &cam->target, &ahead);
        const float distance = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
        const float* rows = &m.xx;
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR((&eye.x)[i], 0.0f, 1e-5f);
            EXPECT_NEAR((&ahead.x)[i], i == 2 ? distance : 0.0f, 1e-4f);
            for (int j = 0; j < 3; ++j) {
                const float* a = rows + 4 * i;
                const float* b = rows + 4 * j;
                EXPECT_NEAR(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], i == j ? 1.0f : 0.0f, 1e-5f);
            }
        }
        if (c.roll == 90) {
            EXPECT_NEAR(m.xx, 0.0f, 1e-6f);
            EXPECT_NEAR(m.yx, 1.0f, 1e-6f);
        }
        EXPECT_NEAR(cam->persp_x, 160.0f, 1e-3f);
        EXPECT_NEAR(cam->persp_y, 133.333f, 1e-3f);
    }
}

TEST_F(KeyframerTest, DumpFormat) {
    Bytes hide_keys = Bytes().u16(10).u32(0);
    const Bytes nodes = node(CAMERA_NODE, "Cam", -1, position_track({{0, 1, 2, 3}}, 3)) +
                        node(OBJECT_NODE, "Box", 0,
                             track(ROTATION, 1, key(4).floats({1.5f, 0, 0, 1})) +
                                 track(MORPH, 1, key(0).str("Box")) + track(HIDE, 1, hide_keys));
    ASSERT_EQ(load(camera("Cam") + triangle("Box"), keyframer(nodes, 0, 30)), KF_OK);
    testing::internal::CaptureStdout();
    EXPECT_EQ(kf_dump_keyframer(), KF_OK);
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text,
              "<<start of keyframer tree>>\n\n"
              "  start frame: 0.000000\n"
              "  end frame:   30.000000\n\n"
              "<<camera source>> id: 0, name: Cam\n"
              "  position keys:   1, frames:   0.000, flags: loop\n"
              "    frame:     0.000  || x:     1.000, y:     3.000, z:     2.000\n"
              "\n"
              "<<object track>> id: 1, name: Box\n"
              "  rotation keys:   1, frames:   4.000, flags: none\n"
              "    frame:     4.000  || x:     0.000, y:     1.000, z:     0.000, w:     1.000\n"
              "  morph keys:      1, frames:   0.000, flags: none\n"
              "    frame:     0.000  || morph to: Box\n"
              "  hide keys:       1, frames:  10.000, flags: none\n"
              "    frame:    10.000  || hidden: yes\n"
              "\n"
              "<<end of keyframer tree>>\n");
    kf_motion_free(scene);
    testing::internal::CaptureStdout();
    kf_dump_keyframer();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: null keyframer tree.\n");
}

}  // namespace
