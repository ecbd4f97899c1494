// The background picture and the frame blend pass.
#include "render/blend.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "render/settings.h"
#include "render/texture_images.h"
#include "render/textures.h"

namespace render {
namespace {

// Colour bytes (S + F) >> 1, top byte of F kept. S + F = 2 (S AND F) + (S XOR F), so the halved
// sum is (S AND F) + (S XOR F) >> 1, with no carry crossing a byte.
void AverageColour(const uint32_t* source, uint32_t* destination, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t s = source[i], f = destination[i];
    const uint32_t average = (s & f) + ((s ^ f) >> 1 & 0x7F7F7F7F);
    destination[i] = (average & 0x00FFFFFF) | (f & 0xFF000000);
  }
}

// Every byte halved and summed, two pixels at a time.
void AverageAll(const uint32_t* source, uint32_t* destination, int32_t n) {
  if (n >= 2) effects::blend_average(source, destination, n & ~1);
}

struct BlendMode {
  int32_t mode;
  int32_t shift;
  void (*blend)(const uint32_t*, uint32_t*, int32_t);
};
const BlendMode kBlendModes[] = {
    {2, 1, AverageColour}, {3, 2, AverageColour}, {1002, 1, AverageAll},
    {1001, 2, AverageAll}, {1003, 2, AverageAll},
};
const BlendMode kOtherMode = {0, 0, AverageColour};

const BlendMode& ModeOf(int32_t mode) {
  for (const BlendMode& m : kBlendModes)
    if (m.mode == mode) return m;
  return kOtherMode;
}

}  // namespace

void DrawBackground() {
  if (!backgroundEnabled || !frameBuffer || screenWidth <= 0) return;
  const size_t row_bytes = static_cast<size_t>(screenWidth) * 4;
  for (int32_t y = 0; y < screenHeight; ++y) {
    auto* row = reinterpret_cast<uint8_t*>(frameBuffer) + static_cast<ptrdiff_t>(y) * framePitch;
    if (BackgroundPicPtr)
      std::memcpy(row, BackgroundPicPtr + static_cast<size_t>(y) * screenWidth, row_bytes);
    else
      std::memset(row, 0, row_bytes);
  }
}

bool BlendFrames(display::Surface& frame, display::Surface& second) {
  if (frameBlendMode == 0) return true;
  const int32_t width = frame.width(), height = frame.height();
  if (!frame.ok() || !second.ok() || frame.format().bytes != 4 || second.format().bytes != 4 ||
      second.width() != width || second.height() != height || width < 1 || height < 1)
    return false;
  LockedPixels to(frame), from(second);
  if (!to.ok() || !from.ok()) return false;
  const BlendMode& mode = ModeOf(frameBlendMode);
  const bool contiguous = second.pitch() == width * 4;
  std::vector<uint32_t> shifted(static_cast<size_t>(width));
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* source = from.row<uint32_t>(y) + mode.shift;
    // Rows that run on into the next rows in memory are read in place; the others, and those
    // that would run past the picture, are gathered in picture order.
    const bool in_place =
        contiguous && int64_t{y + 1} * width + mode.shift <= int64_t{width} * height;
    if (mode.shift > 0 && !in_place) {
      for (int32_t x = 0; x < width; ++x) {
        const int64_t at = int64_t{y} * width + x + mode.shift;
        const int32_t row = static_cast<int32_t>(at / width);
        shifted[x] = row < height ? from.row<uint32_t>(row)[at % width]
                                  : from.row<uint32_t>(height - 1)[width - 1];
      }
      source = shifted.data();
    }
    mode.blend(source, to.row<uint32_t>(y), width);
  }
  return true;
}

}  // namespace render
