// What the console back ends share: the inert back end (the null object and the placeholders), and
// BasicConsole, which checks the open arguments, keeps the primary surface in memory and hands every
// change of it to the back end's show() as ARGB8888.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "display/console.h"
#include "display/format.h"
#include "display/surface.h"

namespace display {

// Never ok; every operation does nothing and fails. Surfaces made on it are plain memory.
class InertConsole : public ConsoleImpl {
 public:
  bool ok() const override { return false; }
  const char* name() const override { return ""; }
  bool open_mode(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override { return false; }
  bool open_format(int32_t, int32_t, const Format&, int32_t, int32_t, int32_t) override { return false; }
  ConsoleMode current_mode() const override { return ConsoleMode{}; }
  bool set_palette(const Palette&) override { return false; }
  bool key() override { return false; }
  int32_t read() override { return 0; }
  bool set_title(const char*) override { return false; }
  std::string get_title() const override { return std::string(); }
  int32_t width() const override { return 0; }
  int32_t height() const override { return 0; }
  void* window() const override { return nullptr; }
};

// The pixel format a mode code asks for, or 0 when the code names none a console can show: fuzzy
// codes and format types pick the format of their preferred depth, a plain depth (8, 16, 24, 32)
// its format, a named format id itself (fake modes excepted).
int32_t mode_format_id(int32_t mode);

class BasicConsole : public ConsoleImpl {
 public:
  void release() override;
  bool ok() const override { return ok_; }
  bool open_mode(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t frequency,
                 int32_t layout) override;
  bool open_format(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t frequency, int32_t layout) override;
  ConsoleMode current_mode() const override;
  bool set_palette(const Palette& palette) override;
  bool set_title(const char* text) override;
  std::string get_title() const override { return title_; }
  int32_t width() const override { return width_; }
  int32_t height() const override { return height_; }

  // SurfaceHost: surfaces made here are plain memory; the primary is shown on every present.
  void attach_surface(Surface&) override { ++surfaces_; }
  void detach_surface(Surface&) override;
  Surface* primary() override { return primary_.get(); }
  bool present(const Rect& area) override;
  bool get_palette(Palette& palette) override;

 protected:
  ~BasicConsole() override = default;

  // Makes the display of an open; show() receives every frame from then on until close_display().
  virtual bool open_display(int32_t width, int32_t height, int32_t output) = 0;
  virtual void close_display() = 0;
  virtual void show(const uint32_t* pixels, int32_t width, int32_t height) = 0;
  // Puts title_ on the window; false when there is none.
  virtual bool apply_title() { return false; }

  bool ok_ = true;
  std::string title_;
  KeyQueue keys_;

 private:
  void close();

  std::unique_ptr<Surface> primary_;
  std::unique_ptr<Surface> frame_;  // the primary as ARGB8888, when it is in another format
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t output_ = -1;
  int32_t surfaces_ = 0;  // made on this console and not yet destroyed
  bool released_ = false;
};

// One entry of the factory. In an open that names no back end, an entry whose chosen() is false is
// skipped; an open that names one tries exactly the entries of that name.
struct BackendEntry {
  const char* name;
  bool (*chosen)();
  ConsoleImpl* (*create)();
};

// This platform's back ends in the order they are tried (one file per platform).
struct BackendList {
  const BackendEntry* entries;
  size_t count;
};
BackendList console_backends();

// Stand-ins for back ends a platform does not have; they never open. Every platform's list ends
// with four of them.
bool always_chosen();
ConsoleImpl* create_placeholder();

}  // namespace display
