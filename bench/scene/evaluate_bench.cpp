// kf_evaluate per frame on animated scenes written by others: tracks alone, and tracks with the
// hierarchy, normals and the transform into camera space as the intro plays a scene. The baseline,
// timed in alternating batches with the evaluation so that a pause caused by another process falls
// on both alike, is the least a frame must do: every vertex through one matrix. Counters:
// ns_per_frame (median batch) and vs_baseline (evaluation over baseline).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "scene/kf.h"

using namespace scene;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kModels[] = {"RotatingCube.3DS", "CameraRollAnim.3ds",
                               "CameraRollAnimWithChildObject.3ds", "TargetCameraAnim.3ds"};
constexpr int kBatch = 256;

// Loads a model as the active scene with its first camera active; null when it cannot be read.
Scene* load(const char* name, uint32_t options) {
    kf_startup(options);
    const std::string path = std::string("/usr/share/assimp/models/3DS/") + name;
    Scene* scene = nullptr;
    kf_scene_new(&scene);
    if (kf_world_read(path.c_str(), scene) != KF_OK ||
        kf_motion_read(path.c_str(), scene) != KF_OK) {
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
    Scene* scene = load(name, options);
    if (!scene) {
        state.SkipWithError("model not installed");
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
void BM_EvaluateFrame(benchmark::State& state) {
    BM_Evaluate(state, KF_HIERARCHY | KF_NORMALS | KF_TRANSFORM);
}

BENCHMARK(BM_EvaluateTracks)->DenseRange(0, 3);
BENCHMARK(BM_EvaluateFrame)->DenseRange(0, 3);

}  // namespace
