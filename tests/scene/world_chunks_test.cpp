// The world reader on hand-built chunk streams: every handler, the examples of the file format,
// and every error path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/kf.h"
#include "tests/scene/chunk_builder.h"

using namespace scene;
using scene_test::Bytes;
using scene_test::chunk;
using scene_test::chunk_with_length;
using scene_test::file_3ds;
using scene_test::load_world;

namespace {

class WorldChunks : public ::testing::Test {
protected:
    void SetUp() override {
        kf_startup(0);
        ASSERT_EQ(kf_scene_new(&scene_), 0);
    }
    void TearDown() override {
        kf_scene_delete(scene_);
        kf_shutdown();
    }

    int load(const Bytes& file) { return load_world(file, scene_); }

    template <typename Record>
    Record* nth(uint32_t type, int n) {
        for (WorldNode* node = scene_->world; node; node = node->next)
            if (node->type == type && n-- == 0) return static_cast<Record*>(node->record);
        return nullptr;
    }

    Scene* scene_ = nullptr;
};

void expect_vector(const Vector& v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

void expect_color(const Color& c, float r, float g, float b) {
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
}

Bytes named(const std::string& name, const Bytes& content) { return chunk(0x4000, Bytes().str(name) + content); }

Bytes vertices(std::initializer_list<Vector> points) {
    Bytes body;
    body.u16(static_cast<uint16_t>(points.size()));
    for (const Vector& p : points) body.floats({p.x, p.y, p.z});
    return chunk(0x4110, body);
}

struct FaceIn {
    uint16_t a, b, c, info;
};

Bytes faces(std::initializer_list<FaceIn> list, const Bytes& sub = Bytes()) {
    Bytes body;
    body.u16(static_cast<uint16_t>(list.size()));
    for (const FaceIn& f : list) body.u16(f.a).u16(f.b).u16(f.c).u16(f.info);
    return chunk(0x4120, body + sub);
}

Bytes face_materials(const std::string& name, std::initializer_list<uint16_t> indices) {
    Bytes body;
    body.str(name).u16(static_cast<uint16_t>(indices.size()));
    for (uint16_t i : indices) body.u16(i);
    return chunk(0x4130, body);
}

Bytes material(const std::string& name, const Bytes& content = Bytes()) {
    return chunk(0xAFFF, chunk(0xA000, Bytes().str(name)) + content);
}

Bytes camera(float lens) {
    return named("Cam", chunk(0x4700, Bytes().floats({1, 2, 3, 4, 5, 6, 7.5f, lens})));
}

const Bytes kTriangle = vertices({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
const Bytes kIdentityFrame = chunk(0x4160, Bytes().floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));

TEST_F(WorldChunks, MeshVerticesFacesMappingAndMaterials) {
    const Bytes mesh = named(
        "Box", chunk(0x4100, vertices({{1, 2, 3}, {-1, 5, 0}, {2, -4, 8}, {0, 0, 0}}) +
                                 chunk(0x4140, Bytes().u16(3).floats({0.25f, 0.5f, 1, 0, -0.5f, 2})) +
                                 faces({{0, 1, 2, 0x08}, {1, 2, 3, 0x10}, {0, 2, 3, 0x1F}},
                                       face_materials("Red", {2, 0}))));
    // Faces take the first of two materials of one name.
    ASSERT_EQ(load(file_3ds(material("Red") + material("Red") + mesh)), 0);

    Material* red = nth<Material>(WORLD_MATERIAL, 0);
    Object* box = nth<Object>(WORLD_OBJECT, 0);
    ASSERT_TRUE(red && box);
    EXPECT_STREQ(box->name, "Box");
    EXPECT_EQ(red->id, 0);
    EXPECT_EQ(box->id, 2);
    EXPECT_EQ(box->parent, -1);
    EXPECT_EQ(box->flags, 0u);
    EXPECT_EQ(box->rotate.w, 1.0f);

    ASSERT_EQ(box->vertex_count, 4);
    expect_vector(box->vertices[0].vert, 1, 3, 2);  // y and z exchanged
    expect_vector(box->vertices[2].vert, 2, 8, -4);
    EXPECT_EQ(box->vertices[0].u, 0.25f);
    EXPECT_EQ(box->vertices[2].v, 2.0f);
    EXPECT_EQ(box->vertices[3].u, 0.0f);  // beyond the mapping count

    ASSERT_EQ(box->face_count, 3);
    const Face* f = box->faces;
    EXPECT_EQ(f[0].flags, FACE_WRAP_U);
    EXPECT_EQ(f[1].flags, FACE_WRAP_V);
    EXPECT_EQ(f[2].flags, FACE_WRAP_U | FACE_WRAP_V);
    EXPECT_EQ(f[1].pa, &box->vertices[1]);
    EXPECT_EQ(f[1].pc, &box->vertices[3]);
    EXPECT_EQ(f[0].pmaterial, red);
    EXPECT_EQ(f[2].material, red->id);
    EXPECT_EQ(f[1].pmaterial, nullptr);  // named by no material chunk
    EXPECT_EQ(f[1].material, 0);

    expect_vector(box->bbox_min, -1, 0, -4);
    expect_vector(box->bbox_max, 2, 8, 5);
}

TEST_F(WorldChunks, LocalFrameMovesVerticesIntoObjectSpace) {
    const struct {
        const char* what;
        std::initializer_list<float> frame;
        Vector file, stored;
    } cases[] = {
        // Axes turned 90 degrees about the file's z and doubled in length, origin at file (10, 20, 30):
        // 2 units along X, Y and Z are 1 unit of the doubled axes (real files have unit axes).
        {"frame X", {0, 2, 0, -2, 0, 0, 0, 0, 2, 10, 20, 30}, {10, 22, 30}, {1, 0, 0}},
        {"frame Y", {0, 2, 0, -2, 0, 0, 0, 0, 2, 10, 20, 30}, {8, 20, 30}, {0, 0, 1}},
        {"frame Z", {0, 2, 0, -2, 0, 0, 0, 0, 2, 10, 20, 30}, {10, 20, 32}, {0, 1, 0}},
        // A degenerate axis cannot be inverted: the frame only moves the vertex.
        {"degenerate", {1, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}, {2, 3, 4}, {1, 3, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes frame = chunk(0x4160, Bytes().floats(c.frame));
        ASSERT_EQ(load(file_3ds(named("M", chunk(0x4100, vertices({c.file}) + frame)))), 0);
        expect_vector(nth<Object>(WORLD_OBJECT, 0)->vertices[0].vert, c.stored.x, c.stored.y, c.stored.z);
    }
}

TEST_F(WorldChunks, LightsAndCameras) {
    const Bytes omni = named("Omni", chunk(0x4600, Bytes().floats({1, 2, 3}) +
                                                       chunk(0x0010, Bytes().floats({0.5f, 0.25f, 1})) +
                                                       chunk(0x4659, Bytes().f32(10)) +
                                                       chunk(0x465A, Bytes().f32(20))));
    const Bytes spot = named("Spot", chunk(0x4600, Bytes().floats({0, 0, 0}) +
                                                       chunk(0x4610, Bytes().floats({4, 5, 6, 30, 45})) +
                                                       chunk(0x0011, Bytes().u8(255).u8(0).u8(0))));
    ASSERT_EQ(load(file_3ds(omni + spot + camera(50))), 0);
    const Light* o = nth<Light>(WORLD_LIGHT, 0);
    const Light* s = nth<Light>(WORLD_LIGHT, 1);
    const Camera* c = nth<Camera>(WORLD_CAMERA, 0);
    expect_vector(o->position, 1, 3, 2);
    expect_color(o->color, 0.5f, 0.25f, 1);
    EXPECT_EQ(o->range_a, 10.0f);
    EXPECT_EQ(o->range_b, 20.0f);
    EXPECT_EQ(s->kind, LIGHT_SPOT);
    expect_vector(s->target, 4, 6, 5);
    EXPECT_EQ(s->hotspot, 30.0f);
    EXPECT_EQ(s->falloff, 45.0f);
    expect_color(s->color, 1, 0, 0);
    expect_vector(c->target, 4, 6, 5);
    EXPECT_EQ(c->roll, 7.5f);
}

TEST_F(WorldChunks, LensToFieldOfView) {
    // Stock lenses keep 3D Studio's own values (50 mm gives 46, not 48); others give 2400 / lens.
    const struct {
        float lens, fov;
    } cases[] = {{15, 115}, {20, 94.285713f}, {24, 84},  {28, 76.363640f}, {35, 63},
                 {50, 46},  {85, 28},         {135, 18}, {200, 12},        {40, 60},
                 {100, 24}, {10, 240}};
    for (const auto& c : cases) {
        ASSERT_EQ(load(file_3ds(camera(c.lens))), 0);
        EXPECT_FLOAT_EQ(nth<Camera>(WORLD_CAMERA, 0)->fov, c.fov) << "lens " << c.lens;
    }
}

TEST_F(WorldChunks, MaterialProperties) {
    auto percent = [](uint16_t id, uint16_t value) { return chunk(id, chunk(0x0030, Bytes().u16(value))); };
    auto map = [](uint16_t id, const std::string& file, float base) {
        return chunk(id, chunk(0x0030, Bytes().u16(100)) + chunk(0xA300, Bytes().str(file)) +
                             chunk(0xA351, Bytes().u16(0x000A)) + chunk(0xA354, Bytes().f32(base)) +
                             chunk(0xA356, Bytes().f32(base + 1)) + chunk(0xA358, Bytes().f32(base + 2)) +
                             chunk(0xA35A, Bytes().f32(base + 3)) + chunk(0xA35C, Bytes().f32(base + 4)));
    };
    const Bytes content =
        chunk(0xA010, chunk(0x0010, Bytes().floats({0.1f, 0.2f, 0.3f}))) +
        chunk(0xA020, chunk(0x0011, Bytes().u8(255).u8(0).u8(128))) +
        chunk(0xA030, chunk(0x0011, Bytes().u8(51).u8(102).u8(204))) + percent(0xA040, 25) +
        percent(0xA041, 50) + percent(0xA050, 75) + percent(0xA052, 10) + percent(0xA053, 5) +
        percent(0xA084, 100) + chunk(0xA081) + chunk(0xA083) + chunk(0xA085) + chunk(0xA08C) +
        chunk(0xA100, Bytes().u16(3)) + map(0xA200, "TEX.TGA", 1) + map(0xA220, "MASK.TGA", 11) +
        map(0xA230, "BUMP.TGA", 21) +
        // A map this reader does not keep (opacity) must leave the others alone.
        map(0xA210, "OPACITY.TGA", 31) + chunk(0x0011, Bytes().u8(9).u8(9).u8(9));
    ASSERT_EQ(load(file_3ds(material("Gold", content) + material("Plain"))), 0);

    Material* m = nth<Material>(WORLD_MATERIAL, 0);
    ASSERT_TRUE(m);
    EXPECT_STREQ(m->name, "Gold");
    expect_color(m->ambient, 0.1f, 0.2f, 0.3f);
    expect_color(m->diffuse, 1, 0, 0.50196078f);
    expect_color(m->specular, 0.2f, 0.4f, 0.8f);
    EXPECT_FLOAT_EQ(m->shininess, 0.25f);
    EXPECT_FLOAT_EQ(m->shininess_strength, 0.5f);
    EXPECT_FLOAT_EQ(m->transparency, 0.75f);
    EXPECT_FLOAT_EQ(m->trans_falloff, 0.1f);
    EXPECT_FLOAT_EQ(m->reflection_blur, 0.05f);
    EXPECT_FLOAT_EQ(m->self_illumination, 1.0f);
    EXPECT_EQ(m->flags, MATERIAL_TWOSIDED | MATERIAL_SOFTEN | MATERIAL_WIREFRAME | MATERIAL_TRANSPARENCY_ADD);
    EXPECT_EQ(m->shading, SHADING_PHONG);
    const TextureMap* maps[] = {&m->texture_map, &m->reflection_map, &m->bump_map};
    const char* files[] = {"TEX.TGA", "MASK.TGA", "BUMP.TGA"};
    for (int i = 0; i < 3; ++i) {
        const float base = 1.0f + 10.0f * i;
        EXPECT_STREQ(maps[i]->filename, files[i]);
        EXPECT_EQ(maps[i]->flags, 0x000Au);
        EXPECT_EQ(maps[i]->u_scale, base);
        EXPECT_EQ(maps[i]->v_scale, base + 1);
        EXPECT_EQ(maps[i]->u_offset, base + 2);
        EXPECT_EQ(maps[i]->v_offset, base + 3);
        EXPECT_EQ(maps[i]->angle, base + 4);
    }

    Material* plain = nth<Material>(WORLD_MATERIAL, 1);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->id, 1);
    EXPECT_EQ(plain->shading, 0u);
    EXPECT_EQ(plain->flags, 0u);
    EXPECT_EQ(plain->texture_map.filename, nullptr);
}

TEST_F(WorldChunks, UnknownChunksAreSkippedWhole) {
    // The unknown chunk holds what would be a mesh; none of it may be read.
    const Bytes hidden = chunk(0x1234, named("Hidden", chunk(0x4100, kTriangle)));
    const Bytes unknown_in_mesh = chunk(0x4100, chunk(0x4EEE, Bytes().u32(7)) + kTriangle);
    ASSERT_EQ(load(file_3ds(hidden + named("Shown", unknown_in_mesh))), 0);
    EXPECT_EQ(nth<Object>(WORLD_OBJECT, 1), nullptr);
    Object* shown = nth<Object>(WORLD_OBJECT, 0);
    ASSERT_TRUE(shown);
    EXPECT_STREQ(shown->name, "Shown");
    EXPECT_EQ(shown->vertex_count, 3);
}

TEST_F(WorldChunks, LongNamesAreCutTo63) {
    const std::string long_name(100, 'n');
    ASSERT_EQ(load(file_3ds(named(long_name, chunk(0x4100, kTriangle)) + material(long_name))), 0);
    EXPECT_EQ(std::string(nth<Object>(WORLD_OBJECT, 0)->name), long_name.substr(0, 63));
    EXPECT_EQ(nth<Object>(WORLD_OBJECT, 0)->vertex_count, 3);  // reading went on after the name
    EXPECT_EQ(std::string(nth<Material>(WORLD_MATERIAL, 0)->name), long_name.substr(0, 63));
}

TEST_F(WorldChunks, MeshVersion) {
    const Bytes mesh = named("A", chunk(0x4100, kTriangle));
    // Laid out as usual, the version is byte 28 of the file.
    Bytes v1 = file_3ds(mesh, 1);
    ASSERT_EQ(v1.data[28], 1);
    EXPECT_EQ(load(v1), KF_VERSION);
    EXPECT_EQ(scene_->world, nullptr);
    EXPECT_EQ(load(file_3ds(mesh, 2)), 0);

    // Elsewhere in the mesh section, after other chunks.
    auto late = [&](uint32_t version) {
        return chunk(0x4D4D, chunk(0x3D3D, chunk(0x0100, Bytes().f32(1)) + mesh +
                                               chunk(0x3D3E, Bytes().u32(version))));
    };
    EXPECT_EQ(load(late(1)), KF_VERSION);
    EXPECT_EQ(load(late(3)), 0);
    EXPECT_EQ(nth<Object>(WORLD_OBJECT, 0)->vertex_count, 3);
    // No version chunk at all.
    EXPECT_EQ(load(chunk(0x4D4D, chunk(0x3D3D, mesh))), 0);
    // A version chunk without its value.
    EXPECT_EQ(load(chunk(0x4D4D, chunk(0x3D3D, chunk(0x3D3E)))), KF_CORRUPTED);
}

TEST_F(WorldChunks, MalformedFilesAreCorrupted) {
    // Long enough that the files below fail for the fault named, not for being short.
    const Bytes padding = chunk(0x0002, Bytes().u32(3).u32(0).u32(0).u32(0).u32(0));
    struct Case {
        const char* what;
        Bytes file;
        int error;
    };
    Bytes deep = chunk(0x3D3D, named("Deep", chunk(0x4100, kTriangle)));
    for (int i = 0; i < 200; ++i) deep = chunk(0x4D4D, deep);
    const Case cases[] = {
        {"empty file", Bytes(), KF_CORRUPTED},
        {"too short for a mesh version", chunk(0x4D4D, chunk(0x3D3D, chunk(0x1234, Bytes().u32(0)))),
         KF_CORRUPTED},
        {"length below the header", chunk_with_length(0x4D4D, 4, padding), KF_CORRUPTED},
        {"length zero", chunk(0x4D4D, padding + chunk_with_length(0x1234, 0)), KF_CORRUPTED},
        {"length past the file", chunk_with_length(0x4D4D, 100, padding), KF_CORRUPTED},
        {"child past its parent",
         chunk(0x4D4D, padding + chunk_with_length(0x3D3D, 6) + chunk_with_length(0x1234, 12)), KF_CORRUPTED},
        {"trailing bytes shorter than a header", file_3ds(Bytes()) + Bytes().u16(0x1234), KF_CORRUPTED},
        {"vertex count past the chunk",
         file_3ds(named("M", chunk(0x4100, chunk(0x4110, Bytes().u16(3).floats({1, 2, 3}))))),
         KF_CORRUPTED},
        {"face count past the chunk",
         file_3ds(named("M", chunk(0x4100, kTriangle + chunk(0x4120, Bytes().u16(2).u16(0).u16(1).u16(2).u16(0))))),
         KF_CORRUPTED},
        {"face index past the vertices", file_3ds(named("M", chunk(0x4100, kTriangle + faces({{0, 1, 3, 0}})))),
         KF_CORRUPTED},
        {"faces before vertices", file_3ds(named("M", chunk(0x4100, faces({{0, 1, 2, 0}}) + kTriangle))),
         KF_CORRUPTED},
        {"mapping count past the chunk",
         file_3ds(named("M", chunk(0x4100, kTriangle + chunk(0x4140, Bytes().u16(3).floats({0, 0}))))),
         KF_CORRUPTED},
        {"face material count past the chunk",
         file_3ds(material("Red") +
                  named("M", chunk(0x4100, kTriangle + faces({{0, 1, 2, 0}},
                                                              chunk(0x4130, Bytes().str("Red").u16(4).u16(0)))))),
         KF_CORRUPTED},
        {"second vertex list", file_3ds(named("M", chunk(0x4100, kTriangle + kTriangle))), KF_CORRUPTED},
        {"second local frame", file_3ds(named("M", chunk(0x4100, kTriangle + kIdentityFrame + kIdentityFrame))),
         KF_CORRUPTED},
        {"second face list",
         file_3ds(named("M", chunk(0x4100, kTriangle + faces({{0, 1, 2, 0}}) + faces({{2, 1, 0, 0}})))),
         KF_CORRUPTED},
        {"short camera", file_3ds(named("C", chunk(0x4700, Bytes().floats({1, 2, 3})))), KF_CORRUPTED},
        {"short colour",
         file_3ds(material("Red", chunk(0xA020, chunk(0x0011, Bytes().u8(1))))), KF_CORRUPTED},
        {"name without terminator", file_3ds(chunk(0x4000, Bytes().u8('A').u8('B'))), KF_CORRUPTED},
        {"nesting beyond any real file", deep, KF_CORRUPTED},
        {"face material naming nothing",
         file_3ds(named("M", chunk(0x4100, kTriangle + faces({{0, 1, 2, 0}}, face_materials("Nowhere", {0}))))),
         KF_NO_RECORD},
        {"face material naming a mesh, not a material",
         file_3ds(named("M", chunk(0x4100, kTriangle + faces({{0, 1, 2, 0}}, face_materials("M", {0}))))),
         KF_NO_RECORD},
    };
    for (const Case& c : cases) {
        // A failed read frees what it built (the sanitizer build checks for leaks).
        EXPECT_EQ(load(c.file), c.error) << c.what;
        EXPECT_EQ(scene_->world, nullptr) << c.what;
    }
}

TEST_F(WorldChunks, GuardedEntriesAreNotStored) {
    // Face material entries beyond the faces, mapping entries beyond the vertices.
    const Bytes mesh = named("M", chunk(0x4100, kTriangle +
                                                    chunk(0x4140, Bytes().u16(5).floats({1, 1, 2, 2, 3, 3, 4, 4, 5, 5})) +
                                                    faces({{0, 1, 2, 0}}, face_materials("Red", {7, 0}))));
    ASSERT_EQ(load(file_3ds(material("Red") + mesh)), 0);
    Object* m = nth<Object>(WORLD_OBJECT, 0);
    EXPECT_EQ(m->vertices[2].u, 3.0f);
    EXPECT_EQ(m->faces[0].material, 0);  // the material's id
    EXPECT_NE(m->faces[0].pmaterial, nullptr);
}

TEST_F(WorldChunks, StrayChunksWithoutTheirRecordAreDropped) {
    // Mesh data outside a mesh, light data outside a light, material data outside a material, each
    // after a record of that kind that a new name has closed. A stray face list is dropped with
    // its faces, which would not read as chunks.
    const Bytes stray = named("Lone", kTriangle + faces({{0, 1, 2, 0}}) +
                                          chunk(0x4610, Bytes().floats({1, 2, 3, 4, 5})) +
                                          chunk(0xA100, Bytes().u16(2)));
    const Bytes file = named("Empty", chunk(0x4100)) + stray +
                       named("Omni", chunk(0x4600, Bytes().floats({1, 2, 3}))) + stray +
                       material("Mat") + stray +
                       chunk(0xA020, chunk(0x0011, Bytes().u8(1).u8(2).u8(3)));
    ASSERT_EQ(load(file_3ds(file)), 0);
    const Object* empty = nth<Object>(WORLD_OBJECT, 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->vertex_count, 0);
    EXPECT_EQ(empty->face_count, 0);
    EXPECT_EQ(empty->vertices, nullptr);
    EXPECT_EQ(empty->faces, nullptr);
    expect_vector(empty->bbox_max, 0, 0, 0);
    EXPECT_EQ(nth<Light>(WORLD_LIGHT, 0)->kind, LIGHT_OMNI);
    const Material* mat = nth<Material>(WORLD_MATERIAL, 0);
    EXPECT_EQ(mat->shading, 0u);
    expect_color(mat->diffuse, 0, 0, 0);
    int count = 0;
    for (WorldNode* node = scene_->world; node; node = node->next) ++count;
    EXPECT_EQ(count, 3);
}

}  // namespace
