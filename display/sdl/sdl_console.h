// The desktop console on SDL2: a resizable window (or the whole screen) showing the primary surface
// scaled to a 4:3 picture with square-edged pixels, and the keyboard as virtual-key codes.
#pragma once

#include <SDL.h>

#include <thread>

#include "display/console_base.h"

namespace display::sdl {

// The virtual-key code of a key; 0xFF, as Windows reports it, for a key that has none, so that
// every key press reaches the queue.
int32_t virtual_key(const SDL_Keysym& key);

// Where a width x height window shows the picture: the largest 4:3 rectangle, centred.
SDL_Rect picture_rect(int32_t window_width, int32_t window_height);

class SdlConsole final : public BasicConsole {
 public:
  SdlConsole();
  ~SdlConsole() override;

  const char* name() const override { return "SDL"; }
  bool key() override;
  int32_t read() override;
  void* window() const override { return window_; }

  // Handles every pending event of the window: keys, repaints, and closing, which ends the program
  // with status 0. Only the thread that opened the window may pump it.
  void pump();

 protected:
  bool open_display(int32_t width, int32_t height, int32_t output) override;
  void close_display() override;
  void show(const uint32_t* pixels, int32_t width, int32_t height) override;
  bool apply_title() override;

 private:
  void redraw();

  bool video_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  std::thread::id owner_;
};

}  // namespace display::sdl
