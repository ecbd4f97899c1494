// Palettes of indexed surfaces: 256 ARGB8888 entries, shared between surfaces by reference, with
// the entries converted to each destination format kept for copies out of the surface.
#pragma once

#include <cstdint>
#include <vector>

#include "display/format.h"

namespace display {

class Palette {
 public:
  static constexpr int kEntries = 256;

  // Every entry 0.
  Palette() = default;
  Palette(const Palette&) = delete;
  Palette& operator=(const Palette&) = delete;

  // The entries for writing. Locks nest; the converted tables are rebuilt after the last unlock.
  uint32_t* lock();
  void unlock();
  const uint32_t* entries() const { return entries_; }

  // The entries as 256 pixels of `format`, each of its byte size, for a lookup copy out of an
  // indexed surface; the ARGB8888 table is the entries themselves. Built once per format and kept;
  // null when the entries cannot be converted to that format.
  const void* table(const Format& format);

 private:
  struct Table {
    Format format;
    std::vector<uint8_t> pixels;
  };
  uint32_t entries_[kEntries] = {};
  int32_t locks_ = 0;
  std::vector<Table> tables_;
};

}  // namespace display
