// The two 3D scenes: their render settings, set-up and release (RunScene) and the paced playback
// loop (PlayScene).
#pragma once

#include "display/surface.h"

namespace display {
class Console;
}

namespace intro {

// The part of each frame shown on the console.
constexpr display::Rect train_area{0, 0, 317, 197};
constexpr display::Rect hut_area{10, 10, 310, 190};

// Assign the render settings of "train.3ds" and of "hut2.3ds"; the renderer only reads them.
void SetTrainSettings();
void SetHutSettings();

// Reads the scene member from the archive, plays it and releases it again.
void RunScene(display::Console& console, const char* member, const display::Rect& area);
// Plays the active scene to its end frame or to a key press (which sets intro_abort).
void PlayScene(display::Console& console, const display::Rect& area);

}  // namespace intro
