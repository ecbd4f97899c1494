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

// The intro's own settings beside the renderer's: keyframer frames per second of the playback,
// whether lights are collected (and their absence noted), whether the scene optimizer runs.
extern int framesPerSecond;
extern int lightsEnabled;
extern int optimizeEnabled;

// Assign the render settings of "train.3ds" and of "hut2.3ds"; the renderer only reads them.
void SetTrainSettings();
void SetHutSettings();

// Reads the scene member from the archive into memory (nothing is written to disk), prepares it
// for the renderer, plays it and releases everything of it again, also after a key. A scene that
// cannot be read, has no camera "Cam" or whose textures cannot be loaded ends the process with
// status 1; the reason goes to render::Note.
void RunScene(display::Console& console, const char* member, const display::Rect& area);
// Plays the scene RunScene has set up, one keyframer frame per 1000 / framesPerSecond ms, from its
// start frame to the last frame below its end frame, or to a key press (which sets intro_abort and
// draws nothing more). Each frame is drawn into current_surface, the area of it presented, and the
// frame surfaces swapped. Returns the number of frames drawn.
int PlayScene(display::Console& console, const display::Rect& area);

}  // namespace intro
