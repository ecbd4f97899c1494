#include "effects/effects.h"
#include "effects/variants.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Row = std::vector<uint32_t>;
using effects::COLOUR_KEY;

uint8_t byte_of(uint32_t pixel, int i) { return static_cast<uint8_t>(pixel >> (8 * i)); }

template <typename PerByte>
uint32_t per_byte(PerByte f) {
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) out |= static_cast<uint32_t>(static_cast<uint8_t>(f(i))) << (8 * i);
  return out;
}

int saturate(int x) { return x < 0 ? 0 : x > 255 ? 255 : x; }

uint32_t expect_average(uint32_t s, uint32_t d) {
  return per_byte([&](int i) { return (byte_of(s, i) & 0xFE) / 2 + (byte_of(d, i) & 0xFE) / 2; });
}
uint32_t expect_sub(uint32_t s, int level) {
  return per_byte([&](int i) { return i == 3 ? byte_of(s, 3) : saturate(byte_of(s, i) - level); });
}
uint32_t expect_crossfade(uint32_t p, uint32_t b, int wb, int wp) {
  if (p == COLOUR_KEY) return b;
  return per_byte([&](int i) {
    int sum = byte_of(b, i) * wb + byte_of(p, i) * wp;
    return (sum > 65535 ? 65535 : sum) >> 8;
  });
}

// Random pixels with keyed ones, black, white and near-key values mixed in.
Row random_row(std::mt19937& rng, int n) {
  const uint32_t specials[] = {COLOUR_KEY, 0, 0xFFFFFFFF, 0x01FF00FF, 0x00FF00FE, 0xFF000000};
  Row row(static_cast<size_t>(n));
  for (uint32_t& p : row) p = rng() % 4 == 0 ? specials[rng() % 6] : static_cast<uint32_t>(rng());
  return row;
}

// Row lengths around the four-pixel blocks; odd ones leave their last pixel alone.
const int kLengths[] = {1, 2, 3, 4, 6, 7, 8, 86, 318, 319, 320};

TEST(RowOperations, RandomRowsMatchPerByteFormulas) {
  std::mt19937 rng(20261206);
  for (const effects::RowOperations* set : effects::row_operation_sets()) {
    const effects::RowOperations& ops = *set;
    for (int n : kLengths) {
      for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(std::string(ops.name) + " n=" + std::to_string(n));
        const int done = n & ~1;
        Row s = random_row(rng, n), d = random_row(rng, n), b = random_row(rng, n);
        int level = static_cast<int>(rng() % 256);
        int32_t wb = static_cast<int32_t>(rng() % 256), wp = static_cast<int32_t>(rng() % 256);
        Row average = d, sub = d, sub15 = s, keyed = d, faded = d, in_place = b;
        ops.blend_average(s.data(), average.data(), n);
        ops.fade_sub_level(level, n, s.data(), sub.data());
        ops.fade_sub_15(n, sub15.data());
        ops.blit_keyed(n, s.data(), keyed.data());
        ops.crossfade_keyed(s.data(), faded.data(), b.data(), n, &wb, &wp);
        ops.crossfade_keyed(s.data(), in_place.data(), in_place.data(), n, &wb, &wp);
        for (int i = 0; i < n; ++i) {
          SCOPED_TRACE(i);
          bool touched = i < done;
          EXPECT_EQ(average[i], touched ? expect_average(s[i], d[i]) : d[i]);
          EXPECT_EQ(sub[i], touched ? expect_sub(s[i], level) : d[i]);
          EXPECT_EQ(sub15[i], touched ? expect_sub(s[i], 15) : s[i]);
          EXPECT_EQ(keyed[i], touched && s[i] != COLOUR_KEY ? s[i] : d[i]);
          EXPECT_EQ(faded[i], touched ? expect_crossfade(s[i], b[i], wb, wp) : d[i]);
          EXPECT_EQ(in_place[i], touched ? expect_crossfade(s[i], b[i], wb, wp) : b[i]);
        }
      }
    }
  }
}

// Texel (u, v) of the strip-tiled texture, addressed without the packing helpers.
uint32_t texel(const Row& texture, uint32_t u, uint32_t v) {
  return texture[(u % 8) + 8 * v + 2048 * (u / 8)];
}

// The coordinate of pixel k as the span walks it: 15 fraction bits, the integer part modulo 256.
uint32_t walked(effects::Fixed16 start, effects::Fixed16 step, int k) {
  uint32_t position = static_cast<uint32_t>(start >> 1) +
                      static_cast<uint32_t>(k) * static_cast<uint32_t>(step >> 1);
  return (position >> 15) % 256;
}

uint32_t expect_alpha(uint32_t t, uint32_t d) {
  int a = byte_of(t, 3);
  return per_byte([&](int i) {
    return i == 3 ? byte_of(t, 3) * 255 >> 8
                  : (byte_of(t, i) * (255 - a) >> 8) + (byte_of(d, i) * a >> 8);
  });
}
uint32_t expect_weighted(uint32_t t, uint32_t d, int wt, int wd) {
  return per_byte([&](int i) { return (byte_of(t, i) * wt >> 8) + (byte_of(d, i) * wd >> 8); });
}

TEST(SpanFillers, RandomSpansMatchPerByteFormulas) {
  std::mt19937 rng(4101);
  Row texture = random_row(rng, effects::kTextureTexels);
  for (int round = 0; round < 300; ++round) {
    int n = 1 + static_cast<int>(rng() % 320);
    auto coordinate = [&] { return static_cast<effects::Fixed16>(rng() & 0x00FFFFFF); };
    // Steps of either sign, from a fraction of a texel to a few texels per pixel.
    auto step = [&] { return static_cast<effects::Fixed16>(rng() % 0x80000) - 0x40000; };
    effects::Fixed16 u = coordinate(), v = coordinate(), du = step(), dv = step();
    int wt = static_cast<int>(rng() % 256);
    int wd = round % 2 == 0 ? 255 - wt : static_cast<int>(rng() % 256);

    effects::span_u_step = effects::pack_u_step(du);
    effects::span_v_step = effects::pack_v_step(dv);
    effects::span_texel_weight = effects::pack_span_weight(static_cast<uint32_t>(wt));
    effects::span_dest_weight = effects::pack_span_weight(static_cast<uint32_t>(wd));
    Row d = random_row(rng, n + 1), alpha = d, weighted = d, average = d;
    effects::span_tex_alpha(u, v, n, texture.data(), alpha.data());
    effects::span_tex_weighted(u, v, n, texture.data(), weighted.data());
    effects::span_tex_average(u, v, n, texture.data(), average.data());
    for (int k = 0; k < n; ++k) {
      SCOPED_TRACE("round " + std::to_string(round) + " pixel " + std::to_string(k));
      uint32_t t = texel(texture, walked(u, du, k), walked(v, dv, k));
      ASSERT_EQ(alpha[k], expect_alpha(t, d[k]));
      ASSERT_EQ(weighted[k], expect_weighted(t, d[k], wt, wd));
      ASSERT_EQ(average[k], expect_average(t, d[k]));
    }
    ASSERT_EQ(alpha[n], d[n]);
    ASSERT_EQ(weighted[n], d[n]);
    ASSERT_EQ(average[n], d[n]);
  }
}

}  // namespace
