// Spline tracks: preparation when a keyframer is read, evaluation at any frame.
//
// Position, scale, colour, fov and roll tracks are Kochanek-Bartels Hermite splines with ease in
// and out; rotation tracks are squad quaternion splines with extra full turns; hide and morph
// tracks are stepped. Evaluators take any frame in any order; only the track's `current` key
// carries state between calls, so forward playback costs one comparison per track.
#pragma once

#include <cstdint>

#include "scene/records.h"

namespace scene {

// Hermite tangents of every key. KF_NULL without keys, KF_SPLINE_KEYS for one key (left as it is).
int kf_spline_init(Track* track);
// Squad control points `quat_a` and `quat_b` of every key; the same results.
int kf_spline_init_rot(Track* track);

// Eases t in [0, 1] by the segment start key's `ease_from` (a) and the end key's `ease_to` (b).
float kf_ease(float t, float a, float b);

// Each evaluator returns KF_BAD_FRAME for a negative frame and KF_NULL for a null track or one
// without keys. Repeat and loop tracks fold the frame into their period (colour and morph tracks
// ignore the mode).
int kf_track_scalar(Track* track, float frame, float* out);
int kf_track_vector(Track* track, float frame, Vector* out);
int kf_track_color(Track* track, float frame, Color* out);
// Squad with whole extra turns, or short-way slerp when KF_SLERP is among the options.
int kf_track_rotation(Track* track, float frame, Quaternion* out);
// 1 hidden, 0 shown (also 0 with KF_NULL).
int kf_track_hide(Track* track, float frame, int* out);
// The two morph target object ids and the blend between them.
int kf_track_morph(Track* track, float frame, int32_t* from, int32_t* to, float* alpha);

// Morph keys hold their target object id in the first value word.
int32_t kf_key_target(const Key* key);
void kf_set_key_target(Key* key, int32_t id);

}  // namespace scene
