// Damaged keyframer sections of real files: every truncation and thousands of random byte changes
// must load or fail cleanly (the sanitizer build turns any bad read or leak into a failure), and
// whatever loads must evaluate, link its nodes without loops and dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/kf.h"
#include "tests/scene/model_files.h"

using namespace scene;

namespace {

const char kModel[] = "/usr/share/assimp/models/3DS/CameraRollAnimWithChildObject.3ds";

// Offset of the keyframer section among the main chunk's children, or 0.
size_t keyframer_offset(const std::vector<uint8_t>& bytes) {
    size_t pos = 6;
    while (pos + 6 <= bytes.size()) {
        const unsigned id = bytes[pos] | bytes[pos + 1] << 8;
        const size_t length = bytes[pos + 2] | bytes[pos + 3] << 8 | bytes[pos + 4] << 16 |
                              static_cast<size_t>(bytes[pos + 5]) << 24;
        if (id == 0xB000) return pos;
        if (length < 6) return 0;
        pos += length;
    }
    return 0;
}

class KeyframerFuzz : public ::testing::Test {
protected:
    void SetUp() override {
        kf_startup(KF_HIERARCHY | KF_NORMALS | KF_MORPH | KF_TRANSFORM | KF_MORPH_RENORMAL);
        bytes_ = scene_test::read_file(kModel);
        if (bytes_.empty()) GTEST_SKIP() << "assimp-testmodels not installed";
        offset_ = keyframer_offset(bytes_);
        ASSERT_GT(offset_, 0u);
        ASSERT_EQ(kf_scene_new(&scene_), KF_OK);
        ASSERT_EQ(kf_world_read_memory(bytes_.data(), static_cast<uint32_t>(bytes_.size()), scene_),
                  KF_OK);
        kf_use_scene(scene_);
    }
    void TearDown() override {
        kf_scene_delete(scene_);
        kf_shutdown();
    }

    void load_damaged(const std::vector<uint8_t>& bytes) {
        const int error =
            kf_motion_read_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), scene_);
        ASSERT_TRUE(error == KF_OK || error == KF_CORRUPTED || error == KF_NO_RECORD)
            << "error " << error;
        if (error) {
            ASSERT_EQ(scene_->keyframer, nullptr);
            return;
        }
        for (KeyframerNode* node = scene_->keyframer; node; node = node->next) {
            int depth = 0;
            for (KeyframerNode* up = node->parent; up; up = up->parent) ASSERT_LT(++depth, 1000);
        }
        float start, end;
        if (kf_frame_range(&start, &end) == KF_OK) {
            for (float frame : {start, start + 0.5f, (start + end) * 0.5f, end - 1.0f}) {
                if (kf_goto_frame(frame) == KF_OK) {
                    ASSERT_EQ(kf_evaluate(), KF_OK);
                }
            }
        }
        testing::internal::CaptureStdout();
        kf_dump_keyframer();
        testing::internal::GetCapturedStdout();
    }

    Scene* scene_ = nullptr;
    std::vector<uint8_t> bytes_;
    size_t offset_ = 0;
};

void put_u32(std::vector<uint8_t>* bytes, size_t pos, size_t value) {
    for (int i = 0; i < 4; ++i) (*bytes)[pos + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST_F(KeyframerFuzz, EveryTruncation) {
    for (size_t size = offset_ + 6; size < bytes_.size(); ++size) {
        // A copy of exactly `size` bytes, so reading one past it is caught by the sanitizer. The
        // main chunk and the keyframer section end with it, so the cut lands inside their chunks.
        std::vector<uint8_t> cut(bytes_.begin(), bytes_.begin() + static_cast<long>(size));
        put_u32(&cut, 2, size);
        put_u32(&cut, offset_ + 2, size - offset_);
        SCOPED_TRACE(size);
        load_damaged(cut);
        if (HasFatalFailure()) return;
    }
}

TEST_F(KeyframerFuzz, RandomByteChanges) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 4000; ++round) {
        SCOPED_TRACE(round);
        load_damaged(scene_test::damaged_copy(bytes_, offset_, random));
        if (HasFatalFailure()) return;
    }
}

}  // namespace
