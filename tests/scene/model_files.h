// The 3DS files that other tools wrote and Debian installs: assimp's test models and glmark2's
// models, sorted by path. Empty when neither package is installed. Also lib3ds reading a file
// from memory, so tests compare both readers on the same bytes without writing anything.
#pragma once

#include <lib3ds/file.h>
#include <lib3ds/io.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace scene_test {

inline std::vector<std::string> model_files(bool with_glmark2 = true) {
    std::vector<std::string> dirs = {"/usr/share/assimp/models/3DS"};
    if (with_glmark2) dirs.push_back("/usr/share/glmark2/models");
    std::vector<std::string> files;
    for (const std::string& dir : dirs) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
            std::string extension = entry.path().extension().string();
            for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (extension == ".3ds") files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The whole file, or nothing when it cannot be read.
inline std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(file);
    }
    return bytes;
}

// A copy of `bytes` with 1 to 8 bytes at random offsets from `from` on set to random values.
inline std::vector<uint8_t> damaged_copy(const std::vector<uint8_t>& bytes, size_t from, std::mt19937& random) {
    std::vector<uint8_t> copy = bytes;
    std::uniform_int_distribution<size_t> where(from, bytes.size() - 1);
    for (int n = std::uniform_int_distribution<int>(1, 8)(random); n > 0; --n)
        copy[where(random)] = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(random));
    return copy;
}

// lib3ds's reading of a 3DS file held in memory; null when lib3ds refuses it. Free it with
// lib3ds_file_free.
inline Lib3dsFile* lib3ds_read_memory(const std::vector<uint8_t>& bytes) {
    struct Source {
        const std::vector<uint8_t>* bytes;
        long position;
    } source{&bytes, 0};
    const auto error = [](void*) -> Lib3dsBool { return LIB3DS_FALSE; };
    const auto seek = [](void* self, long offset, Lib3dsIoSeek origin) -> long {
        Source* s = static_cast<Source*>(self);
        const long size = static_cast<long>(s->bytes->size());
        const long base = origin == LIB3DS_SEEK_SET ? 0 : origin == LIB3DS_SEEK_CUR ? s->position : size;
        if (base + offset < 0 || base + offset > size) return -1;
        s->position = base + offset;
        return 0;
    };
    const auto tell = [](void* self) -> long { return static_cast<Source*>(self)->position; };
    const auto read = [](void* self, void* buffer, size_t size) -> size_t {
        Source* s = static_cast<Source*>(self);
        size = std::min(size, s->bytes->size() - static_cast<size_t>(s->position));
        if (size > 0) std::memcpy(buffer, s->bytes->data() + s->position, size);
        s->position += static_cast<long>(size);
        return size;
    };
    const auto write = [](void*, const void*, size_t) -> size_t { return 0; };
    Lib3dsIo* io = lib3ds_io_new(&source, error, seek, tell, read, write);
    Lib3dsFile* file = io ? lib3ds_file_new() : nullptr;
    if (file && !lib3ds_file_read(file, io)) {
        lib3ds_file_free(file);
        file = nullptr;
    }
    if (io) lib3ds_io_free(io);
    return file;
}

}  // namespace scene_test
