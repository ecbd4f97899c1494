// Formats and converters: names and ids, validity, unpack/pack, and every named pair of converters
// checked pixel by pixel on random rows against values worked out channel by channel.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/convert.h"
#include "display/convert_rows.h"
#include "display/format.h"

namespace display {
namespace {

uint32_t read_pixel(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t{p[i]} << (8 * i);
  return v;
}

TEST(Format, NamesAndIdsInAnyCase) {
  const struct {
    const char* name;
    int32_t id;
  } cases[] = {{"ARGB8888", ARGB8888}, {"argb8888", ARGB8888}, {"RGB555", ARGB1555},
               {"ArGb1555", ARGB1555}, {"bgr555", ABGR1555},   {"GRAY8", GREY8},
               {"grey8", GREY8},       {"FakeMode1", FAKEMODE1A}, {"FAKEMODE2", FAKEMODE2A},
               {"fakemode3c", FAKEMODE3C}, {"rgb332", RGB332}, {"index8", INDEX8}};
  for (const auto& c : cases) {
    EXPECT_EQ(format_id(c.name), c.id) << c.name;
    EXPECT_EQ(Format(c.name).id, c.id) << c.name;
  }
  for (const char* bad : {"", "ARGB888", "ARGB88888", "RGB5551", "GREY"}) {
    const Format f(bad), zero;
    EXPECT_FALSE(valid(f)) << bad;
    EXPECT_TRUE(std::memcmp(&f, &zero, sizeof f) == 0) << bad;
  }
  EXPECT_FALSE(valid(Format(999)));
  EXPECT_FALSE(valid(Format(1022)));
  EXPECT_STREQ(format_name(ARGB1555), "ARGB1555");
}

TEST(Format, NamedLayoutsDeriveMasksAndDownShifts) {
  const struct {
    int32_t id, bits, bytes;
    uint32_t r, g, b, a;
  } cases[] = {
      {ARGB8888, 32, 4, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
      {BGRA8888, 32, 4, 0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF},
      {RGBA8888, 32, 4, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF},
      {BGR888, 24, 3, 0x000000FF, 0x0000FF00, 0x00FF0000, 0},
      {BGR565, 16, 2, 0x0000001F, 0x000007E0, 0x0000F800, 0},
      {ABGR1555, 16, 2, 0x0000001F, 0x000003E0, 0x00007C00, 0x00008000},
      {RGB332, 8, 1, 0x000000E0, 0x0000001C, 0x00000003, 0},
      {INDEX8, 8, 1, 0, 0, 0, 0},
      {FAKEMODE2B, 14, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const Format f(c.id);
    EXPECT_EQ(f.bits, c.bits) << c.id;
    EXPECT_EQ(f.bytes, c.bytes) << c.id;
    EXPECT_EQ(uint32_t(f.red.mask), c.r) << c.id;
    EXPECT_EQ(uint32_t(f.green.mask), c.g) << c.id;
    EXPECT_EQ(uint32_t(f.blue.mask), c.b) << c.id;
    EXPECT_EQ(uint32_t(f.alpha.mask), c.a) << c.id;
    // A format described by the same masks is the same format.
    if (f.type == DIRECT) {
      EXPECT_TRUE(equal(Format::from_masks(c.bits, c.bytes, c.r, c.g, c.b, c.a), f)) << c.id;
    }
  }
  EXPECT_EQ(Format(RGB565).blue.down, -3);
  EXPECT_EQ(Format(ARGB8888).alpha.down, 24);
}

TEST(Format, ValidityAndEquality) {
  Format changed(ARGB8888);
  changed.bits = 17;
  changed.red.shift = 3;
  EXPECT_TRUE(equal(changed, Format(ARGB8888)));  // the named id decides
  EXPECT_TRUE(valid(changed));
  Format unnamed = Format::from_masks(32, 4, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
  EXPECT_EQ(unnamed.id, 0);
  EXPECT_TRUE(equal(unnamed, Format(ARGB8888)));
  EXPECT_FALSE(equal(unnamed, Format(ABGR8888)));
  EXPECT_FALSE(equal(unnamed, Format::from_masks(32, 4, 0x00FF0000, 0x0000FF00, 0x000000FF, 0)));
  unnamed.model = MODEL_LAST;
  EXPECT_TRUE(valid(unnamed));
  unnamed.model = MODEL_GREY;
  EXPECT_FALSE(valid(unnamed));
  EXPECT_FALSE(valid(Format::from_masks(32, 4, 0, 0, 0, 0)));
  EXPECT_TRUE(valid(Format(FAKEMODE3A)));
  EXPECT_TRUE(valid(Format(GREY8)));
  EXPECT_FALSE(valid(Format()));
  EXPECT_FALSE(equal(Format(GREY8), Format(INDEX8)));
}

// Narrow channels widen so that their largest value is 255, as ImageMagick reads them (the TGA
// tests compare whole pictures), and packing cuts back to the same bits: every 16-bit pixel
// survives unpack and pack.
TEST(Format, UnpackWidensAndPackCutsBackToTheSamePixel) {
  Rgba c;
  const uint8_t white565[2] = {0xFF, 0xFF};
  ASSERT_TRUE(unpack(white565, Format(RGB565), MODEL_RGB, c));
  EXPECT_EQ(c.red, 255);
  EXPECT_EQ(c.green, 255);
  EXPECT_EQ(c.blue, 255);
  EXPECT_EQ(c.alpha, 0);
  EXPECT_FALSE(unpack(white565, Format(RGB565), MODEL_GREY, c));
  // 0x8000 | 4 << 10 | 13 << 5 | 31 in ARGB1555; 5 << 5 | 4 << 2 | 2 in RGB332.
  const uint8_t mixed1555[2] = {0xBF, 0x91}, mixed332[1] = {0xB2};
  ASSERT_TRUE(unpack(mixed1555, Format(ARGB1555), MODEL_RGB, c));
  EXPECT_EQ(c.red, 32);  // ImageMagick's reading of 4 of 31
  EXPECT_EQ(c.green, 106);
  EXPECT_EQ(c.blue, 255);
  EXPECT_EQ(c.alpha, 255);
  ASSERT_TRUE(unpack(mixed332, Format(RGB332), MODEL_RGB, c));
  EXPECT_EQ(c.red, 182);
  EXPECT_EQ(c.green, 145);
  EXPECT_EQ(c.blue, 170);

  for (int32_t id : {RGB565, BGR565, ARGB1555, ABGR1555, RGB332}) {
    const Format f(id);
    for (uint32_t v = 0; v < (1u << f.bits); ++v) {
      const uint8_t in[2] = {uint8_t(v), uint8_t(v >> 8)};
      uint8_t out[2] = {};
      ASSERT_TRUE(unpack(in, f, MODEL_RGB, c) && pack(c, f, MODEL_RGB, out));
      ASSERT_EQ(read_pixel(out, f.bytes), v) << id;
    }
  }

  const uint8_t argb[4] = {0x99, 0x66, 0x33, 0xFF};
  ASSERT_TRUE(unpack(argb, Format(ARGB8888), MODEL_RGB, c));
  EXPECT_EQ(c.red, 0x33);
  EXPECT_EQ(c.blue, 0x99);
  EXPECT_EQ(c.alpha, 0xFF);
  uint8_t out[2] = {};
  ASSERT_TRUE(pack(c, Format(ARGB1555), MODEL_RGB, out));
  EXPECT_EQ(read_pixel(out, 2), 0x8000u | 6u << 10 | 12u << 5 | 19u);
}

// An area one pixel wide, rows apart: each row converted on its own.
TEST(Convert, AreaConvertsRowByRow) {
  const uint32_t column[3] = {0xFF336699, 0x11111111, 0x00FF0000};
  uint16_t column565[4] = {1, 1, 1, 1};
  auto to565 = request_converter(Format(ARGB8888), Format(RGB565));
  ASSERT_TRUE(to565 && convert_area(*to565, ConvertArea{column, column565, 1, 2, 8, 4}, nullptr));
  EXPECT_EQ(column565[0], 0x3333u);
  EXPECT_EQ(column565[1], 1u);
  EXPECT_EQ(column565[2], 0xF800u);
  EXPECT_EQ(column565[3], 1u);

}

// The 8-bit values the RGB565 tables give (k5 x c and k6 x 8h, k6 x l for green = 8h + l, each
// truncated), worked out by hand: 31 becomes 254, one short of the exact 255.
constexpr uint8_t kExpanded5[32] = {0,   8,   16,  24,  32,  41,  49,  57,  65,  74,  82,
                                    90,  98,  106, 115, 123, 131, 139, 148, 156, 164, 172,
                                    180, 189, 197, 205, 213, 222, 230, 238, 246, 254};
constexpr uint8_t kExpanded6High[8] = {0, 32, 64, 97, 129, 161, 194, 226};
constexpr uint8_t kExpanded6Low[8] = {0, 4, 8, 12, 16, 20, 24, 28};

// A channel's bits as an 8-bit value, by the masks the layout test checks: c x 255 / (2^n - 1).
uint32_t widened(uint32_t pixel, const Channel& channel) {
  const uint32_t max = uint32_t(channel.mask) >> channel.shift;
  return max ? ((pixel & uint32_t(channel.mask)) >> channel.shift) * 255 / max : 0;
}

// An 8-bit value cut to the destination channel's top bits and put in its place.
uint32_t placed(uint32_t value, const Channel& channel) {
  if (channel.mask == 0) return 0;
  const uint32_t max = uint32_t(channel.mask) >> channel.shift;
  uint32_t bits = 0;
  while (max >> bits) ++bits;
  return (value >> (8 - bits)) << channel.shift;
}

// The pixel every converter must produce, computed without the converters or unpack and pack: a
// copy between equal formats; else each channel widened to 8 bits (RGB565 sources into named
// destinations through the table values above) and cut to the destination's width. The 16-bit
// destinations of ARGB8888 and RGB565 get alpha 0, GREY8 is blue / 4 + green / 2 + red / 4.
uint32_t expected(const Format& s, const Format& d, uint32_t pixel) {
  if (equal(s, d)) return pixel;
  uint32_t r = widened(pixel, s.red), g = widened(pixel, s.green), b = widened(pixel, s.blue);
  uint32_t a = widened(pixel, s.alpha);
  if (s.id == RGB565 && d.id != 0) {
    r = kExpanded5[pixel >> 11 & 31];
    g = kExpanded6High[pixel >> 8 & 7] + kExpanded6Low[pixel >> 5 & 7];
    b = kExpanded5[pixel & 31];
  }
  if (d.id == GREY8) return b / 4 + g / 2 + r / 4;
  if ((s.id == ARGB8888 || s.id == RGB565) && d.bytes == 2) a = 0;
  return placed(r, d.red) | placed(g, d.green) | placed(b, d.blue) | placed(a, d.alpha);
}

std::vector<Format> direct_formats() {
  std::vector<Format> all;
  for (int32_t id = ARGB8888; id <= RGB332; ++id)
    if (Format(id).type == DIRECT) all.push_back(Format(id));
  // Unnamed 32-bit layouts take the shift-and-mask routine.
  all.push_back(Format::from_masks(32, 4, 0x3FC00000, 0x003FC000, 0x00003FC0, 0));
  all.push_back(Format::from_masks(32, 4, 0x0000FF00, 0xFF000000, 0x00FF0000, 0x000000FF));
  return all;
}

TEST(Convert, EveryPairGivesTheExpectedPixelsOnRandomRows) {
  std::mt19937 random(1234);
  std::vector<Format> sources = direct_formats();
  std::vector<Format> destinations = sources;
  destinations.push_back(Format(GREY8));
  for (const Format& s : sources) {
    for (const Format& d : destinations) {
      if (d.id == GREY8 && s.id != ARGB8888 && s.id != RGB565) continue;
      auto c = request_converter(s, d);
      ASSERT_TRUE(c) << s.id << " -> " << d.id;
      // Odd lengths and offsets reach every head, body and tail of the row routines, vector
      // bodies included.
      for (int32_t count : {1, 3, 7, 16, 17, 33, 64, 250}) {
        for (int offset : {0, 1, 3}) {
          std::vector<uint8_t> in(size_t(count) * s.bytes + 8), out(size_t(count) * d.bytes + 8, 0xEE);
          for (auto& b : in) b = uint8_t(random());
          ASSERT_TRUE(convert_row(*c, in.data() + offset, out.data() + offset, count, nullptr));
          for (int32_t i = 0; i < count; ++i) {
            const uint32_t pixel = read_pixel(in.data() + offset + i * s.bytes, s.bytes);
            ASSERT_EQ(read_pixel(out.data() + offset + i * d.bytes, d.bytes), expected(s, d, pixel))
                << "pair " << s.id << " -> " << d.id << " count " << count << " pixel " << i;
          }
          EXPECT_EQ(out[offset + count * d.bytes], 0xEE) << "wrote past the row";
        }
      }
    }
  }
}

TEST(Convert, LookupsAndShiftRoutinesAreSharedPerPair) {
  const Format custom = Format::from_masks(32, 4, 0x0000FF00, 0x00FF0000, 0xFF000000, 0);
  auto a = request_converter(custom, Format(RGB565));
  auto b = request_converter(custom, Format(RGB565));
  ASSERT_TRUE(a && b && a->row);
  EXPECT_EQ(a->data, b->data);
  EXPECT_NE(a.get(), b.get());  // every request is a converter of its own

  // Indexed sources look every byte up in the table they are given, of the destination's size.
  const uint8_t index[4] = {0, 2, 1, 2};
  const uint8_t table24[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  uint8_t out[12] = {};
  auto lookup = request_converter(Format(INDEX8), Format(BGR888));
  ASSERT_TRUE(lookup && lookup->needs_lookup);
  ASSERT_TRUE(convert_row(*lookup, index, out, 4, table24));
  const uint8_t expected[12] = {1, 2, 3, 7, 8, 9, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(std::memcmp(out, expected, 12), 0);
}

TEST(Convert, ImpossiblePairsFailAndLeaveTheDestination) {
  for (int32_t fake = FAKEMODE1A; fake <= FAKEMODE3C; ++fake) {
    EXPECT_FALSE(request_converter(Format(ARGB8888), Format(fake))) << fake;
    EXPECT_FALSE(request_converter(Format(fake), Format(fake))) << fake;
  }
  EXPECT_FALSE(request_converter(Format(), Format(ARGB8888)));

  uint8_t in[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  uint8_t out[16];
  std::memset(out, 0x5A, sizeof out);
  ConvertArea area{in, out, 2, 2, 8, 8};
  for (auto pair : {std::make_pair(ARGB8888, INDEX8), std::make_pair(INDEX8, ARGB8888),
                    std::make_pair(RGB888, GREY8)}) {
    auto c = request_converter(Format(pair.first), Format(pair.second));
    ASSERT_TRUE(c);
    EXPECT_FALSE(convert_row(*c, in, out, 2, nullptr)) << pair.first << " -> " << pair.second;
    EXPECT_FALSE(convert_area(*c, area, nullptr)) << pair.first << " -> " << pair.second;
    for (uint8_t b : out) ASSERT_EQ(b, 0x5A);
  }
}

}  // namespace
}  // namespace display
