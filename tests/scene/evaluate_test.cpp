// Evaluation of hand-built scenes against hand-worked values: bounding boxes, the transform into
// the space of a camera away from the origin, morph blends and their normals, and the lookups,
// material flags and camera angles the evaluation relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scene/kf.h"
#include "tests/scene/scene_builder.h"

using namespace scene;
using namespace scene_test;

namespace {

void expect_vector(const Vector& got, float x, float y, float z, float tolerance, const char* what) {
    EXPECT_NEAR(got.x, x, tolerance) << what;
    EXPECT_NEAR(got.y, y, tolerance) << what;
    EXPECT_NEAR(got.z, z, tolerance) << what;
}

using Evaluate = SceneTest;

// Boxes start at the first vertex (all-positive and all-negative meshes would otherwise keep a 0),
// and without a morph the transform carries both corners by the object's matrix, while vertices
// go on into the space of a camera standing at (1, 2, 3).
TEST_F(Evaluate, BoundingBoxesAndCameraSpace) {
    // File (x, y, z) is stored (x, z, y).
    const Bytes world = mesh("Pos", {2, 3, 4, 5, 1, 6, 3, 7, 2}) +
                        mesh("Neg", {-2, -3, -4, -5, -1, -6, -3, -7, -2}) + camera("Cam");
    // Pos: moved by file (10, 20, 30), scaled by 2, a quarter turn about file z (our y).
    const Bytes nodes =
        node(0xB002, "Pos", -1,
             one_key(0xB020, {10, 20, 30}) + one_key(0xB022, {2, 2, 2}) +
                 one_key(0xB021, {1.5707964f, 0, 0, 1})) +
        node(0xB003, "Cam", -1, one_key(0xB020, {1, 3, 2})) +
        node(0xB004, "Cam.target", -1, one_key(0xB020, {1, 13, 2}));
    ASSERT_EQ(load(world, keyframer(nodes), KF_TRANSFORM), KF_OK);
    const Object* pos = record<Object>("Pos");
    const Object* neg = record<Object>("Neg");
    expect_vector(pos->bbox_min, 2, 2, 1, 0, "positive min");
    expect_vector(pos->bbox_max, 5, 6, 7, 0, "positive max");
    expect_vector(neg->bbox_min, -5, -6, -7, 0, "negative min");
    expect_vector(neg->bbox_max, -2, -2, -1, 0, "negative max");

    Camera* cam = record<Camera>("Cam");
    cam->size_x = 320;
    cam->size_y = 200;
    cam->aspect = 0.75f;
    kf_use_camera(cam);
    go(1.0f);
    // p -> R(2p) + (10, 30, 20), with R taking (x, y, z) to (z, y, -x).
    expect_vector(pos->pbbox_min, 12, 34, 16, 1e-5f, "box min corner");
    expect_vector(pos->pbbox_max, 24, 42, 10, 1e-5f, "box max corner");
    // Vertex 0 (2, 4, 3) lands at (16, 38, 16); the camera looks along +z from (1, 2, 3).
    expect_vector(pos->vertices[0].pvert, 15, 36, 13, 1e-4f, "vertex in camera space");
}

// Morph from "From" (keyed at 0) to "To" (keyed at 20): at frame 5 a quarter of the way. Normals:
// the blended target normals with option 32, recomputed from the blended vertices with 64, else
// the object's own normal turned.
TEST_F(Evaluate, MorphBlendsFromTheFirstTargetTowardTheSecond) {
    // Stored (y-up) face normals: Host (1, 0, 0), From (0, -1, 0), To (0, 0, -1).
    const Bytes world = mesh("Host", {0, 0, 0, 0, 0, 1, 0, 1, 0}) +
                        mesh("From", {0, 0, 0, 2, 0, 0, 0, 2, 0}) +
                        mesh("To", {0, 0, 0, 0, 0, 2, 2, 0, 0}) +
                        mesh("Big", {7, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0});
    const Bytes morph = chunk(0xB026, Bytes().u16(0).u32(0).u32(0).u32(2) + Bytes().u32(0).u16(0).str("From") +
                                          Bytes().u32(20).u16(0).str("To"));
    const Bytes nodes = node(0xB002, "Host", -1,
                             one_key(0xB020, {1, 0, 0}) + one_key(0xB022, {2, 2, 2}) + morph) +
                        node(0xB002, "Big", -1,
                             one_key(0xB022, {1, 1, 1}) + track(0xB026, 1, key(0).str("Host")));
    const float r = std::sqrt(0.75f * 0.75f + 2.25f * 2.25f + 0.25f * 0.25f);
    const struct {
        uint32_t options;
        Vector normal;
    } cases[] = {
        {KF_NORMALS, {1, 0, 0}},
        {KF_NORMALS | KF_MORPH_NORMALS, {0, -0.75f, -0.25f}},
        {KF_NORMALS | KF_MORPH_RENORMAL, {0.75f / r, -2.25f / r, -0.25f / r}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        ASSERT_EQ(load(world, keyframer(nodes), KF_TRANSFORM | KF_MORPH | c.options), KF_OK);
        const Object* host = record<Object>("Host");
        go(5.0f);
        ASSERT_TRUE(host->flags & OBJECT_MORPH);
        // From (2, 0, 0) toward To (0, 2, 0), scaled by 2 (normals stay unit) and moved 1 along x.
        expect_vector(host->vertices[1].pvert, 4, 1, 0, 1e-6f, "vertex 1");
        expect_vector(host->vertices[2].pvert, 2, 0, 3, 1e-6f, "vertex 2");
        expect_vector(host->pbbox_max, 5, 1, 3, 1e-6f, "box max");
        const Vector& n = c.normal;
        expect_vector(host->faces[0].pnorm, n.x, n.y, n.z, 1e-5f, "face normal");
        for (int i = 0; i < 3; ++i)
            expect_vector(host->vertices[i].pnorm, n.x, n.y, n.z, 1e-5f, "vertex normal");
        // A target with fewer vertices than the object has is not read past: no blend.
        EXPECT_EQ(record<Object>("Big")->vertices[0].pvert.x, 7.0f);
    }
}

// The first of two records with one name is found. (The later of two nodes sharing a parent id
// is the parent: KeyframerTest.SelfAndMutualParentsFormNoLoop.)
TEST_F(Evaluate, FirstNameMatch) {
    const Bytes world = mesh("Twin", {1, 0, 0, 0, 1, 0, 0, 0, 1}) + mesh("Twin", {9, 0, 0, 0, 9, 0, 0, 0, 9});
    ASSERT_EQ(load(world, Bytes()), KF_OK);
    const Object* twin = record<Object>("Twin");
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->id, 0);
    EXPECT_EQ(twin->vertices[0].vert.x, 1.0f);
}

// Soften is flag 2 and wireframe flag 4, each read from its own chunk and printed by its own word.
TEST_F(Evaluate, SoftenAndWireframeStayApart) {
    const auto material = [](const std::string& name, uint16_t flag_chunk) {
        return chunk(0xAFFF, chunk(0xA000, Bytes().str(name)) + chunk(flag_chunk));
    };
    ASSERT_EQ(load(material("Soft", 0xA08C) + material("Wire", 0xA085), Bytes(), 0), KF_OK);
    EXPECT_EQ(record<Material>("Soft")->flags, 2u);
    EXPECT_EQ(record<Material>("Wire")->flags, 4u);
    testing::internal::CaptureStdout();
    kf_dump_world();
    const std::string text = testing::internal::GetCapturedStdout();
    EXPECT_NE(text.find("name: Soft, id: 0\n  shading:     \n  flags:       soften \n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("name: Wire, id: 1\n  shading:     \n  flags:       wireframe \n"), std::string::npos)
        << text;
}

// A target a hair above the camera: its distance rounds (in the subnormal range) below its height,
// and the camera must still look straight up rather than turn to NaN.
TEST_F(Evaluate, CameraLookingStraightUpStaysFinite) {
    const Bytes nodes = node(0xB003, "Cam", -1, one_key(0xB020, {0, 0, 0})) +
                        node(0xB004, "Cam.target", -1, one_key(0xB020, {0, 0, 1e-20f}));
    ASSERT_EQ(load(camera("Cam"), keyframer(nodes), 0), KF_OK);
    Camera* cam = record<Camera>("Cam");
    cam->size_x = 320;
    cam->size_y = 200;
    cam->aspect = 0.75f;
    go(0.0f);
    ASSERT_GT(cam->target.y / std::sqrt(cam->target.y * cam->target.y), 1.0f);  // the rounding
    const float* m = &cam->matrix.xx;
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(std::isfinite(m[i])) << i;
    EXPECT_NEAR(cam->matrix.zy, 1.0f, 1e-6f);  // forward is +y
    EXPECT_NEAR(cam->matrix.yz, -1.0f, 1e-6f);  // up is -z
}

}  // namespace
