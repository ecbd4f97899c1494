// measure_realtime SECONDS: plays the intro in this process on the real clock, headless and without
// an audio device, with a key at SECONDS that ends it (the final fade and the music fade follow),
// and prints the processor time it used as a share of one core and how late each frame wait
// returned after its deadline. Run from the folder of vek.bin; scripts/measure-realtime builds and
// runs it.
//
// The waits are observed without any hook in the code: the linker routes the intro's calls of
// platform::wait_until through __wrap_ below (-Wl,--wrap), which calls the real one and notes the
// time it returned.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "intro/intro.h"
#include "platform/platform.h"

namespace {

using Steady = std::chrono::steady_clock;

// The steady-clock millisecond at which the clock read 0: the clock counts whole milliseconds of the
// steady clock from there, so deadline d is reached at exactly (origin + d) ms.
int64_t origin_ms = 0;
std::vector<double> late_ms;
int overruns = 0;  // frames whose work took longer than their period: late before the wait began

int64_t steady_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Steady::now().time_since_epoch())
      .count();
}

void find_origin() {
  for (;;) {
    const int64_t before = steady_us() / 1000;
    const uint32_t clock = platform::clock_ms();
    if (steady_us() / 1000 == before) {
      origin_ms = before - clock;
      return;
    }
  }
}

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

#define WAIT_UNTIL _ZN8platform10wait_untilEj
#define REAL(name) REAL_(name)
#define REAL_(name) __real_##name
#define WRAP(name) WRAP_(name)
#define WRAP_(name) __wrap_##name
extern "C" void REAL(WAIT_UNTIL)(uint32_t deadline);
extern "C" void WRAP(WAIT_UNTIL)(uint32_t deadline) {
  if (static_cast<int32_t>(platform::clock_ms() - deadline) >= 0) ++overruns;
  REAL(WAIT_UNTIL)(deadline);
  late_ms.push_back((steady_us() - (origin_ms + deadline) * 1000) / 1000.0);
}

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  setenv("VEK_CONSOLE", "headless", 1);
  setenv("VEK_AUDIO", "none", 1);
  unsetenv("VEK_CLOCK");
  unsetenv("VEK_CAPTURE");
  unsetenv("VEK_TRACE");
  setenv("VEK_KEYS", (std::to_string(seconds * 1000) + ":27").c_str(), 1);
  late_ms.reserve(4096);

  platform::clock_reset();
  find_origin();
  const auto start = Steady::now();
  const double cpu_before = cpu_seconds();
  if (intro::RunIntro() != 0) {
    std::fprintf(stderr, "measure_realtime: the intro did not run\n");
    return 1;
  }
  const double cpu = cpu_seconds() - cpu_before;
  const double wall = std::chrono::duration<double>(Steady::now() - start).count();

  std::vector<double> sorted = late_ms;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted.empty() ? 0 : sorted[sorted.size() / 2];
  const double worst = sorted.empty() ? 0 : sorted.back();
  std::printf("run %.1f s, processor %.2f s: %.1f %% of one core\n", wall, cpu, 100 * cpu / wall);
  std::printf("frame waits %zu (%d began after their deadline): late by median %.3f ms, worst %.3f ms\n",
              sorted.size(), overruns, median, worst);
  return 0;
}
