// The row operations' implementations side by side, for tests and benchmarks that compare them.
// The public functions of effects.h use the SSE2 set where the compiler targets SSE2, and the plain
// one otherwise or when the library is configured with VEK_EFFECTS_SCALAR=ON.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#define VEK_EFFECTS_HAVE_SSE2 1
#endif

namespace effects {

// Plain C++, one channel at a time: the reference.
namespace scalar {
void blend_average(const uint32_t* source, uint32_t* destination, int n);
void fade_sub_level(int level, int n, const uint32_t* source, uint32_t* destination);
void fade_sub_15(int n, uint32_t* row);
void blit_keyed(int n, const uint32_t* source, uint32_t* destination);
void crossfade_keyed(const uint32_t* picture, uint32_t* destination, const uint32_t* background,
                     int n, const int32_t* background_weight, const int32_t* picture_weight);
}  // namespace scalar

#ifdef VEK_EFFECTS_HAVE_SSE2
// Four pixels per 128-bit step, then the last pair in a 64-bit step.
namespace sse2 {
void blend_average(const uint32_t* source, uint32_t* destination, int n);
void fade_sub_level(int level, int n, const uint32_t* source, uint32_t* destination);
void fade_sub_15(int n, uint32_t* row);
void blit_keyed(int n, const uint32_t* source, uint32_t* destination);
void crossfade_keyed(const uint32_t* picture, uint32_t* destination, const uint32_t* background,
                     int n, const int32_t* background_weight, const int32_t* picture_weight);
}  // namespace sse2
#endif

}  // namespace effects
