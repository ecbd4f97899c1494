// The 3DS chunk machinery shared by the world and keyframer readers: bounded little-endian reads
// over the file's bytes, the table-driven chunk loop, the mesh version test and file loading.
//
// A chunk is a 6-byte header, u16 id then u32 length (the length counts the header), followed by
// its data and, for containers, its sub-chunks. Integers are little-endian, floats IEEE single.
#pragma once

#include <cstdint>

#include "scene/records.h"

namespace scene {

constexpr uint32_t kChunkHeaderSize = 6;
// 63 characters and the terminator; longer names are cut.
constexpr int kNameSize = 64;
// Real files nest about six deep; the bound keeps hostile nesting from exhausting the stack.
constexpr int kMaxChunkDepth = 32;

constexpr uint16_t CHUNK_MAIN = 0x4D4D;
constexpr uint16_t CHUNK_MESH = 0x3D3D;
constexpr uint16_t CHUNK_MESH_VERSION = 0x3D3E;

struct ChunkReader;
// Each reader's own lookups, built for one read.
struct WorldLookups;
struct MotionLookups;

// Returns an error code; 0 lets the loop go on.
using ChunkHandler = int (*)(ChunkReader& reader);

struct ChunkRow {
    uint16_t id;
    bool container;         // descend into the sub-chunks after the handler
    ChunkHandler handler;   // null: nothing to do for the chunk itself
};

struct ChunkTable {
    const ChunkRow* rows;
    int count;
};

// State of one read. Reads never pass `limit`, the end of the chunk being handled: a read that
// would sets `failed`, yields zeros, and the loop turns that into "corrupted file".
struct ChunkReader {
    const uint8_t* data;
    uint32_t size;
    uint32_t pos;
    uint32_t limit;
    bool failed;
    int depth;
    // The container whose sub-chunks are being read. A nested loop does not restore it on return:
    // it stays that of the last container entered until the next one begins.
    uint16_t parent_id;
    uint16_t chunk_id;        // chunk being handled
    uint16_t last_completed;  // last chunk found in the table and finished
    Scene* scene;
    uint32_t current_type;  // WORLD_* of `current`, 0 when none
    void* current;          // the record that later chunks fill
    int32_t counter;        // world ids, or keyframer node ids
    WorldLookups* world_lookups;    // set by the world reader for its read
    MotionLookups* motion_lookups;  // set by the keyframer reader for its read
    char name[kNameSize];

    uint32_t remaining() const { return limit - pos; }

    // True when n more bytes can be read; otherwise marks the read failed.
    bool has(uint32_t n) {
        if (n <= limit - pos) return true;
        failed = true;
        pos = limit;
        return false;
    }
    uint8_t u8() { return has(1) ? data[pos++] : 0; }
    uint16_t u16() {
        if (!has(2)) return 0;
        uint16_t v = static_cast<uint16_t>(data[pos] | data[pos + 1] << 8);
        pos += 2;
        return v;
    }
    uint32_t u32() {
        if (!has(4)) return 0;
        uint32_t v = static_cast<uint32_t>(data[pos]) | static_cast<uint32_t>(data[pos + 1]) << 8 |
                     static_cast<uint32_t>(data[pos + 2]) << 16 |
                     static_cast<uint32_t>(data[pos + 3]) << 24;
        pos += 4;
        return v;
    }
    float f32();
    // Three floats, file (x, y, z) stored as (x, z, y).
    Vector vector_yz();
    // A zero-terminated name into `name`, cut to 63 characters; the rest up to the terminator is
    // skipped. A name without terminator inside the chunk fails the read.
    void read_name();
};

// Sets up a read over data[0, size) into scene.
void kf_reader_begin(ChunkReader& reader, const uint8_t* data, uint32_t size, Scene* scene);

// The chunk loop: handles the chunks of [reader.pos, end) by table, descending into containers.
// Ids not in the table are skipped whole. A chunk shorter than its header or running past `end`,
// a short read and nesting deeper than kMaxChunkDepth give KF_CORRUPTED.
int kf_read_chunks(ChunkReader& reader, uint32_t end, uint16_t parent, const ChunkTable& table);

// The mesh version test both readers make before any chunk is read: the low byte of the first mesh
// version chunk in a mesh section must be at least 2 (else KF_VERSION); a file without one passes.
// A malformed chunk on the way, or a file shorter than the usual layout's version byte (29 bytes),
// gives KF_CORRUPTED.
int kf_check_version(const uint8_t* data, uint32_t size);

// Reads a whole file into a malloc'ed buffer (the caller frees it). KF_FILE_NOT_FOUND when it cannot
// be opened or read, KF_NO_MEMORY, KF_CORRUPTED for files beyond 4 GB.
int kf_load_file(const char* name, uint8_t** data, uint32_t* size);

// The two readers; the reader is set up by kf_reader_begin with the active scene as target. The
// keyframer reader keeps its changes to the world with the scene (kf_keep_world_changes); the
// caller undoes them when the read fails.
int kf_read_3ds_world(ChunkReader& reader);
int kf_read_3ds_motion(ChunkReader& reader);

}  // namespace scene
