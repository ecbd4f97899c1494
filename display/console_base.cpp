// What the console back ends share: checking the open arguments, the primary surface in memory,
// presenting it as ARGB8888, palettes, the title, and the back end's lifetime beside its surfaces.
#include "display/console_base.h"

#include <cstring>

namespace display {
namespace {

bool is_argb8888(const Format& format) { return equal(format, Format(ARGB8888)); }

}  // namespace

bool always_chosen() { return true; }
ConsoleImpl* create_placeholder() { return new InertConsole; }

int32_t mode_format_id(int32_t mode) {
  switch (mode) {
    case FUZZY32:
    case DIRECT:
    case 32:
      return ARGB8888;
    case 24:
      return RGB888;
    case FUZZY16:
    case 16:
      return RGB565;
    case FUZZY8:
    case INDEXED:
    case 8:
      return INDEX8;
    default:
      break;
  }
  Format named(mode);
  return valid(named) && named.type != FAKEMODE ? mode : 0;
}

void BasicConsole::release() {
  close();
  released_ = true;
  if (surfaces_ == 0) delete this;
}

void BasicConsole::detach_surface(Surface&) {
  --surfaces_;
  if (released_ && surfaces_ == 0) delete this;
}

void BasicConsole::close() {
  primary_.reset();
  frame_.reset();
  close_display();
  width_ = height_ = 0;
  output_ = -1;
}

bool BasicConsole::open_mode(int32_t width, int32_t height, int32_t mode, int32_t output,
                             int32_t frequency, int32_t layout) {
  int32_t id = mode_format_id(mode);
  if (id == 0) {
    close();
    return false;
  }
  return open_format(width, height, Format(id), output, frequency, layout);
}

bool BasicConsole::open_format(int32_t width, int32_t height, const Format& format, int32_t output,
                               int32_t frequency, int32_t layout) {
  close();
  // There is no refresh rate to choose on a desktop or in memory, and no layout but the default.
  if (!ok_ || width < 1 || height < 1 || (frequency != -1 && frequency != 0) ||
      (layout != -1 && layout != LAYOUT_DEFAULT) ||
      (output != -1 && output != OUTPUT_FULLSCREEN && output != OUTPUT_WINDOWED) || !valid(format) ||
      format.type == FAKEMODE)
    return false;

  primary_ = std::make_unique<Surface>(width, height, format);
  if (!is_argb8888(format)) frame_ = std::make_unique<Surface>(width, height, Format(ARGB8888));
  // An indexed display starts black, like a fresh palette, until a palette is set.
  if (format.type == INDEXED && !primary_->palette()) primary_->palette(std::make_shared<Palette>());
  if (!primary_->ok() || (frame_ && !frame_->ok()) || !open_display(width, height, output)) {
    primary_.reset();
    frame_.reset();
    return false;
  }
  primary_->link_console(true);
  width_ = width;
  height_ = height;
  output_ = output;
  return true;
}

ConsoleMode BasicConsole::current_mode() const {
  ConsoleMode mode;
  if (!primary_) return mode;
  mode.name = name();
  mode.width = width_;
  mode.height = height_;
  mode.format = primary_->format();
  mode.output = output_;
  return mode;
}

bool BasicConsole::present(const Rect&) {
  if (!primary_) return false;
  Surface* shown = primary_.get();
  if (frame_) {
    if (!primary_->copy(*frame_)) return false;
    shown = frame_.get();
  }
  const void* pixels = shown->lock(1);
  if (!pixels) return false;
  show(static_cast<const uint32_t*>(pixels), width_, height_);
  shown->unlock();
  return true;
}

bool BasicConsole::set_palette(const Palette& palette) {
  std::shared_ptr<Palette> own = primary_ ? primary_->palette() : nullptr;
  if (!own) return false;
  std::memcpy(own->lock(), palette.entries(), sizeof(uint32_t) * Palette::kEntries);
  own->unlock();
  // The colours on the display change with the palette, without a new frame.
  return present(Rect{0, 0, width_, height_});
}

bool BasicConsole::get_palette(Palette& palette) {
  std::shared_ptr<Palette> own = primary_ ? primary_->palette() : nullptr;
  if (!own) return false;
  std::memcpy(palette.lock(), own->entries(), sizeof(uint32_t) * Palette::kEntries);
  palette.unlock();
  return true;
}

bool BasicConsole::set_title(const char* text) {
  title_ = text;
  return apply_title();
}

}  // namespace display
