// Row routines: ARGB8888 and RGB565 sources, palette lookups and the shift-and-mask routine made
// for other 4-byte sources. Each is one plain loop over a per-pixel function, chosen per copy from
// a table indexed by destination id, never per pixel.
#include "display/convert_rows.h"

#include <cstring>

namespace display {
namespace rows {
namespace {

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixels are stored little-endian");
#endif

uint32_t load(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  std::memcpy(&v, p, bytes);
  return v;
}

template <int kBytes>
void store(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, kBytes);
}

// ARGB8888 pixel a8 r8 g8 b8 (bits 31..0) into each destination layout.
uint32_t to_abgr8888(uint32_t p) { return (p & 0xFF00FF00) | ((p >> 16) & 0xFF) | ((p & 0xFF) << 16); }
uint32_t to_bgra8888(uint32_t p) {
  return (p >> 24) | ((p >> 8) & 0x0000FF00) | ((p << 8) & 0x00FF0000) | (p << 24);
}
uint32_t to_rgba8888(uint32_t p) { return (p << 8) | (p >> 24); }
uint32_t to_rgb888(uint32_t p) { return p & 0x00FFFFFF; }
uint32_t to_bgr888(uint32_t p) { return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16); }
uint32_t to_rgb565(uint32_t p) { return ((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F); }
uint32_t to_bgr565(uint32_t p) { return ((p >> 19) & 0x001F) | ((p >> 5) & 0x07E0) | ((p << 8) & 0xF800); }
uint32_t to_argb1555(uint32_t p) { return ((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F); }
uint32_t to_abgr1555(uint32_t p) { return ((p >> 19) & 0x001F) | ((p >> 6) & 0x03E0) | ((p << 7) & 0x7C00); }
uint32_t to_grey8(uint32_t p) { return ((p & 0xFF) >> 2) + (((p >> 8) & 0xFF) >> 1) + (((p >> 16) & 0xFF) >> 2); }
uint32_t to_rgb332(uint32_t p) { return ((p >> 16) & 0xE0) | ((p >> 11) & 0x1C) | ((p >> 6) & 0x03); }

template <uint32_t (*Pixel)(uint32_t), int kBytes>
void argb_row(const uint8_t* s, uint8_t* d, int32_t count, const void*) {
  for (int32_t i = 0; i < count; ++i) store<kBytes>(d + i * kBytes, Pixel(load(s + 4 * i, 4)));
}

// The same routines behind an RGB565 source: expand through the ARGB8888 tables, then cut.
template <uint32_t (*Pixel)(uint32_t), int kBytes>
void rgb565_row(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  const Rgb565Tables& t = *static_cast<const Rgb565Tables*>(data);
  for (int32_t i = 0; i < count; ++i)
    store<kBytes>(d + i * kBytes, Pixel(t.low[s[2 * i]] + t.high[s[2 * i + 1]]));
}

void rgb565_row_32(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  const Rgb565Tables& t = *static_cast<const Rgb565Tables*>(data);
  for (int32_t i = 0; i < count; ++i) store<4>(d + 4 * i, t.low[s[2 * i]] + t.high[s[2 * i + 1]]);
}

template <int kBytes>
void lookup_row(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  const uint8_t* table = static_cast<const uint8_t*>(data);
  for (int32_t i = 0; i < count; ++i) std::memcpy(d + i * kBytes, table + s[i] * kBytes, kBytes);
}

uint32_t move(uint32_t v, const ChannelMove& c) {
  v &= c.source_mask;
  return (c.left >= 0 ? v << c.left : v >> -c.left) & c.destination_mask;
}

template <int kBytes>
void shift_row_n(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  const ShiftRoutine& r = *static_cast<const ShiftRoutine*>(data);
  const ChannelMove c0 = r.channel[0], c1 = r.channel[1], c2 = r.channel[2], c3 = r.channel[3];
  for (int32_t i = 0; i < count; ++i) {
    uint32_t v = load(s + 4 * i, 4);
    store<kBytes>(d + i * kBytes, move(v, c0) | move(v, c1) | move(v, c2) | move(v, c3));
  }
}

constexpr int kIds = FORMAT_ID_COUNT;

struct RoutineTable {
  RowRoutine entry[kIds] = {};
  constexpr void set(int32_t id, RowRoutine r) { entry[id - FORMAT_ID_FIRST] = r; }
};

constexpr RoutineTable argb_table() {
  RoutineTable t;
  t.set(ABGR8888, argb_row<to_abgr8888, 4>);
  t.set(BGRA8888, argb_row<to_bgra8888, 4>);
  t.set(RGBA8888, argb_row<to_rgba8888, 4>);
  t.set(RGB888, argb_row<to_rgb888, 3>);
  t.set(BGR888, argb_row<to_bgr888, 3>);
  t.set(RGB565, argb_row<to_rgb565, 2>);
  t.set(BGR565, argb_row<to_bgr565, 2>);
  t.set(ARGB1555, argb_row<to_argb1555, 2>);
  t.set(ABGR1555, argb_row<to_abgr1555, 2>);
  t.set(GREY8, argb_row<to_grey8, 1>);
  t.set(RGB332, argb_row<to_rgb332, 1>);
  return t;
}

constexpr RoutineTable rgb565_table() {
  RoutineTable t;
  t.set(ARGB8888, rgb565_row_32);
  t.set(ABGR8888, rgb565_row_32);
  t.set(RGBA8888, rgb565_row_32);
  t.set(BGRA8888, rgb565_row_32);
  t.set(RGB888, rgb565_row<to_rgb888, 3>);
  t.set(BGR888, rgb565_row<to_bgr888, 3>);
  t.set(BGR565, rgb565_row<to_bgr565, 2>);
  t.set(ARGB1555, rgb565_row<to_argb1555, 2>);
  t.set(ABGR1555, rgb565_row<to_abgr1555, 2>);
  t.set(GREY8, rgb565_row<to_grey8, 1>);
  t.set(RGB332, rgb565_row<to_rgb332, 1>);
  return t;
}

constexpr RoutineTable kFromArgb = argb_table();
constexpr RoutineTable kFromRgb565 = rgb565_table();

RowRoutine entry(const RoutineTable& t, int32_t id) {
  return named_id(id) ? t.entry[id - FORMAT_ID_FIRST] : nullptr;
}

// The four 32-bit layouts the RGB565 tables are built for, in the order of Rgb565Set::layout.
constexpr int32_t kWide[4] = {ARGB8888, ABGR8888, RGBA8888, BGRA8888};

uint32_t expand(uint32_t value, float factor) {
  return static_cast<uint32_t>(static_cast<double>(value) * static_cast<double>(factor));
}

struct Rgb565Set {
  Rgb565Tables layout[4];
  Rgb565Set() {
    for (int k = 0; k < 4; ++k) {
      const Format f(kWide[k]);
      for (uint32_t i = 0; i < 256; ++i) {
        // Each product is truncated on its own. Two floats multiply exactly in double, as on the
        // x87 the factors were chosen for; a rounded float product would make 31 x k5 255.
        const uint32_t blue = expand(i & 31, kExpand5);
        const uint32_t green_low = expand((i & 0xE0) / 32, kExpand6);
        const uint32_t red = expand(i / 8, kExpand5);
        const uint32_t green_high = expand((i & 7) * 8, kExpand6);
        layout[k].low[i] = (blue << f.blue.shift) + (green_low << f.green.shift);
        layout[k].high[i] = (red << f.red.shift) + (green_high << f.green.shift);
      }
    }
  }
};

}  // namespace

RowRoutine from_argb8888_scalar(int32_t destination_id) { return entry(kFromArgb, destination_id); }

RowRoutine from_rgb565(int32_t destination_id) { return entry(kFromRgb565, destination_id); }

const Rgb565Tables* rgb565_tables(int32_t destination_id) {
  static const Rgb565Set set;
  for (int k = 0; k < 4; ++k)
    if (kWide[k] == destination_id) return &set.layout[k];
  return &set.layout[0];
}

RowRoutine lookup(int32_t bytes) {
  switch (bytes) {
    case 1: return lookup_row<1>;
    case 2: return lookup_row<2>;
    case 3: return lookup_row<3>;
    case 4: return lookup_row<4>;
    default: return nullptr;
  }
}

ShiftRoutine make_shift_routine(const Format& source, const Format& destination) {
  const Channel* from[4] = {&source.red, &source.green, &source.blue, &source.alpha};
  const Channel* to[4] = {&destination.red, &destination.green, &destination.blue, &destination.alpha};
  ShiftRoutine r;
  for (int k = 0; k < 4; ++k) {
    // A channel the source lacks stays 0.
    if (from[k]->mask == 0 || to[k]->mask == 0) continue;
    r.channel[k].left = (to[k]->shift + to[k]->size) - (from[k]->shift + from[k]->size);
    r.channel[k].source_mask = static_cast<uint32_t>(from[k]->mask);
    r.channel[k].destination_mask = static_cast<uint32_t>(to[k]->mask);
  }
  return r;
}

RowRoutine shift_row(int32_t bytes) {
  switch (bytes) {
    case 1: return shift_row_n<1>;
    case 2: return shift_row_n<2>;
    case 3: return shift_row_n<3>;
    case 4: return shift_row_n<4>;
    default: return nullptr;
  }
}

}  // namespace rows
}  // namespace display
