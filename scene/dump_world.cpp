// Text dump of the active scene's world list on standard output.
#include <cstdio>

#include "scene/kf.h"
#include "scene/library.h"

namespace scene {
namespace {

void print_position(const char* title, const Vector& v) {
    std::printf("  %-13sx: %9.3f, y: %9.3f, z: %9.3f\n", title, v.x, v.y, v.z);
}

// Titles are padded to 13 columns, material colours to 20.
void print_color(const char* title, const Color& c, int width = 13) {
    std::printf("  %-*sr: %9.3f, g: %9.3f, b: %9.3f\n", width, title, c.r, c.g, c.b);
}

void dump_camera(const Camera& camera) {
    std::printf("<<camera>> name: %s, id: %d\n", camera.name, camera.id);
    std::printf("  parents:     %d, %d\n", camera.parent1, camera.parent2);
    print_position("position:", camera.position);
    print_position("target:", camera.target);
    std::printf("  fov:            %9.3f\n", camera.fov);
    std::printf("  roll:           %9.3f\n\n", camera.roll);
}

void dump_light(const Light& light) {
    if (light.kind != LIGHT_SPOT) {
        std::printf("<<omni light>> name: %s, id: %d\n", light.name, light.id);
        std::printf("  parent:      %d\n", light.parent1);
        print_position("position:", light.position);
        print_color("color:", light.color);
        std::printf("\n");
        return;
    }
    std::printf("<<spot light>> name: %s, id: %d\n", light.name, light.id);
    std::printf("  parents:     %d, %d\n", light.parent1, light.parent2);
    print_position("position:", light.position);
    print_position("target:", light.target);
    print_color("color:", light.color);
    std::printf("  roll:           %9.3f\n", light.roll);
    std::printf("  hotspot:        %9.3f\n", light.hotspot);
    std::printf("  falloff:        %9.3f\n\n", light.falloff);
}

void dump_object(const Object& object) {
    std::printf("<<object>> name: %s, id: %d\n", object.name, object.id);
    std::printf("  parent:      %d\n", object.parent);
    std::printf("  vertices:    %d, faces: %d\n", object.vertex_count, object.face_count);
    print_position("pivot:", object.pivot);
    print_position("translate:", object.translate);
    print_position("scale:", object.scale);
    const Quaternion& q = object.rotate;
    std::printf("  rotate:      x: %9.3f, y: %9.3f, z: %9.3f, w: %9.3f\n", q.x, q.y, q.z, q.w);
    std::printf("  flags:       ");
    if (object.flags & OBJECT_HIDDEN) std::printf("hidden ");
    if (object.flags & OBJECT_DISPLAY_HIDDEN) std::printf("display-hidden ");
    if (object.flags & OBJECT_DUMMY) std::printf("dummy ");
    if (object.flags & OBJECT_MORPH) std::printf("morph ");
    if (!(object.flags & (OBJECT_HIDDEN | OBJECT_DISPLAY_HIDDEN | OBJECT_DUMMY | OBJECT_MORPH)))
        std::printf("none");
    const Matrix& m = object.matrix;
    std::printf("\n  matrix:\n");
    std::printf("    xx: %9.3f xy: %9.3f xz: %9.3f xw: %9.3f\n", m.xx, m.xy, m.xz, m.xw);
    std::printf("    yx: %9.3f yy: %9.3f yz: %9.3f yw: %9.3f\n", m.yx, m.yy, m.yz, m.yw);
    std::printf("    zx: %9.3f zy: %9.3f zz: %9.3f zw: %9.3f\n", m.zx, m.zy, m.zz, m.zw);
    std::printf("\n  vertex list:\n");
    for (int32_t i = 0; i < object.vertex_count; ++i) {
        const Vertex& v = object.vertices[i];
        std::printf("    x: %9.3f, y: %9.3f, z: %9.3f, u: %4.3f, v: %4.3f\n", v.vert.x, v.vert.y, v.vert.z,
                    v.u, v.v);
    }
    std::printf("  face list:\n");
    for (int32_t i = 0; i < object.face_count; ++i) {
        const Face& f = object.faces[i];
        std::printf("    a: %3d b: %3d c: %3d, flags %3u, material: %3d\n", f.a, f.b, f.c, f.flags,
                    f.material);
    }
    std::printf("\n");
}

void dump_map(const char* title, const TextureMap& map) {
    std::printf("  %s", title);
    std::printf("    filename:  %s\n", map.filename ? map.filename : "(null)");
    std::printf("    flags:     ");
    if (map.flags & MAP_MIRROR) std::printf("mirror ");
    if (map.flags & MAP_NEGATIVE) std::printf("negative ");
    std::printf("\n    1/u scale: %9.3f\n", map.u_scale);
    std::printf("    1/v scale: %9.3f\n", map.v_scale);
    std::printf("    u offset:  %9.3f\n", map.u_offset);
    std::printf("    v offset:  %9.3f\n", map.v_offset);
    std::printf("    angle:     %9.3f\n", map.angle);
}

void dump_material(const Material& material) {
    static const char* const kShadings[] = {"", "flat", "gouraud", "phong", "metal"};
    std::printf("<<material>> name: %s, id: %d\n", material.name, material.id);
    std::printf("  shading:     %s", material.shading <= SHADING_METAL ? kShadings[material.shading] : "");
    std::printf("\n  flags:       ");
    if (material.flags & MATERIAL_TWOSIDED) std::printf("twosided ");
    if (material.flags & MATERIAL_SOFTEN) std::printf("soften ");
    if (material.flags & MATERIAL_WIREFRAME) std::printf("wireframe ");
    if (material.flags & MATERIAL_TRANSPARENCY_ADD) std::printf("transparency add ");
    if (!(material.flags &
          (MATERIAL_TWOSIDED | MATERIAL_SOFTEN | MATERIAL_WIREFRAME | MATERIAL_TRANSPARENCY_ADD)))
        std::printf("none ");
    std::printf("\n");
    print_color("ambient:", material.ambient, 20);
    print_color("diffuse:", material.diffuse, 20);
    print_color("specular:", material.specular, 20);
    std::printf("  shininess:             %9.3f\n", material.shininess);
    std::printf("  shininess strength:    %9.3f\n", material.shininess_strength);
    std::printf("  transparency:          %9.3f\n", material.transparency);
    std::printf("  trans. falloff:        %9.3f\n", material.trans_falloff);
    std::printf("  reflection blur:       %9.3f\n", material.reflection_blur);
    std::printf("  self illumination:     %9.3f\n", material.self_illumination);
    dump_map("texture map:\n", material.texture_map);
    dump_map("bump map:\n", material.bump_map);
    dump_map("reflection map:\n", material.reflection_map);
    std::printf("\n");
}

void dump_ambient(const Ambient& ambient) {
    std::printf("<<ambient>> name: %s, id: %d\n", ambient.name, ambient.id);
    print_color("color:", ambient.color);
    std::printf("\n");
}

}  // namespace

int kf_dump_world() {
    if (!active_scene) {
        std::printf("error: scene not loaded.\n");
        return KF_NO_SCENE;
    }
    if (!active_scene->world) {
        std::printf("error: null world tree.\n");
        return KF_NULL;
    }
    std::printf("<<start of world tree>>\n\n");
    for (const WorldNode* node = active_scene->world; node; node = node->next) {
        switch (node->type) {
            case WORLD_CAMERA: dump_camera(*static_cast<const Camera*>(node->record)); break;
            case WORLD_LIGHT: dump_light(*static_cast<const Light*>(node->record)); break;
            case WORLD_OBJECT: dump_object(*static_cast<const Object*>(node->record)); break;
            case WORLD_MATERIAL: dump_material(*static_cast<const Material*>(node->record)); break;
            case WORLD_AMBIENT: dump_ambient(*static_cast<const Ambient*>(node->record)); break;
        }
    }
    std::printf("<<end of world tree>>\n");
    return KF_OK;
}

}  // namespace scene
