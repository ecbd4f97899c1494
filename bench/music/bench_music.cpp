// CPU time of rendering the whole module once (orders 0 to 8, 62.07 s of music), reported as
// "percent_of_playing_time". The player on the virtual clock is measured
// against the engine alone, rendering the same ticks into nothing, in the same run.
#include <benchmark/benchmark.h>
#include <xmp.h>

#include <cstdlib>

#include "music/music.h"
#include "platform/platform.h"

namespace {

constexpr double kSongSeconds = 9 * 64 * 5 * 2.5 / 116;

// Inverted rate: CPU seconds per iteration divided by the playing time in hundredths (the library
// prints it with an "s" for seconds).
benchmark::Counter percent_of_playing_time() {
  return benchmark::Counter(kSongSeconds / 100, benchmark::Counter::kIsIterationInvariantRate |
                                                    benchmark::Counter::kInvert);
}

void BM_EngineAlone(benchmark::State& state) {
  platform::Resource m = platform::find_resource("RT_RCDATA", "SUPER.XM");
  xmp_context ctx = xmp_create_context();
  if (!m || xmp_load_module_from_memory(ctx, m.data, long(m.size)) != 0) {
    state.SkipWithError("no module");
    return;
  }
  for (auto _ : state) {
    xmp_start_player(ctx, music::kSampleRate, 0);
    xmp_frame_info fi;
    do {
      xmp_play_frame(ctx);
      xmp_get_frame_info(ctx, &fi);
      benchmark::DoNotOptimize(fi.buffer);
    } while (fi.loop_count == 0);
    xmp_end_player(ctx);
  }
  state.counters["percent_of_playing_time"] = percent_of_playing_time();
  xmp_release_module(ctx);
  xmp_free_context(ctx);
}
BENCHMARK(BM_EngineAlone)->Unit(benchmark::kMillisecond);

void BM_Player(benchmark::State& state) {
  setenv("VEK_CLOCK", "virtual", 1);
  setenv("VEK_AUDIO", "none", 1);
  platform::Resource m = platform::find_resource("RT_RCDATA", "SUPER.XM");
  for (auto _ : state) {
    platform::clock_reset();
    music::music_init(nullptr);
    music::music_play_memory(m.data, m.size);
    platform::wait_until(uint32_t(kSongSeconds * 1000));
    benchmark::DoNotOptimize(music::music_position());
    music::music_free();
  }
  state.counters["percent_of_playing_time"] = percent_of_playing_time();
}
BENCHMARK(BM_Player)->Unit(benchmark::kMillisecond);

}  // namespace
