// Damaged copies of real files: every truncation and thousands of random byte changes must load or
// fail cleanly (the sanitizer build turns any bad read or leak into a failure). A world that loads
// must hold together; a keyframer that loads must link its nodes without loops, evaluate and dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/kf.h"
#include "tests/scene/model_files.h"

using namespace scene;

namespace {

class Fuzz : public ::testing::Test {
protected:
    void SetUp() override {
        kf_startup(KF_HIERARCHY | KF_NORMALS | KF_MORPH | KF_TRANSFORM | KF_MORPH_RENORMAL);
        ASSERT_EQ(kf_scene_new(&scene_), KF_OK);
    }
    void TearDown() override {
        kf_scene_delete(scene_);
        kf_shutdown();
    }

    // Faces name vertices of their own object; material pointers name materials with the face's id.
    void load_world(const std::vector<uint8_t>& bytes) {
        const int error =
            kf_world_read_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), scene_);
        ASSERT_TRUE(error == 0 || error == KF_CORRUPTED || error == KF_VERSION ||
                    error == KF_NO_RECORD)
            << error;
        if (error) {
            ASSERT_EQ(scene_->world, nullptr);
        }
        for (const WorldNode* node = scene_->world; node; node = node->next) {
            if (node->type != WORLD_OBJECT) continue;
            const Object* object = static_cast<const Object*>(node->record);
            for (int32_t i = 0; i < object->face_count; ++i) {
                const Face& f = object->faces[i];
                ASSERT_TRUE(f.a >= 0 && f.a < object->vertex_count && f.b < object->vertex_count &&
                            f.c < object->vertex_count);
                ASSERT_EQ(f.pa, object->vertices + f.a);
                if (f.pmaterial) {
                    ASSERT_EQ(f.pmaterial->id, f.material);
                }
            }
        }
    }

    void load_motion(const std::vector<uint8_t>& bytes) {
        const int error =
            kf_motion_read_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), scene_);
        ASSERT_TRUE(error == KF_OK || error == KF_CORRUPTED || error == KF_NO_RECORD) << error;
        if (error) {
            ASSERT_EQ(scene_->keyframer, nullptr);
        }
        for (KeyframerNode* node = scene_->keyframer; node; node = node->next) {
            int depth = 0;
            for (KeyframerNode* up = node->parent; up; up = up->parent) ASSERT_LT(++depth, 1000);
        }
        float start, end;
        if (kf_frame_range(&start, &end) == KF_OK)
            for (float frame : {start, start + 0.5f, (start + end) * 0.5f, end - 1.0f})
                if (kf_goto_frame(frame) == KF_OK) {
                    ASSERT_EQ(kf_evaluate(), KF_OK);
                }
        testing::internal::CaptureStdout();
        kf_dump_keyframer();
        testing::internal::GetCapturedStdout();
    }

    Scene* scene_ = nullptr;
};

void put_u32(std::vector<uint8_t>* bytes, size_t pos, size_t value) {
    for (int i = 0; i < 4; ++i) (*bytes)[pos + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST_F(Fuzz, DamagedWorlds) {
    // One file laid out as usual, one without a mesh version chunk.
    std::vector<std::vector<uint8_t>> files;
    for (const std::string& path : scene_test::model_files())
        if (path.find("/test1.3ds") != std::string::npos ||
            path.find("/cube.3ds") != std::string::npos)
            files.push_back(scene_test::read_file(path));
    if (files.empty()) GTEST_SKIP() << "neither assimp-testmodels nor glmark2-data installed";
    // Copies of exactly the cut size, so reading one past it is caught by the sanitizer.
    for (const std::vector<uint8_t>& bytes : files)
        for (size_t size = 0; size < bytes.size() && !HasFatalFailure(); ++size) {
            SCOPED_TRACE(size);
            load_world(
                std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(size)));
        }
    std::mt19937 random(20261206);
    for (int round = 0; round < 4000 && !HasFatalFailure(); ++round) {
        SCOPED_TRACE(round);
        load_world(
            scene_test::damaged_copy(files[static_cast<size_t>(round) % files.size()], 0, random));
    }
}

TEST_F(Fuzz, DamagedKeyframers) {
    const std::vector<uint8_t> bytes =
        scene_test::read_file("/usr/share/assimp/models/3DS/CameraRollAnimWithChildObject.3ds");
    if (bytes.empty()) GTEST_SKIP() << "assimp-testmodels not installed";
    ASSERT_EQ(kf_world_read_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), scene_),
              KF_OK);
    kf_use_scene(scene_);
    // The keyframer section among the main chunk's children.
    size_t offset = 6;
    while (offset + 6 <= bytes.size() && (bytes[offset] | bytes[offset + 1] << 8) != 0xB000)
        offset += bytes[offset + 2] | bytes[offset + 3] << 8 | bytes[offset + 4] << 16;
    ASSERT_LT(offset + 6, bytes.size());
    // The main chunk and the keyframer section end with the cut, so it lands inside their chunks.
    for (size_t size = offset + 6; size < bytes.size() && !HasFatalFailure(); ++size) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        put_u32(&cut, 2, size);
        put_u32(&cut, offset + 2, size - offset);
        SCOPED_TRACE(size);
        load_motion(cut);
    }
    std::mt19937 random(20261206);
    for (int round = 0; round < 4000 && !HasFatalFailure(); ++round) {
        SCOPED_TRACE(round);
        load_motion(scene_test::damaged_copy(bytes, offset, random));
    }
}

}  // namespace
