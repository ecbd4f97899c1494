// Built-in row routines of the converters, looked up by destination; private to the display layer
// and its tests.
#pragma once

#include <cstdint>

#include "display/convert.h"

namespace display {
namespace rows {

// Routine from an ARGB8888 source to a named destination id, or null when there is none.
// Channels are cut by dropping low bits; alpha reaches only 32-bit destinations (the 1555 formats
// get alpha 0); GREY8 is blue / 4 + green / 2 + red / 4, each quotient truncated.
RowRoutine from_argb8888(int32_t destination_id);
// The portable version of the same routine, for comparison with the vector one.
RowRoutine from_argb8888_scalar(int32_t destination_id);

// Routine from an RGB565 source, and the data it needs (rgb565_tables()).
RowRoutine from_rgb565(int32_t destination_id);

// An RGB565 pixel in a 32-bit destination layout is low[p & 0xFF] + high[p >> 8]. The entries
// expand 5- and 6-bit channels by the single-precision factors k5 and k6, each product truncated
// on its own; the green bits are split across both bytes, so each table holds a partial green.
struct Rgb565Tables {
  uint32_t low[256];
  uint32_t high[256];
};
// The tables for a 32-bit destination id; for any other destination, the ARGB8888 tables, through
// which the routine expands before cutting to the destination.
const Rgb565Tables* rgb565_tables(int32_t destination_id);

// k5 = 8.225806f (0x41039CE7) and k6 = 4.047619f (0x40818618): the floats nearest 255/31 and
// 255/63, both slightly below, so a full channel expands to 254 rather than 255.
constexpr float kExpand5 = 0x1.0739CEp+3f;
constexpr float kExpand6 = 0x1.030C30p+2f;

// Table lookup for an indexed source into a destination of `bytes` bytes per pixel (1-4).
RowRoutine lookup(int32_t bytes);

// The routine made for another 4-byte source: each channel is masked, moved by the difference
// of the two channels' top bits, and masked to its destination place.
struct ChannelMove {
  int32_t left = 0;  // negative moves right
  uint32_t source_mask = 0;
  uint32_t destination_mask = 0;
};
struct ShiftRoutine {
  ChannelMove channel[4];
};
ShiftRoutine make_shift_routine(const Format& source, const Format& destination);
// Runs a ShiftRoutine (the data) into a destination of `bytes` bytes per pixel (1-4).
RowRoutine shift_row(int32_t bytes);

}  // namespace rows
}  // namespace display
