// Choosing a converter for a pair of formats and running it over rows and areas.
#include "display/convert.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "display/convert_rows.h"

namespace display {
namespace {

// Shift-and-mask routines made for other 4-byte sources, one per pair, kept for the life of the
// process so converters can point at them without owning them.
struct ShiftEntry {
  Format source, destination;
  rows::ShiftRoutine routine;
};

const rows::ShiftRoutine* cached_shift_routine(const Format& source, const Format& destination) {
  static std::mutex lock;
  static std::vector<std::unique_ptr<ShiftEntry>> made;
  std::lock_guard<std::mutex> hold(lock);
  for (const auto& e : made)
    if (equal(e->source, source) && equal(e->destination, destination)) return &e->routine;
  made.push_back(std::unique_ptr<ShiftEntry>(
      new ShiftEntry{source, destination, rows::make_shift_routine(source, destination)}));
  return &made.back()->routine;
}

// The built-in routine of the prepared tables for a named destination, if any.
bool choose_prepared(Converter& c) {
  const int32_t to = c.destination.id;
  switch (c.source.id) {
    case ARGB8888:
      c.row = rows::from_argb8888(to);
      break;
    case RGB565:
      c.row = rows::from_rgb565(to);
      c.data = rows::rgb565_tables(to);
      break;
    case INDEX8:
    case GREY8:
      c.row = rows::lookup(c.destination.bytes);
      c.needs_lookup = true;
      break;
    default:
      break;
  }
  if (!c.row) {
    c.data = nullptr;
    c.needs_lookup = false;
  }
  return c.row != nullptr;
}

// Whether convert_row can run this converter at all, checked before any pixel is written.
bool runnable(const Converter& c, const void* lookup) {
  if (c.plain_copy) return true;
  if (c.row) return !c.needs_lookup || lookup;
  return c.source.type == DIRECT && c.destination.type == DIRECT && c.source.model == MODEL_RGB &&
         c.destination.model == MODEL_RGB && c.source.bytes >= 1 && c.source.bytes <= 4 &&
         c.destination.bytes >= 1 && c.destination.bytes <= 4;
}

void run_row(const Converter& c, const uint8_t* s, uint8_t* d, int32_t count, const void* lookup) {
  if (c.plain_copy) {
    std::memmove(d, s, static_cast<size_t>(count) * c.source.bytes);
  } else if (c.row) {
    c.row(s, d, count, c.needs_lookup ? lookup : c.data);
  } else {
    Rgba colour;
    for (int32_t i = 0; i < count; ++i) {
      unpack(s + i * c.source.bytes, c.source, MODEL_RGB, colour);
      pack(colour, c.destination, MODEL_RGB, d + i * c.destination.bytes);
    }
  }
}

}  // namespace

std::unique_ptr<Converter> request_converter(const Format& source, const Format& destination) {
  if (!valid(source) || !valid(destination) || destination.type == FAKEMODE) return nullptr;
  auto c = std::make_unique<Converter>();
  c->source = source;
  c->destination = destination;
  if (named_id(destination.id) && source.id == destination.id) {
    c->plain_copy = true;
    return c;
  }
  if (named_id(destination.id) && choose_prepared(*c)) return c;
  if (equal(source, destination)) {
    c->plain_copy = true;
  } else if (source.type == INDEXED && source.bytes == 1) {
    c->row = rows::lookup(destination.bytes);
    c->needs_lookup = c->row != nullptr;
  } else if (source.type == DIRECT && destination.type == DIRECT && source.bytes == 4 &&
             source.model == destination.model) {
    c->row = rows::shift_row(destination.bytes);
    if (c->row) c->data = cached_shift_routine(source, destination);
  }
  return c;
}

bool convert_row(const Converter& c, const void* source, void* destination, int32_t count,
                 const void* lookup) {
  if (!runnable(c, lookup)) return false;
  if (count > 0)
    run_row(c, static_cast<const uint8_t*>(source), static_cast<uint8_t*>(destination), count, lookup);
  return true;
}

bool convert_area(const Converter& c, const ConvertArea& area, const void* lookup) {
  if (!runnable(c, lookup)) return false;
  if (area.width <= 0) return true;
  const uint8_t* s = static_cast<const uint8_t*>(area.source);
  uint8_t* d = static_cast<uint8_t*>(area.destination);
  // Rows that follow each other without a gap on both sides are one long row.
  const int64_t pixels = int64_t{area.width} * area.height;
  if (area.source_pitch == area.width * c.source.bytes &&
      area.destination_pitch == area.width * c.destination.bytes && pixels <= INT32_MAX) {
    run_row(c, s, d, static_cast<int32_t>(pixels), lookup);
    return true;
  }
  for (int32_t y = 0; y < area.height; ++y, s += area.source_pitch, d += area.destination_pitch)
    run_row(c, s, d, area.width, lookup);
  return true;
}

}  // namespace display
