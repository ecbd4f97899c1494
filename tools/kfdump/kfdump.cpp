// kfdump: prints the world and keyframer trees of a 3DS file as the scene library reads them.
#include <cstdio>
#include <cstring>

#include "scene/kf.h"

namespace {

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: kfdump FILE.3ds\n"
                 "Reads a 3D Studio file with the scene library and prints its world tree\n"
                 "(cameras, lights, meshes, materials) as the keyframer leaves it at frame 0,\n"
                 "then its keyframer tree (frame range, animated nodes with their tracks and\n"
                 "keys) on standard output.\n"
                 "Exit status 0, or 1 with the library's error text on standard error.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc != 2) {
        usage(stderr);
        return 1;
    }
    const char* path = argv[1];
    scene::kf_startup(0);
    scene::Scene* loaded = nullptr;
    int error = scene::kf_scene_new(&loaded);
    if (!error) error = scene::kf_world_read(path, loaded);
    if (error) {
        std::fprintf(stderr, "kfdump: %s: %s\n", path, scene::kf_error_text(error));
        scene::kf_scene_delete(loaded);
        return 1;
    }
    scene::kf_use_scene(loaded);
    // The keyframer adds dummies and the ambient colour to the world and links, places and moves
    // its records, so the world is printed after both reads (as the world read left it when the
    // keyframer cannot be read).
    error = scene::kf_motion_read(path, loaded);
    scene::kf_dump_world();
    if (error)
        std::fprintf(stderr, "kfdump: %s: keyframer: %s\n", path, scene::kf_error_text(error));
    else
        scene::kf_dump_keyframer();
    scene::kf_scene_delete(loaded);
    scene::kf_shutdown();
    return error ? 1 : 0;
}
