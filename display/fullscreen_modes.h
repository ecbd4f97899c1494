// How a fullscreen back end (DirectDraw) chooses the display depths to set for an open, kept apart
// from DirectDraw so that it is the same, and tested, on every platform.
//
// An open with a mode code tries, in turn:
//   1. the mode code, when the display lists no modes or lists one of exactly width x height that
//      suits the code (FUZZY32 and FUZZY16: a named direct format of 32, 24 or 16 bits; FUZZY8: an
//      INDEX8 mode; any other code: a mode of that bit depth, so a plain depth may be passed). The
//      depths are those of the code's order, then the code itself.
//   2. the format the code names, when it is a format id and the display lists no modes or lists
//      width x height in an equal format: that format's bit depth.
// An open with a Format tries only the second. DIRECT counts as FUZZY32, INDEXED as FUZZY8.
#pragma once

#include <cstdint>
#include <vector>

#include "display/format.h"

namespace display {

// A display mode as the display reports it.
struct DisplayMode {
  int32_t width, height;
  Format format;
};

// One attempt at taking over the screen: the bit depths to set, the first that succeeds wins.
using DepthTrial = std::vector<int32_t>;

std::vector<DepthTrial> fullscreen_trials(int32_t width, int32_t height, int32_t mode,
                                          const std::vector<DisplayMode>& modes);
std::vector<DepthTrial> fullscreen_trials(int32_t width, int32_t height, const Format& format,
                                          const std::vector<DisplayMode>& modes);

}  // namespace display
