// Palette entries and their tables in other formats.
#include "display/palette.h"

#include "display/convert.h"

namespace display {

uint32_t* Palette::lock() {
  ++locks_;
  return entries_;
}

void Palette::unlock() {
  if (locks_ > 0 && --locks_ == 0) tables_.clear();
}

const void* Palette::table(const Format& format) {
  const Format argb(ARGB8888);
  if (equal(format, argb)) return entries_;
  for (const Table& t : tables_)
    if (equal(t.format, format) && t.format.bytes == format.bytes) return t.pixels.data();
  const auto converter = request_converter(argb, format);
  if (!converter || format.bytes < 1) return nullptr;
  Table t{format, std::vector<uint8_t>(static_cast<size_t>(kEntries) * format.bytes)};
  if (!convert_row(*converter, entries_, t.pixels.data(), kEntries, nullptr)) return nullptr;
  tables_.push_back(std::move(t));
  return tables_.back().pixels.data();
}

}  // namespace display
