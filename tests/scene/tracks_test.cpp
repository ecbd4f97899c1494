// Spline tracks against independent oracles: lib3ds's own tangents, the Hermite basis as a matrix
// product in double precision, ease as the distance covered under its speed profile, and
// single-axis rotations worked as plain angles. Also the segment rules, repeat and loop, and the
// stepped tracks.
#include "scene/tracks.h"

#include <gtest/gtest.h>
#include <lib3ds/tracks.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "scene/kf.h"

using namespace scene;

namespace {

constexpr double kPiD = 3.14159265358979323846;

// A track that owns its keys.
struct TestTrack {
    Track track{};
    std::vector<std::unique_ptr<Key>> keys;

    explicit TestTrack(uint32_t mode = TRACK_NONE) { track.mode = mode; }

    Key* add(float frame, float x, float y = 0.0f, float z = 0.0f) {
        keys.push_back(std::make_unique<Key>());
        Key* key = keys.back().get();
        key->frame = frame;
        key->value[0] = x;
        key->value[1] = y;
        key->value[2] = z;
        key->prev = track.current;
        if (track.current)
            track.current->next = key;
        else
            track.keys = key;
        track.current = key;
        track.frames = frame;
        ++track.key_count;
        return key;
    }

    // A rotation key: `angle` is the accumulated whole-number angle, `quat` the absolute rotation.
    Key* add_rotation(float frame, float angle, float axis_y, const Quaternion& quat) {
        Key* key = add(frame, angle, 0.0f, axis_y);
        key->quat = quat;
        return key;
    }

    float scalar(float frame) {
        float v = NAN;
        EXPECT_EQ(kf_track_scalar(&track, frame, &v), KF_OK);
        return v;
    }
};

Quaternion about_y(float angle) {
    Quaternion q;
    qt_from_angle_axis(angle, 0.0f, 1.0f, 0.0f, &q);
    return q;
}

// The Hermite curve from p0 to p1 with end tangents m0 and m1 at s in [0, 1], written as the power
// basis times the Hermite matrix times the geometry: [s^3 s^2 s 1] H [p0 p1 m0 m1]^T.
double hermite(double s, double p0, double p1, double m0, double m1) {
    static const double kH[4][4] = {{2, -2, 1, 1}, {-3, 3, -2, -1}, {0, 0, 1, 0}, {1, 0, 0, 0}};
    const double powers[4] = {s * s * s, s * s, s, 1.0};
    const double geometry[4] = {p0, p1, m0, m1};
    double v = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) v += powers[i] * kH[i][j] * geometry[j];
    return v;
}

// Ease as distance travelled: the speed rises linearly over the first `a` of the segment, holds,
// and falls linearly over the last `b`; the distance covered by t, over the whole distance.
// Settings adding to more than 1 are scaled to add to 1.
double eased(double t, double a, double b) {
    if (a + b > 1.0) {
        const double s = a + b;
        a /= s;
        b /= s;
    }
    const auto speed = [a, b](double x) {
        double v = 1.0;
        if (a > 0.0) v = std::fmin(v, x / a);
        if (b > 0.0) v = std::fmin(v, (1.0 - x) / b);
        return v;
    };
    const auto distance = [&speed](double to) {  // midpoint rule
        const int steps = 4000;
        double sum = 0.0;
        for (int i = 0; i < steps; ++i) sum += speed((i + 0.5) * to / steps) * to / steps;
        return sum;
    };
    return distance(t) / distance(1.0);
}

class TracksTest : public ::testing::Test {
protected:
    void SetUp() override { kf_startup(0); }
    void TearDown() override { kf_shutdown(); }
};

