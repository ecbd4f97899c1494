// TGA loading on files written by ImageMagick and netpbm at run time, packed into a test archive,
// compared pixel for pixel with those tools' own decoding.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/writer.h"
#include "display/surface.h"
#include "support.h"

namespace display {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A binary PNM (P5 grey, P6 colour) of 8-bit samples, its header as the tools write it:
// "P6\n<width> <height>\n255\n", without comments.
struct Pnm {
  int width = 0, height = 0;
  Bytes samples;
};

Pnm read_pnm(const std::string& path) {
  const Bytes b = read_file(path);
  const std::string head(b.begin(), b.begin() + std::min<size_t>(b.size(), 32));
  Pnm p;
  int at = 0;
  if (std::sscanf(head.c_str(), "P%*c %d %d 255%n", &p.width, &p.height, &at) != 2 || !at ||
      size_t(at) >= b.size())
    return Pnm();
  p.samples.assign(b.begin() + at + 1, b.end());
  return p;
}

// The input pictures: random colours, or random picks from a few colours for palette files.
Bytes ppm(int w, int h, int colours, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint32_t> set(colours);
  for (auto& c : set) c = random() & 0xFFFFFF;
  std::string head = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  Bytes b(head.begin(), head.end());
  for (int i = 0; i < w * h; ++i) {
    const uint32_t c = colours ? set[i < colours ? i : random() % colours] : random();
    b.insert(b.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
  }
  return b;
}

Bytes pam_with_alpha(int w, int h, uint32_t seed) {
  std::mt19937 random(seed);
  std::string head = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) +
                     "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  Bytes b(head.begin(), head.end());
  for (int i = 0; i < 4 * w * h; ++i) b.push_back(uint8_t(random()));
  return b;
}

constexpr int kWidth = 13, kHeight = 7;

// Every 5-bit value in each channel of a 32 x 2 ARGB1555 picture, top row first, with the alpha
// bit set on every other pixel and the header saying so.
Bytes ramp16() {
  Bytes b(18, 0);
  b[2] = 2, b[12] = 32, b[14] = 2, b[16] = 16, b[17] = 0x21;
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 32; ++x) {
      const uint32_t p = ((x + y) & 1) << 15 | x << 10 | (31 - x) << 5 | ((x * 7 + y) & 31);
      b.insert(b.end(), {uint8_t(p), uint8_t(p >> 8)});
    }
  return b;
}

// How the pictures were made, and how a tool decodes them for comparison.
struct Made {
  const char* name;
  const char* make;    // shell command writing the member into the work folder
  const char* decode;  // shell command writing name.ppm (and name.pgm for alpha)
  int32_t format;      // the surface format loading must give
  bool alpha = false;  // whether the decoding wrote name.pgm
};

const Made kValid[] = {
    {"t24.tga", "convert in.ppm -compress None t24.tga", "tgatoppm t24.tga > t24.ppm", RGB888},
    {"top.tga", "convert in.ppm -compress None -orient TopLeft top.tga", "tgatoppm top.tga > top.ppm",
     RGB888},
    // tgatoppm ignores the right-to-left bit; ImageMagick's auto-orient honours both bits.
    {"mirror.tga", "convert in.ppm -compress None -orient TopRight mirror.tga",
     "convert mirror.tga -auto-orient -depth 8 mirror.ppm", RGB888},
    {"t32.tga", "convert alpha.pam -compress None t32.tga",
     "tgatoppm --alphaout=t32.pgm t32.tga > t32.ppm", ARGB8888, true},
    // 16-bit channels as ImageMagick widens them to 8 bits (it keeps the row order as an attribute
    // unless asked to orient the picture).
    {"t16.tga", "convert in.ppm -compress None -depth 5 t16.tga", "convert t16.tga -auto-orient -depth 8 t16.ppm",
     ARGB1555},
    {"ramp16.tga", "true",
     "convert ramp16.tga -depth 8 ramp16.ppm && convert ramp16.tga -alpha extract -depth 8 ramp16.pgm",
     ARGB1555, true},
    {"map24.tga", "convert in40.ppm -compress None -type Palette map24.tga",
     "tgatoppm map24.tga > map24.ppm", INDEX8},
    {"map16.tga", "convert in40.ppm -compress None -type Palette -depth 5 map16.tga",
     "convert map16.tga -auto-orient -depth 8 map16.ppm", INDEX8},
    {"small.tga", "pamtotga -cmap -norle in16.ppm > small.tga 2>/dev/null",
     "tgatoppm small.tga > small.ppm", INDEX8},
    {"id.tga", "convert in.ppm -compress None -set comment 'made elsewhere' id.tga",
     "tgatoppm id.tga > id.ppm", RGB888},
};

