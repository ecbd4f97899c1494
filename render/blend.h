// The two full-frame services around RenderFrame: the background picture the frame starts from, and
// the blend of the new frame with the one shown last that gives the scenes their trails.
#pragma once

#include "display/surface.h"

namespace render {

// With backgroundEnabled, replaces screenWidth x screenHeight pixels of frameBuffer (rows
// framePitch bytes apart) by BackgroundPicPtr, or by zero when there is no background picture.
// Without it, or without a frame buffer, does nothing. Call it after locking, before RenderFrame.
void DrawBackground();

// Rewrites `frame` in place by mixing each pixel F with the pixel S of `second` lying `shift`
// pixels further on in picture order (the next row's first pixels for the end of a row; the last
// pixel of the picture past its end), by frameBlendMode:
//   2        shift 1   colour bytes (S + F) >> 1, top byte kept
//   3        shift 2   the same
//   1002     shift 1   every byte (S >> 1 rounded down) + (F >> 1 rounded down), in pixel pairs:
//                      the last pixel of an odd-width row is left as it was
//   1001, 1003  shift 2  the same
//   0        nothing;  any other value: shift 0, colour bytes as mode 2
// Both surfaces must be unlocked 32-bit surfaces of the same size; the call locks and unlocks
// them. False (and nothing changed) when they are not, or cannot be locked.
bool BlendFrames(display::Surface& frame, display::Surface& second);

}  // namespace render