TEST_F(TracksTest, PreparationAndFrameErrors) {
    TestTrack empty, one;
    EXPECT_EQ(kf_spline_init(&empty.track), KF_NULL);
    EXPECT_EQ(kf_spline_init_rot(&empty.track), KF_NULL);
    // One key: no spline, and the key stands at every frame.
    one.add(30.0f, 4.5f);
    EXPECT_EQ(kf_spline_init(&one.track), KF_SPLINE_KEYS);
    EXPECT_EQ(kf_spline_init_rot(&one.track), KF_SPLINE_KEYS);
    for (float frame : {0.0f, 29.0f, 30.0f, 31.5f, 1000.0f}) EXPECT_EQ(one.scalar(frame), 4.5f);
    float f = 9.0f;
    int hidden = 7;
    EXPECT_EQ(kf_track_scalar(&one.track, -1.0f, &f), KF_BAD_FRAME);
    EXPECT_EQ(kf_track_scalar(&one.track, NAN, &f), KF_BAD_FRAME);
    EXPECT_EQ(f, 9.0f);
    EXPECT_EQ(kf_track_hide(nullptr, 0.0f, &hidden), KF_NULL);
    EXPECT_EQ(hidden, 0);
    EXPECT_EQ(kf_track_hide(&one.track, -0.5f, &hidden), KF_BAD_FRAME);
}

// Random tension, continuity, bias, ease and uneven key spacing, in every mode. The tangents of
// inner keys, and of every key of a loop, are lib3ds's (it prepares them by the same rules); the
// open ends follow their rule expanded: (1 - T) (1.5 (P1 - P0) - (f1 - f0) / (2 (f2 - f0)) (P2 - P0)).
// The value between keys is the Hermite matrix product at the eased position.
TEST_F(TracksTest, ValueSplinesFollowKochanekBartelsBetweenKeys) {
    std::mt19937 random(15);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (uint32_t mode : {TRACK_NONE, TRACK_REPEAT, TRACK_LOOP}) {
        for (int n = 2; n <= 6; ++n) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << n << " keys");
            TestTrack ours(mode);
            Lib3dsLin3Track theirs{};
            theirs.flags = mode == TRACK_LOOP ? LIB3DS_SMOOTH : 0;
            int frame = 0;
            for (int i = 0; i < n; ++i) {
                Key* key = ours.add(static_cast<float>(frame), 10 * unit(random), 10 * unit(random),
                                    10 * unit(random));
                key->tension = 0.6f * unit(random);
                key->continuity = 0.8f * unit(random);
                key->bias = 0.8f * unit(random);
                if (i % 2 == 1) {
                    key->ease_to = 0.5f + 0.5f * unit(random);
                    key->ease_from = 0.5f + 0.5f * unit(random);
                }
                Lib3dsLin3Key* their = lib3ds_lin3_key_new();
                their->tcb = Lib3dsTcb{frame, 0, key->tension, key->continuity, key->bias, 0, 0};
                std::memcpy(their->value, key->value, sizeof their->value);
                lib3ds_lin3_track_insert(&theirs, their);
                frame += 4 + static_cast<int>(random() % 30);
            }
            ASSERT_EQ(kf_spline_init(&ours.track), KF_OK);
            lib3ds_lin3_track_setup(&theirs);

            // Tangents, double precision: [key][0 incoming, 1 outgoing][component].
            std::vector<std::array<std::array<double, 3>, 2>> tangent(n);
            const Lib3dsLin3Key* their = theirs.keyL;
            for (int i = 0; i < n; ++i, their = their->next)
                for (int c = 0; c < 3; ++c) {
                    tangent[i][0][c] = their->ds[c];
                    tangent[i][1][c] = their->dd[c];
                }
            const auto open_end = [&](int end, int near, int far, int c) {
                const Key& e = *ours.keys[end];
                const Key& a = *ours.keys[near];
                const Key& b = *ours.keys[far];
                const double sign = end == 0 ? 1.0 : -1.0;  // steps in the direction of the frames
                return (1.0 - e.tension) *
                       (1.5 * sign * (a.value[c] - e.value[c]) -
                        (a.frame - e.frame) / (2.0 * (b.frame - e.frame)) * sign * (b.value[c] - e.value[c]));
            };
            for (int c = 0; c < 3; ++c) {
                const Key& first = *ours.keys[0];
                const Key& last = *ours.keys[n - 1];
                if (n == 2) {
                    const double step = last.value[c] - first.value[c];
                    tangent[0][1][c] = (1.0 - first.tension) * step;
                    tangent[1][0][c] = (1.0 - last.tension) * step;
                } else if (mode != TRACK_LOOP) {
                    tangent[0][1][c] = open_end(0, 1, 2, c);
                    tangent[n - 1][0][c] = open_end(n - 1, n - 2, n - 3, c);
                }
            }

            for (int i = 0; i + 1 < n; ++i) {
                const Key& k0 = *ours.keys[i];
                const Key& k1 = *ours.keys[i + 1];
                for (double s : {0.02, 0.3, 0.5, 0.77, 0.98}) {
                    const float at = k0.frame + static_cast<float>(s) * (k1.frame - k0.frame);
                    const double u = eased((at - k0.frame) / (k1.frame - k0.frame), k0.ease_from,
                                           k1.ease_to);
                    Vector v;
                    ASSERT_EQ(kf_track_vector(&ours.track, at, &v), KF_OK);
                    const float got[3] = {v.x, v.y, v.z};
                    for (int c = 0; c < 3; ++c) {
                        const double expected = hermite(u, k0.value[c], k1.value[c],
                                                        tangent[i][1][c], tangent[i + 1][0][c]);
                        EXPECT_NEAR(got[c], expected, 2e-4) << "frame " << at << ", component " << c;
                    }
                }
            }
            lib3ds_lin3_track_free_keys(&theirs);
        }
    }
}

