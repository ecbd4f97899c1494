// Surface handles and the plain memory store.
#include "display/surface.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "display/convert.h"

namespace display {
namespace {

// Start address of a pixel and the signed pitch, for one side of a memory copy.
struct Side {
  uint8_t* pixel;
  int32_t pitch;
};

Side locate(Surface& s, void* top, int32_t x, int32_t y) {
  uint8_t* base = static_cast<uint8_t*>(top);
  return {base + static_cast<ptrdiff_t>(y) * s.pitch() + static_cast<ptrdiff_t>(x) * s.format().bytes,
          s.pitch()};
}

// The lowest address of a surface whose rows follow each other without a gap.
uint8_t* lowest_row(Surface& s, void* top) {
  uint8_t* base = static_cast<uint8_t*>(top);
  return s.pitch() >= 0 ? base : base + static_cast<ptrdiff_t>(s.height() - 1) * s.pitch();
}

// Locks both surfaces for the length of one copy.
class LockPair {
 public:
  LockPair(Surface& a, Surface& b) : a_(a), b_(b), pa_(a.lock(1)), pb_(b.lock(1)) {}
  ~LockPair() {
    if (pa_) a_.unlock();
    if (pb_) b_.unlock();
  }
  void* first() const { return pa_; }
  void* second() const { return pb_; }

 private:
  Surface& a_;
  Surface& b_;
  void* pa_;
  void* pb_;
};

class MemorySurface final : public SurfaceImpl {
 public:
  MemorySurface(const SurfaceParams& made, size_t row_bytes)
      : made_(made), row_bytes_(row_bytes), pixels_(new (std::nothrow) uint8_t[row_bytes * made.height]()) {}

  void* lock(int32_t) override {
    if (!pixels_) return nullptr;
    ++locks_;
    return made_.order == BOTTOM_UP ? pixels_.get() + row_bytes_ * (made_.height - 1) : pixels_.get();
  }
  void unlock() override {
    if (locks_ > 0) --locks_;
  }

  bool copy(Surface& source, Surface& destination, const void* lookup) override {
    const auto converter = request_converter(source.format(), destination.format());
    if (!converter) return false;
    LockPair locks(source, destination);
    if (!locks.first() || !locks.second()) return false;
    // Same size, order and no gap: both stores are one run of rows in the same order.
    return convert_row(*converter, lowest_row(source, locks.first()),
                       lowest_row(destination, locks.second()), source.width() * source.height(),
                       lookup);
  }

  bool copy_area(Surface& source, const Rect& area, Surface& destination, int32_t x, int32_t y,
                 const void* lookup) override {
    const auto converter = request_converter(source.format(), destination.format());
    if (!converter) return false;
    LockPair locks(source, destination);
    if (!locks.first() || !locks.second()) return false;
    const Side from = locate(source, locks.first(), area.left, area.top);
    const Side to = locate(destination, locks.second(), x, y);
    ConvertArea a;
    a.source = from.pixel;
    a.destination = to.pixel;
    a.width = area.right - area.left;
    a.height = area.bottom - area.top;
    a.source_pitch = from.pitch;
    a.destination_pitch = to.pitch;
    return convert_area(*converter, a, lookup);
  }

  bool ok() const override { return pixels_ != nullptr; }
  const SurfaceParams& params() const override { return made_; }

 private:
  SurfaceParams made_;
  size_t row_bytes_;
  std::unique_ptr<uint8_t[]> pixels_;
  int32_t locks_ = 0;
};

Rect normalised(const Rect& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
          std::max(r.top, r.bottom)};
}

bool empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

// Cuts `a` to `clip` and `b`, a rectangle of the same size, by the same amounts on the same sides.
void clip_pair(Rect& a, Rect& b, const Rect& clip) {
  if (a.left < clip.left) b.left += clip.left - a.left, a.left = clip.left;
  if (a.top < clip.top) b.top += clip.top - a.top, a.top = clip.top;
  if (a.right > clip.right) b.right -= a.right - clip.right, a.right = clip.right;
  if (a.bottom > clip.bottom) b.bottom -= a.bottom - clip.bottom, a.bottom = clip.bottom;
}

// A request value of -1 is left to the maker; MEMORY_ANY is met by system or video memory.
bool meets(int32_t requested, int32_t made) { return requested == -1 || requested == made; }
bool meets_memory(int32_t requested, int32_t made) {
  return requested == MEMORY_ANY ? (made == MEMORY_SYSTEM || made == MEMORY_VIDEO) : meets(requested, made);
}

std::shared_ptr<Palette> grey_ramp() {
  auto p = std::make_shared<Palette>();
  uint32_t* e = p->lock();
  for (uint32_t i = 0; i < Palette::kEntries; ++i) e[i] = i * 0x010101;
  p->unlock();
  return p;
}

}  // namespace

std::unique_ptr<SurfaceImpl> make_memory_surface(const SurfaceParams& request) {
  SurfaceParams made = request;
  if (made.memory == -1 || made.memory == MEMORY_ANY) made.memory = MEMORY_SYSTEM;
  if (made.order == -1) made.order = TOP_DOWN;
  if (made.gap == -1) made.gap = 0;
  if (made.layout == -1) made.layout = LAYOUT_DEFAULT;
  if (made.memory != MEMORY_SYSTEM || (made.order != TOP_DOWN && made.order != BOTTOM_UP) ||
      made.gap < 0 || made.layout != LAYOUT_DEFAULT || !valid(made.format) || made.width < 1 ||
      made.height < 1 || made.format.bytes < 0)
    return nullptr;
  // The pitch must fit a signed 32-bit value and the whole store a size_t.
  const int64_t row = int64_t{made.width} * made.format.bytes + made.gap;
  if (row == 0 || row > std::numeric_limits<int32_t>::max() ||
      static_cast<uint64_t>(row) * static_cast<uint64_t>(made.height) >
          std::numeric_limits<size_t>::max() / 2)
    return nullptr;
  auto impl = std::make_unique<MemorySurface>(made, static_cast<size_t>(row));
  if (!impl->ok()) return nullptr;
  return impl;
}

