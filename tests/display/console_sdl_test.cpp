// The SDL window console on an X server of its own: the window and its title
// as X sees them, frames read back from the window, key presses made by the XTest extension, and
// the program ending with status 0 when the window is closed.
#include <gtest/gtest.h>
// After gtest: the X11 headers define macros (None, Bool) that collide with its names.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "display/console.h"
#include "display/format.h"
#include "display/headless/capture.h"
#include "display/sdl/sdl_console.h"
#include "display/surface.h"
#include "platform/platform.h"
#include "support.h"

namespace display {
namespace {

using Clock = std::chrono::steady_clock;

class SdlConsoleTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "no X display; this test runs on one of its own (cmake/with-xvfb)";
    unsetenv("VEK_CONSOLE");
    unsetenv("VEK_FULLSCREEN");
    platform::clock_reset();
  }
};

unsigned long x_window(Console& console) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(console.window()), &info)) return 0;
  return info.info.x11.window;
}

std::string run(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    pclose(pipe);
  }
  return output;
}

// What the X server shows in the window, as 0xRRGGBB, read with xwd and decoded by ImageMagick.
struct Grab {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Grab grab(unsigned long window) {
  Grab result;
  const std::string ppm = run("xwd -silent -id " + std::to_string(window) +
                              " | convert xwd:- +set comment -depth 8 ppm:-");
  // Without a comment ImageMagick writes the header as "P6\n<width> <height>\n255\n".
  int width = 0, height = 0, max = 0, offset = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &width, &height, &max, &offset) != 3 || max != 255)
    return Grab{};
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (ppm.size() < size_t(offset) + 1 + count * 3) return Grab{};
  result.width = width;
  result.height = height;
  for (size_t i = 0; i < count; ++i) {
    auto p = reinterpret_cast<const uint8_t*>(ppm.data() + offset + 1 + i * 3);
    result.pixels.push_back(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
  }
  return result;
}

// Neighbouring pixels all differ, so any smoothing between them shows; alpha stays 0, as in the
// intro's frames.
uint32_t pattern(int32_t x, int32_t y) {
  return static_cast<uint32_t>(((x * 5) & 0xFF) << 16 | ((y * 7) & 0xFF) << 8 | ((x * 3 + y * 11) & 0xFF));
}