// Hand-worked: keys (0, 0), (10, 1), (30, 5), no tension. The open end's tangent is
// 1.5 - 10/60 * 5 = 2/3; the inner key's incoming tangent 0.5 (1 + 4) 20/30 = 5/3, its outgoing
// 0.5 (1 + 4) 40/30 = 10/3; the last key's incoming 1.5 * 4 - 20/60 * 5 = 13/3.
TEST_F(TracksTest, KeysAreHitAndBoundariesTakeTheEndingSegment) {
    TestTrack track;
    track.add(0.0f, 0.0f);
    track.add(10.0f, 1.0f);
    track.add(30.0f, 5.0f);
    ASSERT_EQ(kf_spline_init(&track.track), KF_OK);
    // Half way along each segment the Hermite weights are 1/2, 1/2, 1/8 and -1/8.
    EXPECT_NEAR(track.scalar(5.0f), 0.5f + (2.0f / 3.0f - 5.0f / 3.0f) / 8.0f, 1e-6f);
    EXPECT_NEAR(track.scalar(20.0f), 3.0f + (10.0f / 3.0f - 13.0f / 3.0f) / 8.0f, 1e-5f);
    // On both sides of each key: keys are hit exactly, going forward and after jumping back.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 3; ++i) {
            const Key* key = track.keys[pass ? 2 - i : i].get();
            EXPECT_EQ(track.scalar(key->frame), key->value[0]);
            if (pass == 0 && key->prev) {
                EXPECT_EQ(track.track.current, key->prev);
            }
        }
    }
    EXPECT_LT(track.scalar(9.999f), 1.0f);
    EXPECT_GT(track.scalar(10.001f), 1.0f);
    EXPECT_EQ(track.scalar(80.0f), 5.0f);

    // Two keys of full tension have flat ends: a smooth step, 3t^2 - 2t^3.
    TestTrack tense;
    tense.add(0.0f, 0.0f)->tension = 1.0f;
    tense.add(10.0f, 1.0f)->tension = 1.0f;
    ASSERT_EQ(kf_spline_init(&tense.track), KF_OK);
    EXPECT_EQ(tense.scalar(5.0f), 0.5f);
    EXPECT_NEAR(tense.scalar(1.0f), 0.028f, 1e-6f);
}

