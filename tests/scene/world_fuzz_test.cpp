// Damaged copies of real files: every truncation and thousands of random byte changes must load or
// fail cleanly (the sanitizer build turns any bad read or leak into a failure), and whatever loads
// must hold together.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/kf.h"
#include "tests/scene/model_files.h"

using namespace scene;

namespace {

// Faces name vertices of their own object; material pointers name materials with the face's id.
void expect_consistent(const Scene* scene) {
    for (const WorldNode* node = scene->world; node; node = node->next) {
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

void load_damaged(Scene* scene, const std::vector<uint8_t>& bytes, size_t size) {
    const int error = kf_world_read_memory(bytes.data(), static_cast<uint32_t>(size), scene);
    ASSERT_TRUE(error == 0 || error == KF_CORRUPTED || error == KF_VERSION || error == KF_NO_RECORD)
        << "error " << error;
    if (error) {
        ASSERT_EQ(scene->world, nullptr);
        return;
    }
    expect_consistent(scene);
}

class WorldFuzz : public ::testing::Test {
protected:
    void SetUp() override {
        kf_startup(KF_NORMALS);
        ASSERT_EQ(kf_scene_new(&scene_), 0);
        // One file laid out as usual, one without a mesh version chunk.
        for (const std::string& path : scene_test::model_files())
            if (path.find("/test1.3ds") != std::string::npos || path.find("/cube.3ds") != std::string::npos)
                files_.push_back(scene_test::read_file(path));
        if (files_.empty()) GTEST_SKIP() << "neither assimp-testmodels nor glmark2-data installed";
    }
    void TearDown() override {
        kf_scene_delete(scene_);
        kf_shutdown();
    }

    Scene* scene_ = nullptr;
    std::vector<std::vector<uint8_t>> files_;
};

TEST_F(WorldFuzz, EveryTruncation) {
    for (const std::vector<uint8_t>& bytes : files_) {
        for (size_t size = 0; size < bytes.size(); ++size) {
            // A copy of exactly `size` bytes, so reading one past it is caught by the sanitizer.
            const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
            SCOPED_TRACE(size);
            load_damaged(scene_, cut, size);
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(WorldFuzz, RandomByteChanges) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 4000; ++round) {
        SCOPED_TRACE(round);
        const std::vector<uint8_t> damaged =
            scene_test::damaged_copy(files_[static_cast<size_t>(round) % files_.size()], 0, random);
        load_damaged(scene_, damaged, damaged.size());
        if (HasFatalFailure()) return;
    }
}

}  // namespace
