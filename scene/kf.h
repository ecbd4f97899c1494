// The scene library's public surface: start-up options, scene loading and freeing, the active scene
// and camera, frames and evaluation, lookups, error texts and text dumps.
//
// Every operation returns an error code (0 success) and hands results back through out-parameters.
// The library state is global and single-threaded; nothing here is re-entrant.
#pragma once

#include <cstdint>

#include "scene/records.h"

namespace scene {

// Error codes; kf_error_text gives their texts.
constexpr int KF_OK = 0;
constexpr int KF_NO_MEMORY = 1;
constexpr int KF_FILE_NOT_FOUND = 2;
constexpr int KF_CORRUPTED = 3;
constexpr int KF_VERSION = 4;
constexpr int KF_FORMAT = 5;
constexpr int KF_BAD_FRAME = 6;
constexpr int KF_BAD_NAME = 7;
constexpr int KF_NO_FRAMES = 8;
constexpr int KF_NO_SCENE = 9;
constexpr int KF_NULL = 10;
constexpr int KF_BAD_PARAMETER = 11;
constexpr int KF_SPLINE_KEYS = 12;
constexpr int KF_SINGULAR = 13;
constexpr int KF_BAD_ID = 14;
constexpr int KF_EXISTS = 15;
constexpr int KF_NO_RECORD = 256;  // a name in the file matches no world record

// Options of kf_startup.
constexpr uint32_t KF_HIERARCHY = 1;     // kf_evaluate applies parent transforms to children
constexpr uint32_t KF_NORMALS = 2;       // normals after a world read, turned by kf_evaluate
constexpr uint32_t KF_MORPH = 4;         // morphing objects are drawn from their two targets
constexpr uint32_t KF_TRANSFORM = 8;     // kf_evaluate transforms vertices, normals and boxes
constexpr uint32_t KF_SLERP = 16;        // rotation tracks by short-way slerp instead of squad
constexpr uint32_t KF_MORPH_NORMALS = 32;    // morphed normals interpolated from the targets
constexpr uint32_t KF_MORPH_RENORMAL = 64;   // morphed normals recomputed from the vertices

int kf_startup(uint32_t options);
int kf_shutdown();
const char* kf_error_text(int code);

int kf_scene_new(Scene** out);
// Frees both lists and the scene record itself (kf_scene_new's allocation); null is ignored.
int kf_scene_delete(Scene* scene);

// Reads the mesh section of a 3DS file into the scene (any extension). A world or keyframer the
// scene already holds is freed first. A failed read leaves the scene's lists empty.
int kf_world_read(const char* name, Scene* scene);
// The same from bytes in memory.
int kf_world_read_memory(const uint8_t* data, uint32_t size, Scene* scene);
// Reads the keyframer section of the same file into a scene that holds its world (else
// KF_NO_SCENE); a keyframer the scene already holds is replaced, and what the previous keyframer
// read changed in the world (dummies and ambient added, parent links, instance names, pivots) is
// undone first. Leaves the scene evaluated at frame 0. A failed read leaves the keyframer empty
// and the world as the world read left it.
int kf_motion_read(const char* name, Scene* scene);
// The same from bytes in memory.
int kf_motion_read_memory(const uint8_t* data, uint32_t size, Scene* scene);
int kf_world_free(Scene* scene);
int kf_motion_free(Scene* scene);
int kf_scene_free(Scene* scene);

int kf_use_scene(Scene* scene);
int kf_use_camera(Camera* camera);
int kf_current_camera(Camera** out);

int kf_frame_range(float* start, float* end);
int kf_goto_frame(float frame);
int kf_current_frame(float* out);
// Evaluates the tracks at the current frame. A camera, light or target without position keys starts
// from the place the file gave it each time, so evaluating one frame twice gives the same scene.
int kf_evaluate();

// Lookups in the active scene's world. They return 0 whether or not a record is found; the caller
// tests the out pointer.
int kf_find_name(const char* name, WorldNode** out);
int kf_find_id(int32_t id, WorldNode** out);
int kf_find_first(uint32_t type_mask, WorldNode** out);
int kf_find_next(uint32_t type_mask, WorldNode** node);

// Text dumps of the active scene to standard output.
int kf_dump_world();
int kf_dump_keyframer();

}  // namespace scene
