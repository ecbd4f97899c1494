// SSE2 versions of the per-frame routines from ARGB8888 to 16-, 24- and 8-bit displays, eight or
// sixteen pixels a step, the tail left to the portable routine. Without SSE2 the portable
// routines serve alone.
#include "display/convert_rows.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace display {
namespace rows {
namespace {

#if defined(__SSE2__)

// Four ARGB8888 pixels to 16-bit pixels in the low halves of their lanes. Red and blue, cut to
// their top bits, sit in the two 16-bit halves of each lane, so one multiply-add moves both into
// place (blue x kBlueScale + red x kRedScale); green is masked in, and one shift ends the job.
template <uint32_t kRedBlue, int32_t kScales, uint32_t kGreen, int kRight>
__m128i narrow16(__m128i p) {
  const __m128i red_blue = _mm_madd_epi16(_mm_and_si128(p, _mm_set1_epi32(kRedBlue)), _mm_set1_epi32(kScales));
  const __m128i green = _mm_and_si128(p, _mm_set1_epi32(kGreen));
  return _mm_srli_epi32(_mm_or_si128(red_blue, green), kRight);
}

// _mm_packs_epi32 saturates signed values, so lanes that may exceed 0x7FFF are sign-extended from
// 16 bits first; the packed halves are then exact.
__m128i pack16(__m128i a, __m128i b, bool top_bit_used) {
  if (top_bit_used) {
    a = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
    b = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
  }
  return _mm_packs_epi32(a, b);
}

template <uint32_t kRedBlue, int32_t kScales, uint32_t kGreen, int kRight, bool kTopBit>
void argb_to_16(const uint8_t* s, uint8_t* d, int32_t count, const void* data, RowRoutine tail) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i + 16));
    const __m128i packed = pack16(narrow16<kRedBlue, kScales, kGreen, kRight>(a),
                                  narrow16<kRedBlue, kScales, kGreen, kRight>(b), kTopBit);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * i), packed);
  }
  tail(s + 4 * i, d + 2 * i, count - i, data);
}

// RGB565: blue bits 3-7 x 4 to 5-9, red bits 19-23 (3-7 of the high half) x 0x2000 to 16-20,
// green bits 10-15 stay; shifted right by 5.
void argb_to_rgb565(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  argb_to_16<0x00F800F8, 0x20000004, 0x0000FC00, 5, true>(s, d, count, data, from_argb8888_scalar(RGB565));
}

// ARGB1555: blue bits 3-7 x 8 to 6-10, red x 0x2000 to 16-20, green bits 11-15 stay; shifted
// right by 6; alpha stays 0.
void argb_to_argb1555(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  argb_to_16<0x00F800F8, 0x20000008, 0x0000F800, 6, false>(s, d, count, data,
                                                          from_argb8888_scalar(ARGB1555));
}

// blue / 4 + green / 2 + red / 4 of four pixels, at most 253, in 32-bit lanes.
__m128i grey4(__m128i p) {
  const __m128i blue = _mm_srli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x0000FF)), 2);
  const __m128i green = _mm_srli_epi32(_mm_and_si128(p, _mm_set1_epi32(0x00FF00)), 9);
  const __m128i red = _mm_srli_epi32(_mm_and_si128(p, _mm_set1_epi32(0xFF0000)), 18);
  return _mm_add_epi32(_mm_add_epi32(blue, green), red);
}

void argb_to_grey8(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  int32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i* in = reinterpret_cast<const __m128i*>(s + 4 * i);
    const __m128i low = _mm_packs_epi32(grey4(_mm_loadu_si128(in)), grey4(_mm_loadu_si128(in + 1)));
    const __m128i high = _mm_packs_epi32(grey4(_mm_loadu_si128(in + 2)), grey4(_mm_loadu_si128(in + 3)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(low, high));
  }
  from_argb8888_scalar(GREY8)(s + 4 * i, d + i, count - i, data);
}

// Four pixels to twelve bytes blue, green, red in the low bytes of the register: each 64-bit half
// closes its gap first (pixel 1 down one byte onto pixel 0), then the high half moves down onto
// the low one.
template <bool kSwapRedBlue>
__m128i pack24(__m128i p) {
  if (kSwapRedBlue) {
    const __m128i green = _mm_and_si128(p, _mm_set1_epi32(0x00FF00));
    const __m128i red = _mm_and_si128(_mm_srli_epi32(p, 16), _mm_set1_epi32(0xFF));
    const __m128i blue = _mm_slli_epi32(_mm_and_si128(p, _mm_set1_epi32(0xFF)), 16);
    p = _mm_or_si128(_mm_or_si128(red, green), blue);
  } else {
    p = _mm_and_si128(p, _mm_set1_epi32(0x00FFFFFF));
  }
  const __m128i even = _mm_and_si128(p, _mm_set_epi32(0, -1, 0, -1));
  const __m128i odd = _mm_srli_epi64(_mm_andnot_si128(_mm_set_epi32(0, -1, 0, -1), p), 8);
  const __m128i halves = _mm_or_si128(even, odd);
  return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

// Sixteen pixels, 48 bytes, in three whole stores.
template <bool kSwapRedBlue>
void argb_to_24(const uint8_t* s, uint8_t* d, int32_t count, const void* data, RowRoutine tail) {
  int32_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i* in = reinterpret_cast<const __m128i*>(s + 4 * i);
    const __m128i z0 = pack24<kSwapRedBlue>(_mm_loadu_si128(in));
    const __m128i z1 = pack24<kSwapRedBlue>(_mm_loadu_si128(in + 1));
    const __m128i z2 = pack24<kSwapRedBlue>(_mm_loadu_si128(in + 2));
    const __m128i z3 = pack24<kSwapRedBlue>(_mm_loadu_si128(in + 3));
    __m128i* out = reinterpret_cast<__m128i*>(d + 3 * i);
    _mm_storeu_si128(out, _mm_or_si128(z0, _mm_slli_si128(z1, 12)));
    _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(z1, 4), _mm_slli_si128(z2, 8)));
    _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(z2, 8), _mm_slli_si128(z3, 4)));
  }
  tail(s + 4 * i, d + 3 * i, count - i, data);
}

void argb_to_rgb888(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  argb_to_24<false>(s, d, count, data, from_argb8888_scalar(RGB888));
}

void argb_to_bgr888(const uint8_t* s, uint8_t* d, int32_t count, const void* data) {
  argb_to_24<true>(s, d, count, data, from_argb8888_scalar(BGR888));
}

#endif

}  // namespace

RowRoutine from_argb8888(int32_t destination_id) {
#if defined(__SSE2__)
  switch (destination_id) {
    case RGB565: return argb_to_rgb565;
    case ARGB1555: return argb_to_argb1555;
    case GREY8: return argb_to_grey8;
    case RGB888: return argb_to_rgb888;
    case BGR888: return argb_to_bgr888;
    default: break;
  }
#endif
  return from_argb8888_scalar(destination_id);
}

}  // namespace rows
}  // namespace display
