// 3DS reader, keyframer section: the frame range, one node per animated thing bound to its world
// record by name, the node hierarchy, and every track with its keys.
//
// The world must be loaded first: nodes find their records by name, and dummy objects and the
// ambient colour are added to the world as they appear.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "scene/chunks.h"
#include "scene/hash_index.h"
#include "scene/kf.h"
#include "scene/library.h"
#include "scene/tracks.h"

namespace scene {

// Built once per read so that each node header, track and morph key costs the same whatever the
// size of the world and of the keyframer.
struct MotionLookups {
    // The first record of each name by type (index: bit number of the WORLD_* type), and of any
    // type. Records are added in world order, and moved to the name an instance name gives them
    // (a later record of the old name is then not found by it).
    HashIndex records[5];
    HashIndex any;
    HashIndex last_node;  // the last node with each id
};

namespace {

enum : uint16_t {
    CHUNK_KEYFRAMER = 0xB000,
    CHUNK_AMBIENT_NODE = 0xB001,
    CHUNK_OBJECT_NODE = 0xB002,
    CHUNK_CAMERA_NODE = 0xB003,
    CHUNK_CAMERA_TARGET_NODE = 0xB004,
    CHUNK_OMNI_NODE = 0xB005,
    CHUNK_LIGHT_TARGET_NODE = 0xB006,
    CHUNK_SPOT_NODE = 0xB007,
    CHUNK_FRAME_RANGE = 0xB008,
    CHUNK_NODE_HEADER = 0xB010,
    CHUNK_INSTANCE_NAME = 0xB011,
    CHUNK_PIVOT = 0xB013,
    CHUNK_POSITION_TRACK = 0xB020,
    CHUNK_ROTATION_TRACK = 0xB021,
    CHUNK_SCALE_TRACK = 0xB022,
    CHUNK_FOV_TRACK = 0xB023,
    CHUNK_ROLL_TRACK = 0xB024,
    CHUNK_COLOR_TRACK = 0xB025,
    CHUNK_MORPH_TRACK = 0xB026,
    CHUNK_HIDE_TRACK = 0xB029,
    CHUNK_NODE_ID = 0xB030,
};

// What a track chunk holds; the number is the track kind the binder knows.
enum TrackKind {
    KIND_POSITION = 1,
    KIND_ROTATION,
    KIND_SCALE,
    KIND_FOV,
    KIND_ROLL,
    KIND_COLOR,
    KIND_MORPH,
    KIND_HIDE
};

// The track slot of each kind in each node type, -1 where the node type has none.
struct SlotRow {
    uint32_t node_type;
    int8_t slot[KIND_HIDE + 1];  // by kind; index 0 unused
};
constexpr SlotRow kSlots[] = {
    // kind:                  pos rot scl fov rol col mor hid
    {NODE_CAMERA,        {-1,  0, -1, -1,  1,  2, -1, -1, -1}},
    {NODE_CAMERA_TARGET, {-1,  0, -1, -1, -1, -1, -1, -1, -1}},
    {NODE_OMNI_LIGHT,    {-1,  0, -1, -1, -1, -1,  1, -1, -1}},
    {NODE_SPOT_LIGHT,    {-1,  0, -1, -1, -1,  2,  1, -1, -1}},
    {NODE_LIGHT_TARGET,  {-1,  0, -1, -1, -1, -1, -1, -1, -1}},
    {NODE_OBJECT,        {-1,  0,  2,  1, -1, -1, -1,  3,  4}},
    {NODE_AMBIENT,       {-1, -1, -1, -1, -1, -1,  0, -1, -1}},
};

// Track chunks: the kind each holds and the bytes of one key's data after its key header.
struct TrackFormat {
    uint16_t chunk;
    TrackKind kind;
    uint32_t data_bytes;  // a morph key holds at least the terminator of its name
};
constexpr TrackFormat kTrackFormats[] = {
    {CHUNK_POSITION_TRACK, KIND_POSITION, 12}, {CHUNK_ROTATION_TRACK, KIND_ROTATION, 16},
    {CHUNK_SCALE_TRACK, KIND_SCALE, 12},       {CHUNK_FOV_TRACK, KIND_FOV, 4},
    {CHUNK_ROLL_TRACK, KIND_ROLL, 4},          {CHUNK_COLOR_TRACK, KIND_COLOR, 12},
    {CHUNK_MORPH_TRACK, KIND_MORPH, 1},        {CHUNK_HIDE_TRACK, KIND_HIDE, 0},
};

// Track header: u16 flags (bits 0 and 1: repeat / loop), 8 unused bytes, u32 key count (low 16
// bits used). A spline key header is u32 frame (low 16 bits used) and u16 flags, followed by one
// float per set flag bit: tension, continuity, bias, ease to, ease from, then any others dropped.
// A hide key is a u16 frame and four unused bytes.
constexpr uint32_t kTrackHeaderUnused = 8;
constexpr uint32_t kKeyHeaderBytes = 6;
constexpr uint32_t kHideKeyBytes = 6;
constexpr uint16_t kTrackRepeat = 2;
constexpr uint16_t kTrackLoopBits = 3;

// Node header flags1 bit that hides an object in the viewports.
constexpr uint16_t kNodeDisplayHidden = 0x0800;

// The node kinds by the container their header stands in.
struct NodeKind {
    uint16_t container;
    uint32_t node_type;
    uint32_t world_type;  // the record type the node animates
};
constexpr NodeKind kNodeKinds[] = {
    {CHUNK_OBJECT_NODE, NODE_OBJECT, WORLD_OBJECT},
    {CHUNK_CAMERA_NODE, NODE_CAMERA, WORLD_CAMERA},
    {CHUNK_CAMERA_TARGET_NODE, NODE_CAMERA_TARGET, WORLD_CAMERA},
    {CHUNK_OMNI_NODE, NODE_OMNI_LIGHT, WORLD_LIGHT},
    {CHUNK_SPOT_NODE, NODE_SPOT_LIGHT, WORLD_LIGHT},
    {CHUNK_LIGHT_TARGET_NODE, NODE_LIGHT_TARGET, WORLD_LIGHT},
    {CHUNK_AMBIENT_NODE, NODE_AMBIENT, WORLD_AMBIENT},
};

const char kAmbientName[] = "$AMBIENT$";
const char kDummyName[] = "$$$DUMMY";
// A camera target node of this name belongs to the camera "Cam".
const char kCameraTargetName[] = "Cam.target";
const char kCameraTargetCamera[] = "Cam";

int slot_of(uint32_t node_type, int kind) {
    for (const SlotRow& row : kSlots)
        if (row.node_type == node_type) return row.slot[kind];
    return -1;
}

Object* current_object(ChunkReader& r) {
    return r.current_type == WORLD_OBJECT ? static_cast<Object*>(r.current) : nullptr;
}

int type_index(uint32_t world_type) {
    for (int i = 0; i < 5; ++i)
        if (world_type == 1u << i) return i;
    return -1;
}

bool has_name(const void* record, const char* name) {
    const char* own = kf_record_head(record)->name;
    return own != nullptr && std::strcmp(own, name) == 0;
}

void* find_named(const HashIndex& index, const char* name) {
    return index.find(kf_hash_name(name),
                      [name](const void* record) { return has_name(record, name); });
}

// Adds a record under its current name, to its type's index and to the index of all types, where
// no record of that name is yet.
int index_record(MotionLookups* lookups, uint32_t world_type, void* record) {
    const char* name = kf_record_head(record)->name;
    const int index = type_index(world_type);
    if (index < 0 || name == nullptr) return KF_OK;
    const uint32_t hash = kf_hash_name(name);
    HashIndex* tables[] = {&lookups->records[index], &lookups->any};
    for (HashIndex* table : tables)
        if (!find_named(*table, name) && !table->add(hash, record)) return KF_NO_MEMORY;
    return KF_OK;
}

int build_lookups(const Scene* scene, MotionLookups* lookups) {
    for (const WorldNode* node = scene->world; node != nullptr; node = node->next) {
        if (node->record == nullptr) continue;
        if (const int error = index_record(lookups, node->type, node->record)) return error;
    }
    return KF_OK;
}

// First world record of the given type and name. Restricting the type keeps a node from binding to,
// say, a material that shares its object's name and then being written through the wrong record.
void* find_record(ChunkReader& r, uint32_t world_type, const char* name) {
    const int index = type_index(world_type);
    return index >= 0 ? find_named(r.motion_lookups->records[index], name) : nullptr;
}

KeyframerNode* last_node(ChunkReader& r, int32_t id) {
    return static_cast<KeyframerNode*>(r.motion_lookups->last_node.find(
        kf_hash_number(static_cast<uint32_t>(id)),
        [id](const void* node) { return static_cast<const KeyframerNode*>(node)->id == id; }));
}

// Appends a record the keyframer creates to the world, which then owns it; on failure (including
// a name that could not be copied) the record is freed.
int add_world_record(ChunkReader& r, uint32_t type, void* record) {
    const bool named = kf_record_head(record)->name != nullptr;
    const int error = named ? kf_append_world(r.scene, type, record) : KF_NO_MEMORY;
    if (error) {
        kf_free_record(type, record);
        return error;
    }
    return index_record(r.motion_lookups, type, record);
}

int new_ambient(ChunkReader& r, void** record) {
    Ambient* ambient = static_cast<Ambient*>(std::calloc(1, sizeof(Ambient)));
    if (ambient == nullptr) return KF_NO_MEMORY;
    ambient->name = kf_copy_name(kAmbientName);
    ambient->id = r.counter + KEYFRAMER_ID_BASE;
    *record = ambient;
    return add_world_record(r, WORLD_AMBIENT, ambient);
}

// A dummy has no mesh; it carries a transform for its children. It is named "$$$DUMMY" until the
// instance name chunk that follows names it.
int new_dummy(ChunkReader& r, void** record) {
    Object* dummy = static_cast<Object*>(std::calloc(1, sizeof(Object)));
    if (dummy == nullptr) return KF_NO_MEMORY;
    dummy->name = kf_copy_name(kDummyName);
    dummy->id = r.counter + KEYFRAMER_ID_BASE;
    dummy->parent = -1;
    dummy->flags = OBJECT_DUMMY;
    qt_identity(&dummy->rotate);
    *record = dummy;
    return add_world_record(r, WORLD_OBJECT, dummy);
}

// The record a node header names: the ambient and dummies are created, everything else found.
int node_record(ChunkReader& r, const NodeKind& kind, void** record) {
    if (kind.node_type == NODE_AMBIENT && std::strcmp(r.name, kAmbientName) == 0)
        return new_ambient(r, record);
    if (kind.node_type == NODE_OBJECT && std::strcmp(r.name, kDummyName) == 0)
        return new_dummy(r, record);
    const char* name = std::strcmp(r.name, kCameraTargetName) == 0 ? kCameraTargetCamera : r.name;
    *record = find_record(r, kind.world_type, name);
    if (*record == nullptr) return KF_NO_RECORD;
    return kf_save_record(r.scene, kind.world_type, *record);
}

void write_parent_link(const NodeKind& kind, void* record, int32_t parent, uint16_t flags1) {
    switch (kind.node_type) {
        case NODE_CAMERA: static_cast<Camera*>(record)->parent1 = parent; break;
        case NODE_CAMERA_TARGET: static_cast<Camera*>(record)->parent2 = parent; break;
        case NODE_OMNI_LIGHT:
        case NODE_SPOT_LIGHT: static_cast<Light*>(record)->parent1 = parent; break;
        case NODE_LIGHT_TARGET: static_cast<Light*>(record)->parent2 = parent; break;
        case NODE_OBJECT: {
            Object* object = static_cast<Object*>(record);
            object->parent = parent;
            if (flags1 & kNodeDisplayHidden) object->flags |= OBJECT_DISPLAY_HIDDEN;
            break;
        }
    }
}

// The place a camera, light or target node starts every evaluation from.
Vector local_position(uint32_t node_type, const void* record) {
    switch (node_type) {
        case NODE_CAMERA: return static_cast<const Camera*>(record)->position;
        case NODE_CAMERA_TARGET: return static_cast<const Camera*>(record)->target;
        case NODE_OMNI_LIGHT:
        case NODE_SPOT_LIGHT: return static_cast<const Light*>(record)->position;
        case NODE_LIGHT_TARGET: return static_cast<const Light*>(record)->target;
    }
    return Vector{0.0f, 0.0f, 0.0f};
}

// Appends a node and links it under `parent`, the last earlier node whose id is its parent index,
// so children stand in reverse file order. A node never becomes its own parent: the parent is
// looked up before the node is numbered, and as nodes only ever hang under earlier ones the
// hierarchy has no loops. Each node stands in one parent's child list only, even when several
// earlier nodes share the id.
int kf_add_node(ChunkReader& r, uint32_t type, KeyframerNode* parent, TrackSet* tracks,
                void* record) {
    Scene* scene = r.scene;
    KeyframerNode* node = static_cast<KeyframerNode*>(std::calloc(1, sizeof(KeyframerNode)));
    if (node == nullptr) return KF_NO_MEMORY;
    node->type = type;
    node->id = r.counter;
    node->tracks = tracks;
    node->record = record;
    node->local = local_position(type, record);
    if (parent != nullptr) {
        node->parent = parent;
        node->sibling = parent->child;
        parent->child = node;
    }
    if (scene->keyframer_tail != nullptr)
        scene->keyframer_tail->next = node;
    else
        scene->keyframer = node;
    scene->keyframer_tail = node;
    const int32_t id = node->id;
    const auto same_id = [id](const void* other) {
        return static_cast<const KeyframerNode*>(other)->id == id;
    };
    const uint32_t hash = kf_hash_number(static_cast<uint32_t>(id));
    if (void** slot = r.motion_lookups->last_node.find_slot(hash, same_id)) {
        *slot = node;
        return KF_OK;
    }
    return r.motion_lookups->last_node.add(hash, node) ? KF_OK : KF_NO_MEMORY;
}

int frame_range(ChunkReader& r) {
    const uint32_t start = r.u32();
    const uint32_t end = r.u32();
    r.scene->frame_start = static_cast<float>(start);
    r.scene->frame_end = static_cast<float>(end);
    return KF_OK;
}

int node_id(ChunkReader& r) {
    r.counter = r.u16();
    return KF_OK;
}

int node_header(ChunkReader& r) {
    // Nodes without an id chunk are numbered on from the previous node.
    if (r.last_completed != CHUNK_NODE_ID) ++r.counter;
    r.read_name();
    if (r.failed) return KF_CORRUPTED;
    const NodeKind* kind = nullptr;
    for (const NodeKind& k : kNodeKinds)
        if (k.container == r.parent_id) kind = &k;
    // Pivot and instance name chunks of other nodes must not reach the previous object.
    r.current_type = 0;
    r.current = nullptr;
    if (kind == nullptr) return KF_OK;  // a header outside any node has nothing to animate

    void* record;
    if (const int error = node_record(r, *kind, &record)) return error;
    const uint16_t flags1 = r.u16();
    r.u16();  // flags2
    const int32_t parent_index = static_cast<int16_t>(r.u16());
    if (r.failed) return KF_CORRUPTED;

    KeyframerNode* parent = parent_index != -1 ? last_node(r, parent_index) : nullptr;
    write_parent_link(*kind, record, parent ? kf_record_head(parent->record)->id : -1, flags1);

    TrackSet* tracks = static_cast<TrackSet*>(std::calloc(1, sizeof(TrackSet)));
    if (tracks == nullptr) return KF_NO_MEMORY;
    if (const int error = kf_add_node(r, kind->node_type, parent, tracks, record)) {
        // Once the node is in the list, the list owns the tracks.
        if (r.scene->keyframer_tail == nullptr || r.scene->keyframer_tail->tracks != tracks)
            std::free(tracks);
        return error;
    }
    if (kind->node_type == NODE_OBJECT) {
        r.current_type = WORLD_OBJECT;
        r.current = record;
    }
    return KF_OK;
}

int instance_name(ChunkReader& r) {
    r.read_name();
    Object* object = current_object(r);
    if (object == nullptr) return KF_OK;
    const uint32_t old_hash = kf_hash_name(object->name);
    r.motion_lookups->records[type_index(WORLD_OBJECT)].remove(old_hash, object);
    r.motion_lookups->any.remove(old_hash, object);
    const int error = kf_rename_object(r.scene, object, r.name);
    return error ? error : index_record(r.motion_lookups, WORLD_OBJECT, object);
}

// The last pivot given wins; it comes off the vertices once, at the end of the read.
int pivot(ChunkReader& r) {
    const Vector p = r.vector_yz();
    Object* object = current_object(r);
    if (object == nullptr || r.failed) return KF_OK;
    object->pivot = p;
    return KF_OK;
}

void free_track(Track* track) {
    if (track == nullptr) return;
    for (Key* key = track->keys; key != nullptr;) {
        Key* next = key->next;
        std::free(key);
        key = next;
    }
    std::free(track);
}

int kf_add_key(Track* track, Key* key, float frame) {
    if (track == nullptr || key == nullptr) return KF_NULL;
    key->next = nullptr;
    key->frame = frame;
    key->prev = track->current;
    if (track->current != nullptr)
        track->current->next = key;
    else
        track->keys = key;
    track->frames = frame;
    track->current = key;
    ++track->key_count;
    return KF_OK;
}

// Puts the track into its slot of the last node with that id: the node whose header it follows,
// also when an id chunk has given an earlier node the same id. A track no node can take is freed,
// and so is one it replaces.
void kf_bind_track(ChunkReader& r, int kind, int32_t id, Track* track) {
    KeyframerNode* owner = last_node(r, id);
    const int slot = owner != nullptr ? slot_of(owner->type, kind) : -1;
    if (slot < 0) {
        free_track(track);
        return;
    }
    free_track(owner->tracks->track[slot]);
    owner->tracks->track[slot] = track;
}

// The running rotation of a rotation track: keys hold steps relative to the previous key.
struct RotationSum {
    float angle;      // whole-number sum of the key angles
    Quaternion quat;  // product of the key rotations
};

void read_key_header(ChunkReader& r, Key* key, float* frame) {
    *frame = static_cast<float>(r.u32() & 0xFFFF);
    const uint16_t flags = r.u16();
    float* const tcb[] = {&key->tension, &key->continuity, &key->bias, &key->ease_to,
                          &key->ease_from};
    for (int bit = 0; bit < 16; ++bit) {
        if (!(flags & 1u << bit)) continue;
        const float v = r.f32();
        if (bit < 5) *tcb[bit] = v;
    }
}

void read_rotation(ChunkReader& r, Key* key, bool first, RotationSum* sum) {
    const float angle = r.f32();
    const float x = r.f32(), y = r.f32(), z = r.f32();
    Quaternion q;
    qt_from_angle_axis(angle, x, y, z, &q);
    const float q_y = q.y;
    q.y = q.z;
    q.z = q_y;
    // The angle sum is kept as a whole number; the spline preparation and the spin count read it.
    sum->angle = std::trunc(first ? angle : sum->angle + angle);
    key->value[0] = sum->angle;
    key->value[1] = x;
    key->value[2] = z;
    key->value[3] = y;
    qt_mul(&q, &sum->quat, &sum->quat);
    key->quat = sum->quat;
}

int read_key_data(ChunkReader& r, TrackKind kind, Key* key, int index, RotationSum* sum) {
    switch (kind) {
        case KIND_POSITION:
        case KIND_SCALE: {
            const Vector v = r.vector_yz();
            key->value[0] = v.x;
            key->value[1] = v.y;
            key->value[2] = v.z;
            break;
        }
        case KIND_COLOR:
            for (int i = 0; i < 3; ++i) key->value[i] = r.f32();
            break;
        case KIND_FOV:
        case KIND_ROLL: key->value[0] = r.f32(); break;
        case KIND_ROTATION: read_rotation(r, key, index == 0, sum); break;
        case KIND_MORPH: {
            r.read_name();
            if (r.failed) return KF_CORRUPTED;
            const void* target = find_named(r.motion_lookups->any, r.name);
            if (target == nullptr) return KF_NO_RECORD;
            kf_set_key_target(key, kf_record_head(target)->id);
            break;
        }
        case KIND_HIDE: key->value[0] = index % 2 == 0 ? 1.0f : 0.0f; break;
    }
    return r.failed ? KF_CORRUPTED : KF_OK;
}

int read_keys(ChunkReader& r, const TrackFormat& format, uint32_t count, Track* track) {
    RotationSum sum = {0.0f, {1.0f, 0.0f, 0.0f, 0.0f}};
    for (uint32_t i = 0; i < count; ++i) {
        Key* key = static_cast<Key*>(std::calloc(1, sizeof(Key)));
        if (key == nullptr) return KF_NO_MEMORY;
        float frame;
        if (format.kind == KIND_HIDE) {
            frame = static_cast<float>(r.u16());
            r.u32();
        } else {
            read_key_header(r, key, &frame);
        }
        kf_add_key(track, key, frame);
        if (const int error = read_key_data(r, format.kind, key, static_cast<int>(i), &sum))
            return error;
    }
    return KF_OK;
}

int track_chunk(ChunkReader& r) {
    const TrackFormat* format = nullptr;
    for (const TrackFormat& f : kTrackFormats)
        if (f.chunk == r.chunk_id) format = &f;
    const uint16_t flags = r.u16();
    for (uint32_t i = 0; i < kTrackHeaderUnused; ++i) r.u8();
    const uint32_t count = r.u32() & 0xFFFF;
    const uint32_t key_bytes =
        format->kind == KIND_HIDE ? kHideKeyBytes : kKeyHeaderBytes + format->data_bytes;
    // Checked before any key is allocated: a count the chunk cannot hold is a corrupt file.
    if (r.failed || count * key_bytes > r.remaining()) return KF_CORRUPTED;

    Track* track = static_cast<Track*>(std::calloc(1, sizeof(Track)));
    if (track == nullptr) return KF_NO_MEMORY;
    if ((flags & kTrackLoopBits) == kTrackLoopBits)
        track->mode = TRACK_LOOP;
    else if (flags & kTrackRepeat)
        track->mode = TRACK_REPEAT;
    if (const int error = read_keys(r, *format, count, track)) {
        free_track(track);
        return error;
    }
    // One-key tracks report that they have no spline and simply keep their key.
    if (format->kind == KIND_ROTATION)
        kf_spline_init_rot(track);
    else if (format->kind != KIND_MORPH && format->kind != KIND_HIDE)
        kf_spline_init(track);
    kf_bind_track(r, format->kind, r.counter, track);
    return KF_OK;
}

const ChunkRow kKeyframerRows[] = {
    {CHUNK_MAIN, true, nullptr},
    {CHUNK_KEYFRAMER, true, nullptr},
    {CHUNK_AMBIENT_NODE, true, nullptr},
    {CHUNK_OBJECT_NODE, true, nullptr},
    {CHUNK_FRAME_RANGE, false, frame_range},
    {CHUNK_NODE_HEADER, false, node_header},
    {CHUNK_INSTANCE_NAME, false, instance_name},
    {CHUNK_PIVOT, false, pivot},
    {CHUNK_POSITION_TRACK, false, track_chunk},
    {CHUNK_COLOR_TRACK, false, track_chunk},
    {CHUNK_ROTATION_TRACK, false, track_chunk},
    {CHUNK_SCALE_TRACK, false, track_chunk},
    {CHUNK_MORPH_TRACK, false, track_chunk},
    {CHUNK_HIDE_TRACK, false, track_chunk},
    {CHUNK_NODE_ID, false, node_id},
    {CHUNK_CAMERA_NODE, true, nullptr},
    {CHUNK_CAMERA_TARGET_NODE, true, nullptr},
    {CHUNK_OMNI_NODE, true, nullptr},
    {CHUNK_LIGHT_TARGET_NODE, true, nullptr},
    {CHUNK_SPOT_NODE, true, nullptr},
    {CHUNK_FOV_TRACK, false, track_chunk},
    {CHUNK_ROLL_TRACK, false, track_chunk},
};
static_assert(sizeof kKeyframerRows / sizeof kKeyframerRows[0] == 22,
              "the keyframer section has 22 known chunks");

const ChunkTable kKeyframerTable = {
    kKeyframerRows, static_cast<int>(sizeof kKeyframerRows / sizeof kKeyframerRows[0])};

int read_motion(const uint8_t* data, uint32_t size, Scene* scene) {
    if (scene == nullptr || (data == nullptr && size > 0)) return KF_NULL;
    if (scene->world == nullptr) return KF_NO_SCENE;
    Scene* remembered = active_scene;
    // A read replaces the keyframer and its changes to the world instead of adding to them.
    kf_motion_free(scene);
    kf_undo_world_changes(scene);
    active_scene = scene;
    ChunkReader reader;
    kf_reader_begin(reader, data, size, scene);
    const int error = kf_read_3ds_motion(reader);
    if (error) {
        if (remembered) active_scene = remembered;
        kf_motion_free(scene);
        kf_undo_world_changes(scene);
        return error;
    }
    kf_goto_frame(0.0f);
    kf_evaluate();
    if (remembered) active_scene = remembered;
    return KF_OK;
}

}  // namespace

int kf_read_3ds_motion(ChunkReader& reader) {
    reader.counter = -1;
    int error = kf_check_version(reader.data, reader.size);
    if (!error) error = kf_keep_world_changes(reader.scene);
    MotionLookups* lookups = error ? nullptr : new (std::nothrow) MotionLookups();
    if (!error && lookups == nullptr) error = KF_NO_MEMORY;
    if (!error) error = build_lookups(reader.scene, lookups);
    if (!error) {
        reader.motion_lookups = lookups;
        reader.pos = 0;
        error = kf_read_chunks(reader, reader.size, 0, kKeyframerTable);
        reader.motion_lookups = nullptr;
    }
    delete lookups;
    return error ? error : kf_apply_pivots(reader.scene);
}

int kf_motion_read_memory(const uint8_t* data, uint32_t size, Scene* scene) {
    return read_motion(data, size, scene);
}

int kf_motion_read(const char* name, Scene* scene) {
    if (name == nullptr || scene == nullptr) return KF_NULL;
    if (scene->world == nullptr) return KF_NO_SCENE;
    uint8_t* data;
    uint32_t size;
    int error = kf_load_file(name, &data, &size);
    if (error) return error;
    error = read_motion(data, size, scene);
    std::free(data);
    return error;
}

}  // namespace scene
