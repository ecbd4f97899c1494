// Failures the intro must survive, made on demand in test programs: the linker routes the intro's
// calls of a few display and renderer functions through wrappers (-Wl,--wrap, see CMakeLists.txt),
// which fail as these switches say and otherwise call the real function. Nothing of this is in the
// library itself.
#pragma once

namespace display {
class Surface;
}

namespace seams {

// Surface::lock of this surface (or of `also_refused`) returns null.
extern display::Surface* refused_lock;
extern display::Surface* also_refused_lock;
// The Nth (counting from 1) surface made on a console by size from now on is made empty, as when
// its memory cannot be had; 0 for none.
extern int failed_creation;
// AllocFaceSortTable leaves the scene without a sort table, as when its memory cannot be had.
extern bool no_sort_table;

// All switches off.
void reset();

}  // namespace seams
