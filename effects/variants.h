// The row operations' implementations side by side, for tests and benchmarks that compare them.
// The public functions of effects.h use the SSE2 set where the compiler targets SSE2, and the plain
// C++ set otherwise or when the library is configured with VEK_EFFECTS_SCALAR=ON.
#pragma once

#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#define VEK_EFFECTS_HAVE_SSE2 1
#endif

namespace effects {

struct RowOperations {
  const char* name;
  void (*blend_average)(const uint32_t* source, uint32_t* destination, int n);
  void (*fade_sub_level)(int level, int n, const uint32_t* source, uint32_t* destination);
  void (*fade_sub_15)(int n, uint32_t* row);
  void (*blit_keyed)(int n, const uint32_t* source, uint32_t* destination);
  void (*crossfade_keyed)(const uint32_t* picture, uint32_t* destination,
                          const uint32_t* background, int n, const int32_t* background_weight,
                          const int32_t* picture_weight);
};

// Plain C++, one channel at a time: the reference.
extern const RowOperations kScalarRows;
#ifdef VEK_EFFECTS_HAVE_SSE2
// Eight pixels per step in two 128-bit registers, then four, then the last pair in 64 bits.
extern const RowOperations kSse2Rows;
#endif

// The public functions of effects.h, then every set compiled in.
const std::vector<const RowOperations*>& row_operation_sets();

}  // namespace effects
