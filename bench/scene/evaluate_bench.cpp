// kf_evaluate per frame on animated scenes written by others: tracks alone, and tracks with the
// hierarchy, normals and the transform into camera space as the intro plays a scene. The baseline
// is the least a frame must do: every vertex through one matrix.
#include <benchmark/benchmark.h>

#include <string>

#include "scene/kf.h"

using namespace scene;

namespace {

const char* const kModels[] = {"RotatingCube.3DS", "CameraRollAnim.3ds",
                               "CameraRollAnimWithChildObject.3ds", "TargetCameraAnim.3ds"};

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
    for (auto _ : state) {
        kf_goto_frame(frame);
        kf_evaluate();
        frame += 1.0f;
        if (frame >= end) frame = start;
    }
    state.SetLabel(name);
    state.SetItemsProcessed(state.iterations());
    kf_use_camera(nullptr);
    kf_scene_delete(scene);
    kf_shutdown();
}

void BM_EvaluateTracks(benchmark::State& state) { BM_Evaluate(state, 0); }
void BM_EvaluateFrame(benchmark::State& state) {
    BM_Evaluate(state, KF_HIERARCHY | KF_NORMALS | KF_TRANSFORM);
}

void BM_BaselineVertexTransform(benchmark::State& state) {
    const char* name = kModels[state.range(0)];
    Scene* scene = load(name, KF_NORMALS);
    if (!scene) {
        state.SkipWithError("model not installed");
        return;
    }
    Matrix m;
    mat_identity(&m);
    for (auto _ : state) {
        for (WorldNode* node = scene->world; node; node = node->next) {
            if (node->type != WORLD_OBJECT) continue;
            Object* object = static_cast<Object*>(node->record);
            for (int32_t i = 0; i < object->vertex_count; ++i)
                mat_mul_point(&m, &object->vertices[i].vert, &object->vertices[i].pvert);
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(name);
    state.SetItemsProcessed(state.iterations());
    kf_scene_delete(scene);
    kf_shutdown();
}

BENCHMARK(BM_BaselineVertexTransform)->DenseRange(0, 3);
BENCHMARK(BM_EvaluateTracks)->DenseRange(0, 3);
BENCHMARK(BM_EvaluateFrame)->DenseRange(0, 3);

}  // namespace