const Made kRefused[] = {
    {"rle.tga", "convert in.ppm -compress RLE rle.tga", "", 0},
    {"rlemap.tga", "convert in40.ppm -compress RLE -type Palette rlemap.tga", "", 0},
    {"grey.tga", "convert in.ppm -compress None -type Grayscale grey.tga", "", 0},
};

class Tga : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vek_tga_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    write_file(dir_ + "/in.ppm", ppm(kWidth, kHeight, 0, 7));
    write_file(dir_ + "/in40.ppm", ppm(kWidth, kHeight, 40, 8));
    write_file(dir_ + "/in16.ppm", ppm(kWidth, kHeight, 16, 9));
    write_file(dir_ + "/alpha.pam", pam_with_alpha(kWidth, kHeight, 10));
    write_file(dir_ + "/ramp16.tga", ramp16());
    std::vector<archive::MemberFile> members;
    for (const Made& m : kValid) members.push_back({m.name, make(m.make, m.name)});
    for (const Made& m : kRefused) members.push_back({m.name, make(m.make, m.name)});
    for (const Made& m : kValid) ASSERT_EQ(run(m.decode), 0) << m.decode;
    for (const auto& m : members) ASSERT_GT(m.bytes.size(), 18u) << m.name << " was not made";
    add_derived(members);
    ASSERT_EQ(archive::write_archive(dir_ + "/test.bin", members), "");
    archive_ = std::make_unique<archive::DataArchive>((dir_ + "/test.bin").c_str());
    ASSERT_TRUE(archive_->ok());
  }
  void TearDown() override {
    archive_.reset();
    if (!dir_.empty()) run("rm -rf '" + dir_ + "'");
  }

  int run(const std::string& command) { return std::system(("cd '" + dir_ + "' && " + command).c_str()); }
  Bytes make(const char* command, const char* name) {
    EXPECT_EQ(run(command), 0) << command;
    return read_file(dir_ + "/" + name);
  }

  // Variants of the tools' files for what the tools do not write: 32-bit map entries, and
  // damaged headers that must be refused.
  void add_derived(std::vector<archive::MemberFile>& members) {
    const Bytes map24 = read_file(dir_ + "/map24.tga");
    Bytes map32(map24.begin(), map24.begin() + 18 + map24[0]);
    const int entries = map24[5] | map24[6] << 8;
    map32[7] = 32;
    for (int i = 0; i < entries; ++i) {
      const uint8_t* e = &map24[18 + map24[0] + 3 * i];
      map32.insert(map32.end(), {e[0], e[1], e[2], uint8_t(0x80 + i)});
    }
    map32.insert(map32.end(), map24.begin() + 18 + map24[0] + 3 * entries, map24.end());
    members.push_back({"map32.tga", map32});

    const Bytes t24 = read_file(dir_ + "/t24.tga"), t16 = read_file(dir_ + "/t16.tga");
    const Bytes small = read_file(dir_ + "/small.tga");
    members.push_back({"longname.tif", Bytes(40, 0)});  // found first by a key cut to 19 characters
    members.push_back({"longname.tga", t24});
    const auto add = [&](const char* name, Bytes bytes, size_t at, uint8_t value) {
      bytes[at] = value;
      members.push_back({name, bytes});
    };
    add("short.tga", Bytes(t24.begin(), t24.end() - 1), 0, t24[0]);
    add("depth15.tga", t16, 16, 15);
    add("depth4.tga", t16, 16, 4);
    Bytes bytes = map24;
    bytes.insert(bytes.begin() + 18, 3 * (257 - entries), 0);
    bytes[5] = 1;
    add("map257.tga", bytes, 6, 1);  // 257 entries
    add("t2map.tga", t24, 1, 1);  // a true-colour picture claiming a colour map
    // True colour of 8 bits.
    add("t2depth8.tga", Bytes(t24.begin(), t24.begin() + 18 + kWidth * kHeight), 16, 8);
    bytes.assign(small.begin(), small.begin() + 18 + small[0]);
    bytes.insert(bytes.end(), small.end() - kWidth * kHeight, small.end());
    add("nomap.tga", bytes, 1, 0);  // indices, a map described, but none present
    add("first240.tga", small, 3, 240);  // the map fills palette entries 240 ... 255
  }

  // The loaded surface against the tool's decoding, both taken to ARGB8888 the way textures are.
  void expect_same(Surface& s, const std::string& stem, bool check_alpha) {
    Pnm colour = read_pnm(dir_ + "/" + stem + ".ppm");
    ASSERT_EQ(colour.width, s.width()) << stem;
    ASSERT_EQ(colour.height, s.height()) << stem;
    Pnm alpha = check_alpha ? read_pnm(dir_ + "/" + stem + ".pgm") : Pnm();
    ASSERT_TRUE(s.convert(Format(ARGB8888))) << stem;
    for (int y = 0; y < s.height(); ++y) {
      for (int x = 0; x < s.width(); ++x) {
        const uint32_t p = get(s, x, y);
        const uint8_t* t = &colour.samples[3 * (y * colour.width + x)];
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(p >> 8 * (2 - c) & 0xFF, t[c]) << stem << " at " << x << "," << y << " channel " << c;
        }
        if (check_alpha) {
          ASSERT_EQ(p >> 24, alpha.samples[y * alpha.width + x]) << stem;
        }
      }
    }
  }

  std::string dir_;
  std::unique_ptr<archive::DataArchive> archive_;
};

