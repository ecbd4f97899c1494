// The world half of the scene API: loading and the active scene, lookups, normals, freeing and
// the world dump.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "scene/kf.h"
#include "tests/scene/chunk_builder.h"

using namespace scene;
using scene_test::Bytes;
using scene_test::chunk;
using scene_test::file_3ds;
using scene_test::load_world;

namespace {

Bytes named(const std::string& name, const Bytes& content) { return chunk(0x4000, Bytes().str(name) + content); }

// Two triangles sharing an edge, folded 90 degrees, and a degenerate face naming vertex 0 twice.
Bytes folded_mesh(const std::string& name) {
    Bytes points;
    points.u16(4).floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
    Bytes faces;
    faces.u16(3).u16(0).u16(1).u16(2).u16(0).u16(0).u16(3).u16(1).u16(0).u16(0).u16(0).u16(2).u16(0);
    return named(name, chunk(0x4100, chunk(0x4110, points) + chunk(0x4120, faces)));
}

Bytes world_file() {
    return file_3ds(chunk(0xAFFF, chunk(0xA000, Bytes().str("Mat"))) + folded_mesh("Fold") +
                    named("Cam", chunk(0x4700, Bytes().floats({0, 0, 0, 0, 10, 0, 0, 50}))) +
                    named("Sun", chunk(0x4600, Bytes().floats({1, 2, 3}))));
}

class WorldApi : public ::testing::Test {
protected:
    void SetUp() override {
        kf_startup(KF_NORMALS);
        ASSERT_EQ(kf_scene_new(&first_), 0);
        ASSERT_EQ(kf_scene_new(&second_), 0);
    }
    void TearDown() override {
        kf_scene_delete(first_);
        kf_scene_delete(second_);
        kf_shutdown();
    }
    Scene* first_ = nullptr;
    Scene* second_ = nullptr;
};

TEST_F(WorldApi, LoadsLeaveTheActiveSceneAlone) {
    // Loaded while none is active: it becomes the active scene.
    ASSERT_EQ(load_world(world_file(), first_), 0);
    WorldNode* node = nullptr;
    ASSERT_EQ(kf_find_name("Fold", &node), 0);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->type, WORLD_OBJECT);

    // Loaded while another is active: the other stays active, after success and failure alike.
    ASSERT_EQ(load_world(file_3ds(folded_mesh("Other")), second_), 0);
    ASSERT_EQ(kf_find_name("Other", &node), 0);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(load_world(file_3ds(chunk(0x4110, Bytes().u16(9))), second_), KF_CORRUPTED);
    EXPECT_EQ(second_->world, nullptr);
    ASSERT_EQ(kf_find_name("Fold", &node), 0);
    EXPECT_NE(node, nullptr);

    EXPECT_EQ(kf_use_scene(nullptr), KF_NULL);
    EXPECT_EQ(kf_world_read("/nonexistent/scene.3ds", second_), KF_FILE_NOT_FOUND);
}

TEST_F(WorldApi, Lookups) {
    WorldNode* node = nullptr;
    EXPECT_EQ(kf_find_name("Fold", &node), KF_NO_SCENE);
    EXPECT_EQ(kf_find_first(WORLD_OBJECT, &node), KF_NO_SCENE);
    kf_use_scene(first_);
    EXPECT_EQ(kf_find_id(0, &node), KF_NO_SCENE);  // no world yet
    ASSERT_EQ(load_world(world_file(), first_), 0);
    // Names match whole and by case; ids count in file order (material, mesh, camera, light).
    const struct {
        const char* name;
        int32_t id;
        uint32_t type;  // 0: none found
    } cases[] = {{"Camera01", -1, 0},
                 {"cam", -1, 0},
                 {"Cam", -1, WORLD_CAMERA},
                 {nullptr, 3, WORLD_LIGHT},
                 {nullptr, 4, 0}};
    for (const auto& c : cases) {
        ASSERT_EQ(c.name ? kf_find_name(c.name, &node) : kf_find_id(c.id, &node), 0);
        EXPECT_EQ(node ? node->type : 0u, c.type) << (c.name ? c.name : "") << c.id;
    }
    std::string order;
    for (kf_find_first(WORLD_CAMERA | WORLD_LIGHT | WORLD_MATERIAL, &node); node;
         kf_find_next(WORLD_CAMERA | WORLD_LIGHT | WORLD_MATERIAL, &node))
        order += std::to_string(node->type) + " ";
    EXPECT_EQ(order, "8 1 2 ");
    node = nullptr;
    EXPECT_EQ(kf_find_next(WORLD_OBJECT, &node), KF_NULL);
}

