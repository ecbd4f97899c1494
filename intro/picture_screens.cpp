// The picture screens: the logo before the first scene, the present-and-logo screen between the
// scenes, and the final fade. Every frame is drawn into current_surface with whole-row pixel
// operations, presented, and the frame surfaces are swapped, so a fade that works in place darkens
// each surface every second frame.
#include <array>
#include <climits>
#include <cstdint>

#include "display/console.h"
#include "display/surface.h"
#include "effects/effects.h"
#include "intro/run_state.h"
#include "intro/screens.h"
#include "intro/trace.h"
#include "music/music.h"
#include "platform/platform.h"

namespace intro {
namespace {

// Where each picture goes. The rows are drawn at exactly this size, so a picture of any other
// size is refused as unreadable rather than read past its end or drawn cut off.
struct Placement {
  const char* file;
  int width, height;
  int x, y;  // top-left corner on the screen
};
constexpr Placement kGroupLogo = {"tex\\vek.tga", 320, 79, 0, 50};
constexpr Placement kPresent = {"tex\\present.tga", 86, 22, 110, 50};
constexpr Placement kFestiveLogo = {"tex\\xmaslogo.tga", 320, 136, 0, 30};
static_assert(kPresent.width % 2 == 0 && kGroupLogo.width % 2 == 0 && kFestiveLogo.width % 2 == 0,
              "row operations go two pixels at a time");

// The two-picture screen and the final fade leave the 3 rightmost columns and the 3 bottom rows of
// the display as they were.
constexpr display::Rect present_area = {0, 0, 317, 197};

constexpr int kCrossFadeFrames = 64;
// The logo comes up from level 252 to 0 in steps of 4, one step a frame.
constexpr int kLogoFirstLevel = 252;
static_assert(kLogoFirstLevel == 4 * (kCrossFadeFrames - 1), "the fade-in ends at level 0");
// Each surface is darkened by 15 every second frame: 17 of its turns take 255 to 0.
constexpr int kDarkenFrames = 36;
static_assert(kDarkenFrames / 2 * 15 >= 255, "both surfaces end black");

constexpr uint32_t kLogoHoldEnd = music::position_of(1, 40);
constexpr uint32_t kPresentHoldEnd = music::position_of(6, 0);
constexpr uint32_t kFestiveHoldEnd = music::position_of(7, 16);
constexpr uint32_t kNoMusicLimit = UINT32_MAX;
constexpr int kNoFrameLimit = INT_MAX;

// Cross-fade weights: entry i = floor((64 - i) 255 / 64) = 255 - 4 i, from 255 down to 3. Frame k
// of a cross-fade weights the fading-out image by entry k and the fading-in one by entry 63 - k.
using FadeWeights = std::array<int32_t, kCrossFadeFrames>;
FadeWeights make_fade_weights() {
  FadeWeights w{};
  for (int i = 0; i < kCrossFadeFrames; ++i)
    w[i] = static_cast<int32_t>((kCrossFadeFrames - i) * 255.0 / kCrossFadeFrames);
  return w;
}

// A locked surface seen as rows of pixels.
struct Rows {
  uint8_t* base = nullptr;
  int32_t pitch = 0;
  uint32_t* row(int y, int x = 0) const {
    return reinterpret_cast<uint32_t*>(base + static_cast<intptr_t>(y) * pitch) + x;
  }
};

Rows lock_rows(display::Surface& surface) {
  return {static_cast<uint8_t*>(surface.lock(1)), surface.pitch()};
}

// Loads a picture for a screen, converted to ARGB8888 and locked. False, with the surface left
// to its owner, when it is missing, unreadable or not of the size the screen draws.
bool load_picture(display::Surface& picture, const Placement& place, Rows& rows) {
  if (!picture.ok() || picture.width() != place.width || picture.height() != place.height ||
      !picture.convert(display::Format(display::ARGB8888)))
    return false;
  rows = lock_rows(picture);
  return rows.base != nullptr;
}

void fail(display::Console& console, const char* message) {
  console.error(message);
  intro_abort = 1;
}

// One phase of a screen: paced frames until `frames` have been drawn or, tested before each frame,
// the music has reached `music_end`. A frame: take the deadline; with a console, a queued key sets
// intro_abort (the key stays queued) and the frame is still drawn; restore the background from
// `background` if given; draw(k, rows) paints frame k into the locked current_surface; present it
// (the whole surface, or `area`); swap; wait for the deadline; with a console, leave after a frame
// that saw intro_abort. The trace gets the phase's start and its end with the frames drawn.
template <class Draw>
void run_phase(const char* name, display::Console* console, int frames, uint32_t music_end,
               const display::Rect* area, display::Surface* background, Draw draw) {
  trace_event("%s start", name);
  int k = 0;
  while (k < frames && (music_end == kNoMusicLimit || music::music_position() < music_end)) {
    const uint32_t deadline = platform::clock_ms() + picture_frame_ms;
    if (console && console->key()) intro_abort = 1;
    if (background) background->copy(*current_surface);
    const Rows screen = lock_rows(*current_surface);
    // The frame surfaces are plain memory; should one refuse its lock, the frame is shown as it is.
    if (screen.base) {
      draw(k, screen);
      current_surface->unlock();
    }
    if (area)
      current_surface->update(*area);
    else
      current_surface->update();
    swap_surfaces();
    platform::wait_until(deadline);
    ++k;
    if (console && intro_abort) break;
  }
  trace_event("%s end %d", name, k);
}

// Darkens every colour channel of the rows first ... first + count - 1 by 15.
void darken(const Rows& screen, int first, int count) {
  for (int y = first; y < first + count; ++y) effects::fade_sub_15(screen_width, screen.row(y));
}

// A picture comes in over the background by a keyed cross-fade, then holds, keyed, until the music
// reaches `hold_end`.
void fade_in_and_hold(const char* name, display::Console& console, const FadeWeights& w,
                      const Placement& place, const Rows& picture, display::Surface& background,
                      uint32_t hold_end) {
  run_phase(name, &console, kNoFrameLimit, hold_end, &present_area, &background,
            [&](int k, const Rows& screen) {
              for (int y = 0; y < place.height; ++y) {
                uint32_t* to = screen.row(place.y + y, place.x);
                if (k < kCrossFadeFrames)
                  effects::crossfade_keyed(picture.row(y), to, to, place.width, &w[k],
                                           &w[kCrossFadeFrames - 1 - k]);
                else
                  effects::blit_keyed(place.width, picture.row(y), to);
              }
            });
}

}  // namespace

void LogoScreen(display::Console& console) {
  display::Surface logo(&console.impl(), kGroupLogo.file, display::MEMORY_SYSTEM, -1, -1, -1);
  Rows picture;
  if (!load_picture(logo, kGroupLogo, picture)) return fail(console, "can't read image!");

  if (!intro_abort) {
    run_phase("logo hold", &console, kNoFrameLimit, kLogoHoldEnd, nullptr, nullptr,
              [&](int k, const Rows& screen) {
                // The music may end the fade-in early; the fade-out then starts from that level.
                const int level = k < kCrossFadeFrames ? kLogoFirstLevel - 4 * k : 0;
                for (int y = 0; y < kGroupLogo.height; ++y)
                  effects::fade_sub_level(level, kGroupLogo.width, picture.row(y),
                                          screen.row(kGroupLogo.y + y));
              });
  }
  logo.unlock();

  if (!intro_abort) {
    run_phase("logo fade-out", &console, kDarkenFrames, kNoMusicLimit, nullptr, nullptr,
              [](int, const Rows& screen) { darken(screen, kGroupLogo.y, kGroupLogo.height); });
  }
}

void PictureScreen(display::Console& console) {
  const FadeWeights w = make_fade_weights();
  display::SurfaceHost* host = &console.impl();
  display::Surface present(host, kPresent.file, display::MEMORY_SYSTEM, -1, -1, -1);
  Rows present_rows;
  if (!load_picture(present, kPresent, present_rows)) return fail(console, "can't read image!");
  display::Surface festive(host, kFestiveLogo.file, display::MEMORY_SYSTEM, -1, -1, -1);
  Rows festive_rows;
  if (!load_picture(festive, kFestiveLogo, festive_rows)) return fail(console, "can't read image!");

  // The frozen background: the frame the first scene left in current_surface.
  display::Surface background(host, screen_width, screen_height, display::Format(display::ARGB8888),
                              display::MEMORY_SYSTEM, -1, -1, -1);
  if (!background.ok()) return fail(console, "can't create surface!");
  current_surface->copy(background);

  if (!intro_abort) {
    fade_in_and_hold("present hold", console, w, kPresent, present_rows, background,
                     kPresentHoldEnd);
  }
  if (!intro_abort) {
    run_phase("present fade-out", &console, kCrossFadeFrames, kNoMusicLimit, &present_area,
              &background, [&](int k, const Rows& screen) {
                for (int y = 0; y < kPresent.height; ++y) {
                  uint32_t* to = screen.row(kPresent.y + y, kPresent.x);
                  effects::crossfade_keyed(present_rows.row(y), to, to, kPresent.width,
                                           &w[kCrossFadeFrames - 1 - k], &w[k]);
                }
              });
  }
  if (!intro_abort) {
    fade_in_and_hold("xmaslogo hold", console, w, kFestiveLogo, festive_rows, background,
                     kFestiveHoldEnd);
  }
  festive.unlock();
  present.unlock();

  if (!intro_abort) {
    run_phase("to black", &console, kDarkenFrames, kNoMusicLimit, &present_area, nullptr,
              [](int, const Rows& screen) { darken(screen, 0, screen_height); });
  }
}

void FinalFade() {
  run_phase("final fade", nullptr, kDarkenFrames, kNoMusicLimit, &present_area, nullptr,
            [](int, const Rows& screen) { darken(screen, 0, screen_height); });
}

}  // namespace intro
