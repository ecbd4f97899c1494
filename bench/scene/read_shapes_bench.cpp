// Reading generated 3DS files whose cost grows with the file when a lookup walks a whole list: many
// face material chunks naming many materials, many nodes finding their meshes by name, many named
// dummies under one parent, many nodes each with a track, many pivots of one large mesh, many
// local frames of one large mesh. Each shape comes in sizes growing by four up to 2 MB; a linear
// reader keeps s_per_GB (CPU seconds of a whole read, world and keyframer, per gigabyte of file,
// which is nanoseconds per byte) about level across the sizes of a shape. Files a reader refuses
// are timed as well: refusing must be as quick; the label says which.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "scene/kf.h"
#include "tests/scene/chunk_builder.h"

using namespace scene;
using namespace scene_test;

namespace {

std::string numbered(const char* prefix, int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%06d", prefix, i);
    return name;
}

Bytes object_name(const std::string& name, const Bytes& content) {
    return chunk(0x4000, Bytes().str(name) + content);
}

// A mesh of `count` vertices along x and one face.
const Bytes kOneFace = chunk(0x4120, Bytes().u16(1).u16(0).u16(1).u16(2).u16(0));

Bytes big_mesh(const std::string& name, int count, const Bytes& after_faces = Bytes()) {
    Bytes vertices;
    vertices.u16(static_cast<uint16_t>(count));
    for (int i = 0; i < count; ++i) vertices.floats({static_cast<float>(i), 1, 2});
    return object_name(name, chunk(0x4100, chunk(0x4110, vertices) + kOneFace + after_faces));
}

Bytes node_header(const std::string& name, int16_t parent) {
    return chunk(0xB010, Bytes().str(name).u16(0).u16(0).u16(static_cast<uint16_t>(parent)));
}

Bytes keyframer(const Bytes& nodes) {
    return chunk(0xB000, chunk(0xB008, Bytes().u32(0).u32(100)) + nodes);
}

// Materials, then one mesh whose faces name each of them in its own face material chunk.
Bytes face_materials(size_t size) {
    const int count = static_cast<int>(size / 38);
    Bytes materials, lists;
    for (int i = 0; i < count; ++i) {
        const std::string name = numbered("M", i);
        materials.add(chunk(0xAFFF, chunk(0xA000, Bytes().str(name))));
        lists.add(chunk(0x4130, Bytes().str(name).u16(1).u16(0)));
    }
    Bytes vertices;
    vertices.u16(3).floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const Bytes faces = chunk(0x4120, Bytes().u16(1).u16(0).u16(1).u16(2).u16(0) + lists);
    return file_3ds(materials +
                    object_name("Mesh", chunk(0x4100, chunk(0x4110, vertices) + faces)));
}

// Empty meshes, each animated by a node that finds it by name.
Bytes node_names(size_t size) {
    const int count = static_cast<int>(size / 47);
    Bytes meshes, nodes;
    for (int i = 0; i < count; ++i) {
        const std::string name = numbered("O", i);
        meshes.add(object_name(name, chunk(0x4100)));
        nodes.add(chunk(0xB002, node_header(name, -1)));
    }
    return file_3ds(meshes, 3, keyframer(nodes));
}

// Dummies named by instance names, each a child of the first node (the world holds one mesh: a
// keyframer needs a world).
Bytes node_parents(size_t size) {
    const int count = static_cast<int>(size / 41);
    Bytes nodes;
    for (int i = 0; i < count; ++i)
        nodes.add(chunk(0xB002, node_header("$$$DUMMY", i == 0 ? -1 : 0) +
                                    chunk(0xB011, Bytes().str(numbered("D", i)))));
    return file_3ds(big_mesh("Mesh", 3), 3, keyframer(nodes));
}

// Dummies, each with a one-key position track.
Bytes node_tracks(size_t size) {
    const int count = static_cast<int>(size / 65);
    Bytes nodes;
    const Bytes track =
        chunk(0xB020, Bytes().u16(0).u32(0).u32(0).u32(1).u32(0).u16(0).floats({1, 2, 3}));
    for (int i = 0; i < count; ++i) nodes.add(chunk(0xB002, node_header("$$$DUMMY", -1) + track));
    return file_3ds(big_mesh("Mesh", 3), 3, keyframer(nodes));
}

// One mesh of half the file's bytes and one node with pivot chunks for the other half.
Bytes pivots(size_t size) {
    const int vertices = static_cast<int>(std::min<size_t>(size / 2 / 12, 65535));
    const int count = static_cast<int>(size / 2 / 18);
    Bytes node = node_header("Mesh", -1);
    for (int i = 0; i < count; ++i) node.add(chunk(0xB013, Bytes().floats({0.5f, 0.25f, 0.125f})));
    return file_3ds(big_mesh("Mesh", vertices), 3, keyframer(chunk(0xB002, node)));
}

// One mesh of half the file's bytes followed by local frame chunks for the other half.
Bytes local_frames(size_t size) {
    const int vertices = static_cast<int>(std::min<size_t>(size / 2 / 12, 65535));
    const int count = static_cast<int>(size / 2 / 54);
    Bytes frames;
    for (int i = 0; i < count; ++i)
        frames.add(chunk(0x4160, Bytes().floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0.5f, 0.25f, 0.125f})));
    return file_3ds(big_mesh("Mesh", vertices, frames));
}

// The options the intro reads its scenes with.
constexpr uint32_t kIntroOptions = KF_HIERARCHY | KF_NORMALS | KF_MORPH | KF_TRANSFORM;

void BM_ReadShape(benchmark::State& state, Bytes (*make)(size_t)) {
    const Bytes file = make(static_cast<size_t>(state.range(0)));
    const uint32_t size = static_cast<uint32_t>(file.data.size());
    kf_startup(kIntroOptions);
    Scene* scene = nullptr;
    kf_scene_new(&scene);
    int error = 0;
    for (auto _ : state) {
        error = kf_world_read_memory(file.data.data(), size, scene);
        if (!error) error = kf_motion_read_memory(file.data.data(), size, scene);
    }
    state.SetLabel(error ? kf_error_text(error) : "read");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
    state.counters["s_per_GB"] = benchmark::Counter(
        size * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    kf_scene_delete(scene);
    kf_shutdown();
}

const bool registered = [] {
    const struct {
        const char* name;
        Bytes (*make)(size_t);
    } shapes[] = {{"FaceMaterials", face_materials}, {"NodeNames", node_names},
                  {"NodeParents", node_parents},     {"NodeTracks", node_tracks},
                  {"Pivots", pivots},                {"LocalFrames", local_frames}};
    for (const auto& shape : shapes)
        benchmark::RegisterBenchmark((std::string("BM_ReadShape/") + shape.name).c_str(),
                                     BM_ReadShape, shape.make)
            ->RangeMultiplier(4)
            ->Range(32 << 10, 2 << 20)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
