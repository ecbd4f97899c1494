// The math kit's edge behaviour. Products, inverses, quaternion matrices and slerps are checked
// through the evaluation against lib3ds and the track oracles.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/math.h"

using namespace scene;

namespace {

// Element by element: matrices, vectors and quaternions are plain runs of floats.
template <typename T>
void expect_near(const T& a, const T& b, float tolerance) {
    static_assert(sizeof(T) % sizeof(float) == 0, "a record of floats");
    const float* x = reinterpret_cast<const float*>(&a);
    const float* y = reinterpret_cast<const float*>(&b);
    for (size_t i = 0; i < sizeof(T) / sizeof(float); ++i) EXPECT_NEAR(x[i], y[i], tolerance) << "element " << i;
}

TEST(Math, ZeroVectorLengthIsOneAndNormalizesToZero) {
    const Vector zero = {0, 0, 0};
    EXPECT_EQ(vec_length(&zero), 1.0f);
    Vector out = {5, 5, 5};
    vec_normalize(&zero, &out);
    expect_near(out, zero, 0);
    EXPECT_EQ(vec_distance(&zero, &zero), 1.0f);
    const Vector v = {3, 0, 4};
    vec_normalize(&v, &out);
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_FLOAT_EQ(out.z, 0.8f);
}

TEST(Math, NormalizeKeepsZeroRows) {
    const Matrix m = {3, 0, 4, 7, 0, 0, 0, 8, 0, -2, 0, 9};
    Matrix n;
    mat_normalize(&m, &n);
    const Matrix expected = {0.6f, 0, 0.8f, 7, 0, 0, 0, 8, 0, -1, 0, 9};
    expect_near(n, expected, 1e-6f);
}

TEST(Math, ExpAndLogOfPureQuaternions) {
    const Quaternion zero = {0, 0, 0, 0};
    Quaternion out;
    qt_exp(&zero, &out);
    expect_near(out, Quaternion{1, 0, 0, 0}, 0);
    const Quaternion v = {0, 0, 0.5f, 0};
    qt_exp(&v, &out);
    expect_near(out, Quaternion{std::cos(0.5f), 0, std::sin(0.5f), 0}, 1e-7f);
    // w of 0 takes the quarter-turn angle.
    const Quaternion pure = {0, 0, 0, 2};
    qt_ln(&pure, &out);
    expect_near(out, Quaternion{0, 0, 0, 2 * kHalfPi}, 0);
    // The logarithm of the rotation from a to b is half its angle along its axis, taken in a's
    // frame; the rotation from a to itself has a zero logarithm.
    Quaternion a, step, b;
    qt_from_angle_axis(1.2f, 0, 0, 1, &a);
    qt_ln_dif(&a, &a, &out);
    expect_near(out, zero, 1e-6f);
    qt_from_angle_axis(0.6f, 1, 0, 0, &step);
    qt_mul(&a, &step, &b);
    qt_ln_dif(&a, &b, &out);
    expect_near(out, Quaternion{0, 0.3f, 0, 0}, 1e-6f);
    // Past half a turn the half angle is reduced into (-pi/2, pi/2]: 2 becomes 2 - pi; a w of 0
    // takes the quarter turn.
    const Quaternion identity = {1, 0, 0, 0};
    qt_from_angle_axis(4.0f, 0, 1, 0, &b);
    qt_ln_dif(&identity, &b, &out);
    expect_near(out, Quaternion{0, 0, 2.0f - kPi, 0}, 1e-6f);
    const Quaternion half_turn = {0, 0, 1, 0};
    qt_ln_dif(&identity, &half_turn, &out);
    expect_near(out, Quaternion{0, 0, kHalfPi, 0}, 0);
}

}  // namespace
