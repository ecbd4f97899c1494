// Volume slides on the rendered samples: between the player and its fade routines.
#pragma once

#include <cstdint>

namespace music {

// Starts sliding the volume linearly to silence over ms, from the first frame not yet rendered
// (or, when nothing renders, the frame due now).
void begin_slide(uint32_t ms);
// True while the frame being heard now lies before the slide's end.
bool slide_running();

class FadeFlag;
// Slides to silence over kFadeThreadMs on a fading thread and returns once that has been heard,
// telling the flag each time when it looks next.
void fade_out(FadeFlag& flag);

}  // namespace music
