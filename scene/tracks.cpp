// Spline tracks: Kochanek-Bartels value splines with ease, squad rotation splines with extra turns,
// and the stepped hide and morph tracks.
#include "scene/tracks.h"

#include <cmath>
#include <cstring>

#include "scene/kf.h"
#include "scene/library.h"

namespace scene {
namespace {

constexpr int kValueWords = 4;

// Accumulated key angles are whole numbers, so any step above 2 pi is at least one full turn.
constexpr double kFullTurn = 6.28318430718;
constexpr double kTurnsPerRadian = 0.15915494309188485;  // 1 / (2 pi)

// Tension, continuity and bias of a key folded into the factors of the Kochanek-Bartels tangents.
struct TcbWeights {
    float tm, cm, cp, bm, bp;
};

TcbWeights tcb_weights(const Key* key) {
    TcbWeights w;
    w.tm = 0.5f * (1.0f - key->tension);
    w.cm = 1.0f - key->continuity;
    w.cp = 2.0f - w.cm;
    w.bm = 1.0f - key->bias;
    w.bp = 2.0f - w.bm;
    return w;
}

// Scales the tangents by how far the key sits from the middle of its neighbours, so unevenly spaced
// keys do not overshoot. Keys sharing one frame (a malformed file) count as evenly spaced.
void spacing_adjust(const Key* key, float gap_in, float gap_out, float span, float* adj_in,
                    float* adj_out) {
    float x_in = 1.0f, x_out = 1.0f;
    if (span != 0.0f) {
        const float k = 1.0f / (0.5f * span);
        x_in = gap_in * k;
        x_out = gap_out * k;
    }
    const float c = std::fabs(key->continuity);
    *adj_in = x_in + c - c * x_in;
    *adj_out = x_out + c - c * x_out;
}

void kb_tangents(Key* key, const Key* prev, const Key* next, float gap_in, float gap_out,
                 float span) {
    const TcbWeights w = tcb_weights(key);
    float adj_in, adj_out;
    spacing_adjust(key, gap_in, gap_out, span, &adj_in, &adj_out);
    const float in_prev = w.tm * w.cm * w.bp * adj_in, in_next = w.tm * w.cp * w.bm * adj_in;
    const float out_prev = w.tm * w.cp * w.bp * adj_out, out_next = w.tm * w.cm * w.bm * adj_out;
    for (int i = 0; i < kValueWords; ++i) {
        const float g1 = key->value[i] - prev->value[i];
        const float g2 = next->value[i] - key->value[i];
        key->tangent_in[i] = in_prev * g1 + in_next * g2;
        key->tangent_out[i] = out_prev * g1 + out_next * g2;
    }
}

// Tangent at an open end from the end key, its neighbour and the key after that: the slope of a
// parabola through the three, corrected for their spacing. `d_near` and `d_far` are the value steps
// and `f_near`, `f_far` the frame steps, all taken in the direction of increasing frames.
void open_end_tangent(float tension, const float* d_near, const float* d_far, float f_near,
                      float f_far, float* out) {
    const float f = f_far != 0.0f ? 0.25f - f_near / (f_far * 2.0f) : 0.0f;
    for (int i = 0; i < kValueWords; ++i) {
        const float h = 0.5f * d_far[i];
        out[i] = (1.0f - tension) * (h + 1.5f * (d_near[i] - h) + f * d_far[i]);
    }
}

void open_ends(Key* first, Key* last) {
    float d_near[kValueWords], d_far[kValueWords];
    const Key* k1 = first->next;
    const Key* k2 = k1->next;
    for (int i = 0; i < kValueWords; ++i) {
        d_near[i] = k1->value[i] - first->value[i];
        d_far[i] = k2->value[i] - first->value[i];
    }
    open_end_tangent(first->tension, d_near, d_far, k1->frame - first->frame,
                     k2->frame - first->frame, first->tangent_out);

    const Key* kb = last->prev;
    const Key* ka = kb->prev;
    for (int i = 0; i < kValueWords; ++i) {
        d_near[i] = last->value[i] - kb->value[i];
        d_far[i] = last->value[i] - ka->value[i];
    }
    open_end_tangent(last->tension, d_near, d_far, last->frame - kb->frame, last->frame - ka->frame,
                     last->tangent_in);
}

// A looping track continues from its last key into its second key, so both ends are inner keys of
// the unwrapped sequence ... k(n-2), k(n-1) = k0, k1 ...; `frames` is the period.
void loop_ends(Key* first, Key* last, float frames) {
    Key* before_last = last->prev;
    Key* second = first->next;
    kb_tangents(first, before_last, second, (first->frame - before_last->frame) + frames,
                second->frame - first->frame, (second->frame - before_last->frame) + frames);
    kb_tangents(last, before_last, second, last->frame - before_last->frame,
                (second->frame - last->frame) + frames,
                (second->frame - before_last->frame) + frames);
}

// Logarithm of the rotation from `from` to `to`. A step of a full turn or more has no useful
// shortest path, so it becomes a quarter turn about the far key's axis. `flip_to` says which key is
// the neighbour that is flipped into the same hemisphere.
Quaternion rotation_log(const Key* from, const Key* to, bool flip_to) {
    Quaternion g;
    if (std::fabs(to->value[0] - from->value[0]) > kFullTurn) {
        Quaternion axis;
        qt_make(0.0f, to->value[1], to->value[2], to->value[3], &axis);
        qt_ln(&axis, &g);
        return g;
    }
    Quaternion a = from->quat, b = to->quat;
    if (qt_dot(&a, &b) < 0.0f) {
        Quaternion* neighbour = flip_to ? &b : &a;
        qt_unit_conjugate(neighbour, neighbour);
    }
    qt_ln_dif(&a, &b, &g);
    return g;
}

void rotation_controls(Key* key) {
    const Key* prev = key->prev;
    const Key* next = key->next;
    Quaternion g_in, g_out;
    if (prev != nullptr) g_in = rotation_log(prev, key, false);
    if (next != nullptr) g_out = rotation_log(key, next, true);
    if (prev == nullptr) g_in = g_out;
    if (next == nullptr) g_out = g_in;

    const TcbWeights w = tcb_weights(key);
    float adj_in = 1.0f, adj_out = 1.0f;
    if (prev != nullptr && next != nullptr)
        spacing_adjust(key, key->frame - prev->frame, next->frame - key->frame,
                       next->frame - prev->frame, &adj_in, &adj_out);
    const float out_in = w.tm * w.cp * w.bp * adj_out, out_out = w.tm * w.cm * w.bm * adj_out;
    const float in_in = w.tm * w.cm * w.bp * adj_in, in_out = w.tm * w.cp * w.bm * adj_in;

    const float gi[3] = {g_in.x, g_in.y, g_in.z};
    const float go[3] = {g_out.x, g_out.y, g_out.z};
    float a[3], b[3];
    for (int i = 0; i < 3; ++i) {
        const float to = out_in * gi[i] + out_out * go[i];
        const float ti = in_in * gi[i] + in_out * go[i];
        a[i] = 0.5f * (to - go[i]);
        b[i] = 0.5f * (gi[i] - ti);
    }
    Quaternion step;
    qt_make(0.0f, a[0], a[1], a[2], &step);
    qt_exp(&step, &step);
    qt_mul(&key->quat, &step, &key->quat_a);
    qt_make(0.0f, b[0], b[1], b[2], &step);
    qt_exp(&step, &step);
    qt_mul(&key->quat, &step, &key->quat_b);
}

int check_track(const Track* track, float frame) {
    if (!(frame >= 0.0f)) return KF_BAD_FRAME;  // negative, and NaN which no key can place
    if (track == nullptr || track->keys == nullptr) return KF_NULL;
    return 0;
}

// Folds the frame of a repeat or loop track into its period; a period of 0 leaves it unchanged.
float fold_frame(const Track* track, float frame) {
    if (track->mode == TRACK_NONE || track->frames == 0.0f) return frame;
    return frame - std::trunc(frame / track->frames) * track->frames;
}

// Finds the key that starts the segment holding `frame`. Forward playback resumes at the cached
// key; a frame equal to a key's frame stays in the segment that ends at that key.
Key* find_segment(Track* track, float frame) {
    Key* key = track->current;
    if (key == nullptr || frame < key->frame) key = track->keys;
    while (key->next != nullptr && key->next->frame < frame) key = key->next;
    track->current = key;
    return key;
}

bool inside_segment(const Key* key, float frame) {
    return key->next != nullptr && !(frame < key->frame);
}

// Eased position of `frame` between `k0` and its next key; a zero-length segment (duplicate key
// frames) is at its end.
float segment_position(const Key* k0, float frame) {
    const Key* k1 = k0->next;
    const float span = k1->frame - k0->frame;
    if (!(span > 0.0f)) return 1.0f;
    return kf_ease((frame - k0->frame) / span, k0->ease_from, k1->ease_to);
}

int evaluate_value(Track* track, float frame, bool periodic, int words, float* out) {
    if (const int err = check_track(track, frame)) return err;
    if (periodic) frame = fold_frame(track, frame);
    const Key* k0 = track->keys;
    if (k0->next != nullptr && !(frame < k0->frame)) k0 = find_segment(track, frame);
    if (!inside_segment(k0, frame)) {
        std::memcpy(out, k0->value, sizeof(float) * words);
        return 0;
    }
    const Key* k1 = k0->next;
    const float t = segment_position(k0, frame);
    const float t2 = t * t, t3 = t2 * t;
    const float h1 = 2.0f * t3 - 3.0f * t2 + 1.0f;
    const float h2 = -2.0f * t3 + 3.0f * t2;
    const float h3 = t3 - 2.0f * t2 + t;
    const float h4 = t3 - t2;
    for (int i = 0; i < words; ++i)
        out[i] = h1 * k0->value[i] + h2 * k1->value[i] + h3 * k0->tangent_out[i] +
                 h4 * k1->tangent_in[i];
    return 0;
}

}  // namespace

int kf_spline_init(Track* track) {
    if (track == nullptr || track->keys == nullptr) return KF_NULL;
    Key* first = track->keys;
    if (first->next == nullptr) return KF_SPLINE_KEYS;
    Key* last = first;
    while (last->next != nullptr) last = last->next;

    if (first->next == last) {
        for (int i = 0; i < kValueWords; ++i) {
            const float step = last->value[i] - first->value[i];
            first->tangent_in[i] = 0.0f;
            first->tangent_out[i] = (1.0f - first->tension) * step;
            last->tangent_out[i] = 0.0f;
            last->tangent_in[i] = (1.0f - last->tension) * step;
        }
        return 0;
    }
    for (Key* key = first->next; key != last; key = key->next)
        kb_tangents(key, key->prev, key->next, key->frame - key->prev->frame,
                    key->next->frame - key->frame, key->next->frame - key->prev->frame);
    if (track->mode == TRACK_LOOP)
        loop_ends(first, last, track->frames);
    else
        open_ends(first, last);
    return 0;
}

int kf_spline_init_rot(Track* track) {
    if (track == nullptr || track->keys == nullptr) return KF_NULL;
    if (track->keys->next == nullptr) return KF_SPLINE_KEYS;
    for (Key* key = track->keys; key != nullptr; key = key->next) rotation_controls(key);
    return 0;
}

float kf_ease(float t, float a, float b) {
    const float s = a + b;
    if (s == 0.0f) return t;
    if (s > 1.0f) {
        a = a / s;
        b = b / s;
    }
    const float k = 1.0f / (2.0f - a - b);
    if (t < a) return (k / a) * (t * t);
    if (t < 1.0f - b) return k * (2.0f * t - a);
    if (b == 0.0f) return 1.0f;
    const float u = 1.0f - t;
    return 1.0f - (k / b) * (u * u);
}

int kf_track_scalar(Track* track, float frame, float* out) {
    return evaluate_value(track, frame, true, 1, out);
}

int kf_track_vector(Track* track, float frame, Vector* out) {
    float v[3];
    const int err = evaluate_value(track, frame, true, 3, v);
    if (err == 0) vec_make(v[0], v[1], v[2], out);
    return err;
}

int kf_track_color(Track* track, float frame, Color* out) {
    float v[3];
    const int err = evaluate_value(track, frame, false, 3, v);
    if (err == 0) {
        out->r = v[0];
        out->g = v[1];
        out->b = v[2];
    }
    return err;
}

int kf_track_rotation(Track* track, float frame, Quaternion* out) {
    if (const int err = check_track(track, frame)) return err;
    frame = fold_frame(track, frame);
    if (options & KF_SLERP) {
        const Key* k0 = find_segment(track, frame);
        if (!inside_segment(k0, frame)) {
            *out = k0->quat;
            return 0;
        }
        qt_slerp_short(&k0->quat, &k0->next->quat, segment_position(k0, frame), out);
        return 0;
    }
    const Key* k0 = track->keys;
    if (k0->next != nullptr && !(frame < k0->frame)) k0 = find_segment(track, frame);
    if (!inside_segment(k0, frame)) {
        *out = k0->quat;
        return 0;
    }
    const Key* k1 = k0->next;
    const float t = segment_position(k0, frame);
    // Whole turns between the keys, truncated toward zero, each adding pi to the slerp angle.
    const float spins =
        static_cast<float>(std::trunc((k1->value[0] - k0->value[0]) * kTurnsPerRadian));
    Quaternion q1, q2;
    qt_slerp(&k0->quat, &k1->quat, spins, t, &q1);
    qt_slerp(&k0->quat_a, &k1->quat_b, spins, t, &q2);
    qt_slerp(&q1, &q2, 0.0f, 2.0f * t * (1.0f - t), out);
    return 0;
}

int kf_track_hide(Track* track, float frame, int* out) {
    if (const int err = check_track(track, frame)) {
        if (err == KF_NULL) *out = 0;
        return err;
    }
    frame = fold_frame(track, frame);
    if (frame < track->keys->frame) {
        *out = 0;
        return 0;
    }
    *out = find_segment(track, frame)->value[0] != 0.0f;
    return 0;
}

int kf_track_morph(Track* track, float frame, int32_t* from, int32_t* to, float* alpha) {
    if (const int err = check_track(track, frame)) return err;
    const Key* key = find_segment(track, frame);
    if (inside_segment(key, frame)) {
        *from = kf_key_target(key);
        *to = kf_key_target(key->next);
        *alpha = segment_position(key, frame);
        return 0;
    }
    // Past the last key the morph has arrived; before the first it rests on the first target.
    *from = kf_key_target(key->prev != nullptr ? key->prev : key);
    *to = kf_key_target(key);
    *alpha = 1.0f;
    return 0;
}

int32_t kf_key_target(const Key* key) {
    int32_t id;
    std::memcpy(&id, &key->value[0], sizeof id);
    return id;
}

void kf_set_key_target(Key* key, int32_t id) { std::memcpy(&key->value[0], &id, sizeof id); }

}  // namespace scene
