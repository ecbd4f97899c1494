// Conversion of pixel rows and areas between formats. Every surface copy, texture conversion and
// frame presentation goes through a converter chosen once per copy from the pair of formats.
#pragma once

#include <cstdint>
#include <memory>

#include "display/format.h"

namespace display {

// Converts `count` pixels from `source` to `destination`. `data` is the converter's own data, or
// for a lookup converter the 256-entry table of destination pixels (entries of the destination's
// byte size) that the source bytes index.
using RowRoutine = void (*)(const uint8_t* source, uint8_t* destination, int32_t count,
                            const void* data);

struct Converter {
  Format source;
  Format destination;
  bool needs_lookup = false;  // the source bytes index a table the caller supplies
  bool plain_copy = false;    // equal formats: rows are copied as bytes
  RowRoutine row = nullptr;   // null: pixel by pixel through unpack and pack
  const void* data = nullptr;
};

// One rectangle of pixels on each side; pitches are signed bytes from one row to the next.
struct ConvertArea {
  const void* source = nullptr;
  void* destination = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t source_pitch = 0;
  int32_t destination_pitch = 0;
};

// A converter for the pair, or null when either format is not valid or the destination is a fake
// mode. Built-in routines serve ARGB8888, RGB565, INDEX8 and GREY8 sources and equal formats; other
// 4-byte sources get a shift-and-mask routine made once per pair and kept; every other pair of
// direct formats converts pixel by pixel, and anything else fails when used.
std::unique_ptr<Converter> request_converter(const Format& source, const Format& destination);

// False when the pair cannot be converted or a lookup converter is given no table; the
// destination is then untouched.
bool convert_row(const Converter& converter, const void* source, void* destination, int32_t count,
                 const void* lookup);
bool convert_area(const Converter& converter, const ConvertArea& area, const void* lookup);

}  // namespace display
