// Builds 3DS byte streams by hand: little-endian fields and chunks with computed lengths.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "scene/kf.h"

namespace scene_test {

struct Bytes {
    std::vector<uint8_t> data;

    Bytes& u8(uint8_t v) {
        data.push_back(v);
        return *this;
    }
    Bytes& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
    Bytes& u32(uint32_t v) { return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16)); }
    Bytes& f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return u32(bits);
    }
    Bytes& floats(std::initializer_list<float> values) {
        for (float v : values) f32(v);
        return *this;
    }
    // Zero-terminated.
    Bytes& str(const std::string& s) {
        data.insert(data.end(), s.begin(), s.end());
        return u8(0);
    }
    Bytes& add(const Bytes& other) {
        data.insert(data.end(), other.data.begin(), other.data.end());
        return *this;
    }
};

inline Bytes operator+(Bytes a, const Bytes& b) { return a.add(b); }

// A chunk whose length field counts its header and body.
inline Bytes chunk(uint16_t id, const Bytes& body = Bytes()) {
    Bytes out;
    out.u16(id).u32(static_cast<uint32_t>(body.data.size() + 6));
    return out.add(body);
}

// A chunk with a length of the caller's choosing.
inline Bytes chunk_with_length(uint16_t id, uint32_t length, const Bytes& body = Bytes()) {
    Bytes out;
    out.u16(id).u32(length);
    return out.add(body);
}

// A whole file: main chunk, file version, mesh section with its version chunk first.
inline Bytes file_3ds(const Bytes& mesh_content, uint32_t mesh_version = 3, const Bytes& after_mesh = Bytes()) {
    return chunk(0x4D4D, chunk(0x0002, Bytes().u32(3)) +
                             chunk(0x3D3D, chunk(0x3D3E, Bytes().u32(mesh_version)) + mesh_content) +
                             after_mesh);
}

inline int load_world(const Bytes& file, scene::Scene* scene) {
    return scene::kf_world_read_memory(file.data.data(), static_cast<uint32_t>(file.data.size()), scene);
}

}  // namespace scene_test
