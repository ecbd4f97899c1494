// Surfaces: rectangles of pixels in one Format, made in plain memory or by a console, with locking,
// copies that convert between formats, re-formatting in place, presentation and palettes.
#pragma once

#include <cstdint>
#include <memory>

#include "display/format.h"
#include "display/palette.h"

namespace archive {
class DataArchive;
}

namespace display {

// Memory kinds: plain memory is the only kind memory surfaces have; a request for MEMORY_ANY is
// met by plain or video memory.
constexpr int32_t MEMORY_SYSTEM = 30;
constexpr int32_t MEMORY_VIDEO = 31;
constexpr int32_t MEMORY_ANY = 33;
// Row orders: the picture's top row at the lowest address, or at the highest.
constexpr int32_t TOP_DOWN = 20;
constexpr int32_t BOTTOM_UP = 21;
constexpr int32_t LAYOUT_DEFAULT = 10;

// Pixels, right and bottom exclusive.
struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// What a surface is made with. In a request, -1 leaves the value to the maker.
struct SurfaceParams {
  int32_t width = 0;
  int32_t height = 0;
  Format format;
  int32_t memory = -1;
  int32_t order = -1;
  int32_t gap = -1;  // extra bytes at the end of every row
  int32_t layout = -1;
};

class Surface;

// The pixel store of a surface.
class SurfaceImpl {
 public:
  virtual ~SurfaceImpl() = default;
  // The address of the picture's top row, or null. Locks nest.
  virtual void* lock(int32_t flag) = 0;
  virtual void unlock() = 0;
  // Copies between two surfaces, one of which is this store's. copy is only asked for surfaces of
  // the same size, row order and no row gap; copy_area gets a clipped `area` of the source to place
  // at (x, y) in the destination. False when this store cannot do it (the other side is asked) or
  // the formats cannot be converted. `lookup` is the source palette's table in the destination
  // format for an indexed source.
  virtual bool copy(Surface& source, Surface& destination, const void* lookup) = 0;
  virtual bool copy_area(Surface& source, const Rect& area, Surface& destination, int32_t x,
                         int32_t y, const void* lookup) = 0;
  virtual bool ok() const = 0;
  // What was made: every -1 of the request filled in.
  virtual const SurfaceParams& params() const = 0;
};

// A store in plain memory, cleared to zero: memory kind 30 (or 33, or -1), row order 20, 21 or -1
// (top-down), row gap -1 (0) or more, layout 10 or -1, a valid format. Null for any other request
// or when the size is zero or too large.
std::unique_ptr<SurfaceImpl> make_memory_surface(const SurfaceParams& request);

// What a console offers the surfaces made on it; a console's back end implements it. The defaults
// are those of plain memory with no display: memory_host() is that host.
class SurfaceHost {
 public:
  virtual ~SurfaceHost() = default;
  virtual std::unique_ptr<SurfaceImpl> create_surface(const SurfaceParams& request) {
    return make_memory_surface(request);
  }
  // A surface made on this host is attached on creation and detached when it is destroyed or
  // re-created elsewhere.
  virtual void attach_surface(Surface&) {}
  virtual void detach_surface(Surface&) {}
  // The surface that represents the display, or null.
  virtual Surface* primary() { return nullptr; }
  // Called by Surface::update after an area of the primary surface was written: show it.
  virtual bool present(const Rect&) { return true; }
  // Reads the display palette, for surfaces linked to the console.
  virtual bool get_palette(Palette&) { return false; }
};
SurfaceHost& memory_host();

// A surface handle. An empty handle (failed creation) is not ok() and every operation on it fails.
// Not copyable or movable: hosts keep the addresses of their surfaces.
class Surface {
 public:
  Surface() = default;
  // On a console (null fails), or in plain memory.
  Surface(SurfaceHost* console, int32_t width, int32_t height, const Format& format,
          int32_t memory = -1, int32_t order = -1, int32_t gap = -1, int32_t layout = -1);
  Surface(int32_t width, int32_t height, const Format& format, int32_t memory = -1,
          int32_t order = -1, int32_t gap = -1, int32_t layout = -1);
  // By loading an uncompressed TGA picture (true colour of 16, 24 or 32 bits, or 8-bit indices
  // with a palette) from an archive member, by default of the library's archive; the console may
  // be null for plain memory. The row gap must be 0 or -1 and the layout 10 or -1. A picture that
  // cannot be read leaves the surface empty.
  Surface(SurfaceHost* console, const char* filename, int32_t memory = -1, int32_t order = -1,
          int32_t gap = -1, int32_t layout = -1);
  Surface(SurfaceHost* console, archive::DataArchive& archive, const char* filename,
          int32_t memory = -1, int32_t order = -1, int32_t gap = -1, int32_t layout = -1);
  ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  bool ok() const;
  // The address of the top row, or null; rows follow at pitch() bytes. Locks nest.
  void* lock(int32_t flag = 1);
  void unlock();

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  // Signed bytes from one row to the next: negative for bottom-up surfaces.
  int32_t pitch() const { return pitch_; }
  int32_t row_order() const { return order_; }
  int32_t row_gap() const { return gap_; }
  int32_t memory_kind() const { return memory_; }
  int32_t layout() const { return layout_; }
  const Format& format() const { return format_; }
  SurfaceHost* console() const { return console_; }

  // Copies into and out of the surface are clipped to this area, itself kept inside the surface.
  void clip(const Rect& area);
  const Rect& clip() const { return clip_; }

  // The whole surface, converting to the destination's format; without scaling, surfaces of
  // different sizes share their top-left part.
  bool copy(Surface& destination);
  // An area to an area: rectangles are normalised, the copied size is the smaller of the two, and
  // each is clipped to its surface's clip area with the other cut to match, so every pixel that is
  // copied lands where it would without clipping. Nothing left to copy is a success.
  bool copy(Surface& destination, const Rect& from, const Rect& to);

  // Re-formats the pixels in place. Fails on a surface linked to its console.
  bool convert(const Format& format);

  // Copies the surface, or an area of it to the same place, onto the console's primary surface
  // and presents it. False without a console.
  bool update();
  bool update(const Rect& area);

  // Only indexed surfaces have palettes; GREY8 surfaces start with a grey ramp.
  bool palette(std::shared_ptr<Palette> palette);
  std::shared_ptr<Palette> palette() const;

  // Marks a surface that is the console's own display memory: it cannot be converted, and its
  // palette is read from the console.
  void link_console(bool linked) { linked_ = linked; }

 private:
  bool create(SurfaceHost* console, const SurfaceParams& request);
  bool load(SurfaceHost* console, archive::DataArchive& archive, const char* filename,
            const SurfaceParams& request);
  void reset();
  const void* lookup_for(const Surface& destination) const;

  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t memory_ = 0;
  int32_t layout_ = 0;
  int32_t order_ = 0;
  int32_t gap_ = 0;
  int32_t pitch_ = 0;
  bool linked_ = false;
  Format format_;
  Rect clip_;
  std::shared_ptr<Palette> palette_;
  SurfaceHost* console_ = nullptr;
  std::unique_ptr<SurfaceImpl> impl_;
};

}  // namespace display
