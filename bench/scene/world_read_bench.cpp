// Loading each of assimp's 3DS test models with kf_world_read, against lib3ds loading the same file
// in the same run. Each benchmark reports the median load time of both readers from alternating
// single loads (so that a pause caused by another process falls on both alike) and vs_lib3ds, our
// median over theirs: below 1 is faster.
#include <benchmark/benchmark.h>
#include <lib3ds/file.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "scene/kf.h"
#include "tests/scene/model_files.h"

namespace {

using Clock = std::chrono::steady_clock;

void load_ours(scene::Scene* scene, const std::string& file) {
    if (scene::kf_world_read(file.c_str(), scene) != 0) std::abort();
}

void load_lib3ds(const std::string& file) {
    Lib3dsFile* loaded = lib3ds_file_load(file.c_str());
    if (!loaded) std::abort();
    lib3ds_file_free(loaded);
}

template <typename Load>
double time_us(Load load) {
    const auto start = Clock::now();
    load();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void BM_WorldRead(benchmark::State& state, const std::string& file) {
    scene::kf_startup(0);
    scene::Scene* scene = nullptr;
    scene::kf_scene_new(&scene);
    for (auto _ : state) {
        load_ours(scene, file);
        benchmark::ClobberMemory();
    }
    constexpr int kSamples = 101;
    std::vector<double> ours, theirs;
    for (int i = 0; i < kSamples; ++i) {
        ours.push_back(time_us([&] { load_ours(scene, file); }));
        theirs.push_back(time_us([&] { load_lib3ds(file); }));
    }
    const double ours_us = median(ours);
    const double theirs_us = median(theirs);
    state.counters["median_us"] = ours_us;
    state.counters["lib3ds_us"] = theirs_us;
    state.counters["vs_lib3ds"] = ours_us / theirs_us;
    scene::kf_scene_delete(scene);
    scene::kf_shutdown();
}

const bool registered = [] {
    for (const std::string& file : scene_test::model_files(false)) {
        const std::string name = "BM_WorldRead/" + file.substr(file.find_last_of('/') + 1);
        benchmark::RegisterBenchmark(name.c_str(), BM_WorldRead, file)->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
