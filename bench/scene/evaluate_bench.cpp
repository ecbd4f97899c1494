// kf_evaluate per frame on animated scenes written by others and on the intro's two scenes (members
// of the generated vek.bin): tracks alone, and with the options the intro plays its scenes with
// (hierarchy, normals, morph, transform into camera space). The baseline,
// timed in alternating batches with the evaluation so that a pause caused by another process falls
// on both alike, is the least a frame must do: every vertex through one matrix. Counters:
// ns_per_frame (median batch) and vs_baseline (evaluation over baseline).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "scene/kf.h"

using namespace scene;

namespace {

using Clock = std::chrono::steady_clock;

// Assimp's animated test models, then the intro's scenes.
const char* const kModels[] = {"RotatingCube.3DS", "CameraRollAnim.3ds",
                               "CameraRollAnimWithChildObject.3ds", "TargetCameraAnim.3ds",
                               "train.3ds", "hut2.3ds"};
constexpr int kIntroScenes = 4;  // index of the first member of vek.bin
constexpr int kBatch = 256;
// The options the intro starts the scene library with for both scenes.
constexpr uint32_t kIntroOptions = KF_HIERARCHY | KF_NORMALS | KF_MORPH | KF_TRANSFORM;

std::vector<uint8_t> model_bytes(int index) {
    std::vector<uint8_t> bytes;
    if (index >= kIntroScenes) {
        archive::DataArchive data(VEK_BINARY_DIR "/data/vek.bin");
        const int32_t size = data.member_size(kModels[index]);
        if (size <= 0) return bytes;
        bytes.resize(static_cast<size_t>(size));
        if (data.read_member(kModels[index], bytes.data(), 0) != size) bytes.clear();
        return bytes;
    }
    const std::string path = std::string("/usr/share/assimp/models/3DS/") + kModels[index];
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(file);
    }
    return bytes;
}

// Loads a model as the active scene with its first camera active; null when it cannot be read.
Scene* load(int index, uint32_t options) {
    const std::vector<uint8_t> bytes = model_bytes(index);
    if (bytes.empty()) return nullptr;
    kf_startup(options);
    Scene* scene = nullptr;
    kf_scene_new(&scene);
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    if (kf_world_read_memory(bytes.data(), size, scene) != KF_OK ||
        kf_motion_read_memory(bytes.data(), size, scene) != KF_OK) {
        kf_scene_delete(scene);
        return nullptr;
    }
    kf_use_scene(scene);
    WorldNode* camera = nullptr;
    kf_find_first(WORLD_CAMERA, &camera);
    if (camera) {
        Camera* c = static_cast<Camera*>(camera->record);
        c->size_x = 320.0f;
        c->size_y = 200.0f;
        c->aspect = 0.75f;
        kf_use_camera(c);
    }
    return scene;
}

void transform_vertices(Scene* scene, const Matrix* m) {
    for (WorldNode* node = scene->world; node; node = node->next) {
        if (node->type != WORLD_OBJECT) continue;
        Object* object = static_cast<Object*>(node->record);
        for (int32_t i = 0; i < object->vertex_count; ++i)
            mat_mul_point(m, &object->vertices[i].vert, &object->vertices[i].pvert);
    }
}

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

void BM_Evaluate(benchmark::State& state, uint32_t options) {
    const char* name = kModels[state.range(0)];
    Scene* scene = load(static_cast<int>(state.range(0)), options);
    if (!scene) {
        state.SkipWithError("model not found or not readable");
        return;
    }
    float start, end;
    kf_frame_range(&start, &end);
    float frame = start;
    Matrix identity;
    mat_identity(&identity);
    std::vector<double> ours, baseline;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            kf_goto_frame(frame);
            kf_evaluate();
            frame += 1.0f;
            if (frame >= end) frame = start;
        }
        const Clock::time_point t1 = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            transform_vertices(scene, &identity);
            benchmark::ClobberMemory();
        }
        const Clock::time_point t2 = Clock::now();
        ours.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
        baseline.push_back(std::chrono::duration<double, std::nano>(t2 - t1).count());
    }
    state.SetLabel(name);
    state.counters["ns_per_frame"] = median(ours) / kBatch;
    state.counters["vs_baseline"] = median(ours) / median(baseline);
    kf_use_camera(nullptr);
    kf_scene_delete(scene);
    kf_shutdown();
}

void BM_EvaluateTracks(benchmark::State& state) { BM_Evaluate(state, 0); }
void BM_EvaluateFrame(benchmark::State& state) { BM_Evaluate(state, kIntroOptions); }

constexpr int kLastModel = sizeof kModels / sizeof kModels[0] - 1;
BENCHMARK(BM_EvaluateTracks)->DenseRange(0, kLastModel);
BENCHMARK(BM_EvaluateFrame)->DenseRange(0, kLastModel);

}  // namespace
