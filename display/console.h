// The display console: a handle that owns one back end (a desktop window, a headless capture or a
// placeholder that never opens), the codes its open takes, and the key queue every back end feeds.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "display/format.h"
#include "display/surface.h"

namespace display {

// Mode codes of Console::open; -1 always means "no preference". Besides these, the format types
// DIRECT (as FUZZY32), INDEXED (as FUZZY8) and the named format ids 1000-1021 are accepted.
constexpr int32_t FUZZY8 = 1125;
constexpr int32_t FUZZY16 = 1126;
constexpr int32_t FUZZY32 = 1127;
constexpr int32_t OUTPUT_FULLSCREEN = 40;
constexpr int32_t OUTPUT_WINDOWED = 41;

// Windows virtual-key codes, the vocabulary of the key queue on every platform.
namespace vk {
constexpr int32_t BACK = 0x08, TAB = 0x09, RETURN = 0x0D, SHIFT = 0x10, CONTROL = 0x11, MENU = 0x12;
constexpr int32_t PAUSE = 0x13, ESCAPE = 0x1B, SPACE = 0x20, PRIOR = 0x21, NEXT = 0x22, END = 0x23;
constexpr int32_t HOME = 0x24, LEFT = 0x25, UP = 0x26, RIGHT = 0x27, DOWN = 0x28, INSERT = 0x2D;
constexpr int32_t DELETE_ = 0x2E, NUMPAD0 = 0x60, F1 = 0x70;  // DELETE is a macro of <winnt.h>
// Letters and digits are their upper-case ASCII codes ('A' = 0x41, '0' = 0x30).
}  // namespace vk

// First in, first out, unbounded. A back end appends from its event source and the caller's thread
// takes; the lock lets the two be different threads.
class KeyQueue {
 public:
  void push(int32_t code);
  bool empty() const;
  // Removes the oldest code into `code`; false when there is none.
  bool pop(int32_t& code);

 private:
  mutable std::mutex lock_;
  std::deque<int32_t> codes_;
};

// What a back end has opened: its name, size, the primary surface's format and the output.
struct ConsoleMode {
  const char* name = "";
  int32_t width = 0;
  int32_t height = 0;
  Format format;
  int32_t output = -1;
  int32_t frequency = 0;
};

// One display back end, and the host of the surfaces made on it (whatever is copied into its
// primary surface and presented is what the display shows). The handle below owns exactly one; the
// shared null object (ok() false, every operation inert) stands in for a missing one, so no caller
// ever sees a null pointer.
class ConsoleImpl : public SurfaceHost {
 public:
  // Ends the back end: its display closes at once. Surfaces made on it keep its address, so the
  // object itself may stay, inert, until the last of them is gone.
  virtual void release() { delete this; }

  virtual bool ok() const = 0;
  virtual const char* name() const = 0;

  virtual bool open_mode(int32_t width, int32_t height, int32_t mode, int32_t output,
                         int32_t frequency, int32_t layout) = 0;
  virtual bool open_format(int32_t width, int32_t height, const Format& format, int32_t output,
                           int32_t frequency, int32_t layout) = 0;
  virtual ConsoleMode current_mode() const = 0;
  // The display palette, for an indexed primary surface.
  virtual bool set_palette(const Palette& palette) = 0;

  virtual bool key() = 0;
  virtual int32_t read() = 0;
  virtual bool set_title(const char* text) = 0;
  virtual std::string get_title() const = 0;

  virtual int32_t width() const = 0;
  virtual int32_t height() const = 0;
  // The native window (an SDL_Window*), or null.
  virtual void* window() const = 0;
};

// Shared inert back end for "no back end".
ConsoleImpl& null_console();

class Console {
 public:
  Console() = default;
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  bool open(int32_t width, int32_t height, int32_t mode, int32_t output = -1, int32_t frequency = -1,
            int32_t layout = -1);
  bool open(int32_t width, int32_t height, const Format& format, int32_t output = -1,
            int32_t frequency = -1, int32_t layout = -1);
  // The mode by name: "DIRECT", "INDEXED", "FAKEMODE", "FUZZY8"/"VIRTUAL8", ... or a format name.
  bool open(int32_t width, int32_t height, const char* mode, int32_t output = -1,
            int32_t frequency = -1, int32_t layout = -1);
  // The same, trying only the back end of that name ("SDL", "headless").
  bool open(const char* backend, int32_t width, int32_t height, int32_t mode, int32_t output = -1,
            int32_t frequency = -1, int32_t layout = -1);
  bool open(const char* backend, int32_t width, int32_t height, const char* mode,
            int32_t output = -1, int32_t frequency = -1, int32_t layout = -1);

  bool ok() const;
  void close();
  // Closes the console so that the message is visible, then shows it captioned "display error".
  // Without a window it only writes to standard error and never waits.
  void error(const char* text);

  bool title(const char* text);
  bool key();
  int32_t read();
  const char* name() const;
  Surface* primary();
  int32_t width() const;
  int32_t height() const;
  void* window() const;
  ConsoleImpl& impl() { return *impl_; }

 private:
  bool open_with(const char* backend, const std::function<bool(ConsoleImpl&)>& open);

  ConsoleImpl* impl_ = &null_console();
};

}  // namespace display