TEST_F(WorldApi, NormalsAfterLoad) {
    ASSERT_EQ(load_world(world_file(), first_), 0);
    WorldNode* node = nullptr;
    kf_find_name("Fold", &node);
    ASSERT_NE(node, nullptr);
    const Object* fold = static_cast<const Object*>(node->record);
    // Stored y-up: file (0,1,0) is (0,0,1), file (0,0,1) is (0,1,0).
    const Vector& n0 = fold->faces[0].norm;
    const Vector& n1 = fold->faces[1].norm;
    EXPECT_FLOAT_EQ(n0.y, -1.0f);
    EXPECT_FLOAT_EQ(n1.z, -1.0f);
    EXPECT_EQ(fold->faces[2].norm.x, 0.0f);  // degenerate: stays zero
    // Vertex 1 is shared by both faces: the mean of the two, normalised.
    const float half = 0.70710677f;
    EXPECT_FLOAT_EQ(fold->vertices[1].norm.y, -half);
    EXPECT_FLOAT_EQ(fold->vertices[1].norm.z, -half);
    // Vertex 0 is named by all three faces (twice by the degenerate one, counted once).
    EXPECT_FLOAT_EQ(fold->vertices[0].norm.y, -half);
    // Vertex 3 only by the second face.
    EXPECT_FLOAT_EQ(fold->vertices[3].norm.z, -1.0f);
}

TEST_F(WorldApi, FreeingAndReloading) {
    EXPECT_EQ(kf_world_free(nullptr), KF_NULL);
    EXPECT_EQ(kf_world_free(first_), KF_NULL);
    EXPECT_EQ(kf_motion_free(first_), KF_NULL);
    ASSERT_EQ(load_world(world_file(), first_), 0);
    // A second load replaces the first world; the sanitizer build checks that none of it leaks.
    ASSERT_EQ(load_world(file_3ds(folded_mesh("Again")), first_), 0);
    EXPECT_EQ(first_->world, first_->world_tail);
    ASSERT_EQ(load_world(world_file(), first_), 0);
    WorldNode* cam = nullptr;
    ASSERT_EQ(kf_find_name("Cam", &cam), 0);
    kf_use_camera(static_cast<Camera*>(cam->record));
    EXPECT_EQ(kf_world_free(first_), 0);
    Camera* current = nullptr;
    kf_current_camera(&current);
    EXPECT_EQ(current, nullptr);  // freed with its world
    EXPECT_EQ(first_->world, nullptr);
    EXPECT_EQ(first_->world_tail, nullptr);
}

TEST_F(WorldApi, DumpFormat) {
    testing::internal::CaptureStdout();
    kf_dump_world();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: scene not loaded.\n");

    kf_use_scene(first_);
    testing::internal::CaptureStdout();
    kf_dump_world();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: null world tree.\n");

    const Bytes spot = named("Spot", chunk(0x4600, Bytes().floats({1, 2, 3}) + chunk(0x4610, Bytes().floats({4, 5, 6, 20, 40})) +
                                                       chunk(0x0011, Bytes().u8(255).u8(0).u8(128))));
    const Bytes mat = chunk(0xAFFF, chunk(0xA000, Bytes().str("M")) + chunk(0xA100, Bytes().u16(2)) + chunk(0xA081) +
                                        chunk(0xA200, chunk(0xA300, Bytes().str("T.TGA")) + chunk(0xA351, Bytes().u16(10))));
    Bytes tri;
    tri.u16(1).u16(0).u16(0).u16(0).u16(0x18);
    const Bytes mesh = named("Tri", chunk(0x4100, chunk(0x4110, Bytes().u16(1).floats({1, 2, 3})) + chunk(0x4120, tri)));
    ASSERT_EQ(load_world(file_3ds(spot + mat + mesh), first_), 0);
    testing::internal::CaptureStdout();
    kf_dump_world();
    const std::string text = testing::internal::GetCapturedStdout();
    // Stored y-up; byte colours scaled to 1; map flags, shading and face flags by name or number.
    for (const char* line : {
             "<<start of world tree>>\n\n<<spot light>> name: Spot, id: 0\n  parents:     -1, -1\n",
             "  position:    x:     1.000, y:     3.000, z:     2.000\n",
             "  color:       r:     1.000, g:     0.000, b:     0.502\n",
             "  falloff:           40.000\n\n<<material>> name: M, id: 1\n  shading:     gouraud\n"
             "  flags:       twosided \n",
             "  texture map:\n    filename:  T.TGA\n    flags:     mirror negative \n",
             "  bump map:\n    filename:  (null)\n",
             "  vertex list:\n    x:     1.000, y:     3.000, z:     2.000, u: 0.000, v: 0.000\n"
             "  face list:\n    a:   0 b:   0 c:   0, flags   3, material:   0\n\n"
             "<<end of world tree>>\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
}

}  // namespace
