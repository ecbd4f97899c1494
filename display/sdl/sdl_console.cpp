// The desktop console on SDL2. Everything runs on the thread that opened the window: SDL wants its
// events pumped there, and the intro's waits pump them through the platform's event hook, so the
// window stays responsive while the intro busy-waits.
#include "display/sdl/sdl_console.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace display::sdl {
namespace {

// The console whose window the platform's waits pump; one window at a time.
std::atomic<SdlConsole*> pumped{nullptr};

void pump_open_window() {
  if (SdlConsole* console = pumped.load()) console->pump();
}

void show_message_box(const char* text, const char* caption) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr);
}

bool fullscreen_requested(int32_t output) {
  if (output != -1) return output == OUTPUT_FULLSCREEN;
  const char* setting = std::getenv("VEK_FULLSCREEN");
  return setting && std::strcmp(setting, "1") == 0;
}

}  // namespace

SDL_Rect picture_rect(int32_t window_width, int32_t window_height) {
  // Fit 4:3 by whichever side is the tighter limit; bars fill the rest.
  int32_t width = window_width, height = window_width * 3 / 4;
  if (height > window_height) {
    height = window_height;
    width = window_height * 4 / 3;
  }
  return SDL_Rect{(window_width - width) / 2, (window_height - height) / 2, width, height};
}

SdlConsole::SdlConsole() {
  // Ctrl+C should end the program as usual rather than arrive as a request to close the window.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  video_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  // Without a display SDL falls back to drivers that show nothing; the run must then fail or be
  // headless on purpose, not play to an invisible window. Asked for by name, they are allowed.
  const char* driver = video_ ? SDL_GetCurrentVideoDriver() : nullptr;
  if (driver && !std::getenv("SDL_VIDEODRIVER") &&
      (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video_ = false;
  }
  ok_ = video_;
}

SdlConsole::~SdlConsole() {
  close_display();
  if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool SdlConsole::open_display(int32_t width, int32_t height, int32_t output) {
  // Twice the picture's width at 4:3, so 320 x 200 opens at 640 x 480.
  int window_width = width * 2, window_height = window_width * 3 / 4;
  Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
  if (fullscreen_requested(output)) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  window_ = SDL_CreateWindow(title_.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             window_width, window_height, flags);
  if (window_) renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (renderer_) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // XRGB: frame pixels carry no meaningful alpha, so the texture must not blend by it.
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
  }
  if (!texture_) {
    close_display();
    return false;
  }
  SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_NONE);
  // A new texture holds whatever the driver had; the window shows black until the first frame.
  std::vector<uint32_t> black(static_cast<size_t>(width) * static_cast<size_t>(height));
  SDL_UpdateTexture(texture_, nullptr, black.data(), width * 4);
  SDL_SetWindowMinimumSize(window_, 160, 120);
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);

  owner_ = std::this_thread::get_id();
  pumped.store(this);
  platform::set_event_pump(pump_open_window);
  // The dialog stays available after the window closes: Console::error closes the window first
  // and then shows its message.
  platform::set_message_box_hook(show_message_box);
  platform::set_foreground_window(window_);
  redraw();
  return true;
}

void SdlConsole::close_display() {
  SdlConsole* self = this;
  if (pumped.compare_exchange_strong(self, nullptr)) platform::set_event_pump(nullptr);
  if (window_ && platform::foreground_window() == window_) platform::set_foreground_window(nullptr);
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  if (window_) SDL_DestroyWindow(window_);
  texture_ = nullptr;
  renderer_ = nullptr;
  window_ = nullptr;
}

bool SdlConsole::apply_title() {
  if (!window_) return false;
  SDL_SetWindowTitle(window_, title_.c_str());
  return true;
}

void SdlConsole::redraw() {
  int window_width = 0, window_height = 0;
  SDL_GetRendererOutputSize(renderer_, &window_width, &window_height);
  SDL_Rect picture = picture_rect(window_width, window_height);
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, &picture);
  SDL_RenderPresent(renderer_);
}

void SdlConsole::show(const uint32_t* pixels, int32_t width, int32_t) {
  if (!texture_) return;
  SDL_UpdateTexture(texture_, nullptr, pixels, width * 4);
  redraw();
  pump();
}

void SdlConsole::pump() {
  if (!window_ || std::this_thread::get_id() != owner_) return;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_KEYDOWN:
        keys_.push(virtual_key(event.key.keysym));
        break;
      case SDL_QUIT:
        platform::exit_process(0);
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) platform::exit_process(0);
        // A resized or uncovered window is painted again from the last frame.
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
            event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
          redraw();
        break;
      default:
        break;
    }
  }
}

bool SdlConsole::key() {
  pump();
  return !keys_.empty();
}

int32_t SdlConsole::read() {
  int32_t code = 0;
  for (;;) {
    pump();
    if (keys_.pop(code)) return code;
    if (!window_) return 0;
    SDL_WaitEventTimeout(nullptr, 10);
  }
}

}  // namespace display::sdl
