// Row operations with SSE2: four pixels per 128-bit register, two registers per step so that loads
// and stores overlap, and the last pair of a row in the low half of one.
#include "effects/effects.h"
#include "effects/variants.h"

#ifdef VEK_EFFECTS_HAVE_SSE2

#include <emmintrin.h>

namespace effects::sse2 {
namespace {

struct Four {
  static __m128i load(const uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  static void store(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
};
struct Two {
  static __m128i load(const uint32_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
  static void store(uint32_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
};

// Calls step(i, Four{}) for each block of four pixels and step(i, Two{}) for a last pair. Rows are
// processed in pairs, so an odd last pixel is left alone.
template <typename Step>
inline void for_each_block(int n, Step step) {
  int pairs = n & ~1;
  int i = 0;
  for (; i + 8 <= pairs; i += 8) {
    step(i, Four{});
    step(i + 4, Four{});
  }
  if (i + 4 <= pairs) {
    step(i, Four{});
    i += 4;
  }
  if (i < pairs) step(i, Two{});
}

// Colour channels of every pixel set to value, alpha 0: the operand of the saturating fades.
__m128i colour_bytes(int value) {
  uint32_t byte = static_cast<uint32_t>(value) & 0xFF;
  return _mm_set1_epi32(static_cast<int>(byte * 0x00010101u));
}

__m128i select(__m128i mask, __m128i if_set, __m128i if_clear) {
  return _mm_or_si128(_mm_and_si128(mask, if_set), _mm_andnot_si128(mask, if_clear));
}

void blend_average(const uint32_t* source, uint32_t* destination, int n) {
  // With each byte's lowest bit cleared the sum is even, so the rounding average (s + d + 1) >> 1
  // is exactly s / 2 + d / 2.
  const __m128i even = _mm_set1_epi32(static_cast<int>(0xFEFEFEFEu));
  for_each_block(n, [&](int i, auto width) {
    using W = decltype(width);
    __m128i s = _mm_and_si128(W::load(source + i), even);
    __m128i d = _mm_and_si128(W::load(destination + i), even);
    W::store(destination + i, _mm_avg_epu8(s, d));
  });
}

void fade_sub_level(int level, int n, const uint32_t* source, uint32_t* destination) {
  const __m128i amount = colour_bytes(level);
  for_each_block(n, [&](int i, auto width) {
    using W = decltype(width);
    W::store(destination + i, _mm_subs_epu8(W::load(source + i), amount));
  });
}

void fade_sub_15(int n, uint32_t* row) { fade_sub_level(15, n, row, row); }

void blit_keyed(int n, const uint32_t* source, uint32_t* destination) {
  const __m128i key = _mm_set1_epi32(static_cast<int>(COLOUR_KEY));
  for_each_block(n, [&](int i, auto width) {
    using W = decltype(width);
    __m128i s = W::load(source + i);
    W::store(destination + i, select(_mm_cmpeq_epi32(s, key), W::load(destination + i), s));
  });
}

void crossfade_keyed(const uint32_t* picture, uint32_t* destination, const uint32_t* background,
                     int n, const int32_t* background_weight, const int32_t* picture_weight) {
  const __m128i key = _mm_set1_epi32(static_cast<int>(COLOUR_KEY));
  const __m128i zero = _mm_setzero_si128();
  const __m128i wb = _mm_set1_epi16(static_cast<short>(*background_weight & 0xFFFF));
  const __m128i wp = _mm_set1_epi16(static_cast<short>(*picture_weight & 0xFFFF));
  auto mix = [&](__m128i b, __m128i p) {  // 16-bit lanes: products to 16 bits, saturating sum
    return _mm_srli_epi16(_mm_adds_epu16(_mm_mullo_epi16(b, wb), _mm_mullo_epi16(p, wp)), 8);
  };
  for_each_block(n, [&](int i, auto width) {
    using W = decltype(width);
    __m128i p = W::load(picture + i);
    __m128i b = W::load(background + i);
    __m128i low = mix(_mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(p, zero));
    __m128i high = mix(_mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(p, zero));
    W::store(destination + i, select(_mm_cmpeq_epi32(p, key), b, _mm_packus_epi16(low, high)));
  });
}

}  // namespace
}  // namespace effects::sse2

namespace effects {

const RowOperations kSse2Rows = {
    "sse2",           sse2::blend_average,  sse2::fade_sub_level, sse2::fade_sub_15,
    sse2::blit_keyed, sse2::crossfade_keyed};

}  // namespace effects

#endif  // VEK_EFFECTS_HAVE_SSE2
