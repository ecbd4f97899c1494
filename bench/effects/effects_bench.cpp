// Pixel effects over a 320 x 200 frame, row by row as the picture screens and the frame blend call
// them. Each benchmark reports vs_memcpy: its time per frame over the time memcpy takes to copy the
// same rows, both measured in the same run (best of several batches, so that noise from other
// processes counts against neither).
#include "effects/effects.h"
#include "effects/variants.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
using Frame = std::vector<uint32_t>;

struct Frames {
  Frame picture, screen, background, texture;
  Frames()
      : picture(kWidth * kHeight),
        screen(picture.size()),
        background(picture.size()),
        texture(effects::kTextureTexels) {
    std::mt19937 rng(1);
    for (Frame* f : {&picture, &screen, &background, &texture}) {
      for (uint32_t& p : *f)
        p = rng() % 8 == 0 ? effects::COLOUR_KEY : static_cast<uint32_t>(rng());
    }
  }
};

Frames& frames() {
  static Frames f;
  return f;
}

// The baseline: one row copied from the picture to the screen.
void copy_row(int at) {
  Frames& f = frames();
  std::memcpy(&f.screen[at], &f.picture[at], kWidth * sizeof(uint32_t));
}

void copy_frame() {
  for (int y = 0; y < kHeight; ++y) copy_row(y * kWidth);
}

// Time per frame of frame() over that of copy_frame(): batches of the two alternate, and the best
// batch of each counts, so that a pause caused by another process spoils neither side.
template <typename FrameFn>
double ratio_to_memcpy(FrameFn frame) {
  using Clock = std::chrono::steady_clock;
  auto batch_ns = [](auto fn) {
    auto start = Clock::now();
    for (int i = 0; i < 10; ++i) {
      fn();
      benchmark::ClobberMemory();
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  };
  double best_frame = 1e300, best_copy = 1e300;
  for (int round = 0; round < 40; ++round) {
    best_frame = std::min(best_frame, batch_ns(frame));
    best_copy = std::min(best_copy, batch_ns(copy_frame));
  }
  return best_frame / best_copy;
}

// The benchmark loop for one operation, applied to every row of a frame.
template <typename RowFn>
void run_rows(benchmark::State& state, RowFn row) {
  auto frame = [&] {
    for (int y = 0; y < kHeight; ++y) row(y * kWidth);
  };
  for (auto _ : state) {
    frame();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kWidth * kHeight * 4);
  state.counters["vs_memcpy"] = ratio_to_memcpy(frame);
}

void BM_memcpy(benchmark::State& state) { run_rows(state, copy_row); }
BENCHMARK(BM_memcpy);

template <typename RowFn>
void add(const effects::RowOperations& set, const char* operation, RowFn row) {
  std::string name = std::string("BM_") + operation + "/" + set.name;
  benchmark::RegisterBenchmark(name.c_str(),
                               [row](benchmark::State& state) { run_rows(state, row); });
}

bool register_row_operations() {
  Frames& f = frames();
  static const int32_t background_weight = 131, picture_weight = 123;
  for (const effects::RowOperations* sets : effects::row_operation_sets()) {
    const effects::RowOperations set = *sets;
    add(set, "blit_keyed",
        [&f, set](int at) { set.blit_keyed(kWidth, &f.picture[at], &f.screen[at]); });
    add(set, "fade_sub_15", [&f, set](int at) { set.fade_sub_15(kWidth, &f.screen[at]); });
    add(set, "fade_sub_level",
        [&f, set](int at) { set.fade_sub_level(100, kWidth, &f.picture[at], &f.screen[at]); });
    add(set, "blend_average",
        [&f, set](int at) { set.blend_average(&f.picture[at], &f.screen[at], kWidth); });
    add(set, "crossfade_keyed", [&f, set](int at) {
      set.crossfade_keyed(&f.picture[at], &f.screen[at], &f.background[at], kWidth,
                          &background_weight, &picture_weight);
    });
  }
  return true;
}
const bool row_operations_registered = register_row_operations();

// Span fillers: one 320-pixel span per row, walking the texture diagonally.
template <void (*Fill)(effects::Fixed16, effects::Fixed16, int, const uint32_t*, uint32_t*)>
void BM_span(benchmark::State& state) {
  Frames& f = frames();
  effects::span_u_step = effects::pack_u_step(0x0000C000);
  effects::span_v_step = effects::pack_v_step(0x00003000);
  effects::span_texel_weight = effects::pack_span_weight(100);
  effects::span_dest_weight = effects::pack_span_weight(155);
  run_rows(state,
           [&f](int at) { Fill(at * 64, at * 16, kWidth, f.texture.data(), &f.screen[at]); });
}
BENCHMARK_TEMPLATE(BM_span, effects::span_tex_alpha)->Name("BM_span_tex_alpha");
BENCHMARK_TEMPLATE(BM_span, effects::span_tex_weighted)->Name("BM_span_tex_weighted");
BENCHMARK_TEMPLATE(BM_span, effects::span_tex_average)->Name("BM_span_tex_average");

}  // namespace
