// The 3DS files that other tools wrote and Debian installs: assimp's test models and glmark2's
// models, sorted by path. Empty when neither package is installed.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
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

}  // namespace scene_test
