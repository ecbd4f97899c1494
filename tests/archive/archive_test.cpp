#include "archive/archive.h"
#include "archive/writer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian, as the archive stores its numbers.
void put(Bytes& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> 8 * i));
}

struct RawEntry {
  std::string name;  // up to 13 bytes are stored; a 13-character name has no terminator
  uint32_t distance;
  uint32_t size;
};

// An archive assembled byte by byte, so that tests can make its fields lie.
struct RawArchive {
  Bytes data;  // member bytes, from offset 0
  std::vector<RawEntry> entries;
  int count = -1;             // -1: the number of entries
  int64_t dir_distance = -1;  // -1: the true distance of the directory
  const char* magic = "DATA";

  Bytes build() const {
    Bytes out = data;
    size_t dir_start = out.size();
    put(out, count >= 0 ? count : static_cast<uint32_t>(entries.size()), 2);
    for (const RawEntry& e : entries) {
      char name[13] = {};
      std::memcpy(name, e.name.data(), std::min<size_t>(e.name.size(), 13));
      out.insert(out.end(), name, name + 13);
      put(out, e.distance, 4);
      put(out, e.size, 4);
    }
    uint32_t d = static_cast<uint32_t>(out.size() + 8 - dir_start);
    put(out, dir_distance >= 0 ? static_cast<uint32_t>(dir_distance) : d, 4);
    out.insert(out.end(), magic, magic + 4);
    return out;
  }
};

// Entries for members laid out back to back in data; distances follow from the final file size.
RawArchive with_members(const std::vector<std::pair<std::string, std::string>>& members) {
  RawArchive raw;
  for (const auto& [name, body] : members)
    raw.data.insert(raw.data.end(), body.begin(), body.end());
  uint32_t file_size = static_cast<uint32_t>(raw.data.size() + 2 + 21 * members.size() + 8);
  uint32_t offset = 0;
  for (const auto& [name, body] : members) {
    raw.entries.push_back({name, file_size - offset, static_cast<uint32_t>(body.size())});
    offset += static_cast<uint32_t>(body.size());
  }
  return raw;
}

// Every file a test names is removed when the test program ends.
struct TempFiles {
  std::vector<std::string> paths;
  ~TempFiles() {
    for (const std::string& path : paths) std::remove(path.c_str());
  }
} temp_files;

std::string temp_path(const std::string& tag) {
  std::string path =
      ::testing::TempDir() + "vek_archive_" + std::to_string(::getpid()) + "_" + tag + ".bin";
  temp_files.paths.push_back(path);
  return path;
}

