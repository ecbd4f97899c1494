// The generated module as two independent players read it: the structure the intro's timeline
// relies on, its timing to the millisecond, and its loudness.
#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <libopenmpt/libopenmpt.hpp>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr double kRowMs = 5 * 2500.0 / 116;  // speed x 2.5 s / tempo
const std::vector<int> kOrders = {0, 1, 2, 3, 4, 3, 5, 6, 7};

std::vector<uint8_t> module_bytes() {
  platform::Resource r = platform::find_resource("RT_RCDATA", "SUPER.XM");
  return r ? std::vector<uint8_t>(r.data, r.data + r.size) : std::vector<uint8_t>{};
}

TEST(Module, LibxmpReadsTheStructure) {
  std::vector<uint8_t> bytes = module_bytes();
  ASSERT_FALSE(bytes.empty());
  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())), 0);
  xmp_module_info info;
  xmp_get_module_info(ctx, &info);
  const xmp_module& m = *info.mod;
  // Length, channels, patterns (libxmp appends an empty one to every XM), speed and tempo.
  EXPECT_EQ((std::vector<int>{m.len, m.chn, m.pat, m.spd, m.bpm}),
            (std::vector<int>{9, 8, 8 + 1, 5, 116}));
  EXPECT_EQ(std::vector<int>(m.xxo, m.xxo + m.len), kOrders);

  // Every pattern sets speed and tempo on its first row; only the last one jumps, on its last row.
  for (int p = 0; p < 8; ++p) {
    ASSERT_EQ(m.xxp[p]->rows, 64);
    bool speed = false, tempo = false;
    int jumps = 0;
    for (int row = 0; row < 64; ++row)
      for (int ch = 0; ch < m.chn; ++ch) {
        const xmp_event& e = m.xxt[m.xxp[p]->index[ch]]->event[row];
        if (e.fxt == 0x0F && row == 0) {
          if (e.fxp < 32) speed = e.fxp == 5;
          else tempo = e.fxp == 116;
        }
        if (e.fxt == 0x0B) {
          ++jumps;
          EXPECT_EQ(p, 7);
          EXPECT_EQ(row, 63);
          EXPECT_EQ(e.fxp, 3);
        }
      }
    EXPECT_TRUE(speed && tempo) << "pattern " << p;
    EXPECT_EQ(jumps, p == 7 ? 1 : 0) << "pattern " << p;
  }
  xmp_release_module(ctx);
  xmp_free_context(ctx);
}

// Rendered by libopenmpt in steps under a millisecond, every row change is timed to within one.
// libopenmpt rounds a tick down to whole samples; at 46400 Hz a tick (2.5 s / 116) is exactly 1000
// samples, so the rendering keeps the module's own timing instead of drifting by that rounding.
TEST(Module, RowsKeepTheTimelineUntilTheJumpBack) {
  std::vector<uint8_t> bytes = module_bytes();
  openmpt::module mod(bytes);
  ASSERT_EQ(mod.get_num_orders(), 9);
  for (int o = 0; o < 9; ++o) EXPECT_EQ(mod.get_order_pattern(o), kOrders[o]);
  mod.set_repeat_count(-1);
  constexpr int kRate = 46400, kStep = 40;
  std::vector<float> buffer(2 * kStep);
  float peak = 0;
  int order = 0, row = 0, rows_seen = 0;
  struct Mark { int order, row; double seconds; bool seen; };
  Mark marks[] = {{1, 55, 12.82, false}, {6, 0, 41.38, false}, {7, 16, 50.00, false}, {7, 55, 54.20, false}};
  bool jumped_back = false;
  for (int64_t frames = kStep; frames <= 70 * kRate && !jumped_back; frames += kStep) {
    double ms = frames * 1000.0 / kRate;
    ASSERT_EQ(mod.read_interleaved_stereo(kRate, kStep, buffer.data()), size_t(kStep));
    for (float v : buffer) peak = std::max(peak, std::fabs(v));
    int o = mod.get_current_order(), r = mod.get_current_row();
    if (o == order && r == row) continue;
    // The change happened within the last step.
    ++rows_seen;
    EXPECT_NEAR(ms, (rows_seen * kRowMs), 1.0) << "order " << o << " row " << r;
    for (Mark& m : marks)
      if (m.order == o && m.row == r) {
        m.seen = true;
        EXPECT_NEAR(ms / 1000.0, m.seconds, 0.006) << "order " << o << " row " << r;
      }
    if (o == 3 && r == 0 && order == 8) {
      jumped_back = true;
      EXPECT_EQ(row, 63);
      EXPECT_EQ(rows_seen, 9 * 64);
    } else {
      EXPECT_TRUE((o == order && r == row + 1) || (o == order + 1 && r == 0 && row == 63))
          << "from " << order << "/" << row << " to " << o << "/" << r;
    }
    order = o, row = r;
  }
  EXPECT_TRUE(jumped_back);
  for (const Mark& m : marks) EXPECT_TRUE(m.seen) << "order " << m.order << " row " << m.row;
  EXPECT_LT(peak, 1.0f);
  std::printf("libopenmpt peak %.3f of full scale\n", peak);
}

// The player's own engine must not clip either: its output saturates at full scale.
TEST(Module, LibxmpRendersWithoutClipping) {
  std::vector<uint8_t> bytes = module_bytes();
  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())), 0);
  ASSERT_EQ(xmp_start_player(ctx, 44100, 0), 0);
  int peak = 0;
  xmp_frame_info fi;
  do {
    ASSERT_EQ(xmp_play_frame(ctx), 0);
    xmp_get_frame_info(ctx, &fi);
    const int16_t* s = static_cast<const int16_t*>(fi.buffer);
    for (int i = 0; i < fi.buffer_size / 2; ++i) peak = std::max(peak, std::abs(int(s[i])));
  } while (fi.loop_count == 0);
  EXPECT_LT(peak, 32767);
  std::printf("libxmp peak %d of 32767\n", peak);
  xmp_end_player(ctx);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
}

}  // namespace