TEST_F(TracksTest, EaseIsTheDistanceUnderItsSpeedProfile) {
    for (float a : {0.0f, 0.2f, 0.5f, 0.7f, 1.0f}) {
        for (float b : {0.0f, 0.3f, 0.6f, 0.9f}) {
            for (float t = 0.0f; t <= 1.0f; t += 0.0625f) {
                EXPECT_NEAR(kf_ease(t, a, b), eased(t, a, b), 2e-6) << a << " " << b << " " << t;
            }
        }
    }
    // Both sides of the ramp boundaries of (0.25, 0.25): k = 2/3.
    EXPECT_NEAR(kf_ease(0.2499f, 0.25f, 0.25f), 8.0f / 3.0f * 0.2499f * 0.2499f, 1e-7f);
    EXPECT_NEAR(kf_ease(0.2501f, 0.25f, 0.25f), 2.0f / 3.0f * (0.5002f - 0.25f), 1e-7f);
    EXPECT_NEAR(kf_ease(0.7501f, 0.25f, 0.25f), 1.0f - 8.0f / 3.0f * 0.2499f * 0.2499f, 1e-6f);
    EXPECT_EQ(kf_ease(1.0f, 0.5f, 0.0f), 1.0f);  // no ease at the end: no division by it
}

TEST_F(TracksTest, RepeatAndLoopFoldTheFrame) {
    for (uint32_t mode : {TRACK_REPEAT, TRACK_LOOP}) {
        TestTrack track(mode);
        track.add(0.0f, 0.0f);
        track.add(40.0f, 5.0f);
        track.add(100.0f, 0.0f);
        ASSERT_EQ(kf_spline_init(&track.track), KF_OK);
        EXPECT_EQ(track.scalar(250.0f), track.scalar(50.0f)) << mode;
        EXPECT_EQ(track.scalar(140.0f), 5.0f) << mode;
    }
    // Colour tracks ignore the mode: past the period they hold the last key.
    TestTrack color(TRACK_REPEAT);
    color.add(0.0f, 0.0f, 0.5f, 1.0f);
    color.add(10.0f, 1.0f, 0.5f, 0.0f);
    ASSERT_EQ(kf_spline_init(&color.track), KF_OK);
    Color c;
    ASSERT_EQ(kf_track_color(&color.track, 15.0f, &c), KF_OK);
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(c.b, 0.0f);
}

TEST_F(TracksTest, DegenerateFramesStayFinite) {
    // A repeating track whose period is 0 and keys that share frames (a malformed file).
    for (uint32_t mode : {TRACK_NONE, TRACK_REPEAT, TRACK_LOOP}) {
        TestTrack track(mode);
        track.add(0.0f, 1.0f);
        track.add(0.0f, 2.0f);
        track.add(0.0f, 3.0f);
        kf_spline_init(&track.track);
        for (float frame : {0.0f, 0.5f, 7.0f})
            EXPECT_TRUE(std::isfinite(track.scalar(frame))) << mode;
    }
    TestTrack rotation(TRACK_REPEAT);
    rotation.add_rotation(0.0f, 0.0f, 1.0f, about_y(0.0f));
    rotation.add_rotation(0.0f, 1.0f, 1.0f, about_y(1.0f));
    kf_spline_init_rot(&rotation.track);
    Quaternion q;
    ASSERT_EQ(kf_track_rotation(&rotation.track, 3.0f, &q), KF_OK);
    EXPECT_TRUE(std::isfinite(q.w) && std::isfinite(q.y));
}

