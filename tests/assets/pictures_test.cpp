// The generated pictures load through the display layer exactly as drawn, at the sizes the picture
// screens step by, with clean keys.
#include "assets/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "archive/archive.h"
#include "display/surface.h"

namespace {

struct Expected {
  const char* path;  // as the intro names it
  int width, height;
  bool keyed;
};
constexpr Expected kPictures[] = {{"tex\\vek.tga", 320, 79, false},
                                  {"tex\\present.tga", 86, 22, true},
                                  {"tex\\xmaslogo.tga", 320, 136, true}};

int brightest(uint32_t p) { return std::max({p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF}); }

TEST(Pictures, LoadFromTheArchiveAsDrawn) {
  archive::DataArchive vek(VEK_BINARY_DIR "/data/vek.bin");
  ASSERT_TRUE(vek.ok());
  const std::vector<assets::Picture> drawn = assets::make_pictures();
  ASSERT_EQ(drawn.size(), std::size(kPictures));
  for (size_t i = 0; i < drawn.size(); ++i) {
    const Expected& e = kPictures[i];
    SCOPED_TRACE(e.path);
    uint8_t header[18];
    ASSERT_EQ(vek.read_member(e.path, header, sizeof header), 18);
    EXPECT_EQ(header[2], 2) << "uncompressed true colour";
    EXPECT_EQ(header[17] & 0x30, 0) << "bottom row first, left to right";

    display::Surface s(nullptr, vek, e.path, 30);
    ASSERT_TRUE(s.ok());
    ASSERT_EQ(s.width(), e.width);
    ASSERT_EQ(s.height(), e.height);
    ASSERT_TRUE(s.convert(display::Format(display::ARGB8888)));
    const auto* base = static_cast<const uint8_t*>(s.lock());
    ASSERT_NE(base, nullptr);
    for (int y = 0; y < e.height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(base + y * s.pitch());
      ASSERT_TRUE(std::equal(row, row + e.width, drawn[i].pixels.begin() + y * e.width))
          << "row " << y;
    }
    s.unlock();
  }
}

// Keyed pixels are exactly the key; every pixel beside one is dark, so no bright or magenta
// fringe shows around a shape on a dark scene. The logo shown on black has no key at all.
TEST(Pictures, KeysAreCleanAndOnlyWhereNothingWasDrawn) {
  for (const assets::Picture& p : assets::make_pictures()) {
    SCOPED_TRACE(p.member);
    const bool keyed = p.member != "vek.tga";
    auto at = [&](int x, int y) { return p.pixels[static_cast<size_t>(y) * p.width + x]; };
    auto keyed_at = [&](int x, int y) {
      return x >= 0 && y >= 0 && x < p.width && y < p.height && at(x, y) == assets::kColourKey;
    };
    size_t keys = 0, bright = 0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        const uint32_t c = at(x, y);
        if (c == assets::kColourKey) {
          ++keys;
          continue;
        }
        EXPECT_EQ(c >> 24, 0xFFu) << x << "," << y;
        const int r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
        EXPECT_FALSE(r > 128 && b > 128 && g < std::min(r, b) / 2)
            << "magenta at " << x << "," << y;
        if (brightest(c) > 160) ++bright;
        if (keyed_at(x - 1, y) || keyed_at(x + 1, y) || keyed_at(x, y - 1) || keyed_at(x, y + 1)) {
          EXPECT_LT(brightest(c), 96) << "bright edge at " << x << "," << y;
        }
      }
    const size_t all = p.pixels.size();
    if (keyed) {
      EXPECT_TRUE(keyed_at(0, 0) && keyed_at(p.width - 1, p.height - 1));
      EXPECT_GT(keys, all / 4);
    } else {
      EXPECT_EQ(keys, 0u);
      for (int y = 0; y < p.height; ++y) EXPECT_EQ(at(0, y) & 0xFFFFFF, 0u) << "row " << y;
    }
    EXPECT_GT(bright, all / 12) << "lettering too faint or too small";
  }
}

}  // namespace
