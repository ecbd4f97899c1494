#include "archive/archive.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
  int status;
  std::string output;  // standard output and standard error together
};

Result vekpack(const std::string& args) {
  std::string command = std::string(VEKPACK) + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  Result result{-1, ""};
  if (pipe == nullptr) return result;
  char buffer[256];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void spit(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

class Vekpack : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("vekpack_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string at(const std::string& relative) const { return (dir_ / relative).string(); }

  fs::path dir_;
};

TEST_F(Vekpack, CreateListExtract) {
  spit(at("in/tex/Present.TGA"), "present picture");
  spit(at("in/train.3ds"), std::string("3ds\0bytes", 9));
  spit(at("in/empty.dat"), "");
  Result made = vekpack("create " + at("vek.bin") + " " + at("in/tex/Present.TGA") + " " +
                        at("in/train.3ds") + " " + at("in/empty.dat"));
  ASSERT_EQ(made.status, 0) << made.output;

  archive::DataArchive archive(at("vek.bin").c_str());
  ASSERT_TRUE(archive.ok());
  char buffer[32];
  ASSERT_EQ(archive.read_member("tex\\present.tga", buffer, 0), 15);
  EXPECT_EQ(std::string(buffer, 15), "present picture");
  EXPECT_EQ(archive.member_size("TRAIN.3D"), 9);
  EXPECT_EQ(archive.member_size("empty.dat"), 0);

  Result listed = vekpack("list " + at("vek.bin"));
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.output,
            "Present.TGA          15\n"
            "train.3ds             9\n"
            "empty.dat             0\n");

  ASSERT_EQ(vekpack("extract " + at("vek.bin") + " -C " + at("all")).status, 0);
  for (const char* name : {"tex/Present.TGA", "train.3ds", "empty.dat"}) {
    EXPECT_EQ(slurp(at("all/") + fs::path(name).filename().string()), slurp(at("in/") + name))
        << name;
  }
  // Members named as the intro names them; the files get the stored names.
  Result some =
      vekpack("extract " + at("vek.bin") + " train.3d 'tex\\present.tga' -C " + at("some"));
  ASSERT_EQ(some.status, 0) << some.output;
  EXPECT_EQ(slurp(at("some/train.3ds")), slurp(at("in/train.3ds")));
  EXPECT_TRUE(fs::exists(at("some/Present.TGA")));
  EXPECT_FALSE(fs::exists(at("some/empty.dat")));
}

TEST_F(Vekpack, RefusesWithAMessage) {
  spit(at("in/a/pic.tga"), "a");
  spit(at("in/b/PIC.TGA"), "b");
  spit(at("in/thirteen1.tga"), "c");
  spit(at("not.bin"), "no trailer here, data");
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      {"create " + at("out.bin") + " " + at("in/thirteen1.tga"), "longer than 12 characters"},
      {"create " + at("out.bin") + " " + at("in/a/pic.tga") + " " + at("in/b/PIC.TGA"),
       "duplicate member name"},
      {"create " + at("out.bin") + " " + at("in/missing.tga"), "missing.tga: not a readable file"},
      {"create " + at("out.bin"), "create needs at least one file"},
      {"list " + at("not.bin"), "not an archive"},
      {"list " + at("nothing.bin"), "no such file"},
      {"extract " + at("not.bin"), "not an archive"},
      {"frobnicate x", "unknown command \"frobnicate\""},
      {"extract x -C", "-C needs a directory"},
  };
  for (const Case& c : cases) {
    Result r = vekpack(c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
  }
  EXPECT_FALSE(fs::exists(at("out.bin")));

  ASSERT_EQ(vekpack("create " + at("ok.bin") + " " + at("in/a/pic.tga")).status, 0);
  Result missing = vekpack("extract " + at("ok.bin") + " other.tga -C " + at("x"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("no member matches \"other.tga\""), std::string::npos);
}

// A member name from a damaged or hostile archive must not lead a file out of the target folder.
TEST_F(Vekpack, ExtractKeepsFilesInsideTheFolder) {
  spit(at("in/placeholder"), "evil");
  ASSERT_EQ(vekpack("create " + at("evil.bin") + " " + at("in/placeholder")).status, 0);
  std::string bytes = slurp(at("evil.bin"));
  size_t name = bytes.rfind("placeholder");
  ASSERT_NE(name, std::string::npos);
  bytes.replace(name, 11, std::string("../evil.txt", 11));
  spit(at("evil.bin"), bytes);

  Result r = vekpack("extract " + at("evil.bin") + " -C " + at("out"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("not a plain file name"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(at("evil.txt")));
}

}  // namespace