TEST_F(Tga, ToolFilesDecodeAsTheToolsDecodeThem) {
  for (const Made& m : kValid) {
    for (int32_t order : {-1, BOTTOM_UP}) {
      Surface s(nullptr, *archive_, m.name, -1, order);
      ASSERT_TRUE(s.ok()) << m.name;
      EXPECT_EQ(s.format().id, m.format) << m.name;
      EXPECT_EQ(s.row_order(), order == -1 ? TOP_DOWN : BOTTOM_UP);
      const std::string stem(m.name, std::string(m.name).find('.'));
      expect_same(s, stem, m.alpha);
    }
  }
  // The headers are what the cases claim to cover.
  EXPECT_EQ(read_file(dir_ + "/t24.tga")[17] & 0x30, 0x00);
  EXPECT_EQ(read_file(dir_ + "/top.tga")[17] & 0x30, 0x20);
  EXPECT_EQ(read_file(dir_ + "/mirror.tga")[17] & 0x30, 0x30);
  EXPECT_GT(read_file(dir_ + "/id.tga")[0], 0);
  EXPECT_EQ(read_file(dir_ + "/map16.tga")[7], 16);
}

TEST_F(Tga, ColourMapsFillThePalette) {
  const Bytes small = read_file(dir_ + "/small.tga");
  ASSERT_EQ(small[5] | small[6] << 8, 16);
  Surface s(nullptr, *archive_, "small.tga");
  ASSERT_TRUE(s.ok());
  const uint32_t* e = s.palette()->entries();
  for (int i = 0; i < 16; ++i) {
    const uint8_t* m = &small[18 + small[0] + 3 * i];
    EXPECT_EQ(e[i], uint32_t(m[0] | m[1] << 8 | m[2] << 16)) << i;
  }
  for (int i = 16; i < 256; ++i) ASSERT_EQ(e[i], 0u) << i;
  Surface shifted(nullptr, *archive_, "first240.tga");
  ASSERT_TRUE(shifted.ok());
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(shifted.palette()->entries()[i], i < 240 ? 0u : e[i - 240]) << i;

  Surface wide(nullptr, *archive_, "map32.tga");
  ASSERT_TRUE(wide.ok());
  const Bytes map24 = read_file(dir_ + "/map24.tga");
  for (int i = 0; i < (map24[5] | map24[6] << 8); ++i) {
    EXPECT_EQ(wide.palette()->entries()[i] >> 24, 0x80u + i);
  }
  expect_same(wide, "map24", false);
}

