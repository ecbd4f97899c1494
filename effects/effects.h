// Pixel effects: the textured span fillers of the transparent rasterizer modes and the whole-row
// operations of the picture screens and the frame blend. Pixels are 32-bit ARGB8888 (blue in the
// lowest byte). No operation allocates, clips or checks its arguments: the callers guarantee spans
// of n >= 1 pixels, rows of an even n >= 2 and pointers to at least n pixels.
#pragma once

#include <cstdint>

namespace effects {

using Fixed16 = int32_t;  // 16.16 fixed point

// A source pixel equal to this in all 32 bits is transparent (magenta with alpha 0).
constexpr uint32_t COLOUR_KEY = 0x00FF00FF;

// ---- Texture layout -----------------------------------------------------------------------------
// Span textures hold 256 x 256 texels in vertical strips 8 texels wide, so that a step in v stays
// within one strip: texel (u, v) lives at (u mod 8) + 8 v + 2048 (u div 8).
constexpr uint32_t kTextureTexels = 256 * 256;

constexpr uint32_t tiled_texel_index(uint32_t u, uint32_t v) {
  return (u & 7) + 8 * (v & 0xFF) + 2048 * ((u & 0xFF) >> 3);
}

// ---- Packed texture coordinates -----------------------------------------------------------------
// The span fillers keep u and v in two words laid out so that one addition and one shift give the
// tiled texel index. The integer parts sit where the index needs them; the lowest fraction bit is
// dropped so that each fraction (at most 0x7FFF) can never carry into the index.
//
//   bit          31      27 26         19 18    16  15  14            0
//   packed u    [ u 7..3  ][    gap      ][ u 2..0 ][g][ u fraction 15..1 ]
//   packed v    [   gap   ][   v 7..0    ][  gap   ][g][ v fraction 15..1 ]
//   (u + v) >> 16: index = (u 7..3) << 11 | (v 7..0) << 3 | (u 2..0)
//
// A step is packed the same way with its gap bits set to ones, so that a carry out of one field
// runs through the gap into the next; after each addition the gaps are cleared again. Carries out
// of bit 31 are lost, so u and v wrap at 256.
constexpr uint32_t kPackedUMask = 0xF8077FFF;  // u's fields; the rest are its gaps
constexpr uint32_t kPackedVMask = 0x07F87FFF;  // v's fields

constexpr uint32_t pack_u(Fixed16 u) {
  uint32_t x = static_cast<uint32_t>(u);
  return (x << 8 & 0xF8000000) | (x & 0x00070000) | (x >> 1 & 0x00007FFF);
}
constexpr uint32_t pack_v(Fixed16 v) {
  uint32_t x = static_cast<uint32_t>(v);
  return (x << 3 & 0x07F80000) | (x >> 1 & 0x00007FFF);
}
constexpr uint32_t pack_u_step(Fixed16 du) { return pack_u(du) | ~kPackedUMask; }
constexpr uint32_t pack_v_step(Fixed16 dv) { return pack_v(dv) | ~kPackedVMask; }

constexpr uint32_t step_packed_u(uint32_t packed, uint32_t step) {
  return (packed + step) & kPackedUMask;
}
constexpr uint32_t step_packed_v(uint32_t packed, uint32_t step) {
  return (packed + step) & kPackedVMask;
}
constexpr uint32_t packed_texel_index(uint32_t packed_u, uint32_t packed_v) {
  return (packed_u + packed_v) >> 16;
}

static_assert(packed_texel_index(pack_u(0x00FF0000), pack_v(0x00FF0000)) ==
                  tiled_texel_index(255, 255),
              "packed coordinates must address the tiled texture");
static_assert(step_packed_u(pack_u(0x00FFFFFF), pack_u_step(0x00000002)) == pack_u(0),
              "u must wrap at 256");

// ---- Span fillers -------------------------------------------------------------------------------
// Stepping state the rasterizer sets before each span: the per-pixel steps in packed form, and for
// span_tex_weighted the two constant weights, each a 16-bit weight w stored as w + 65536 w.
extern uint32_t span_u_step;
extern uint32_t span_v_step;
extern uint32_t span_texel_weight;
extern uint32_t span_dest_weight;

constexpr uint32_t pack_span_weight(uint32_t w) { return (w & 0xFFFF) * 0x00010001u; }

// n pixels from destination[0] rightwards, texel k taken at (u + k du, v + k dv), nearest texel.
// Colour channels: t (255 - A) >> 8 + d A >> 8 with A = the texel's alpha read as transparency;
// alpha: t_A 255 >> 8.
void span_tex_alpha(Fixed16 u, Fixed16 v, int n, const uint32_t* texture, uint32_t* destination);
// Every channel: (t wt) >> 8 + (d wd) >> 8, the products kept to 16 bits, the sum to 8 bits.
void span_tex_weighted(Fixed16 u, Fixed16 v, int n, const uint32_t* texture, uint32_t* destination);
// Every channel: t / 2 + d / 2, each rounded down first.
void span_tex_average(Fixed16 u, Fixed16 v, int n, const uint32_t* texture, uint32_t* destination);

// ---- Row operations -----------------------------------------------------------------------------
// Pixels go in pairs: an odd n leaves the last pixel untouched.

// Every channel: s / 2 + d / 2, each rounded down first.
void blend_average(const uint32_t* source, uint32_t* destination, int n);
// Colour channels: source - level, saturating at 0; alpha copied. Level 0 copies.
void fade_sub_level(int level, int n, const uint32_t* source, uint32_t* destination);
// Colour channels - 15 in place, saturating at 0; alpha unchanged.
void fade_sub_15(int n, uint32_t* row);
// Copies every source pixel that is not COLOUR_KEY.
void blit_keyed(int n, const uint32_t* source, uint32_t* destination);
// Keyed picture pixels show the background; the others, in every channel,
// min(B wB + P wP, 65535) >> 8 with 16-bit weights (the low half of each 32-bit value).
// destination may be background.
void crossfade_keyed(const uint32_t* picture, uint32_t* destination, const uint32_t* background,
                     int n, const int32_t* background_weight, const int32_t* picture_weight);

}  // namespace effects