std::string write_file(const std::string& tag, const Bytes& bytes) {
  std::string path = temp_path(tag);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

std::string read_whole(archive::DataArchive& a, const char* path) {
  int32_t size = a.member_size(path);
  if (size < 0) return "<none>";
  std::string out(static_cast<size_t>(size), '\0');
  EXPECT_EQ(a.read_member(path, out.data(), 0), size);
  return out;
}

const std::vector<std::pair<std::string, std::string>> kPictures = {
    {"present.tga", "PRESENT-BYTES"}, {"train.3ds", "TRAIN"}, {"Vek.TGA", "vek picture"}};

TEST(DataArchive, LookupUsesFileNameAndExtensionOnly) {
  archive::DataArchive a(write_file("lookup", with_members(kPictures).build()).c_str());
  ASSERT_TRUE(a.ok());
  for (const char* path :
       {"present.tga", "tex\\present.tga", "TEX\\PRESENT.TGA", "c:tex/present.tga",
        "Textures/deep\\present.tga", "C:present.tga", "present.t", "pres"}) {
    EXPECT_EQ(read_whole(a, path), "PRESENT-BYTES") << path;
  }
  for (const char* path : {"train.3ds", "train.3d", "TRAIN.3DS", "scenes/train."}) {
    EXPECT_EQ(read_whole(a, path), "TRAIN") << path;
  }
  EXPECT_EQ(read_whole(a, "tex\\vek.tga"), "vek picture");
  // Longer than the stored name, another name, an empty key or no key at all: nothing matches.
  for (const char* path :
       {"train.3dsx", "present.tga.bak", "missing.tga", "", "tex\\", "tex/", "c:"}) {
    EXPECT_EQ(a.member_size(path), -1) << path;
    EXPECT_EQ(a.seek_member(path, 0, 0), -1) << path;
    EXPECT_EQ(a.seek_to_member(path), -1) << path;
    EXPECT_EQ(a.open_stream(path), nullptr) << path;
  }
  EXPECT_EQ(a.member_size(nullptr), -1);
}

TEST(DataArchive, FirstMatchInDirectoryOrderWins) {
  archive::DataArchive a(
      write_file("order",
                 with_members({{"a.tga", "long"}, {"a.tg", "short"}, {"A.TGA", "dup"}}).build())
          .c_str());
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(read_whole(a, "a.tg"), "long");
  EXPECT_EQ(read_whole(a, "x\\A.tga"), "long");
  std::vector<std::string> names;
  for (const auto* e = a.first_entry(); e != nullptr; e = e->next) names.push_back(e->name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.tga", "a.tg", "A.TGA"}));
}

TEST(DataArchive, ReadMemberCounts) {
  archive::DataArchive a(write_file("counts", with_members(kPictures).build()).c_str());
  ASSERT_TRUE(a.ok());
  struct Case {
    uint32_t max;
    const char* expect;
  } cases[] = {{0, "PRESENT-BYTES"}, {13, "PRESENT-BYTES"}, {1000, "PRESENT-BYTES"},
               {7, "PRESENT"},       {1, "P"}};
  for (const Case& c : cases) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    int32_t got = a.read_member("tex\\present.tga", buffer, c.max);
    EXPECT_EQ(std::string(buffer, got > 0 ? got : 0), c.expect) << c.max;
    EXPECT_EQ(buffer[got], '#') << "wrote past the member for max " << c.max;
  }
}

TEST(DataArchive, SeekOriginsCountFromTheMember) {
  std::string body = "0123456789abcdefghij";
  archive::DataArchive a(
      write_file("seek", with_members({{"pad.bin", "xxxxx"}, {"m.bin", body}}).build()).c_str());
  ASSERT_TRUE(a.ok());
  char c = 0;
  // Origin 1 counts from the member's start wherever the handle was.
  for (int32_t before : {0, 3, 17}) {
    ASSERT_EQ(a.seek_member("m.bin", before, 0), 5 + before);
    ASSERT_EQ(a.read(&c, 1), 1);
    EXPECT_EQ(a.seek_member("m.bin", 10, 1), 15);
    ASSERT_EQ(a.read(&c, 1), 1);
    EXPECT_EQ(c, 'a');
  }
  EXPECT_EQ(a.seek_member("m.bin", -3, 2), 5 + 20 - 3);
  char tail[4] = {};
  EXPECT_EQ(a.read(tail, 3), 3);
  EXPECT_STREQ(tail, "hij");
  EXPECT_EQ(a.seek_member("m.bin", 0, 3), -1);
  EXPECT_EQ(a.seek_member("m.bin", 0, -1), -1);
  EXPECT_EQ(a.seek_member("m.bin", -6, 0), -1);  // before the start of the file
  EXPECT_EQ(a.seek_member("m.bin", -5, 1), 0);

  int handle = a.seek_to_member("m.bin");
  ASSERT_GE(handle, 0);
  EXPECT_EQ(::read(handle, &c, 1), 1);
  EXPECT_EQ(c, '0');

  std::FILE* stream = a.open_stream("x/M.BIN");
  ASSERT_NE(stream, nullptr);
  char line[21] = {};
  EXPECT_EQ(std::fread(line, 1, 20, stream), 20u);
  EXPECT_EQ(body, line);
  std::fclose(stream);
  EXPECT_EQ(read_whole(a, "m.bin"), body);  // closing the stream left the archive open
}

TEST(DataArchive, NotAnArchive) {
  Bytes good = with_members(kPictures).build();
  RawArchive lower = with_members(kPictures);
  lower.magic = "data";
  std::vector<std::pair<std::string, Bytes>> files = {
      {"empty", {}},
      {"magic_only", {'D', 'A', 'T', 'A'}},
      {"seven", {0, 0, 0, 'D', 'A', 'T', 'A'}},
      {"lower_magic", lower.build()},
      {"cut_in_trailer", Bytes(good.begin(), good.end() - 1)},
  };
  for (const auto& [tag, bytes] : files) {
    archive::DataArchive a(write_file(tag, bytes).c_str());
    EXPECT_FALSE(a.ok()) << tag;
    EXPECT_EQ(a.first_entry(), nullptr) << tag;
    EXPECT_EQ(a.member_size("present.tga"), -1) << tag;
    char c;
    EXPECT_EQ(a.read(&c, 1), -1) << tag;
  }
  archive::DataArchive missing(temp_path("does_not_exist").c_str());
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.open_stream("present.tga"), nullptr);
}

