// The intro's global run state.
#include "intro/run_state.h"

#include <utility>

namespace intro {

int intro_abort = 0;
display::Surface* current_surface = nullptr;
display::Surface* previous_surface = nullptr;

void swap_surfaces() { std::swap(current_surface, previous_surface); }

}  // namespace intro
