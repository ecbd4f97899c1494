// 3DS reader, mesh section: cameras, lights, meshes with their local frames, materials and maps.
//
// Handlers fill the record the last create-handler made (the reader's `current`). A chunk that
// belongs to a record of another kind, or to none, is read and dropped, never written through a
// pointer of the wrong type.
#include <cstdlib>
#include <cstring>
#include <new>

#include "scene/chunks.h"
#include "scene/hash_index.h"
#include "scene/kf.h"
#include "scene/library.h"

namespace scene {

struct WorldLookups {
    // The first material of each name, so that a face material chunk costs the same however many
    // materials come before it.
    HashIndex materials;
    const Object* framed = nullptr;  // the last mesh given a local frame
};

namespace {

// Chunk ids of the mesh section that handlers tell apart by parent or by own id.
enum : uint16_t {
    CHUNK_LIGHT = 0x4600,
    CHUNK_RANGE_A = 0x4659,
    CHUNK_AMBIENT_COLOR = 0xA010,
    CHUNK_DIFFUSE_COLOR = 0xA020,
    CHUNK_SPECULAR_COLOR = 0xA030,
    CHUNK_SHININESS = 0xA040,
    CHUNK_SHININESS_STRENGTH = 0xA041,
    CHUNK_TRANSPARENCY = 0xA050,
    CHUNK_TRANS_FALLOFF = 0xA052,
    CHUNK_REFLECTION_BLUR = 0xA053,
    CHUNK_TWOSIDED = 0xA081,
    CHUNK_TRANSPARENCY_ADD = 0xA083,
    CHUNK_SELF_ILLUMINATION = 0xA084,
    CHUNK_WIREFRAME = 0xA085,
    CHUNK_SOFTEN = 0xA08C,
    CHUNK_TEXTURE_MAP = 0xA200,
    CHUNK_REFLECTION_MAP = 0xA220,
    CHUNK_BUMP_MAP = 0xA230,
    CHUNK_MAP_U_SCALE = 0xA354,
    CHUNK_MAP_V_SCALE = 0xA356,
    CHUNK_MAP_U_OFFSET = 0xA358,
    CHUNK_MAP_V_OFFSET = 0xA35A,
    CHUNK_MAP_ANGLE = 0xA35C,
};

constexpr uint32_t kVertexBytes = 12;   // x, y, z floats
constexpr uint32_t kFaceBytes = 8;      // u16 a, b, c, info
constexpr uint32_t kMappingBytes = 8;   // u, v floats
constexpr uint32_t kIndexBytes = 2;     // u16 face index
constexpr double kByteToUnit = 0.00392156862745098;  // 1 / 255
constexpr double kPercentToUnit = 0.01;

// Face info bits that become face flags.
constexpr uint16_t kInfoWrapU = 0x08;
constexpr uint16_t kInfoWrapV = 0x10;

template <typename Record>
Record* current(ChunkReader& r, uint32_t type) {
    return r.current_type == type ? static_cast<Record*>(r.current) : nullptr;
}

Object* current_object(ChunkReader& r) { return current<Object>(r, WORLD_OBJECT); }
Light* current_light(ChunkReader& r) { return current<Light>(r, WORLD_LIGHT); }
Material* current_material(ChunkReader& r) { return current<Material>(r, WORLD_MATERIAL); }

// Appends a new record and makes it current; frees it when the node cannot be allocated.
int add_record(ChunkReader& r, uint32_t type, void* record) {
    const int error = kf_append_world(r.scene, type, record);
    if (error) {
        kf_free_record(type, record);
        return error;
    }
    r.current_type = type;
    r.current = record;
    return KF_OK;
}

// Replaces a heap name; the old one is freed.
int replace_name(char** slot, const char* name) {
    char* copy = kf_copy_name(name);
    if (!copy) return KF_NO_MEMORY;
    std::free(*slot);
    *slot = copy;
    return KF_OK;
}

// Stock lenses keep the field of view 3D Studio shows for them; others give 2400 / lens.
float lens_to_fov(float lens) {
    static const struct {
        float lens, fov;
    } kStockLenses[] = {{15.0f, 115.0f}, {20.0f, 94.285713f}, {24.0f, 84.0f},
                        {28.0f, 76.363640f}, {35.0f, 63.0f},   {50.0f, 46.0f},
                        {85.0f, 28.0f},      {135.0f, 18.0f},  {200.0f, 12.0f}};
    for (const auto& stock : kStockLenses)
        if (lens == stock.lens) return stock.fov;
    return 15.0f / lens * 160.0f;
}

int named_object(ChunkReader& r) {
    r.read_name();
    // Whatever follows belongs to this named object, not to the record made before it.
    r.current_type = 0;
    r.current = nullptr;
    return KF_OK;
}

int triangle_mesh(ChunkReader& r) {
    Object* object = kf_new_record<Object>(r.name);
    if (!object) return KF_NO_MEMORY;
    object->id = r.counter++;
    object->parent = -1;
    qt_identity(&object->rotate);
    return add_record(r, WORLD_OBJECT, object);
}

int vertex_list(ChunkReader& r) {
    const uint32_t count = r.u16();
    if (count * kVertexBytes > r.remaining()) return KF_CORRUPTED;
    Object* object = current_object(r);
    if (!object || count == 0) return KF_OK;
    if (object->vertices) return KF_CORRUPTED;  // faces would point into the first list
    Vertex* vertices = static_cast<Vertex*>(std::calloc(count, sizeof(Vertex)));
    if (!vertices) return KF_NO_MEMORY;
    for (uint32_t i = 0; i < count; ++i) vertices[i].vert = r.vector_yz();
    object->vertices = vertices;
    object->vertex_count = static_cast<int32_t>(count);
    return KF_OK;
}

// A container: its face material chunks follow the faces.
int face_list(ChunkReader& r) {
    const uint32_t count = r.u16();
    if (count * kFaceBytes > r.remaining()) return KF_CORRUPTED;
    Object* object = current_object(r);
    if (!object || count == 0) {
        r.pos += count * kFaceBytes;  // dropped with its faces, which must not be read as chunks
        return KF_OK;
    }
    // A second list would leave the first one's material assignments to the wrong faces.
    if (object->faces) return KF_CORRUPTED;
    Face* faces = static_cast<Face*>(std::calloc(count, sizeof(Face)));
    if (!faces) return KF_NO_MEMORY;
    const uint32_t vertex_count = static_cast<uint32_t>(object->vertex_count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t a = r.u16();
        const uint16_t b = r.u16();
        const uint16_t c = r.u16();
        const uint16_t info = r.u16();
        if (a >= vertex_count || b >= vertex_count || c >= vertex_count) {
            std::free(faces);
            return KF_CORRUPTED;
        }
        Face& face = faces[i];
        face.a = a;
        face.b = b;
        face.c = c;
        face.pa = &object->vertices[a];
        face.pb = &object->vertices[b];
        face.pc = &object->vertices[c];
        face.flags = ((info & kInfoWrapU) ? FACE_WRAP_U : 0) | ((info & kInfoWrapV) ? FACE_WRAP_V : 0);
    }
    object->faces = faces;
    object->face_count = static_cast<int32_t>(count);
    return KF_OK;
}

Material* find_material(ChunkReader& r, const char* name) {
    return static_cast<Material*>(
        r.world_lookups->materials.find(kf_hash_name(name), [name](const void* record) {
            return std::strcmp(static_cast<const Material*>(record)->name, name) == 0;
        }));
}

// Indexes a material under its current name unless an earlier one has that name. Only the current
// material is ever named, and it is the last one made: earlier materials keep their names, and no
// later one of its old name is left to take its place there.
int index_material(ChunkReader& r, Material* material) {
    if (find_material(r, material->name)) return KF_OK;
    return r.world_lookups->materials.add(kf_hash_name(material->name), material) ? KF_OK
                                                                                 : KF_NO_MEMORY;
}

// Only a material may stand behind a face's material pointer, so only materials are looked up.
int face_material(ChunkReader& r) {
    r.read_name();
    const uint32_t count = r.u16();
    if (r.failed) return KF_OK;
    if (count * kIndexBytes > r.remaining()) return KF_CORRUPTED;
    Material* material = find_material(r, r.name);
    if (!material) return KF_NO_RECORD;
    Object* object = current_object(r);
    if (!object) return KF_OK;
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t index = r.u16();
        if (index >= object->face_count) continue;
        object->faces[index].material = material->id;
        object->faces[index].pmaterial = material;
    }
    return KF_OK;
}

int mapping_list(ChunkReader& r) {
    const uint32_t count = r.u16();
    if (count * kMappingBytes > r.remaining()) return KF_CORRUPTED;
    Object* object = current_object(r);
    if (!object) return KF_OK;
    const uint32_t vertex_count = static_cast<uint32_t>(object->vertex_count);
    const uint32_t stored = count < vertex_count ? count : vertex_count;
    for (uint32_t i = 0; i < stored; ++i) {
        object->vertices[i].u = r.f32();
        object->vertices[i].v = r.f32();
    }
    return KF_OK;
}

// The mesh's axes X, Y, Z and origin O in world space; vertices come in world space and are moved
// into the mesh's own frame, where the keyframer tracks place them.
int local_frame(ChunkReader& r) {
    if (!r.has(12 * 4)) return KF_OK;
    // Exchanging y and z of each axis and the Y and Z rows exchanges both the second and third
    // rows and columns of the file's matrix.
    Matrix frame{};
    const Vector x_axis = r.vector_yz();
    const Vector y_axis = r.vector_yz();
    const Vector z_axis = r.vector_yz();
    const Vector origin = r.vector_yz();
    frame.xx = x_axis.x, frame.xy = x_axis.y, frame.xz = x_axis.z;
    frame.yx = z_axis.x, frame.yy = z_axis.y, frame.yz = z_axis.z;
    frame.zx = y_axis.x, frame.zy = y_axis.y, frame.zz = y_axis.z;
    Object* object = current_object(r);
    if (!object) return KF_OK;
    // A mesh has one frame; each further one would cost a pass over all its vertices.
    if (object == r.world_lookups->framed) return KF_CORRUPTED;
    r.world_lookups->framed = object;
    // A degenerate axis leaves the identity: the mesh is only moved to the origin.
    Matrix inverse;
    mat_frame_inverse(&frame, &inverse);
    for (int32_t i = 0; i < object->vertex_count; ++i) {
        Vector& v = object->vertices[i].vert;
        Vector d;
        vec_sub(&v, &origin, &d);
        mat_mul_normal(&inverse, &d, &v);
    }
    return KF_OK;
}

int light(ChunkReader& r) {
    const Vector position = r.vector_yz();
    if (r.failed) return KF_OK;
    Light* light = kf_new_record<Light>(r.name);
    if (!light) return KF_NO_MEMORY;
    light->position = position;
    light->kind = LIGHT_OMNI;
    light->id = r.counter++;
    light->parent1 = -1;
    light->parent2 = -1;
    return add_record(r, WORLD_LIGHT, light);
}

int spot_light(ChunkReader& r) {
    const Vector target = r.vector_yz();
    const float hotspot = r.f32();
    const float falloff = r.f32();
    Light* light = current_light(r);
    if (!light) return KF_OK;
    light->target = target;
    light->hotspot = hotspot;
    light->falloff = falloff;
    light->kind = LIGHT_SPOT;
    light->roll = 0.0f;
    return KF_OK;
}

int light_range(ChunkReader& r) {
    const float range = r.f32();
    Light* light = current_light(r);
    if (!light) return KF_OK;
    (r.chunk_id == CHUNK_RANGE_A ? light->range_a : light->range_b) = range;
    return KF_OK;
}

int camera(ChunkReader& r) {
    const Vector position = r.vector_yz();
    const Vector target = r.vector_yz();
    const float bank_angle = r.f32();
    const float lens = r.f32();
    if (r.failed) return KF_OK;
    Camera* camera = kf_new_record<Camera>(r.name);
    if (!camera) return KF_NO_MEMORY;
    camera->position = position;
    camera->target = target;
    camera->roll = bank_angle;
    camera->fov = lens_to_fov(lens);
    camera->id = r.counter++;
    camera->parent1 = -1;
    camera->parent2 = -1;
    return add_record(r, WORLD_CAMERA, camera);
}

int material(ChunkReader& r) {
    // Named by its own name chunk; until then the name is empty, never null.
    Material* material = kf_new_record<Material>("");
    if (!material) return KF_NO_MEMORY;
    material->id = r.counter++;
    const int error = add_record(r, WORLD_MATERIAL, material);
    return error ? error : index_material(r, material);
}

int material_name(ChunkReader& r) {
    r.read_name();
    Material* material = current_material(r);
    if (!material || r.failed) return KF_OK;
    r.world_lookups->materials.remove(kf_hash_name(material->name), material);
    const int error = replace_name(&material->name, r.name);
    return error ? error : index_material(r, material);
}

int shading(ChunkReader& r) {
    const uint16_t code = r.u16();
    if (Material* material = current_material(r)) material->shading = code;
    return KF_OK;
}

int material_flag(ChunkReader& r) {
    Material* material = current_material(r);
    if (!material) return KF_OK;
    switch (r.chunk_id) {
        case CHUNK_TWOSIDED: material->flags |= MATERIAL_TWOSIDED; break;
        case CHUNK_SOFTEN: material->flags |= MATERIAL_SOFTEN; break;
        case CHUNK_WIREFRAME: material->flags |= MATERIAL_WIREFRAME; break;
        case CHUNK_TRANSPARENCY_ADD: material->flags |= MATERIAL_TRANSPARENCY_ADD; break;
    }
    return KF_OK;
}

// Colour chunks go where their container says; under any other container they are dropped.
Color* color_target(ChunkReader& r) {
    if (r.parent_id == CHUNK_LIGHT) {
        Light* light = current_light(r);
        return light ? &light->color : nullptr;
    }
    Material* material = current_material(r);
    if (!material) return nullptr;
    switch (r.parent_id) {
        case CHUNK_AMBIENT_COLOR: return &material->ambient;
        case CHUNK_DIFFUSE_COLOR: return &material->diffuse;
        case CHUNK_SPECULAR_COLOR: return &material->specular;
    }
    return nullptr;
}

int color_float(ChunkReader& r) {
    Color color;
    color.r = r.f32();
    color.g = r.f32();
    color.b = r.f32();
    if (Color* target = color_target(r)) *target = color;
    return KF_OK;
}

int color_byte(ChunkReader& r) {
    Color color;
    color.r = static_cast<float>(r.u8() * kByteToUnit);
    color.g = static_cast<float>(r.u8() * kByteToUnit);
    color.b = static_cast<float>(r.u8() * kByteToUnit);
    if (Color* target = color_target(r)) *target = color;
    return KF_OK;
}

int percentage(ChunkReader& r) {
    const float value = static_cast<float>(r.u16() * kPercentToUnit);
    Material* material = current_material(r);
    if (!material) return KF_OK;
    switch (r.parent_id) {
        case CHUNK_SHININESS: material->shininess = value; break;
        case CHUNK_SHININESS_STRENGTH: material->shininess_strength = value; break;
        case CHUNK_TRANSPARENCY: material->transparency = value; break;
        case CHUNK_TRANS_FALLOFF: material->trans_falloff = value; break;
        case CHUNK_REFLECTION_BLUR: material->reflection_blur = value; break;
        case CHUNK_SELF_ILLUMINATION: material->self_illumination = value; break;
    }
    return KF_OK;
}

TextureMap* map_target(ChunkReader& r) {
    Material* material = current_material(r);
    if (!material) return nullptr;
    switch (r.parent_id) {
        case CHUNK_TEXTURE_MAP: return &material->texture_map;
        case CHUNK_REFLECTION_MAP: return &material->reflection_map;
        case CHUNK_BUMP_MAP: return &material->bump_map;
    }
    return nullptr;
}

int map_filename(ChunkReader& r) {
    r.read_name();
    TextureMap* map = map_target(r);
    if (!map || r.failed) return KF_OK;
    return replace_name(&map->filename, r.name);
}

int map_flags(ChunkReader& r) {
    const uint16_t flags = r.u16();
    if (TextureMap* map = map_target(r)) map->flags = flags;
    return KF_OK;
}

int map_value(ChunkReader& r) {
    const float value = r.f32();
    TextureMap* map = map_target(r);
    if (!map) return KF_OK;
    switch (r.chunk_id) {
        case CHUNK_MAP_U_SCALE: map->u_scale = value; break;
        case CHUNK_MAP_V_SCALE: map->v_scale = value; break;
        case CHUNK_MAP_U_OFFSET: map->u_offset = value; break;
        case CHUNK_MAP_V_OFFSET: map->v_offset = value; break;
        case CHUNK_MAP_ANGLE: map->angle = value; break;
    }
    return KF_OK;
}

// Searched from the first row; ids not listed are skipped whole.
const ChunkRow kWorldRows[] = {
    {0x4D4D, true, nullptr},  // main chunk
    {0x3D3D, true, nullptr},  // mesh section
    {0x3DAA, true, nullptr},
    {0xC23D, true, nullptr},
    {0x1200, true, nullptr},  // background colour
    {0x2100, true, nullptr},  // ambient light
    {0x4000, true, named_object},
    {0x4100, true, triangle_mesh},
    {0x4110, false, vertex_list},
    {0x4111, false, nullptr},
    {0x4120, true, face_list},
    {0x4130, false, face_material},
    {0x4140, false, mapping_list},
    {0x4150, false, nullptr},
    {0x4160, false, local_frame},
    {0x4165, false, nullptr},
    {0x4170, false, nullptr},
    {0x4600, true, light},
    {0x4610, false, spot_light},
    {0x4659, false, light_range},
    {0x465A, false, light_range},
    {0x4700, false, camera},
    {0x4F00, true, nullptr},
    {0x7001, false, nullptr},
    {0xAFFF, true, material},
    {0xA000, false, material_name},
    {0xA010, true, nullptr},  // ambient colour
    {0xA020, true, nullptr},  // diffuse colour
    {0xA030, true, nullptr},  // specular colour
    {0xA040, true, nullptr},  // shininess percent
    {0xA041, true, nullptr},  // shininess strength percent
    {0xA050, true, nullptr},  // transparency percent
    {0xA052, true, nullptr},  // transparency falloff percent
    {0xA053, true, nullptr},  // reflection blur percent
    {0xA081, false, material_flag},
    {0xA083, false, material_flag},
    {0xA084, true, nullptr},  // self illumination percent
    {0xA085, false, material_flag},
    {0xA08C, false, material_flag},
    {0xA100, false, shading},
    {0xA200, true, nullptr},  // texture map
    {0xA220, true, nullptr},  // reflection map
    {0xA230, true, nullptr},  // bump map
    {0xA300, false, map_filename},
    {0xA351, false, map_flags},
    {0xA354, false, map_value},
    {0xA356, false, map_value},
    {0xA358, false, map_value},
    {0xA35A, false, map_value},
    {0xA35C, false, map_value},
    {0x0010, false, color_float},
    {0x0011, false, color_byte},
    {0x0030, false, percentage},
};
static_assert(sizeof kWorldRows / sizeof kWorldRows[0] == 53, "the mesh section has 53 known chunks");

const ChunkTable kWorldTable = {kWorldRows, static_cast<int>(sizeof kWorldRows / sizeof kWorldRows[0])};

}  // namespace

int kf_read_3ds_world(ChunkReader& reader) {
    reader.counter = 0;
    const int error = kf_check_version(reader.data, reader.size);
    if (error) return error;
    WorldLookups* lookups = new (std::nothrow) WorldLookups();
    if (!lookups) return KF_NO_MEMORY;
    reader.world_lookups = lookups;
    reader.pos = 0;
    const int result = kf_read_chunks(reader, reader.size, 0, kWorldTable);
    reader.world_lookups = nullptr;
    delete lookups;
    return result;
}

}  // namespace scene
