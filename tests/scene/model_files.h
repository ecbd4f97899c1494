// The 3DS files that other tools wrote and Debian installs: assimp's test models and glmark2's
// models, sorted by path. Empty when neither package is installed.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
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

}  // namespace scene_test
