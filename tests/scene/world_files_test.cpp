// The world reader on real 3DS files written by others, checked against lib3ds reading the same
// files. lib3ds keeps world (file) coordinates and z-up and sorts its lists by name; our records
// are y-up with meshes in their local frames.
#include <gtest/gtest.h>
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "scene/kf.h"
#include "tests/scene/model_files.h"

using namespace scene;

namespace {

// lib3ds's z-up vector as our y-up one.
Vector y_up(const float* v) { return Vector{v[0], v[2], v[1]}; }

// Both readers convert the same single-precision data; only our local-frame round trip and the
// byte-colour scaling add rounding.
void expect_near(const Vector& ours, const Vector& theirs, const std::string& what) {
    const float scale = std::fmax(1.0f, std::fabs(theirs.x) + std::fabs(theirs.y) + std::fabs(theirs.z));
    const float tolerance = 1e-4f * scale;
    EXPECT_NEAR(ours.x, theirs.x, tolerance) << what;
    EXPECT_NEAR(ours.y, theirs.y, tolerance) << what;
    EXPECT_NEAR(ours.z, theirs.z, tolerance) << what;
}

void expect_color(const Color& ours, const float* theirs, const std::string& what) {
    EXPECT_NEAR(ours.r, theirs[0], 1e-5f) << what;
    EXPECT_NEAR(ours.g, theirs[1], 1e-5f) << what;
    EXPECT_NEAR(ours.b, theirs[2], 1e-5f) << what;
}

int count_type(const Scene* scene, uint32_t type) {
    int n = 0;
    for (const WorldNode* node = scene->world; node; node = node->next) n += node->type == type;
    return n;
}

template <typename Record>
Record* find(const Scene* scene, uint32_t type, const char* name) {
    for (const WorldNode* node = scene->world; node; node = node->next) {
        if (node->type != type) continue;
        Record* record = static_cast<Record*>(node->record);
        if (std::strcmp(record->name, name) == 0) return record;
    }
    return nullptr;
}

// The mesh's vertex back in world space: origin plus the local coordinates along the frame's axes.
Vector to_world(const Lib3dsMesh& mesh, const Vector& local) {
    const Vector x = y_up(mesh.matrix[0]);
    const Vector y = y_up(mesh.matrix[1]);
    const Vector z = y_up(mesh.matrix[2]);
    const Vector o = y_up(mesh.matrix[3]);
    // The file's Y axis is our z axis and its Z axis our y axis.
    return Vector{o.x + local.x * x.x + local.y * z.x + local.z * y.x,
                  o.y + local.x * x.y + local.y * z.y + local.z * y.y,
                  o.z + local.x * x.z + local.y * z.z + local.z * y.z};
}

void compare_meshes(const Scene* ours, Lib3dsFile* theirs, const std::string& file) {
    int meshes = 0;
    for (Lib3dsMesh* mesh = theirs->meshes; mesh; mesh = mesh->next, ++meshes) {
        const std::string what = file + " mesh " + mesh->name;
        const Object* object = find<Object>(ours, WORLD_OBJECT, mesh->name);
        ASSERT_NE(object, nullptr) << what;
        ASSERT_EQ(object->vertex_count, static_cast<int32_t>(mesh->points)) << what;
        ASSERT_EQ(object->face_count, static_cast<int32_t>(mesh->faces)) << what;
        for (uint32_t i = 0; i < mesh->points; ++i)
            expect_near(to_world(*mesh, object->vertices[i].vert), y_up(mesh->pointL[i].pos), what);
        for (uint32_t i = 0; i < mesh->texels && i < mesh->points; ++i) {
            EXPECT_EQ(object->vertices[i].u, mesh->texelL[i][0]) << what;
            EXPECT_EQ(object->vertices[i].v, mesh->texelL[i][1]) << what;
        }
        for (uint32_t i = 0; i < mesh->faces; ++i) {
            const Lib3dsFace& face = mesh->faceL[i];
            const Face& f = object->faces[i];
            EXPECT_EQ(f.a, face.points[0]) << what;
            EXPECT_EQ(f.b, face.points[1]) << what;
            EXPECT_EQ(f.c, face.points[2]) << what;
            EXPECT_EQ(f.flags, ((face.flags & 0x08) ? FACE_WRAP_U : 0u) | ((face.flags & 0x10) ? FACE_WRAP_V : 0u))
                << what;
            EXPECT_STREQ(f.pmaterial ? f.pmaterial->name : "", face.material) << what;
        }
    }
    EXPECT_EQ(count_type(ours, WORLD_OBJECT), meshes) << file;
}

// Where a file has no chunk for a value, our record keeps 0 and lib3ds its own default.
template <typename T>
void expect_same_or_defaults(T ours, T theirs, T their_default, const std::string& what) {
    if (ours == 0 && theirs == their_default) return;
    EXPECT_EQ(ours, theirs) << what;
}

void compare_map(const TextureMap& ours, const Lib3dsTextureMap& theirs, const std::string& what) {
    EXPECT_STREQ(ours.filename ? ours.filename : "", theirs.name) << what;
    if (!ours.filename) return;
    expect_same_or_defaults<uint32_t>(ours.flags, theirs.flags, 0x10, what + " flags");
    expect_same_or_defaults(ours.u_scale, theirs.scale[0], 1.0f, what + " u scale");
    expect_same_or_defaults(ours.v_scale, theirs.scale[1], 1.0f, what + " v scale");
    EXPECT_EQ(ours.u_offset, theirs.offset[0]) << what;
    EXPECT_EQ(ours.v_offset, theirs.offset[1]) << what;
    EXPECT_EQ(ours.angle, theirs.rotation) << what;
}

void compare_materials(const Scene* ours, Lib3dsFile* theirs, const std::string& file) {
    int materials = 0;
    for (Lib3dsMaterial* mat = theirs->materials; mat; mat = mat->next, ++materials) {
        const std::string what = file + " material " + mat->name;
        const Material* m = find<Material>(ours, WORLD_MATERIAL, mat->name);
        ASSERT_NE(m, nullptr) << what;
        expect_color(m->ambient, mat->ambient, what + " ambient");
        expect_color(m->diffuse, mat->diffuse, what + " diffuse");
        expect_color(m->specular, mat->specular, what + " specular");
        expect_same_or_defaults<uint32_t>(m->shading, static_cast<uint32_t>(mat->shading), 3, what + " shading");
        EXPECT_EQ((m->flags & MATERIAL_TWOSIDED) != 0, mat->two_sided != 0) << what;
        EXPECT_EQ((m->flags & MATERIAL_SOFTEN) != 0, mat->soften != 0) << what;
        EXPECT_EQ((m->flags & MATERIAL_WIREFRAME) != 0, mat->use_wire != 0) << what;
        EXPECT_EQ((m->flags & MATERIAL_TRANSPARENCY_ADD) != 0, mat->additive != 0) << what;
        compare_map(m->texture_map, mat->texture1_map, what + " texture map");
        compare_map(m->reflection_map, mat->reflection_map, what + " reflection map");
        compare_map(m->bump_map, mat->bump_map, what + " bump map");
    }
    EXPECT_EQ(count_type(ours, WORLD_MATERIAL), materials) << file;
}

void compare_cameras_and_lights(const Scene* ours, Lib3dsFile* theirs, const std::string& file) {
    int cameras = 0;
    for (Lib3dsCamera* cam = theirs->cameras; cam; cam = cam->next, ++cameras) {
        const std::string what = file + " camera " + cam->name;
        const Camera* c = find<Camera>(ours, WORLD_CAMERA, cam->name);
        ASSERT_NE(c, nullptr) << what;
        expect_near(c->position, y_up(cam->position), what);
        expect_near(c->target, y_up(cam->target), what);
        EXPECT_EQ(c->roll, cam->roll) << what;
        // Fields of view (3D Studio's own for stock lenses) are checked on hand-built files.
    }
    EXPECT_EQ(count_type(ours, WORLD_CAMERA), cameras) << file;

    int lights = 0;
    for (Lib3dsLight* light = theirs->lights; light; light = light->next, ++lights) {
        const std::string what = file + " light " + light->name;
        const Light* l = find<Light>(ours, WORLD_LIGHT, light->name);
        ASSERT_NE(l, nullptr) << what;
        expect_near(l->position, y_up(light->position), what);
        expect_color(l->color, light->color, what);
        EXPECT_EQ(l->kind, light->spot_light ? LIGHT_SPOT : LIGHT_OMNI) << what;
        if (l->kind == LIGHT_SPOT) {
            expect_near(l->target, y_up(light->spot), what);
            EXPECT_EQ(l->hotspot, light->hot_spot) << what;
            EXPECT_EQ(l->falloff, light->fall_off) << what;
        }
    }
    EXPECT_EQ(count_type(ours, WORLD_LIGHT), lights) << file;
}

TEST(WorldFiles, MatchLib3ds) {
    const std::vector<std::string> files = scene_test::model_files();
    ASSERT_FALSE(files.empty()) << "no 3DS test models installed (assimp-testmodels, glmark2-data)";
    kf_startup(KF_NORMALS);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Scene* scene = nullptr;
        ASSERT_EQ(kf_scene_new(&scene), 0);
        const int error = kf_world_read(file.c_str(), scene);
        EXPECT_EQ(error, 0) << kf_error_text(error);
        Lib3dsFile* theirs = lib3ds_file_load(file.c_str());
        if (!error && theirs) {
            compare_meshes(scene, theirs, file);
            compare_materials(scene, theirs, file);
            compare_cameras_and_lights(scene, theirs, file);
        }
        if (theirs) lib3ds_file_free(theirs);
        kf_scene_delete(scene);
    }
    kf_shutdown();
}

}  // namespace
