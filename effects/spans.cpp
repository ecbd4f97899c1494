// Textured span fillers for the transparent rasterizer modes.
#include "effects/effects.h"

namespace effects {

uint32_t span_u_step = 0;
uint32_t span_v_step = 0;
uint32_t span_texel_weight = 0;
uint32_t span_dest_weight = 0;

namespace {

uint32_t channel(uint32_t pixel, int c) { return pixel >> (8 * c) & 0xFF; }

// Weighted part of one channel as a 16-bit lane computes it: product kept to 16 bits, then >> 8.
uint32_t weighted(uint32_t value, uint32_t weight) { return (value * weight & 0xFFFF) >> 8; }

// Walks the span's texels: combine(texel, destination pixel) gives each new pixel.
template <typename Combine>
inline void fill_span(Fixed16 u, Fixed16 v, int n, const uint32_t* texture, uint32_t* destination,
                      Combine combine) {
  uint32_t packed_u = pack_u(u);
  uint32_t packed_v = pack_v(v);
  const uint32_t u_step = span_u_step;
  const uint32_t v_step = span_v_step;
  for (int k = 0; k < n; ++k) {
    destination[k] = combine(texture[packed_texel_index(packed_u, packed_v)], destination[k]);
    packed_u = step_packed_u(packed_u, u_step);
    packed_v = step_packed_v(packed_v, v_step);
  }
}

}  // namespace

void span_tex_alpha(Fixed16 u, Fixed16 v, int n, const uint32_t* texture, uint32_t* destination) {
  // Alpha 255 shows the destination; the alpha byte itself keeps only the texel's, one step down.
  fill_span(u, v, n, texture, destination, [](uint32_t t, uint32_t d) {
    uint32_t a = channel(t, 3);
    uint32_t out = weighted(a, 255) << 24;
    for (int c = 0; c < 3; ++c) {
      out |= (weighted(channel(t, c), 255 - a) + weighted(channel(d, c), a)) << 8 * c;
    }
    return out;
  });
}

void span_tex_weighted(Fixed16 u, Fixed16 v, int n, const uint32_t* texture,
                       uint32_t* destination) {
  const uint32_t wt = span_texel_weight & 0xFFFF;
  const uint32_t wd = span_dest_weight & 0xFFFF;
  fill_span(u, v, n, texture, destination, [wt, wd](uint32_t t, uint32_t d) {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
      out |= ((weighted(channel(t, c), wt) + weighted(channel(d, c), wd)) & 0xFF) << 8 * c;
    }
    return out;
  });
}

void span_tex_average(Fixed16 u, Fixed16 v, int n, const uint32_t* texture, uint32_t* destination) {
  // Clearing each byte's lowest bit first keeps the halves inside their bytes.
  fill_span(u, v, n, texture, destination, [](uint32_t t, uint32_t d) {
    return ((t & 0xFEFEFEFE) >> 1) + ((d & 0xFEFEFEFE) >> 1);
  });
}

}  // namespace effects
