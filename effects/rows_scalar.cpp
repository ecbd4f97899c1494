// Row operations in plain C++, one channel at a time: the reference for every other implementation.
#include "effects/effects.h"
#include "effects/variants.h"

namespace effects::scalar {
namespace {

uint32_t channel(uint32_t pixel, int c) { return pixel >> (8 * c) & 0xFF; }

// Rows are processed two pixels at a time, so an odd last pixel is left alone.
int paired(int n) { return n & ~1; }

void blend_average(const uint32_t* source, uint32_t* destination, int n) {
  for (int i = 0; i < paired(n); ++i) {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
      out |= ((channel(source[i], c) & 0xFE) / 2 + (channel(destination[i], c) & 0xFE) / 2)
             << 8 * c;
    }
    destination[i] = out;
  }
}

void fade_sub_level(int level, int n, const uint32_t* source, uint32_t* destination) {
  for (int i = 0; i < paired(n); ++i) {
    uint32_t out = source[i] & 0xFF000000;
    for (int c = 0; c < 3; ++c) {
      int value = static_cast<int>(channel(source[i], c)) - level;
      out |= static_cast<uint32_t>(value > 0 ? value : 0) << 8 * c;
    }
    destination[i] = out;
  }
}

void fade_sub_15(int n, uint32_t* row) { fade_sub_level(15, n, row, row); }

void blit_keyed(int n, const uint32_t* source, uint32_t* destination) {
  for (int i = 0; i < paired(n); ++i) {
    if (source[i] != COLOUR_KEY) destination[i] = source[i];
  }
}

// Products are kept to 16 bits and their sum saturates at 65535 before the shift, as in 16-bit
// SIMD lanes; with weights up to 255 only the saturation can matter.
void crossfade_keyed(const uint32_t* picture, uint32_t* destination, const uint32_t* background,
                     int n, const int32_t* background_weight, const int32_t* picture_weight) {
  uint32_t wb = static_cast<uint32_t>(*background_weight) & 0xFFFF;
  uint32_t wp = static_cast<uint32_t>(*picture_weight) & 0xFFFF;
  for (int i = 0; i < paired(n); ++i) {
    uint32_t p = picture[i];
    uint32_t b = background[i];
    if (p == COLOUR_KEY) {
      destination[i] = b;
      continue;
    }
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
      uint32_t sum = (channel(b, c) * wb & 0xFFFF) + (channel(p, c) * wp & 0xFFFF);
      out |= (sum < 0xFFFF ? sum : 0xFFFF) >> 8 << 8 * c;
    }
    destination[i] = out;
  }
}

}  // namespace
}  // namespace effects::scalar

namespace effects {

const RowOperations kScalarRows = {
    "scalar",           scalar::blend_average,  scalar::fade_sub_level, scalar::fade_sub_15,
    scalar::blit_keyed, scalar::crossfade_keyed};

}  // namespace effects
