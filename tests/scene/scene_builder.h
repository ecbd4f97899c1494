// Hand-built 3DS scenes for the keyframer and evaluation tests: meshes, cameras, keyframer nodes
// and tracks, and a fixture that reads them into an active scene.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "scene/kf.h"
#include "tests/scene/chunk_builder.h"

namespace scene_test {

// A mesh with vertices (x, y, z) in file (z-up) order and one face over the first three.
inline Bytes mesh(const std::string& name, std::initializer_list<float> xyz) {
    Bytes vertices;
    vertices.u16(static_cast<uint16_t>(xyz.size() / 3)).floats(xyz);
    const Bytes face = chunk(0x4120, Bytes().u16(1).u16(0).u16(1).u16(2).u16(0));
    return chunk(0x4000, Bytes().str(name) + chunk(0x4100, chunk(0x4110, vertices) + face));
}

inline Bytes triangle(const std::string& name) { return mesh(name, {0, 0, 0, 1, 0, 0, 0, 1, 0}); }

// A camera at the file origin looking along file +y (our +z).
inline Bytes camera(const std::string& name) {
    return chunk(0x4000,
                 Bytes().str(name) + chunk(0x4700, Bytes().floats({0, 0, 0, 0, 10, 0, 0, 50})));
}

// A keyframer node: its id chunk (when `id` is not negative), header, then `rest`.
inline Bytes node(uint16_t container, const std::string& name, int16_t parent,
                  const Bytes& rest = Bytes(), int id = -1, uint16_t flags1 = 0) {
    Bytes body;
    if (id >= 0) body.add(chunk(0xB030, Bytes().u16(static_cast<uint16_t>(id))));
    body.add(
        chunk(0xB010, Bytes().str(name).u16(flags1).u16(0).u16(static_cast<uint16_t>(parent))));
    return chunk(container, body + rest);
}

inline Bytes track(uint16_t id, uint32_t count, const Bytes& keys, uint16_t flags = 0) {
    return chunk(id, Bytes().u16(flags).u32(0).u32(0).u32(count) + keys);
}

// A key header at `frame` without TCB fields.
inline Bytes key(uint32_t frame) { return Bytes().u32(frame).u16(0); }

// A track of one key at frame 0 (file order for vectors).
inline Bytes one_key(uint16_t id, std::initializer_list<float> value) {
    return track(id, 1, key(0).floats(value));
}

inline Bytes keyframer(const Bytes& nodes, uint32_t start = 0, uint32_t end = 100) {
    return chunk(0xB000, chunk(0xB008, Bytes().u32(start).u32(end)) + nodes);
}

// A scene read from a hand-built file and made active, with lookups and evaluation.
class SceneTest : public ::testing::Test {
protected:
    scene::Scene* scene = nullptr;

    void TearDown() override {
        scene::kf_scene_delete(scene);
        scene::kf_shutdown();
    }

    // Reads the world of a file built from both, then its keyframer when there is one; returns the
    // keyframer read's result.
    int load(const Bytes& world, const Bytes& motion, uint32_t options = 0) {
        scene::kf_scene_delete(scene);
        scene::kf_startup(options);
        EXPECT_EQ(scene::kf_scene_new(&scene), scene::KF_OK);
        EXPECT_EQ(load_world(file_3ds(world, 3, motion), scene), scene::KF_OK);
        scene::kf_use_scene(scene);
        return motion.data.empty() ? scene::KF_OK : read_motion(world, motion);
    }

    // Reads the keyframer of the file built from both into the loaded scene again.
    int read_motion(const Bytes& world, const Bytes& motion) {
        const Bytes file = file_3ds(world, 3, motion);
        return scene::kf_motion_read_memory(file.data.data(),
                                            static_cast<uint32_t>(file.data.size()), scene);
    }

    template <typename Record>
    Record* record(const char* name) {
        scene::WorldNode* found = nullptr;
        scene::kf_find_name(name, &found);
        return found ? static_cast<Record*>(found->record) : nullptr;
    }

    void go(float frame) {
        ASSERT_EQ(scene::kf_goto_frame(frame), scene::KF_OK);
        ASSERT_EQ(scene::kf_evaluate(), scene::KF_OK);
    }
};

}  // namespace scene_test
