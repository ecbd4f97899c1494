// kfdump on a file written to a folder of its own: the world it prints is the one both reads made.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/scene/chunk_builder.h"

using namespace scene_test;

namespace {

struct Dump {
    int status;
    std::string output;  // standard output only
};

Dump kfdump(const std::string& path) {
    Dump run{-1, ""};
    FILE* pipe = popen((std::string(KFDUMP) + " '" + path + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The world tree part of a dump, empty when there is none.
std::string world_tree(const std::string& dump) {
    const size_t start = dump.find("<<start of world tree>>");
    const size_t end = dump.find("<<end of world tree>>");
    if (start == std::string::npos || end == std::string::npos) return std::string();
    return dump.substr(start, end - start);
}

TEST(Kfdump, PrintsTheWorldAsTheKeyframerLeftIt) {
    char folder[] = "/tmp/kfdump_test_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/scene.3ds";

    // A triangle "Box" linked under a dummy; the keyframer also adds the ambient colour.
    Bytes vertices;
    vertices.u16(3).floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const Bytes face = chunk(0x4120, Bytes().u16(1).u16(0).u16(1).u16(2).u16(0));
    const Bytes box =
        chunk(0x4000, Bytes().str("Box") + chunk(0x4100, chunk(0x4110, vertices) + face));
    auto header = [](const char* name, int16_t parent) {
        return chunk(0xB010, Bytes().str(name).u16(0).u16(0).u16(static_cast<uint16_t>(parent)));
    };
    const Bytes dummy = header("$$$DUMMY", -1) + chunk(0xB011, Bytes().str("Helper"));
    const Bytes motion = chunk(0xB000, chunk(0xB008, Bytes().u32(0).u32(10)) +
                                           chunk(0xB001, header("$AMBIENT$", -1)) +
                                           chunk(0xB002, dummy) + chunk(0xB002, header("Box", 1)));
    const Bytes file = file_3ds(box, 3, motion);
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(file.data.data(), 1, file.data.size(), out);
        std::fclose(out);
    }

    const Dump run = kfdump(path);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(run.status, 0);
    const std::string world = world_tree(run.output);
    EXPECT_NE(world.find("<<ambient>> name: $AMBIENT$, id: 1024\n"), std::string::npos) << world;
    EXPECT_NE(world.find("<<object>> name: Helper, id: 1025\n"), std::string::npos) << world;
    EXPECT_NE(world.find("<<object>> name: Box, id: 0\n  parent:      1025\n"), std::string::npos)
        << world;
    EXPECT_NE(run.output.find("<<object track>> id: 2, name: Box\n"), std::string::npos);
}

}  // namespace
