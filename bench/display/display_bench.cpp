// Converting one 320 x 200 ARGB8888 frame to the display formats, as every presented frame is.
// Each benchmark reports its time per frame against memcpy of the source frame (vs_memcpy) and, for
// our converters, against SDL_ConvertPixels (vs_sdl) and pixman's PIXMAN_OP_SRC composite
// (vs_pixman) for the same pair, all measured in the same run: batches alternate and the best
// batch of each side counts, so a pause caused by another process spoils neither.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "display/convert.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int kSourcePitch = kWidth * 4;

struct Frames {
  std::vector<uint32_t> source = std::vector<uint32_t>(kWidth * kHeight);
  std::vector<uint8_t> destination = std::vector<uint8_t>(kWidth * kHeight * 4);
  Frames() {
    std::mt19937 random(1);
    for (uint32_t& p : source) p = random();
  }
};

Frames& frames() {
  static Frames f;
  return f;
}

using FrameFn = std::function<void()>;

void copy_frame() {
  Frames& f = frames();
  std::memcpy(f.destination.data(), f.source.data(), kWidth * kHeight * 4);
}

double ratio(const FrameFn& a, const FrameFn& b) {
  using Clock = std::chrono::steady_clock;
  auto batch_ns = [](const FrameFn& fn) {
    const auto start = Clock::now();
    for (int i = 0; i < 10; ++i) {
      fn();
      benchmark::ClobberMemory();
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  };
  double best_a = 1e300, best_b = 1e300;
  for (int round = 0; round < 40; ++round) {
    best_a = std::min(best_a, batch_ns(a));
    best_b = std::min(best_b, batch_ns(b));
  }
  return best_a / best_b;
}

// One destination format in each library's terms; 0 where a library has no such format.
struct Pair {
  int32_t vek;
  Uint32 sdl;
  pixman_format_code_t pixman;
};

FrameFn vek_frame(int32_t destination) {
  std::shared_ptr<display::Converter> c =
      display::request_converter(display::Format(display::ARGB8888), display::Format(destination));
  const int32_t pitch = kWidth * display::Format(destination).bytes;
  return [c, pitch] {
    Frames& f = frames();
    display::ConvertArea area{f.source.data(), f.destination.data(), kWidth, kHeight, kSourcePitch, pitch};
    display::convert_area(*c, area, nullptr);
  };
}

FrameFn sdl_frame(Uint32 format) {
  const int pitch = kWidth * SDL_BYTESPERPIXEL(format);
  return [format, pitch] {
    Frames& f = frames();
    SDL_ConvertPixels(kWidth, kHeight, SDL_PIXELFORMAT_ARGB8888, f.source.data(), kSourcePitch,
                      format, f.destination.data(), pitch);
  };
}

FrameFn pixman_frame(pixman_format_code_t format) {
  Frames& f = frames();
  const int pitch = (kWidth * PIXMAN_FORMAT_BPP(format) / 8 + 3) & ~3;
  auto source = std::shared_ptr<pixman_image_t>(
      pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, f.source.data(), kSourcePitch),
      pixman_image_unref);
  auto destination = std::shared_ptr<pixman_image_t>(
      pixman_image_create_bits(format, kWidth, kHeight, reinterpret_cast<uint32_t*>(f.destination.data()), pitch),
      pixman_image_unref);
  return [source, destination] {
    pixman_image_composite32(PIXMAN_OP_SRC, source.get(), nullptr, destination.get(), 0, 0, 0, 0, 0, 0,
                             kWidth, kHeight);
  };
}

void run(benchmark::State& state, const FrameFn& frame) {
  for (auto _ : state) {
    frame();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kWidth * kHeight * 4);
  state.counters["vs_memcpy"] = ratio(frame, copy_frame);
}

void BM_Memcpy(benchmark::State& state) { run(state, copy_frame); }

void BM_Vek(benchmark::State& state, Pair pair) {
  const FrameFn frame = vek_frame(pair.vek);
  run(state, frame);
  if (pair.sdl) state.counters["vs_sdl"] = ratio(frame, sdl_frame(pair.sdl));
  if (pair.pixman) state.counters["vs_pixman"] = ratio(frame, pixman_frame(pair.pixman));
}

void BM_Sdl(benchmark::State& state, Pair pair) { run(state, sdl_frame(pair.sdl)); }
void BM_Pixman(benchmark::State& state, Pair pair) { run(state, pixman_frame(pair.pixman)); }

// Our RGB888 is three bytes blue, green, red: SDL's BGR24 and pixman's r8g8b8. SDL and pixman have
// no grey format.
const Pair kArgb{display::ARGB8888, SDL_PIXELFORMAT_ARGB8888, PIXMAN_a8r8g8b8};
const Pair kRgb888{display::RGB888, SDL_PIXELFORMAT_BGR24, PIXMAN_r8g8b8};
const Pair kRgb565{display::RGB565, SDL_PIXELFORMAT_RGB565, PIXMAN_r5g6b5};
const Pair kArgb1555{display::ARGB1555, SDL_PIXELFORMAT_ARGB1555, PIXMAN_a1r5g5b5};
const Pair kGrey8{display::GREY8, 0, pixman_format_code_t(0)};

BENCHMARK(BM_Memcpy);
BENCHMARK_CAPTURE(BM_Vek, ARGB8888, kArgb);
BENCHMARK_CAPTURE(BM_Vek, RGB888, kRgb888);
BENCHMARK_CAPTURE(BM_Vek, RGB565, kRgb565);
BENCHMARK_CAPTURE(BM_Vek, ARGB1555, kArgb1555);
BENCHMARK_CAPTURE(BM_Vek, GREY8, kGrey8);
BENCHMARK_CAPTURE(BM_Sdl, ARGB8888, kArgb);
BENCHMARK_CAPTURE(BM_Sdl, RGB888, kRgb888);
BENCHMARK_CAPTURE(BM_Sdl, RGB565, kRgb565);
BENCHMARK_CAPTURE(BM_Sdl, ARGB1555, kArgb1555);
BENCHMARK_CAPTURE(BM_Pixman, ARGB8888, kArgb);
BENCHMARK_CAPTURE(BM_Pixman, RGB888, kRgb888);
BENCHMARK_CAPTURE(BM_Pixman, RGB565, kRgb565);
BENCHMARK_CAPTURE(BM_Pixman, ARGB1555, kArgb1555);

}  // namespace
