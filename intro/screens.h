// The picture screens: the logo before the first scene, the present-and-logo screen between the
// scenes, and the final fade to black. Each draws paced frames into current_surface, presents them
// and swaps the frame surfaces; they report a key press or a picture failure through intro_abort.
#pragma once

namespace display {
class Console;
}

namespace intro {

// Frame period of the picture screens, milliseconds.
constexpr unsigned picture_frame_ms = 50;

// Holds until the music reaches order 1, row 40, or a key is pressed.
void LogoScreen(display::Console& console);
void PictureScreen(display::Console& console);
// Runs whatever intro_abort holds: it is the step that follows an abort.
void FinalFade();

}  // namespace intro