SurfaceHost& memory_host() {
  static SurfaceHost host;
  return host;
}

Surface::Surface(SurfaceHost* console, int32_t width, int32_t height, const Format& format,
                 int32_t memory, int32_t order, int32_t gap, int32_t layout) {
  create(console, SurfaceParams{width, height, format, memory, order, gap, layout});
}

Surface::Surface(int32_t width, int32_t height, const Format& format, int32_t memory,
                 int32_t order, int32_t gap, int32_t layout) {
  create(&memory_host(), SurfaceParams{width, height, format, memory, order, gap, layout});
}

Surface::~Surface() { reset(); }

bool Surface::create(SurfaceHost* console, const SurfaceParams& request) {
  reset();
  if (!console || request.width < 1 || request.height < 1 || (request.gap < 0 && request.gap != -1))
    return false;
  std::unique_ptr<SurfaceImpl> impl = console->create_surface(request);
  if (!impl || !impl->ok()) return false;
  const SurfaceParams& made = impl->params();
  if (made.width != request.width || made.height != request.height ||
      !equal(made.format, request.format) || !meets_memory(request.memory, made.memory) ||
      !meets(request.order, made.order) || !meets(request.gap, made.gap) ||
      !meets(request.layout, made.layout))
    return false;
  impl_ = std::move(impl);
  console_ = console;
  console_->attach_surface(*this);
  width_ = made.width;
  height_ = made.height;
  format_ = made.format;
  memory_ = made.memory;
  order_ = made.order;
  gap_ = made.gap;
  layout_ = made.layout;
  pitch_ = width_ * format_.bytes + gap_;
  if (order_ == BOTTOM_UP) pitch_ = -pitch_;
  if (format_.model == MODEL_GREY) palette_ = grey_ramp();
  clip_ = Rect{0, 0, width_, height_};
  return true;
}

void Surface::reset() {
  if (console_) console_->detach_surface(*this);
  console_ = nullptr;
  impl_.reset();
  palette_.reset();
  width_ = height_ = memory_ = layout_ = order_ = gap_ = pitch_ = 0;
  format_ = Format();
  clip_ = Rect();
}

bool Surface::ok() const { return impl_ && impl_->ok(); }

void* Surface::lock(int32_t flag) { return impl_ ? impl_->lock(flag) : nullptr; }

void Surface::unlock() {
  if (impl_) impl_->unlock();
}

void Surface::clip(const Rect& area) {
  const Rect r = normalised(area);
  clip_ = Rect{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width_),
               std::min(r.bottom, height_)};
  if (empty(clip_)) clip_ = Rect();
}

const void* Surface::lookup_for(const Surface& destination) const {
  if (format_.type != INDEXED || !palette_) return nullptr;
  return palette_->table(destination.format_);
}

bool Surface::copy(Surface& destination) {
  if (!ok() || !destination.ok()) return false;
  if (width_ == destination.width_ && height_ == destination.height_ && gap_ == 0 &&
      destination.gap_ == 0 && order_ == destination.order_) {
    const void* lookup = lookup_for(destination);
    return destination.impl_->copy(*this, destination, lookup) ||
           impl_->copy(*this, destination, lookup);
  }
  return copy(destination, Rect{0, 0, width_, height_}, Rect{0, 0, width_, height_});
}

bool Surface::copy(Surface& destination, const Rect& from, const Rect& to) {
  if (!ok() || !destination.ok()) return false;
  Rect s = normalised(from);
  Rect d = normalised(to);
  const int32_t w = std::min(s.right - s.left, d.right - d.left);
  const int32_t h = std::min(s.bottom - s.top, d.bottom - d.top);
  s.right = s.left + w, s.bottom = s.top + h;
  d.right = d.left + w, d.bottom = d.top + h;
  clip_pair(s, d, clip_);
  clip_pair(d, s, destination.clip_);
  if (empty(s)) return true;
  const void* lookup = lookup_for(destination);
  return destination.impl_->copy_area(*this, s, destination, d.left, d.top, lookup) ||
         impl_->copy_area(*this, s, destination, d.left, d.top, lookup);
}

bool Surface::convert(const Format& format) {
  if (!ok() || linked_) return false;
  if (equal(format, format_)) return true;
  Surface converted(console_, width_, height_, format, memory_, order_, gap_, layout_);
  if (!converted.ok() || !copy(converted)) return false;
  std::swap(impl_, converted.impl_);
  std::swap(palette_, converted.palette_);
  format_ = converted.format_;
  pitch_ = converted.pitch_;
  return true;
}

bool Surface::update() { return update(Rect{0, 0, width_, height_}); }

bool Surface::update(const Rect& area) {
  Surface* primary = console_ ? console_->primary() : nullptr;
  if (!primary || !ok()) return false;
  return copy(*primary, area, area) && console_->present(area);
}

bool Surface::palette(std::shared_ptr<Palette> palette) {
  if (!ok() || format_.type != INDEXED || !palette) return false;
  palette_ = std::move(palette);
  return true;
}

std::shared_ptr<Palette> Surface::palette() const {
  if (format_.type != INDEXED) return nullptr;
  if (linked_ && palette_ && console_) console_->get_palette(*palette_);
  return palette_;
}

}  // namespace display
