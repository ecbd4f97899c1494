// Spline tracks built in memory: tangents, ease, segment rules, repeat and loop, rotation paths,
// stepped tracks, and long playback.
#include "scene/tracks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "scene/kf.h"

using namespace scene;

namespace {

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

// Angle between two rotations, whatever the signs of their quaternions.
float rotation_distance(const Quaternion& a, const Quaternion& b) {
    const float c = std::fabs(qt_dot(&a, &b));
    return 2.0f * std::acos(std::fmin(1.0f, c));
}

class TracksTest : public ::testing::Test {
protected:
    void SetUp() override { kf_startup(0); }
    void TearDown() override { kf_shutdown(); }
};

TEST_F(TracksTest, PreparationResults) {
    TestTrack empty;
    EXPECT_EQ(kf_spline_init(&empty.track), KF_NULL);
    EXPECT_EQ(kf_spline_init_rot(&empty.track), KF_NULL);
    EXPECT_EQ(kf_spline_init(nullptr), KF_NULL);

    // One key: no spline, and the key stands at every frame.
    TestTrack one;
    one.add(30.0f, 4.5f);
    EXPECT_EQ(kf_spline_init(&one.track), KF_SPLINE_KEYS);
    EXPECT_EQ(kf_spline_init_rot(&one.track), KF_SPLINE_KEYS);
    for (float frame : {0.0f, 29.0f, 30.0f, 31.5f, 1000.0f}) EXPECT_EQ(one.scalar(frame), 4.5f);
}

TEST_F(TracksTest, TwoKeyTangents) {
    // Zero tension: the straight-line step at both ends.
    TestTrack straight;
    Key* k0 = straight.add(0.0f, 1.0f, -2.0f, 5.0f);
    Key* k1 = straight.add(10.0f, 3.0f, 2.0f, 5.0f);
    ASSERT_EQ(kf_spline_init(&straight.track), KF_OK);
    for (int i = 0; i < 3; ++i) {
        const float step = k1->value[i] - k0->value[i];
        EXPECT_EQ(k0->tangent_in[i], 0.0f);
        EXPECT_EQ(k0->tangent_out[i], step);
        EXPECT_EQ(k1->tangent_in[i], step);
        EXPECT_EQ(k1->tangent_out[i], 0.0f);
    }

    // Full tension flattens both ends: a smooth step that is still at half way in the middle.
    TestTrack tense;
    tense.add(0.0f, 0.0f)->tension = 1.0f;
    tense.add(10.0f, 1.0f)->tension = 1.0f;
    ASSERT_EQ(kf_spline_init(&tense.track), KF_OK);
    EXPECT_EQ(tense.scalar(5.0f), 0.5f);
    EXPECT_NEAR(tense.scalar(1.0f), 0.028f, 1e-6f);  // 3t^2 - 2t^3 at t = 0.1
}

TEST_F(TracksTest, EvenlySpacedCollinearKeysGiveAStraightLine) {
    // The open-end tangents and Catmull-Rom inner tangents agree for evenly spaced keys on a line.
    for (int keys : {2, 5}) {
        TestTrack line;
        for (int i = 0; i < keys; ++i) line.add(10.0f * i, 2.0f * i, -4.0f * i, 5.0f);
        ASSERT_EQ(kf_spline_init(&line.track), KF_OK);
        for (float frame = 0.0f; frame <= 10.0f * (keys - 1); frame += 2.5f) {
            Vector v;
            ASSERT_EQ(kf_track_vector(&line.track, frame, &v), KF_OK);
            EXPECT_NEAR(v.x, 0.2f * frame, 1e-5f) << keys << " keys, frame " << frame;
            EXPECT_NEAR(v.y, -0.4f * frame, 1e-5f) << keys << " keys, frame " << frame;
            EXPECT_EQ(v.z, 5.0f);
        }
    }
}

TEST_F(TracksTest, UnevenSpacingKeepsTheSpeedAcrossAKey) {
    // Frames 0, 10, 40: the inner key's tangents are scaled so the value changes at the same rate
    // per frame on both sides of it.
    TestTrack track;
    track.add(0.0f, 0.0f);
    track.add(10.0f, 1.0f);
    track.add(40.0f, 2.0f);
    ASSERT_EQ(kf_spline_init(&track.track), KF_OK);
    const float h = 0.01f;
    const float before = (track.scalar(10.0f) - track.scalar(10.0f - h)) / h;
    const float after = (track.scalar(10.0f + h) - track.scalar(10.0f)) / h;
    EXPECT_NEAR(before, after, 2e-3f);
}

TEST_F(TracksTest, KeysAreHitExactlyAndEqualFramesEndTheSegment) {
    TestTrack track;
    track.add(0.0f, 3.0f, 1.0f);
    track.add(20.0f, -7.25f, 2.0f);
    track.add(35.0f, 11.5f, 3.0f);
    track.add(50.0f, 0.125f, 4.0f);
    ASSERT_EQ(kf_spline_init(&track.track), KF_OK);
    // Forward, then backward after the cache has moved past each key.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 4; ++i) {
            const Key* key = track.keys[pass ? 3 - i : i].get();
            Vector v;
            ASSERT_EQ(kf_track_vector(&track.track, key->frame, &v), KF_OK);
            EXPECT_EQ(v.x, key->value[0]);
            EXPECT_EQ(v.y, key->value[1]);
            // Moving forward onto an inner key's frame, the segment that ends there is used.
            if (pass == 0 && key->prev) {
                EXPECT_EQ(track.track.current, key->prev);
            }
        }
    }
    EXPECT_EQ(track.scalar(80.0f), 0.125f);
}

