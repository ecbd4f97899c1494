// Loading TGA pictures from archive members into surfaces: uncompressed true colour (type 2) of 16,
// 24 or 32 bits, and 8-bit colour-mapped pictures (type 1) with maps of 16-, 24- or 32-bit entries.
// The whole file is checked before the surface is made, so a refused file allocates nothing.
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "display/convert.h"
#include "display/surface.h"

namespace display {
namespace {

// The 18-byte file header; multi-byte fields little-endian.
struct TgaHeader {
  uint8_t id_length;       // bytes of image id after the header; skipped
  uint8_t map_type;        // 1: a colour map follows the id
  uint8_t image_type;      // 1 colour-mapped, 2 true colour; compressed (9-11) and grey (3) refused
  uint16_t map_first;      // palette index of the first map entry
  uint16_t map_length;     // map entries; first + length at most 256
  uint8_t map_entry_bits;  // 16, 24 or 32
  uint16_t x_origin;       // not used
  uint16_t y_origin;       // not used
  uint16_t width;
  uint16_t height;
  uint8_t depth;           // bits per pixel: 8 (indices), 16, 24 or 32
  uint8_t descriptor;      // bits 0-3 alpha depth, kRightToLeft, kTopFirst
};
constexpr int kHeaderSize = 18;
constexpr uint8_t kRightToLeft = 0x10;  // the first pixel of a row is its rightmost
constexpr uint8_t kTopFirst = 0x20;     // the first row is the top; clear for bottom row first
constexpr uint8_t kColourMapped = 1;
constexpr uint8_t kTrueColour = 2;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

TgaHeader parse(const uint8_t* b) {
  TgaHeader h;
  h.id_length = b[0];
  h.map_type = b[1];
  h.image_type = b[2];
  h.map_first = le16(b + 3);
  h.map_length = le16(b + 5);
  h.map_entry_bits = b[7];
  h.x_origin = le16(b + 8);
  h.y_origin = le16(b + 10);
  h.width = le16(b + 12);
  h.height = le16(b + 14);
  h.depth = b[16];
  h.descriptor = b[17];
  return h;
}

// Pixels and map entries of 16, 24 and 32 bits are ARGB1555, RGB888 and ARGB8888 in the file's
// byte order; 8-bit pixels are palette indices. Any other depth is not valid.
Format format_of_depth(int depth, bool indices_allowed) {
  switch (depth) {
    case 8: return indices_allowed ? Format(INDEX8) : Format();
    case 16: return Format(ARGB1555);
    case 24: return Format(RGB888);
    case 32: return Format(ARGB8888);
    default: return Format();
  }
}

// One member opened for reading. The archive has a single file position, so every read seeks
// first, by the full member name.
class MemberReader {
 public:
  MemberReader(archive::DataArchive& archive, std::string name)
      : archive_(archive), name_(std::move(name)), size_(archive.member_size(name_.c_str())) {}
  int64_t size() const { return size_; }
  bool read_at(int64_t offset, void* buffer, uint32_t count) {
    if (size_ < 0 || offset < 0 || offset + count > size_) return false;
    return archive_.seek_member(name_.c_str(), static_cast<int32_t>(offset), 0) >= 0 &&
           archive_.read(buffer, count) == static_cast<int32_t>(count);
  }

 private:
  archive::DataArchive& archive_;
  std::string name_;
  int64_t size_;
};

// What the header says, once it has been found consistent with the member's size.
struct Picture {
  TgaHeader header;
  Format format;
  int64_t map_offset;
  int64_t map_bytes;
  int64_t pixel_offset;
  int64_t row_bytes;
};

bool check(const TgaHeader& h, int64_t member_size, Picture& p) {
  p.header = h;
  if (h.image_type == kColourMapped) {
    if (h.map_type != 1 || h.depth != 8 || h.map_length == 0 || h.map_first + h.map_length > 256 ||
        !valid(format_of_depth(h.map_entry_bits, false)))
      return false;
  } else if (h.image_type == kTrueColour) {
    if (h.map_type != 0) return false;
  } else {
    return false;
  }
  p.format = format_of_depth(h.depth, h.image_type == kColourMapped);
  if (!valid(p.format) || h.width == 0 || h.height == 0) return false;
  p.map_offset = kHeaderSize + h.id_length;
  p.map_bytes = h.map_type ? int64_t{h.map_length} * (h.map_entry_bits / 8) : 0;
  p.pixel_offset = p.map_offset + p.map_bytes;
  p.row_bytes = int64_t{h.width} * p.format.bytes;
  return p.pixel_offset + p.row_bytes * h.height <= member_size;
}

// Reverses the order of the pixels of one row in place.
void mirror(uint8_t* row, int32_t width, int32_t bytes) {
  uint8_t t[4];
  for (int32_t l = 0, r = width - 1; l < r; ++l, --r) {
    std::memcpy(t, row + l * bytes, bytes);
    std::memcpy(row + l * bytes, row + r * bytes, bytes);
    std::memcpy(row + r * bytes, t, bytes);
  }
}

// Rows go to their place in the picture whatever the surface's row order: the lock address is the
// top row and the pitch is signed.
bool read_pixels(MemberReader& in, const Picture& p, uint8_t* top, int32_t pitch) {
  const TgaHeader& h = p.header;
  for (int32_t r = 0; r < h.height; ++r) {
    const int32_t y = (h.descriptor & kTopFirst) ? r : h.height - 1 - r;
    uint8_t* row = top + static_cast<ptrdiff_t>(y) * pitch;
    if (!in.read_at(p.pixel_offset + r * p.row_bytes, row, static_cast<uint32_t>(p.row_bytes)))
      return false;
    if (h.descriptor & kRightToLeft) mirror(row, h.width, p.format.bytes);
  }
  return true;
}

// Map entry i goes to palette entry first + i; the other entries stay 0.
std::shared_ptr<Palette> read_map(MemberReader& in, const Picture& p) {
  const TgaHeader& h = p.header;
  std::vector<uint8_t> map(static_cast<size_t>(p.map_bytes));
  if (!in.read_at(p.map_offset, map.data(), static_cast<uint32_t>(map.size()))) return nullptr;
  const auto converter = request_converter(format_of_depth(h.map_entry_bits, false), Format(ARGB8888));
  auto palette = std::make_shared<Palette>();
  const bool converted = converter && convert_row(*converter, map.data(), palette->lock() + h.map_first,
                                                  h.map_length, nullptr);
  palette->unlock();
  return converted ? palette : nullptr;
}

}  // namespace

Surface::Surface(SurfaceHost* console, const char* filename, int32_t memory, int32_t order,
                 int32_t gap, int32_t layout)
    : Surface(console, archive::library_archive(), filename, memory, order, gap, layout) {}

Surface::Surface(SurfaceHost* console, archive::DataArchive& archive, const char* filename,
                 int32_t memory, int32_t order, int32_t gap, int32_t layout) {
  load(console ? console : &memory_host(), archive, filename,
       SurfaceParams{0, 0, Format(), memory, order, gap, layout});
}

bool Surface::load(SurfaceHost* console, archive::DataArchive& archive, const char* filename,
                   const SurfaceParams& request) {
  reset();
  if ((request.gap != 0 && request.gap != -1) || (request.layout != -1 && request.layout != LAYOUT_DEFAULT) ||
      !filename)
    return false;
  MemberReader in(archive, filename);
  uint8_t header[kHeaderSize];
  Picture picture;
  if (!in.read_at(0, header, kHeaderSize) || !check(parse(header), in.size(), picture)) return false;

  SurfaceParams params = request;
  params.width = picture.header.width;
  params.height = picture.header.height;
  params.format = picture.format;
  if (!create(console, params)) return false;
  uint8_t* top = static_cast<uint8_t*>(lock(1));
  bool read = top && read_pixels(in, picture, top, pitch_);
  if (top) unlock();
  if (read && picture.header.image_type == kColourMapped) read = palette(read_map(in, picture));
  if (!read) {
    reset();
    return false;
  }
  return true;
}

}  // namespace display