TEST_F(TracksTest, MorphBlendsBetweenTargets) {
    TestTrack morph, single;
    for (int i = 0; i < 3; ++i) kf_set_key_target(morph.add(10.0f * i, 0.0f), 40 + i);
    kf_set_key_target(single.add(5.0f, 0.0f), 9);  // one key: its target at every frame
    const struct {
        TestTrack* track;
        float frame;
        int32_t from, to;
        float alpha;
    } cases[] = {{&morph, 0.0f, 40, 41, 0.0f},   {&morph, 5.0f, 40, 41, 0.5f},
                 {&morph, 10.0f, 40, 41, 1.0f},  {&morph, 12.5f, 41, 42, 0.25f},
                 {&morph, 20.0f, 41, 42, 1.0f},  {&morph, 50.0f, 41, 42, 1.0f},
                 {&single, 0.0f, 9, 9, 1.0f},    {&single, 5.0f, 9, 9, 1.0f},
                 {&single, 8.0f, 9, 9, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        int32_t from = 0, to = 0;
        float alpha = -1.0f;
        ASSERT_EQ(kf_track_morph(&c.track->track, c.frame, &from, &to, &alpha), KF_OK);
        EXPECT_EQ(from, c.from);
        EXPECT_EQ(to, c.to);
        EXPECT_EQ(alpha, c.alpha);
    }
}

// Rotations about one axis are plain angles, so the whole squad can be worked in half-angles:
// the logarithm of a step is the half-angle difference reduced into (-pi/2, pi/2], a conjugate
// negates the angle, a slerp turns the shorter way by t (omega + spins pi), and a control point
// adds half its tangent difference. This covers tension, continuity and bias, keys flipped into
// the same hemisphere (a step between half and a whole turn), and steps of whole turns both ways.
TEST_F(TracksTest, SingleAxisRotationsFollowTheAngleForm) {
    // Raw key angles (radians) about +y or -y, frames, and TCB and ease settings. The reader
    // accumulates the raw angles into whole numbers whatever the axis.
    const struct {
        float frame, angle, axis, tension, continuity, bias, ease_to, ease_from;
    } raw[] = {
        {0, 0.3f, 1, 0.2f, -0.4f, 0.5f, 0, 0},      {7, 1.2f, 1, -0.3f, 0.6f, -0.2f, 0, 0.3f},
        {19, 4.0f, 1, 0.1f, 0.3f, 0.7f, 0.4f, 0},   {30, -0.7f, 1, 0.4f, -0.6f, -0.5f, 0, 0},
        {38, 7.5f, -1, -0.2f, 0.2f, 0.3f, 0, 0},    {55, 0.9f, 1, 0.3f, -0.2f, -0.6f, 0.2f, 0.2f},
        {61, -7.5f, 1, 0.0f, 0.5f, 0.4f, 0, 0},     {80, 1.1f, 1, 0.5f, 0.1f, -0.3f, 0, 0},
    };
    const int n = sizeof raw / sizeof raw[0];
    TestTrack track;
    std::vector<double> half(n), whole(n);  // absolute half-angles, accumulated whole angles
    double absolute = 0.0, accumulated = 0.0;
    for (int i = 0; i < n; ++i) {
        absolute += raw[i].angle * raw[i].axis;
        accumulated = std::trunc(accumulated + raw[i].angle);
        half[i] = 0.5 * absolute;
        whole[i] = accumulated;
        Key* key = track.add_rotation(raw[i].frame, static_cast<float>(accumulated), raw[i].axis,
                                      about_y(static_cast<float>(absolute)));
        key->tension = raw[i].tension;
        key->continuity = raw[i].continuity;
        key->bias = raw[i].bias;
        key->ease_to = raw[i].ease_to;
        key->ease_from = raw[i].ease_from;
    }
    ASSERT_EQ(kf_spline_init_rot(&track.track), KF_OK);

    // The logarithm of the step between neighbouring keys: past a whole turn a quarter turn about
    // the later key's axis, else the reduced half-angle difference once the neighbour (the other
    // key than the one being prepared) is conjugated into the same hemisphere.
    const auto step = [&](int from, int to, int neighbour) {
        if (std::fabs(whole[to] - whole[from]) > 6.28318430718) return 0.5 * kPiD * raw[to].axis;
        double a = half[from], b = half[to];
        if (std::cos(b - a) < 0.0) (neighbour == from ? a : b) *= -1.0;
        return std::atan(std::tan(b - a));
    };
    std::vector<double> control_out(n), control_in(n);
    for (int i = 0; i < n; ++i) {
        const bool has_prev = i > 0, has_next = i + 1 < n;
        double g_in = has_prev ? step(i - 1, i, i - 1) : 0.0;
        double g_out = has_next ? step(i, i + 1, i + 1) : 0.0;
        if (!has_prev) g_in = g_out;
        if (!has_next) g_out = g_in;
        const double t = raw[i].tension, c = raw[i].continuity, b = raw[i].bias;
        double adj_in = 1.0, adj_out = 1.0;
        if (has_prev && has_next) {
            const double span = raw[i + 1].frame - raw[i - 1].frame;
            const double spacing_in = 2.0 * (raw[i].frame - raw[i - 1].frame) / span;
            const double spacing_out = 2.0 * (raw[i + 1].frame - raw[i].frame) / span;
            adj_in = spacing_in + std::fabs(c) * (1.0 - spacing_in);
            adj_out = spacing_out + std::fabs(c) * (1.0 - spacing_out);
        }
        // Kochanek-Bartels: outgoing (1-T)(1+C)(1+B)/2, (1-T)(1-C)(1-B)/2; incoming with C negated.
        const double outgoing =
            adj_out * (1 - t) / 2 * ((1 + c) * (1 + b) * g_in + (1 - c) * (1 - b) * g_out);
        const double incoming =
            adj_in * (1 - t) / 2 * ((1 - c) * (1 + b) * g_in + (1 + c) * (1 - b) * g_out);
        control_out[i] = half[i] + 0.5 * (outgoing - g_out);
        control_in[i] = half[i] + 0.5 * (g_in - incoming);
    }
    // Slerp of half-angles: from a the shorter way toward b, by t (omega + spins pi).
    const auto slerp = [](double a, double b, double spins, double t) {
        const double omega = std::acos(std::cos(b - a));
        const double direction = std::sin(b - a) < 0.0 ? -1.0 : 1.0;
        return a + direction * t * (omega + spins * kPiD);
    };

    for (int i = 0; i + 1 < n; ++i) {
        const double spins = std::trunc((whole[i + 1] - whole[i]) / (2.0 * kPiD));
        for (double s : {0.1, 0.35, 0.5, 0.8}) {
            const float at = raw[i].frame + static_cast<float>(s) * (raw[i + 1].frame - raw[i].frame);
            const double t =
                eased((at - raw[i].frame) / (raw[i + 1].frame - raw[i].frame), raw[i].ease_from,
                      raw[i + 1].ease_to);
            const double q1 = slerp(half[i], half[i + 1], spins, t);
            const double q2 = slerp(control_out[i], control_in[i + 1], spins, t);
            const double expected = slerp(q1, q2, 0.0, 2.0 * t * (1.0 - t));
            Quaternion q;
            ASSERT_EQ(kf_track_rotation(&track.track, at, &q), KF_OK);
            EXPECT_NEAR(q.w, std::cos(expected), 2e-4) << "frame " << at;
            EXPECT_NEAR(q.y, std::sin(expected), 2e-4) << "frame " << at;
            EXPECT_EQ(q.x, 0.0f);
            EXPECT_EQ(q.z, 0.0f);
        }
    }
}

TEST_F(TracksTest, ShortSlerpTakesTheShorterArc) {
    kf_startup(KF_SLERP);
    // The second key's quaternion has the opposite sign: the same end rotation either way.
    for (float sign : {1.0f, -1.0f}) {
        TestTrack track;
        Quaternion end = about_y(1.5707964f);
        qt_scale(&end, sign, &end);
        track.add_rotation(0.0f, 0.0f, 1.0f, about_y(0.0f));
        track.add_rotation(10.0f, 1.0f, 1.0f, end);
        kf_spline_init_rot(&track.track);
        Quaternion q;
        ASSERT_EQ(kf_track_rotation(&track.track, 5.0f, &q), KF_OK);
        EXPECT_NEAR(std::fabs(q.w), std::cos(0.3926991f), 1e-5f) << sign;
        EXPECT_NEAR(std::fabs(q.y), std::sin(0.3926991f), 1e-5f) << sign;
    }
}

}  // namespace
