// Named formats, validity, equality and single-pixel unpack and pack.
#include "display/format.h"

#include <cstring>

namespace display {
namespace {

// Channel layout of one named format as shift/size pairs; masks are derived from them.
struct NamedFormat {
  int32_t id, type, model, bits, bytes;
  int8_t red[2], green[2], blue[2], alpha[2];
};

constexpr NamedFormat kNamed[] = {
    {ARGB8888, DIRECT, MODEL_RGB, 32, 4, {16, 8}, {8, 8}, {0, 8}, {24, 8}},
    {ABGR8888, DIRECT, MODEL_RGB, 32, 4, {0, 8}, {8, 8}, {16, 8}, {24, 8}},
    {BGRA8888, DIRECT, MODEL_RGB, 32, 4, {8, 8}, {16, 8}, {24, 8}, {0, 8}},
    {RGBA8888, DIRECT, MODEL_RGB, 32, 4, {24, 8}, {16, 8}, {8, 8}, {0, 8}},
    {RGB888, DIRECT, MODEL_RGB, 24, 3, {16, 8}, {8, 8}, {0, 8}, {0, 0}},
    {BGR888, DIRECT, MODEL_RGB, 24, 3, {0, 8}, {8, 8}, {16, 8}, {0, 0}},
    {RGB565, DIRECT, MODEL_RGB, 16, 2, {11, 5}, {5, 6}, {0, 5}, {0, 0}},
    {BGR565, DIRECT, MODEL_RGB, 16, 2, {0, 5}, {5, 6}, {11, 5}, {0, 0}},
    {ARGB1555, DIRECT, MODEL_RGB, 16, 2, {10, 5}, {5, 5}, {0, 5}, {15, 1}},
    {ABGR1555, DIRECT, MODEL_RGB, 16, 2, {0, 5}, {5, 5}, {10, 5}, {15, 1}},
    {INDEX8, INDEXED, 0, 8, 1, {}, {}, {}, {}},
    {FAKEMODE1A, FAKEMODE, 0, 18, 0, {}, {}, {}, {}},
    {FAKEMODE1B, FAKEMODE, 0, 18, 0, {}, {}, {}, {}},
    {FAKEMODE1C, FAKEMODE, 0, 18, 0, {}, {}, {}, {}},
    {FAKEMODE2A, FAKEMODE, 0, 14, 0, {}, {}, {}, {}},
    {FAKEMODE2B, FAKEMODE, 0, 14, 0, {}, {}, {}, {}},
    {FAKEMODE2C, FAKEMODE, 0, 14, 0, {}, {}, {}, {}},
    {FAKEMODE3A, FAKEMODE, 0, 12, 0, {}, {}, {}, {}},
    {FAKEMODE3B, FAKEMODE, 0, 12, 0, {}, {}, {}, {}},
    {FAKEMODE3C, FAKEMODE, 0, 12, 0, {}, {}, {}, {}},
    {GREY8, INDEXED, MODEL_GREY, 8, 1, {}, {}, {}, {}},
    {RGB332, DIRECT, MODEL_RGB, 8, 1, {5, 3}, {2, 3}, {0, 2}, {0, 0}},
};
static_assert(sizeof(kNamed) / sizeof(kNamed[0]) == RGB332 - ARGB8888 + 1, "one row per named id");

// The first name of each id comes first, so format_name() finds it.
struct FormatName {
  const char* name;
  int32_t id;
};
constexpr FormatName kNames[] = {
    {"ARGB8888", ARGB8888},     {"ABGR8888", ABGR8888},     {"BGRA8888", BGRA8888},
    {"RGBA8888", RGBA8888},     {"RGB888", RGB888},         {"BGR888", BGR888},
    {"RGB565", RGB565},         {"BGR565", BGR565},         {"ARGB1555", ARGB1555},
    {"RGB555", ARGB1555},       {"ABGR1555", ABGR1555},     {"BGR555", ABGR1555},
    {"INDEX8", INDEX8},         {"FAKEMODE1A", FAKEMODE1A}, {"FAKEMODE1", FAKEMODE1A},
    {"FAKEMODE1B", FAKEMODE1B}, {"FAKEMODE1C", FAKEMODE1C}, {"FAKEMODE2A", FAKEMODE2A},
    {"FAKEMODE2", FAKEMODE2A},  {"FAKEMODE2B", FAKEMODE2B}, {"FAKEMODE2C", FAKEMODE2C},
    {"FAKEMODE3A", FAKEMODE3A}, {"FAKEMODE3", FAKEMODE3A},  {"FAKEMODE3B", FAKEMODE3B},
    {"FAKEMODE3C", FAKEMODE3C}, {"GREY8", GREY8},           {"GRAY8", GREY8},
    {"RGB332", RGB332},
};

Channel make_channel(int32_t shift, int32_t size) {
  Channel c;
  c.shift = shift;
  c.size = size;
  if (size >= 1 && size <= 8) {
    c.mask = static_cast<int32_t>(((1u << size) - 1) << shift);
    c.down = shift - (8 - size);
  }
  return c;
}

Channel channel_from_mask(uint32_t mask) {
  if (mask == 0) return Channel{};
  int32_t shift = 0;
  while (!(mask & (1u << shift))) ++shift;
  int32_t size = 0;
  while (shift + size < 32 && (mask & (1u << (shift + size)))) ++size;
  return make_channel(shift, size);
}

bool same_channel(const Channel& a, const Channel& b) {
  return a.shift == b.shift && a.size == b.size && a.mask == b.mask && a.down == b.down;
}

bool equal_ignoring_case(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? *a - 32 : *a;
    char y = (*b >= 'a' && *b <= 'z') ? *b - 32 : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

uint32_t read_le(const uint8_t* p, int32_t bytes) {
  uint32_t v = 0;
  for (int32_t i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

// A channel narrower than 8 bits is widened so that its largest value becomes 255:
// c x 255 / (2^size - 1), truncated, as ImageMagick and stb_image read 16-bit pictures. Each value
// lands within the 8-bit values whose top bits are that value, so packing it again gives it back.
uint8_t unpack_channel(uint32_t v, const Channel& c) {
  if (c.mask == 0) return 0;
  const uint32_t value = (v & static_cast<uint32_t>(c.mask)) >> c.shift;
  if (c.size == 8) return static_cast<uint8_t>(value);
  return static_cast<uint8_t>(value * 255 / ((1u << c.size) - 1));
}

uint32_t pack_channel(uint8_t value, const Channel& c) {
  uint32_t v = c.down >= 0 ? static_cast<uint32_t>(value) << c.down : value >> -c.down;
  return v & static_cast<uint32_t>(c.mask);
}

}  // namespace

Format::Format(int32_t named) {
  for (const NamedFormat& n : kNamed) {
    if (n.id != named) continue;
    id = n.id;
    type = n.type;
    model = n.model;
    bits = n.bits;
    bytes = n.bytes;
    red = make_channel(n.red[0], n.red[1]);
    green = make_channel(n.green[0], n.green[1]);
    blue = make_channel(n.blue[0], n.blue[1]);
    alpha = make_channel(n.alpha[0], n.alpha[1]);
    return;
  }
}

Format::Format(const char* name) : Format(format_id(name)) {}

Format Format::from_masks(int32_t bits, int32_t bytes, uint32_t red_mask, uint32_t green_mask,
                          uint32_t blue_mask, uint32_t alpha_mask) {
  Format f;
  f.type = DIRECT;
  f.model = MODEL_RGB;
  f.bits = bits;
  f.bytes = bytes;
  f.red = channel_from_mask(red_mask);
  f.green = channel_from_mask(green_mask);
  f.blue = channel_from_mask(blue_mask);
  f.alpha = channel_from_mask(alpha_mask);
  return f;
}

int32_t format_id(const char* name) {
  if (!name) return 0;
  for (const FormatName& n : kNames)
    if (equal_ignoring_case(name, n.name)) return n.id;
  return 0;
}

const char* format_name(int32_t id) {
  for (const FormatName& n : kNames)
    if (n.id == id) return n.name;
  return nullptr;
}

bool valid(const Format& f) {
  if (named_id(f.id)) return true;
  switch (f.type) {
    case DIRECT:
      return f.model >= MODEL_RGB && f.model <= MODEL_LAST &&
             f.red.size + f.green.size + f.blue.size + f.alpha.size != 0 && f.bits != 0 &&
             f.bytes != 0;
    case INDEXED:
      return f.bits != 0 && f.bytes != 0;
    case FAKEMODE:
      return f.bits != 0;
    default:
      return false;
  }
}

bool equal(const Format& a, const Format& b) {
  if (named_id(a.id) && a.id == b.id) return true;
  return a.type == b.type && a.model == b.model && a.bits == b.bits && a.bytes == b.bytes &&
         same_channel(a.red, b.red) && same_channel(a.green, b.green) &&
         same_channel(a.blue, b.blue) && same_channel(a.alpha, b.alpha);
}

bool unpack(const void* pixel, const Format& f, int32_t model, Rgba& colour) {
  if (model != f.model || f.bytes < 1 || f.bytes > 4) return false;
  uint32_t v = read_le(static_cast<const uint8_t*>(pixel), f.bytes);
  colour.red = unpack_channel(v, f.red);
  colour.green = unpack_channel(v, f.green);
  colour.blue = unpack_channel(v, f.blue);
  colour.alpha = unpack_channel(v, f.alpha);
  return true;
}

bool pack(const Rgba& colour, const Format& f, int32_t model, void* pixel) {
  if (model != f.model || f.bytes < 1 || f.bytes > 4) return false;
  uint32_t v = pack_channel(colour.red, f.red) | pack_channel(colour.green, f.green) |
               pack_channel(colour.blue, f.blue) | pack_channel(colour.alpha, f.alpha);
  uint8_t* p = static_cast<uint8_t*>(pixel);
  for (int32_t i = 0; i < f.bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  return true;
}

}  // namespace display
