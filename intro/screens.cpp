// The picture screens. For now the logo screen paces black frames until its hold threshold, so the
// timeline, the key abort and the presentation run end to end; the pictures and fades come later.
#include "intro/screens.h"

#include <cstdint>

#include "display/console.h"
#include "display/surface.h"
#include "intro/run_state.h"
#include "music/music.h"
#include "platform/platform.h"

namespace intro {

void LogoScreen(display::Console& console) {
  while (music::music_position() < music::position_of(1, 40)) {
    uint32_t deadline = platform::clock_ms() + picture_frame_ms;
    // A key ends the phase after this frame; it stays queued.
    if (console.key()) intro_abort = 1;
    current_surface->update();
    swap_surfaces();
    platform::wait_until(deadline);
    if (intro_abort) return;
  }
}

void PictureScreen(display::Console&) {}

void FinalFade() {}

}  // namespace intro
