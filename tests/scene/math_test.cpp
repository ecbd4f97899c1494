// The math kit: stated edge behaviour, aliasing of outputs, and agreement between the quaternion
// and matrix forms of a rotation.
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

const Matrix kA = {1, 2, 3, 4, -1, 0.5f, 2, -3, 0, 1, -2, 5};
const Matrix kB = {0.5f, -1, 0, 2, 3, 1, -1, 0, 2, 0, 1, -4};

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

TEST(Math, OutputsMayAliasInputs) {
    Matrix separate;
    mat_mul(&kA, &kB, &separate);
    Matrix a = kA;
    mat_mul(&a, &kB, &a);
    expect_near(a, separate, 0);
    Matrix b = kB;
    mat_mul(&kA, &b, &b);
    expect_near(b, separate, 0);

    Vector v = {1, 2, 3};
    const Vector w = {4, -5, 6};
    Vector cross;
    vec_cross(&v, &w, &cross);
    vec_cross(&v, &w, &v);
    EXPECT_TRUE(vec_equal(&v, &cross));

    Quaternion q = {0.5f, 0.5f, -0.5f, 0.5f};
    const Quaternion r = {0.1f, 0.2f, 0.3f, 0.9f};
    Quaternion product;
    qt_mul(&q, &r, &product);
    qt_mul(&q, &r, &q);
    expect_near(q, product, 0);
}

TEST(Math, AffineProductComposesPointTransforms) {
    const Vector p = {0.25f, -2, 7};
    Matrix ab;
    mat_mul(&kA, &kB, &ab);
    Vector via_product, via_b, via_both;
    mat_mul_point(&ab, &p, &via_product);
    mat_mul_point(&kB, &p, &via_b);
    mat_mul_point(&kA, &via_b, &via_both);
    expect_near(via_product, via_both, 1e-4f);

    // m * T(v) moves the point by v before m.
    const Vector t = {1, 2, 3};
    Matrix translated;
    mat_translate(&t, &kA, &translated);
    Vector moved, expected, shifted;
    mat_mul_point(&translated, &p, &moved);
    vec_add(&p, &t, &shifted);
    mat_mul_point(&kA, &shifted, &expected);
    expect_near(moved, expected, 1e-4f);
}

TEST(Math, FrameInverseGivesFrameCoordinates) {
    // Orthogonal axes of lengths 2, 1 and 0.5.
    const Matrix frame = {0, 2, 0, 9, -1, 0, 0, 9, 0, 0, 0.5f, 9};
    Matrix inverse;
    ASSERT_EQ(mat_frame_inverse(&frame, &inverse), 0);
    EXPECT_EQ(inverse.xw, 9.0f);  // translation copied, not inverted
    // p = 3 X + 4 Y - 2 Z.
    const Vector p = {-4, 6, -1};
    Vector local;
    mat_mul_normal(&inverse, &p, &local);
    expect_near(local, Vector{3, 4, -2}, 1e-6f);

    const Matrix singular = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    EXPECT_EQ(mat_frame_inverse(&singular, &inverse), 13);
    Matrix identity;
    mat_identity(&identity);
    expect_near(inverse, identity, 0);
}

TEST(Math, NormalizeKeepsZeroRows) {
    const Matrix m = {3, 0, 4, 7, 0, 0, 0, 8, 0, -2, 0, 9};
    Matrix n;
    mat_normalize(&m, &n);
    const Matrix expected = {0.6f, 0, 0.8f, 7, 0, 0, 0, 8, 0, -1, 0, 9};
    expect_near(n, expected, 1e-6f);
}

TEST(Math, QuaternionMatrixAgreesWithProduct) {
    Quaternion identity;
    qt_identity(&identity);
    Matrix m, expected;
    qt_to_matrix(&identity, &m);
    mat_identity(&expected);
    expect_near(m, expected, 0);

    // A quarter turn about y takes z to x in a right-handed frame.
    Quaternion quarter;
    qt_from_angle_axis(kPi / 2, 0, 1, 0, &quarter);
    qt_to_matrix(&quarter, &m);
    const Vector z = {0, 0, 1};
    Vector turned;
    mat_mul_normal(&m, &z, &turned);
    EXPECT_NEAR(turned.x, 1, 1e-6f);
    EXPECT_NEAR(turned.z, 0, 1e-6f);

    Quaternion a, b, ab;
    qt_from_angle_axis(0.7f, 0.6f, 0.0f, 0.8f, &a);
    qt_from_angle_axis(-1.9f, 0.0f, 1.0f, 0.0f, &b);
    qt_mul(&a, &b, &ab);
    Matrix ma, mb, mab, product;
    qt_to_matrix(&a, &ma);
    qt_to_matrix(&b, &mb);
    qt_to_matrix(&ab, &mab);
    mat_mul(&ma, &mb, &product);
    expect_near(mab, product, 1e-5f);

    // The inverse undoes the rotation; for a non-unit quaternion too.
    Quaternion scaled, inverse, one;
    qt_scale(&a, 3.0f, &scaled);
    qt_inverse(&scaled, &inverse);
    qt_mul(&scaled, &inverse, &one);
    expect_near(one, identity, 1e-6f);
    qt_unit_conjugate(&scaled, &inverse);
    qt_mul(&a, &inverse, &one);
    expect_near(one, identity, 1e-6f);
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

TEST(Math, Slerp) {
    Quaternion a, b, out;
    qt_from_angle_axis(0.4f, 0, 0, 1, &a);
    // Equal ends take the linear blend, which is the same quaternion.
    qt_slerp(&a, &a, 0, 0.3f, &out);
    expect_near(out, a, 1e-6f);

    qt_from_angle_axis(1.4f, 0, 0, 1, &b);
    qt_slerp(&a, &b, 0, 0.5f, &out);
    Quaternion middle;
    qt_from_angle_axis(0.9f, 0, 0, 1, &middle);
    expect_near(out, middle, 1e-6f);

    // One spin passes once more around the full circle: at t = 0.5 the quaternion angle grows by
    // pi / 2, the rotation by pi.
    qt_slerp(&a, &b, 1, 0.5f, &out);
    Quaternion spun;
    qt_from_angle_axis(0.9f + kPi, 0, 0, 1, &spun);
    expect_near(out, spun, 1e-5f);

    // The short way to -b is the short way to b, up to sign.
    Quaternion negated, short_way;
    qt_scale(&b, -1, &negated);
    qt_slerp_short(&a, &negated, 0.5f, &short_way);
    qt_slerp_short(&a, &b, 0.5f, &out);
    expect_near(short_way, out, 1e-6f);
    expect_near(out, middle, 1e-6f);
}

}  // namespace
