// The run state of the intro, shared by the main sequence, the picture screens and the scene
// playback. It is global because the export is one synchronous run on the caller's thread; nothing
// here is re-entrant.
#pragma once

namespace display {
class Surface;
}

namespace intro {

// The size of the console, of both frame surfaces and of the projection; never changed.
constexpr int screen_width = 320;
constexpr int screen_height = 200;

// Set by a key press in any paced loop or by a picture failure; every later screen and scene is
// skipped, but the final fade and the music fade still run.
extern int intro_abort;

// The double buffer: each frame is drawn into current_surface, presented, and the two are swapped,
// so previous_surface always holds the frame presented last. Set for the length of a run only.
extern display::Surface* current_surface;
extern display::Surface* previous_surface;
void swap_surfaces();

}  // namespace intro