// Pumps the window, as the intro's waits do, until the condition holds or a few seconds pass.
template <typename Condition>
bool pump_until(Console& console, Condition condition) {
  for (auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;) {
    console.key();
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Window pixels inside `picture` that are not a copy of the frame pixel under them. Renderers may
// round a sampling position differently at a pixel's edge, so a neighbour of that pixel counts
// too; a blend of two pixels never does.
int mismatches(const Grab& shown, const SDL_Rect& picture) {
  int wrong = 0;
  for (int y = picture.y; y < picture.y + picture.h; ++y)
    for (int x = picture.x; x < picture.x + picture.w; ++x) {
      int sx = static_cast<int>((x - picture.x + 0.5) * 320 / picture.w);
      int sy = static_cast<int>((y - picture.y + 0.5) * 200 / picture.h);
      bool copied = false;
      for (int dy = -1; dy <= 1 && !copied; ++dy)
        for (int dx = -1; dx <= 1 && !copied; ++dx)
          copied = sx + dx >= 0 && sx + dx < 320 && sy + dy >= 0 && sy + dy < 200 &&
                   shown.at(x, y) == pattern(sx + dx, sy + dy);
      if (!copied) ++wrong;
    }
  return wrong;
}

TEST(SdlPictureRect, FitsFourThreeCentred) {
  struct Case {
    int w, h;
    SDL_Rect picture;
  } cases[] = {{640, 480, {0, 0, 640, 480}}, {800, 480, {80, 0, 640, 480}},
               {640, 600, {0, 60, 640, 480}}, {321, 200, {27, 0, 266, 200}}};
  for (const Case& c : cases) {
    const SDL_Rect r = sdl::picture_rect(c.w, c.h), e = c.picture;
    EXPECT_EQ((std::vector<int>{r.x, r.y, r.w, r.h}), (std::vector<int>{e.x, e.y, e.w, e.h}))
        << c.w << "x" << c.h;
  }
}

// Every key has a code: the Windows virtual-key code where there is one, 0xFF (what Windows
// reports for a key without one) otherwise.
TEST(SdlKeys, EveryKeyPressHasACode) {
  const auto code = [](SDL_Scancode scancode, SDL_Keycode sym = SDLK_UNKNOWN) {
    SDL_Keysym key{};
    key.scancode = scancode;
    key.sym = sym;
    return sdl::virtual_key(key);
  };
  for (int s = 0; s < SDL_NUM_SCANCODES; ++s)
    ASSERT_NE(code(SDL_Scancode(s)), 0) << SDL_GetScancodeName(SDL_Scancode(s)) << " " << s;
  const struct {
    SDL_Scancode scancode;
    int32_t vk;
  } named[] = {{SDL_SCANCODE_NUMLOCKCLEAR, 0x90}, {SDL_SCANCODE_SCROLLLOCK, 0x91},
               {SDL_SCANCODE_PRINTSCREEN, 0x2C},  {SDL_SCANCODE_LGUI, 0x5B},
               {SDL_SCANCODE_RGUI, 0x5C},         {SDL_SCANCODE_APPLICATION, 0x5D},
               {SDL_SCANCODE_F12, 0x7B},          {SDL_SCANCODE_F13, 0x7C},
               {SDL_SCANCODE_F24, 0x87},          {SDL_SCANCODE_CAPSLOCK, 0x14},
               {SDL_SCANCODE_KP_0, 0x60},         {SDL_SCANCODE_KP_9, 0x69},
               {SDL_SCANCODE_0, '0'},             {SDL_SCANCODE_UNKNOWN, 0xFF},
               {SDL_SCANCODE_LANG5, 0xFF}};
  for (const auto& n : named) EXPECT_EQ(code(n.scancode), n.vk) << SDL_GetScancodeName(n.scancode);
  // Letters follow the layout: the key in the place of Q types A on a French keyboard.
  EXPECT_EQ(code(SDL_SCANCODE_Q, SDLK_a), 'A');
}

TEST_F(SdlConsoleTest, WindowShowsTheTitleAndThePresentedFrameScaled) {
  Console console;
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  EXPECT_STREQ(console.name(), "SDL");
  ASSERT_NE(console.window(), nullptr);
  EXPECT_EQ(platform::foreground_window(), console.window());
  unsigned long window = x_window(console);
  ASSERT_NE(window, 0u);

  EXPECT_TRUE(console.title("KARST 3DEngine v2"));
  console.key();
  EXPECT_EQ(run("xdotool getwindowname " + std::to_string(window)), "KARST 3DEngine v2\n");

  Surface frame(&console.impl(), 320, 200, Format(ARGB8888), 30, -1, -1, -1);
  ASSERT_TRUE(frame.ok());
  paint(frame, pattern);
  ASSERT_TRUE(frame.update());

  Grab shown;
  ASSERT_TRUE(pump_until(console, [&] {
    shown = grab(window);
    return shown.width == 640 && shown.height == 480 && mismatches(shown, {0, 0, 640, 480}) == 0;
  })) << "window " << shown.width << "x" << shown.height << ", "
      << (shown.pixels.empty() ? -1 : mismatches(shown, {0, 0, 640, 480})) << " wrong pixels";

  // A wider window keeps the 4:3 picture in the middle with black bars; the repaint comes from the
  // last frame, without a new present.
  SDL_SetWindowSize(static_cast<SDL_Window*>(console.window()), 800, 480);
  EXPECT_TRUE(pump_until(console, [&] {
    shown = grab(window);
    return shown.width == 800 && shown.height == 480 && shown.at(40, 240) == 0 &&
           shown.at(760, 240) == 0 && mismatches(shown, {80, 0, 640, 480}) == 0;
  })) << "window " << shown.width << "x" << shown.height;
}

TEST_F(SdlConsoleTest, KeyPressesReachTheQueueInOrder) {
  Console console;
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  unsigned long window = x_window(console);
  ASSERT_NE(window, 0u);
  EXPECT_FALSE(console.key());

  // Real key events through the XTest extension, into the focused window.
  ASSERT_FALSE(headless::find_program("xdotool").empty()) << "xdotool is missing; scripts/setup installs it";
  std::string id = std::to_string(window);
  run("xdotool windowfocus --sync " + id +
      " key --delay 30 a b Return Escape F1 Left 5 KP_Add space Scroll_Lock Super_L Menu Print");
  const std::vector<int32_t> expected = {'A', 'B', vk::RETURN, vk::ESCAPE, vk::F1,  vk::LEFT, '5',
                                         0x6B, vk::SPACE,     0x91,       0x5B,    0x5D,     0x2C};
  std::vector<int32_t> read;
  pump_until(console, [&] {
    while (console.key()) read.push_back(console.read());
    return read.size() >= expected.size();
  });
  EXPECT_EQ(read, expected);
  EXPECT_FALSE(console.key());
}

TEST_F(SdlConsoleTest, FullscreenOnRequest) {
  setenv("VEK_FULLSCREEN", "1", 1);
  Console console;
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  auto* window = static_cast<SDL_Window*>(console.window());
  EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_DisplayMode desktop;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
  int width = 0, height = 0;
  EXPECT_TRUE(pump_until(console, [&] {
    SDL_GetWindowSize(window, &width, &height);
    return width == desktop.w && height == desktop.h;
  })) << width << "x" << height;
}

// The error box comes after the window has gone, so that it is not hidden behind a fullscreen
// display; the dialog itself is replaced here, since nobody would dismiss it.
const char* shown_caption = nullptr;
std::string shown_text;
bool window_gone_when_shown = false;

void record_message_box(const char* text, const char* caption) {
  shown_caption = caption;
  shown_text = text;
  window_gone_when_shown = platform::foreground_window() == nullptr;
}

TEST_F(SdlConsoleTest, ErrorClosesTheWindowBeforeTheMessage) {
  Console console;
  ASSERT_TRUE(console.open(320, 200, FUZZY32));
  platform::set_message_box_hook(record_message_box);
  testing::internal::CaptureStderr();
  console.error("could not lock surface");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "display error: could not lock surface\n");
  platform::set_message_box_hook(nullptr);
  EXPECT_STREQ(shown_caption, "display error");
  EXPECT_EQ(shown_text, "could not lock surface");
  EXPECT_TRUE(window_gone_when_shown);
  EXPECT_FALSE(console.ok());
  EXPECT_EQ(console.window(), nullptr);
}

// Asks the window to close, as a window manager does when its close button is clicked.
void request_close(unsigned long window) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XCloseDisplay(display);
}

void close_window_while_waiting() {
  Console console;
  if (!console.open(320, 200, FUZZY32)) std::exit(2);
  request_close(x_window(console));
  // The close must be seen from inside the platform's waits, where the intro spends its time.
  for (auto end = Clock::now() + std::chrono::seconds(5); Clock::now() < end;) {
    platform::poll_step();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::exit(3);
}

TEST_F(SdlConsoleTest, ClosingTheWindowEndsTheProgramWithStatusZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(close_window_while_waiting(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace display