TEST_F(TracksTest, Ease) {
    // 0.6 and 0.6 add to more than 1 and are scaled to 0.5 each.
    for (float t = 0.0f; t <= 1.0f; t += 0.05f)
        EXPECT_EQ(kf_ease(t, 0.6f, 0.6f), kf_ease(t, 0.5f, 0.5f));
    EXPECT_EQ(kf_ease(0.25f, 0.5f, 0.5f), 0.125f);
    EXPECT_EQ(kf_ease(0.75f, 0.5f, 0.5f), 0.875f);
    EXPECT_EQ(kf_ease(0.3f, 0.0f, 0.0f), 0.3f);
    EXPECT_EQ(kf_ease(1.0f, 0.5f, 0.0f), 1.0f);  // no ease at the end: no division by it
    // Monotonic from 0 to 1 for a range of settings.
    for (float a : {0.0f, 0.2f, 0.7f, 1.0f}) {
        for (float b : {0.0f, 0.3f, 0.9f}) {
            float last = kf_ease(0.0f, a, b);
            EXPECT_NEAR(last, 0.0f, 1e-6f);
            for (float t = 0.01f; t <= 1.0f; t += 0.01f) {
                const float e = kf_ease(t, a, b);
                EXPECT_GE(e, last - 1e-6f) << a << " " << b << " " << t;
                last = e;
            }
            EXPECT_NEAR(kf_ease(1.0f, a, b), 1.0f, 1e-5f);
        }
    }
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

TEST_F(TracksTest, FrameAndTrackErrors) {
    TestTrack track;
    track.add(0.0f, 1.0f);
    float f = 9.0f;
    Vector v{};
    Quaternion q{};
    int hidden = 7;
    int32_t from, to;
    float alpha;
    EXPECT_EQ(kf_track_scalar(&track.track, -1.0f, &f), KF_BAD_FRAME);
    EXPECT_EQ(kf_track_scalar(&track.track, NAN, &f), KF_BAD_FRAME);
    EXPECT_EQ(f, 9.0f);
    EXPECT_EQ(kf_track_vector(nullptr, 0.0f, &v), KF_NULL);
    EXPECT_EQ(kf_track_rotation(nullptr, 0.0f, &q), KF_NULL);
    EXPECT_EQ(kf_track_morph(nullptr, 0.0f, &from, &to, &alpha), KF_NULL);
    EXPECT_EQ(kf_track_hide(nullptr, 0.0f, &hidden), KF_NULL);
    EXPECT_EQ(hidden, 0);
    EXPECT_EQ(kf_track_hide(&track.track, -0.5f, &hidden), KF_BAD_FRAME);
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

TEST_F(TracksTest, RotationHitsKeysAndTurnsSmoothly) {
    for (uint32_t options : {0u, KF_SLERP}) {
        kf_startup(options);
        TestTrack track;
        track.add_rotation(0.0f, 0.0f, 1.0f, about_y(0.0f));
        track.add_rotation(10.0f, 1.0f, 1.0f, about_y(1.2f));
        track.add_rotation(30.0f, 2.0f, 1.0f, about_y(2.0f));
        track.add_rotation(40.0f, 3.0f, 1.0f, about_y(3.1f));
        ASSERT_EQ(kf_spline_init_rot(&track.track), KF_OK);
        for (const auto& key : track.keys) {
            Quaternion q;
            ASSERT_EQ(kf_track_rotation(&track.track, key->frame, &q), KF_OK);
            EXPECT_LT(rotation_distance(q, key->quat), 1e-3f) << options << " " << key->frame;
        }
        Quaternion last;
        kf_track_rotation(&track.track, 0.0f, &last);
        for (float frame = 0.25f; frame <= 40.0f; frame += 0.25f) {
            Quaternion q;
            ASSERT_EQ(kf_track_rotation(&track.track, frame, &q), KF_OK);
            EXPECT_NEAR(qt_length(&q), 1.0f, 1e-3f);
            EXPECT_LT(rotation_distance(q, last), 0.05f) << options << " " << frame;
            last = q;
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
        EXPECT_LT(rotation_distance(q, about_y(0.7853982f)), 1e-5f) << sign;
    }
}

TEST_F(TracksTest, WholeTurnStepsAddSpins) {
    // Accumulated angles 0 and 7 differ by more than a full turn: one spin, so the path sweeps pi
    // further than the plain arc between the two key quaternions.
    const Quaternion start = about_y(0.0f), end = about_y(7.0f);
    TestTrack track;
    track.add_rotation(0.0f, 0.0f, 1.0f, start);
    track.add_rotation(100.0f, 7.0f, 1.0f, end);
    ASSERT_EQ(kf_spline_init_rot(&track.track), KF_OK);
    float sweep = 0.0f;
    Quaternion last = start;
    for (int i = 1; i <= 1000; ++i) {
        Quaternion q;
        ASSERT_EQ(kf_track_rotation(&track.track, 0.1f * i, &q), KF_OK);
        const float c =
            std::fmin(1.0f, std::fmax(-1.0f, qt_dot(&q, &last) / qt_length(&q) / qt_length(&last)));
        sweep += std::acos(c);
        last = q;
    }
    EXPECT_LT(rotation_distance(last, end), 1e-3f);
    const float arc = std::acos(qt_dot(&start, &end));
    EXPECT_NEAR(sweep, arc + 3.14159265f, 0.2f);
}

TEST_F(TracksTest, LongLoopingPlaybackStaysBoundedAndRepeatable) {
    TestTrack position(TRACK_LOOP);
    position.add(0.0f, 0.0f, 1.0f, -1.0f);
    position.add(25.0f, 10.0f, -3.0f, 2.0f);
    position.add(60.0f, -4.0f, 8.0f, 0.5f);
    position.add(100.0f, 0.0f, 1.0f, -1.0f);
    ASSERT_EQ(kf_spline_init(&position.track), KF_OK);
    TestTrack rotation(TRACK_LOOP);
    rotation.add_rotation(0.0f, 0.0f, 1.0f, about_y(0.0f));
    rotation.add_rotation(50.0f, 2.0f, 1.0f, about_y(2.0f));
    rotation.add_rotation(100.0f, 4.0f, 1.0f, about_y(4.0f));
    ASSERT_EQ(kf_spline_init_rot(&rotation.track), KF_OK);

    Vector v, end_v;
    Quaternion q, end_q;
    for (int frame = 0; frame <= 100000; ++frame) {
        ASSERT_EQ(kf_track_vector(&position.track, static_cast<float>(frame), &v), KF_OK);
        ASSERT_EQ(kf_track_rotation(&rotation.track, static_cast<float>(frame), &q), KF_OK);
        ASSERT_TRUE(std::fabs(v.x) < 50.0f && std::fabs(v.y) < 50.0f && std::fabs(v.z) < 50.0f)
            << frame;
        ASSERT_NEAR(qt_length(&q), 1.0f, 1e-3f) << frame;
    }
    end_v = v;
    end_q = q;
    // Jump back to the start, then straight to the last frame: the same values.
    kf_track_vector(&position.track, 0.0f, &v);
    kf_track_rotation(&rotation.track, 0.0f, &q);
    ASSERT_EQ(kf_track_vector(&position.track, 100000.0f, &v), KF_OK);
    ASSERT_EQ(kf_track_rotation(&rotation.track, 100000.0f, &q), KF_OK);
    EXPECT_EQ(std::memcmp(&v, &end_v, sizeof v), 0);
    EXPECT_EQ(std::memcmp(&q, &end_q, sizeof q), 0);
    // And the loop's speed is the same on both sides of the wrap.
    const float h = 0.01f;
    Vector a, b, c;
    kf_track_vector(&position.track, 100.0f - h, &a);
    kf_track_vector(&position.track, 0.0f, &b);
    kf_track_vector(&position.track, h, &c);
    EXPECT_NEAR((b.x - a.x) / h, (c.x - b.x) / h, 2e-2f);
    EXPECT_NEAR((b.y - a.y) / h, (c.y - b.y) / h, 2e-2f);
}

}  // namespace