TEST(DataArchive, EmptyDirectoryIsAnArchive) {
  RawArchive raw;
  raw.data = Bytes(10, 0xAB);
  archive::DataArchive a(write_file("n0", raw.build()).c_str());
  EXPECT_TRUE(a.ok());
  EXPECT_EQ(a.first_entry(), nullptr);
  for (const char* path : {"present.tga", "a", "."}) EXPECT_EQ(a.member_size(path), -1);
  EXPECT_EQ(a.seek_to_member("present.tga"), -1);
}

TEST(DataArchive, LyingDirectoryIsRejected) {
  struct Case {
    const char* tag;
    int count;
    int64_t distance;
  } cases[] = {
      {"dir_beyond_start", -1, 1000}, {"dir_over_trailer", -1, 9}, {"dir_zero", -1, 0},
      {"count_too_big", 4, -1},       {"count_max", 0xFFFF, -1},
  };
  for (const Case& c : cases) {
    RawArchive raw = with_members(kPictures);
    raw.count = c.count;
    raw.dir_distance = c.distance;
    archive::DataArchive a(write_file(c.tag, raw.build()).c_str());
    EXPECT_FALSE(a.ok()) << c.tag;
    EXPECT_EQ(a.first_entry(), nullptr) << c.tag;
  }
}

TEST(DataArchive, MembersOutsideTheFileAreUnreadable) {
  RawArchive raw = with_members({{"good.bin", "good"},
                                 {"far.bin", "x"},
                                 {"long.bin", "yy"},
                                 {"far.bin", "z"},
                                 {"thirteen.txt!", "13"}});
  raw.entries[1].distance = static_cast<uint32_t>(raw.build().size()) + 1;  // before the file
  raw.entries[2].size = raw.entries[2].distance + 1;                        // past its end
  archive::DataArchive a(write_file("members_outside", raw.build()).c_str());
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(read_whole(a, "good.bin"), "good");
  // The unreadable far.bin still shadows the later one: lookups keep directory order.
  for (const char* path : {"far.bin", "long.bin"}) {
    char buffer[8];
    EXPECT_EQ(a.member_size(path), -1) << path;
    EXPECT_EQ(a.read_member(path, buffer, 1), -1) << path;
    EXPECT_EQ(a.seek_member(path, 0, 2), -1) << path;
    EXPECT_EQ(a.open_stream(path), nullptr) << path;
    ASSERT_NE(a.find(path), nullptr) << path;
    EXPECT_FALSE(a.readable(*a.find(path))) << path;
  }
  // A name filling all 13 bytes keeps only its first 12 characters.
  EXPECT_EQ(read_whole(a, "thirteen.txt"), "13");
  EXPECT_EQ(a.member_size("thirteen.txt!"), -1);

  // An archive that lost its first bytes keeps its directory; what lay there is gone.
  Bytes whole = with_members(kPictures).build();
  archive::DataArchive cut(write_file("front_cut", Bytes(whole.begin() + 14, whole.end())).c_str());
  ASSERT_TRUE(cut.ok());
  EXPECT_EQ(cut.member_size("present.tga"), -1);
  EXPECT_EQ(cut.member_size("train.3ds"), -1);
  EXPECT_EQ(read_whole(cut, "vek.tga"), "vek picture");
}

