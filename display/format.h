// Pixel formats: the Format record that describes every surface, palette table and display mode,
// the named formats, and single-pixel unpack and pack.
#pragma once

#include <cstdint>

namespace display {

// Format types.
constexpr int32_t DIRECT = 1225;
constexpr int32_t INDEXED = 1226;
constexpr int32_t FAKEMODE = 1227;

// Colour models: every named direct format uses MODEL_RGB; MODEL_RGB..MODEL_LAST are accepted as
// direct models; MODEL_GREY marks GREY8 (an indexed format with a grey-ramp palette).
constexpr int32_t MODEL_RGB = 1325;
constexpr int32_t MODEL_LAST = 1332;
constexpr int32_t MODEL_GREY = 1333;

// Named format ids. Ids up to FORMAT_ID_LAST are reserved for named formats: a record carrying one
// is valid, and two records carrying the same one are equal.
enum FormatId : int32_t {
  ARGB8888 = 1000,
  ABGR8888 = 1001,
  BGRA8888 = 1002,
  RGBA8888 = 1003,
  RGB888 = 1004,
  BGR888 = 1005,
  RGB565 = 1006,
  BGR565 = 1007,
  ARGB1555 = 1008,
  ABGR1555 = 1009,
  INDEX8 = 1010,
  FAKEMODE1A = 1011,
  FAKEMODE1B = 1012,
  FAKEMODE1C = 1013,
  FAKEMODE2A = 1014,
  FAKEMODE2B = 1015,
  FAKEMODE2C = 1016,
  FAKEMODE3A = 1017,
  FAKEMODE3B = 1018,
  FAKEMODE3C = 1019,
  GREY8 = 1020,
  RGB332 = 1021,
};
constexpr int32_t FORMAT_ID_FIRST = 1000;
constexpr int32_t FORMAT_ID_LAST = 1025;
constexpr int32_t FORMAT_ID_COUNT = FORMAT_ID_LAST - FORMAT_ID_FIRST + 1;
constexpr bool named_id(int32_t id) { return id >= FORMAT_ID_FIRST && id <= FORMAT_ID_LAST; }

// One colour channel of a pixel. mask and down are derived from shift and size: the channel's bits
// in the pixel, and how far they lie above the top of an 8-bit value (shift - (8 - size); negative
// means below). Channels wider than 8 bits, or absent, have mask 0 and down 0.
struct Channel {
  int32_t shift = 0;
  int32_t size = 0;
  int32_t mask = 0;
  int32_t down = 0;
};

// A pixel format, copied by value: 21 signed 32-bit fields. A pixel of `bytes` bytes is read and
// written as a little-endian integer, so ARGB8888 stores blue, green, red, alpha at increasing
// addresses.
struct Format {
  int32_t id = 0;  // a named id, or 0 for a format described only by its fields
  int32_t type = 0;
  int32_t model = 0;
  int32_t bits = 0;   // as the format counts them (24 for RGB888, 18/14/12 for fake modes)
  int32_t bytes = 0;  // in memory, 1-4 (0 for fake modes)
  Channel red, green, blue, alpha;

  Format() = default;
  // A named format. An unknown id or name leaves every field zero, which is not valid().
  explicit Format(int32_t named_id);
  explicit Format(const char* name);

  // A direct format of id 0 described by its channel masks (contiguous runs of bits), as a display
  // reports it; shifts and sizes are derived from the masks.
  static Format from_masks(int32_t bits, int32_t bytes, uint32_t red_mask, uint32_t green_mask,
                           uint32_t blue_mask, uint32_t alpha_mask);
};
static_assert(sizeof(Format) == 21 * sizeof(int32_t), "Format is 21 packed 32-bit fields");

bool valid(const Format& format);
// Same named id, or (without one) the same type, model, bits, bytes and channels.
bool equal(const Format& a, const Format& b);

// The id of a format name, compared without regard to ASCII case ("RGB555" and "ARGB1555" give
// ARGB1555, "GRAY8" and "GREY8" give GREY8, "FAKEMODE1" is FAKEMODE1A); 0 for an unknown name.
int32_t format_id(const char* name);
// The first name of a named id, or null.
const char* format_name(int32_t id);

struct Rgba {
  uint8_t red = 0, green = 0, blue = 0, alpha = 0;
};

// One pixel at `pixel` as 8-bit channels. Channels narrower than 8 bits are widened to 0 ... 255
// (c x 255 / (2^size - 1), truncated), so RGB565 white reads as 255, 255, 255 and a set 1-bit
// alpha as 255; packing the result gives the pixel back.
// False (and nothing read) when `model` is not the format's model or a pixel is not 1-4 bytes.
bool unpack(const void* pixel, const Format& format, int32_t model, Rgba& colour);
// Writes one pixel, each channel cut to its width by dropping low bits. False when `model` is not
// the format's model.
bool pack(const Rgba& colour, const Format& format, int32_t model, void* pixel);

}  // namespace display
