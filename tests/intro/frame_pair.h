// The intro's two 320 x 200 ARGB8888 frame surfaces on a test's console, published as
// intro::current_surface and intro::previous_surface while the pair lives.
#pragma once

#include "display/console.h"
#include "display/surface.h"
#include "intro/run_state.h"

struct FramePair {
  explicit FramePair(display::Console& console)
      : first(&console.impl(), 320, 200, display::Format(display::ARGB8888),
              display::MEMORY_SYSTEM),
        second(&console.impl(), 320, 200, display::Format(display::ARGB8888),
               display::MEMORY_SYSTEM) {
    intro::current_surface = &first;
    intro::previous_surface = &second;
  }
  ~FramePair() { intro::current_surface = intro::previous_surface = nullptr; }
  FramePair(const FramePair&) = delete;
  FramePair& operator=(const FramePair&) = delete;

  display::Surface first;
  display::Surface second;
};
