// The chunk loop shared by both 3DS readers, bounded reads, the mesh version test, file loading.
#include "scene/chunks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scene/kf.h"

namespace scene {

float ChunkReader::f32() {
    const uint32_t bits = u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Vector ChunkReader::vector_yz() {
    Vector v;
    v.x = f32();
    v.z = f32();
    v.y = f32();
    return v;
}

void ChunkReader::read_name() {
    int length = 0;
    for (;;) {
        if (!has(1)) {
            name[length] = '\0';
            return;
        }
        const char c = static_cast<char>(data[pos++]);
        if (c == '\0') break;
        if (length < kNameSize - 1) name[length++] = c;
    }
    name[length] = '\0';
}

void kf_reader_begin(ChunkReader& reader, const uint8_t* data, uint32_t size, Scene* scene) {
    std::memset(&reader, 0, sizeof reader);
    reader.data = data;
    reader.size = size;
    reader.limit = size;
    reader.scene = scene;
}

namespace {

const ChunkRow* find_row(const ChunkTable& table, uint16_t id) {
    for (int i = 0; i < table.count; ++i)
        if (table.rows[i].id == id) return &table.rows[i];
    return nullptr;
}

// Reads the header of the chunk at pos inside [pos, end): false when it does not fit there.
bool chunk_header(const uint8_t* data, uint32_t pos, uint32_t end, uint16_t* id, uint32_t* next) {
    if (end - pos < kChunkHeaderSize) return false;
    const uint8_t* p = data + pos;
    *id = static_cast<uint16_t>(p[0] | p[1] << 8);
    const uint32_t length = static_cast<uint32_t>(p[2]) | static_cast<uint32_t>(p[3]) << 8 |
                            static_cast<uint32_t>(p[4]) << 16 | static_cast<uint32_t>(p[5]) << 24;
    if (length < kChunkHeaderSize || length > end - pos) return false;
    *next = pos + length;
    return true;
}

// Main chunk, file version chunk, mesh section and the first byte of its version chunk.
constexpr uint32_t kShortestFile = 29;

}  // namespace

int kf_read_chunks(ChunkReader& reader, uint32_t end, uint16_t parent, const ChunkTable& table) {
    if (reader.depth >= kMaxChunkDepth) return KF_CORRUPTED;
    ++reader.depth;
    reader.parent_id = parent;
    while (reader.pos < end) {
        uint16_t id;
        uint32_t next;
        if (!chunk_header(reader.data, reader.pos, end, &id, &next)) return KF_CORRUPTED;
        reader.pos += kChunkHeaderSize;
        reader.chunk_id = id;
        const ChunkRow* row = find_row(table, id);
        if (row) {
            reader.limit = next;
            if (row->handler) {
                const int error = row->handler(reader);
                if (error) return error;
                if (reader.failed) return KF_CORRUPTED;
            }
            if (row->container) {
                const int error = kf_read_chunks(reader, next, id, table);
                if (error) return error;
            }
            reader.last_completed = id;
        }
        reader.pos = next;
    }
    --reader.depth;
    return KF_OK;
}

int kf_check_version(const uint8_t* data, uint32_t size) {
    // Too short to hold the chunks that lead to a mesh version in any real file.
    if (size < kShortestFile) return KF_CORRUPTED;
    // Walk the top level, the main chunk and the mesh sections for the first mesh version chunk.
    uint32_t pos = 0;
    uint32_t end = size;
    bool in_mesh = false;
    while (pos < end) {
        uint16_t id;
        uint32_t next;
        if (!chunk_header(data, pos, end, &id, &next)) return KF_CORRUPTED;
        if (id == CHUNK_MAIN || id == CHUNK_MESH) {
            in_mesh = id == CHUNK_MESH;
            pos += kChunkHeaderSize;
            end = next;
            continue;
        }
        if (in_mesh && id == CHUNK_MESH_VERSION) {
            if (next - pos <= kChunkHeaderSize) return KF_CORRUPTED;
            return data[pos + kChunkHeaderSize] < 2 ? KF_VERSION : KF_OK;
        }
        pos = next;
    }
    return KF_OK;
}

int kf_load_file(const char* name, uint8_t** data, uint32_t* size) {
    *data = nullptr;
    *size = 0;
    std::FILE* file = std::fopen(name, "rb");
    if (!file) return KF_FILE_NOT_FOUND;
    int error = KF_FILE_NOT_FOUND;
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
    if (length >= 0 && std::fseek(file, 0, SEEK_SET) == 0) {
        if (static_cast<unsigned long>(length) > 0xFFFFFFFFul) {
            error = KF_CORRUPTED;
        } else {
            // One spare byte so an empty file still has a buffer to own.
            uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length) + 1));
            if (!bytes) {
                error = KF_NO_MEMORY;
            } else if (std::fread(bytes, 1, static_cast<size_t>(length), file) !=
                       static_cast<size_t>(length)) {
                std::free(bytes);
            } else {
                *data = bytes;
                *size = static_cast<uint32_t>(length);
                error = KF_OK;
            }
        }
    }
    std::fclose(file);
    return error;
}

}  // namespace scene