TEST_F(Tga, DamagedAndUnsupportedFilesAreRefused) {
  for (const Made& m : kRefused) EXPECT_FALSE(Surface(nullptr, *archive_, m.name).ok()) << m.name;
  for (const char* name : {"short.tga", "depth15.tga", "depth4.tga", "map257.tga", "t2map.tga",
                           "t2depth8.tga", "nomap.tga", "missing.tga", "longname.tif"})
    EXPECT_FALSE(Surface(nullptr, *archive_, name).ok()) << name;
  EXPECT_EQ(read_file(dir_ + "/rle.tga")[2], 10);
  EXPECT_EQ(read_file(dir_ + "/rlemap.tga")[2], 9);
  EXPECT_EQ(read_file(dir_ + "/grey.tga")[2], 3);

  EXPECT_FALSE(Surface(nullptr, *archive_, "t24.tga", -1, -1, 4).ok());
  EXPECT_FALSE(Surface(nullptr, *archive_, "t24.tga", -1, -1, -1, 11).ok());
  EXPECT_TRUE(Surface(nullptr, *archive_, "t24.tga", 30, -1, 0, 10).ok());
}

TEST_F(Tga, DamagedHeadersNeverReadOutsideTheFile) {
  // Random header bytes over real files: whatever loads must be consistent, nothing may crash.
  std::mt19937 random(5);
  std::vector<archive::MemberFile> members;
  for (const char* source : {"t24.tga", "map24.tga", "t16.tga"}) {
    const Bytes original = read_file(dir_ + "/" + source);
    for (int i = 0; i < 100; ++i) {
      Bytes damaged = original;
      for (int k = 0; k < 3; ++k) damaged[random() % 18] = uint8_t(random());
      members.push_back({"f" + std::to_string(members.size() + 1000) + ".tga", damaged});
    }
  }
  ASSERT_EQ(archive::write_archive(dir_ + "/damaged.bin", members), "");
  archive::DataArchive damaged((dir_ + "/damaged.bin").c_str());
  for (const auto& m : members) {
    Surface s(nullptr, damaged, m.name.c_str());
    if (!s.ok()) continue;
    EXPECT_EQ(s.width(), m.bytes[12] | m.bytes[13] << 8) << m.name;
    EXPECT_EQ(s.height(), m.bytes[14] | m.bytes[15] << 8) << m.name;
    EXPECT_TRUE(s.convert(Format(ARGB8888))) << m.name;
  }
}

TEST_F(Tga, MembersAreFoundByTheirWholeName) {
  // "Textures\longname.tga" is 21 characters; its first 19 would name "longname.tif".
  Surface s(nullptr, *archive_, "Textures\\longname.tga");
  ASSERT_TRUE(s.ok());
  expect_same(s, "t24", false);

  archive::library_archive().reopen((dir_ + "/test.bin").c_str());
  Surface from_library(nullptr, "tex\\T24.TGA");
  EXPECT_TRUE(from_library.ok());
}

}  // namespace
}  // namespace display
