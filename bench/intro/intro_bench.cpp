// The whole intro as a headless run on the virtual clock, without capture or sound device: the time
// it takes is the time of the work, since the clock jumps over every wait. Baseline, in the same
// run: the same intro from an archive without the two scenes, which the intro then skips, so the
// ratio shows what the scenes cost on top of the music and the picture screens.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/writer.h"
#include "intro/intro.h"
#include "platform/platform.h"

namespace {

const std::string kFolder = std::string(VEK_BINARY_DIR) + "/bench_intro";
const std::string kArchive = std::string(VEK_BINARY_DIR) + "/data/vek.bin";
double baseline_ms = 0;  // the last run of the baseline

// The generated archive without its .3ds members.
std::string archive_without_scenes() {
  std::filesystem::create_directories(kFolder);
  const std::string path = kFolder + "/no_scenes.bin";
  archive::DataArchive vek(kArchive.c_str());
  std::vector<archive::MemberFile> members;
  for (const archive::ArchiveEntry* e = vek.first_entry(); e; e = e->next) {
    const std::string name = e->name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".3ds") == 0) continue;
    archive::MemberFile member{name, std::vector<uint8_t>(e->size)};
    if (vek.read_entry(*e, member.bytes.data(), 0) != static_cast<int32_t>(e->size)) return "";
    members.push_back(std::move(member));
  }
  return archive::write_archive(path, members).empty() ? path : "";
}

// Counters: clock_ms, the intro's length on its virtual clock; vs_baseline, the real time of a run
// over that of the last baseline run.
void RunWholeIntro(benchmark::State& state, const std::string& archive_path, bool baseline) {
  if (archive_path.empty()) {
    state.SkipWithError("cannot read or write the archive");
    return;
  }
  setenv("VEK_CLOCK", "virtual", 1);
  setenv("VEK_AUDIO", "none", 1);
  setenv("VEK_CONSOLE", "headless", 1);
  unsetenv("VEK_CAPTURE");
  unsetenv("VEK_KEYS");
  unsetenv("VEK_TRACE");
  archive::library_archive().reopen(archive_path.c_str());
  double ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    platform::clock_reset();
    benchmark::DoNotOptimize(intro::RunIntro());
    const auto took = std::chrono::steady_clock::now() - start;
    ms = std::chrono::duration<double, std::milli>(took).count();
  }
  state.counters["clock_ms"] = benchmark::Counter(platform::clock_ms());
  if (baseline) baseline_ms = ms;
  if (baseline_ms > 0) state.counters["vs_baseline"] = benchmark::Counter(ms / baseline_ms);
}

void BM_WholeIntro(benchmark::State& state) { RunWholeIntro(state, kArchive, false); }
void BM_Baseline_IntroWithoutScenes(benchmark::State& state) {
  RunWholeIntro(state, archive_without_scenes(), true);
}

// One run is seconds long: a few repetitions give the median.
BENCHMARK(BM_Baseline_IntroWithoutScenes)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_WholeIntro)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace
