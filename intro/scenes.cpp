// The 3D scenes. The settings, the set-up and the playback loop are filled in with the renderer;
// until then a scene plays no frames, as a scene whose frame range is empty does.
#include "intro/scenes.h"

namespace intro {

void SetTrainSettings() {}
void SetHutSettings() {}

void RunScene(display::Console& console, const char*, const display::Rect& area) {
  PlayScene(console, area);
}

void PlayScene(display::Console&, const display::Rect&) {}

}  // namespace intro
