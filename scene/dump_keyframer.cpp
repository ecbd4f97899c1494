// Text dump of the active scene's keyframer: frame range, then every node with its tracks and keys.
#include <cstdio>

#include "scene/kf.h"
#include "scene/library.h"
#include "scene/tracks.h"

namespace scene {
namespace {

enum class KeyFormat { SCALAR, VECTOR, COLOR, ROTATION, MORPH, HIDE };

struct TrackLine {
    const char* title;
    int slot;
    KeyFormat format;
};

const TrackLine kPosition = {"  position keys:", 0, KeyFormat::VECTOR};

// Headers and the tracks each node type prints, in print order.
struct NodeDump {
    uint32_t type;
    const char* header;
    TrackLine tracks[5];
    int track_count;
};
const NodeDump kNodeDumps[] = {
    {NODE_CAMERA,
     "<<camera source>> id: %d, name: %s\n",
     {kPosition,
      {"  roll keys:    ", 2, KeyFormat::SCALAR},
      {"  fov keys:     ", 1, KeyFormat::SCALAR}},
     3},
    {NODE_CAMERA_TARGET, "<<camera target>> id: %d, name: %s\n", {kPosition}, 1},
    {NODE_OMNI_LIGHT,
     "<<light source>> id: %d, name: %s\n",
     {kPosition, {"  color keys:   ", 1, KeyFormat::COLOR}},
     2},
    {NODE_SPOT_LIGHT,
     "<<spotlight source>> id: %d, name: %s\n",
     {kPosition,
      {"  color keys:   ", 1, KeyFormat::COLOR},
      {"  roll keys:    ", 2, KeyFormat::SCALAR}},
     3},
    {NODE_LIGHT_TARGET, "<<light target>> id: %d, name: %s\n", {kPosition}, 1},
    {NODE_OBJECT,
     "<<object track>> id: %d, name: %s\n",
     {kPosition,
      {"  rotation keys:", 2, KeyFormat::ROTATION},
      {"  scale keys:   ", 1, KeyFormat::VECTOR},
      {"  morph keys:   ", 3, KeyFormat::MORPH},
      {"  hide keys:    ", 4, KeyFormat::HIDE}},
     5},
    {NODE_AMBIENT,
     "<<ambient track>> id: %d, name: %s\n",
     {{"  color keys:   ", 0, KeyFormat::COLOR}},
     1},
};

const char* printable(const char* name) { return name != nullptr ? name : ""; }

const char* object_name(int32_t id) {
    WorldNode* node = nullptr;
    kf_find_id(id, &node);
    return node != nullptr ? printable(kf_record_head(node->record)->name) : "(none)";
}

void dump_key(const Key* key, KeyFormat format) {
    std::printf("    frame: %9.3f  || ", key->frame);
    const float* v = key->value;
    switch (format) {
        case KeyFormat::SCALAR: std::printf("value: %9.3f\n", v[0]); break;
        case KeyFormat::VECTOR:
            std::printf("x: %9.3f, y: %9.3f, z: %9.3f\n", v[0], v[1], v[2]);
            break;
        case KeyFormat::COLOR:
            std::printf("r: %9.3f, g: %9.3f, b: %9.3f\n", v[0], v[1], v[2]);
            break;
        case KeyFormat::ROTATION:
            std::printf("x: %9.3f, y: %9.3f, z: %9.3f, w: %9.3f\n", v[1], v[2], v[3], v[0]);
            break;
        case KeyFormat::MORPH:
            std::printf("morph to: %s\n", object_name(kf_key_target(key)));
            break;
        case KeyFormat::HIDE: std::printf("hidden: %s\n", v[0] != 0.0f ? "yes" : "no"); break;
    }
}

void dump_track(const Track* track, const TrackLine& line) {
    if (track == nullptr) return;
    static const char* const kModes[] = {"none", "repeat", "loop"};
    std::printf("%s %3d, frames:%8.3f, flags: %s\n", line.title, track->key_count, track->frames,
                track->mode <= TRACK_LOOP ? kModes[track->mode] : "none");
    for (const Key* key = track->keys; key != nullptr; key = key->next) dump_key(key, line.format);
}

}  // namespace

int kf_dump_keyframer() {
    if (active_scene == nullptr) {
        std::printf("error: scene not loaded.\n");
        return KF_NO_SCENE;
    }
    if (active_scene->keyframer == nullptr) {
        std::printf("error: null keyframer tree.\n");
        return KF_NULL;
    }
    std::printf("<<start of keyframer tree>>\n\n");
    std::printf("  start frame: %f\n", active_scene->frame_start);
    std::printf("  end frame:   %f\n\n", active_scene->frame_end);
    for (const KeyframerNode* node = active_scene->keyframer; node != nullptr; node = node->next) {
        for (const NodeDump& dump : kNodeDumps) {
            if (dump.type != node->type) continue;
            std::printf(dump.header, node->id, printable(kf_record_head(node->record)->name));
            for (int i = 0; i < dump.track_count; ++i)
                dump_track(node->tracks->track[dump.tracks[i].slot], dump.tracks[i]);
        }
        std::printf("\n");
    }
    std::printf("<<end of keyframer tree>>\n");
    return KF_OK;
}

}  // namespace scene