TEST(ArchiveWriter, RoundTripsAndRefusesBadNames) {
  std::vector<archive::MemberFile> members = {{"vek.tga", Bytes(300, 7)},
                                              {"empty.dat", {}},
                                              {"train.3ds", Bytes{1, 2, 3}},
                                              {"abcdefgh.xyz", {9}}};
  std::string path = temp_path("written");
  ASSERT_EQ(archive::write_archive(path, members), "");
  archive::DataArchive a(path.c_str());
  ASSERT_TRUE(a.ok());
  const archive::ArchiveEntry* entry = a.first_entry();
  for (const archive::MemberFile& m : members) {
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(m.name, entry->name);
    Bytes back(m.bytes.size() + 1, 0xEE);
    EXPECT_EQ(a.read_member(("dir\\" + m.name).c_str(), back.data(), 0),
              static_cast<int32_t>(m.bytes.size()));
    back.pop_back();
    EXPECT_EQ(back, m.bytes) << m.name;
    entry = entry->next;
  }
  EXPECT_EQ(entry, nullptr);

  struct Refusal {
    std::vector<std::string> names;
    const char* reason;
  } refusals[] = {
      {{"twelve.chars", "longer.name.x"}, "longer than 12"},
      {{""}, "empty"},
      {{"tex\\a.tga"}, "not a plain file name"},
      {{"tex/a.tga"}, "not a plain file name"},
      {{"a.tga", "b.tga", "A.TGA"}, "duplicate member name \"A.TGA\""},
      {{"train.3ds", "train.3d"}, "\"train.3d\" is the start of \"train.3ds\""},
  };
  for (const Refusal& r : refusals) {
    std::vector<archive::MemberFile> bad;
    for (const std::string& n : r.names) bad.push_back({n, {1}});
    std::string refused = temp_path("refused");
    std::string error = archive::write_archive(refused, bad);
    EXPECT_NE(error.find(r.reason), std::string::npos) << error;
    EXPECT_NE(::access(refused.c_str(), F_OK), 0) << "a refused archive left a file";
  }
}

TEST(ArchiveWriter, MaximumMemberCount) {
  std::vector<archive::MemberFile> members;
  for (int i = 0; i < 0xFFFF; ++i) {
    char name[13];
    std::snprintf(name, sizeof name, "m%05d.bin", i);
    members.push_back({name, Bytes{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}});
  }
  std::string path = temp_path("max");
  ASSERT_EQ(archive::write_archive(path, members), "");
  archive::DataArchive a(path.c_str());
  ASSERT_TRUE(a.ok());
  uint8_t back[2];
  ASSERT_EQ(a.read_member("M65534.BIN", back, 0), 2);
  EXPECT_EQ(back[0] | back[1] << 8, 65534);

  members.push_back({"m65535.bin", {}});
  EXPECT_NE(archive::write_archive(temp_path("over_max"), members), "");
}

TEST(LibraryArchive, ReopensOverAnotherFile) {
  archive::DataArchive& library = archive::library_archive();
  library.reopen(write_file("library", with_members(kPictures).build()).c_str());
  ASSERT_TRUE(library.ok());
  EXPECT_EQ(read_whole(library, "tex\\present.tga"), "PRESENT-BYTES");
  library.reopen(temp_path("no_such_file").c_str());
  EXPECT_FALSE(library.ok());
  EXPECT_EQ(library.member_size("present.tga"), -1);
  library.reopen("vek.bin");
}

}  // namespace
