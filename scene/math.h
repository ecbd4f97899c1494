// Single-precision vectors, 3 x 4 affine matrices and quaternions for the scene library.
// Every operation forms its result in temporaries first, so an output may alias any input.
#pragma once

#include <cstdint>

namespace scene {

struct Vector {
    float x, y, z;
};

// Three rows of four, row-major. The 3 x 3 part is the linear map, the fourth column the
// translation; points are column vectors (p' = M p + t) and the implied fourth row is 0 0 0 1.
struct Matrix {
    float xx, xy, xz, xw;
    float yx, yy, yz, yw;
    float zx, zy, zz, zw;
};

// Scalar first in memory.
struct Quaternion {
    float w, x, y, z;
};

static_assert(sizeof(Vector) == 12, "Vector is three packed floats");
static_assert(sizeof(Matrix) == 48, "Matrix is twelve packed floats");
static_assert(sizeof(Quaternion) == 16, "Quaternion is four packed floats");

// pi as the library has always written it; angles in rotation keys and slerp spins use it.
constexpr float kPi = 3.14159265359f;
constexpr float kHalfPi = 1.5707964f;

void vec_make(float x, float y, float z, Vector* out);
void vec_zero(Vector* v);
void vec_copy(const Vector* a, Vector* out);
void vec_add(const Vector* a, const Vector* b, Vector* out);
void vec_sub(const Vector* a, const Vector* b, Vector* out);
void vec_mul(const Vector* a, const Vector* b, Vector* out);
void vec_scale(const Vector* a, float s, Vector* out);
void vec_negate(const Vector* a, Vector* out);
int vec_equal(const Vector* a, const Vector* b);
// 1.0 for the zero vector, so dividing by it is always safe.
float vec_length(const Vector* a);
float vec_distance(const Vector* a, const Vector* b);
// Cosine of the angle between a and b.
float vec_angle(const Vector* a, const Vector* b);
float vec_dot(const Vector* a, const Vector* b);
void vec_cross(const Vector* a, const Vector* b, Vector* out);
void vec_lerp(const Vector* a, const Vector* b, float t, Vector* out);
void vec_combine(const Vector* a, const Vector* b, float s, float t, Vector* out);
// A zero vector stays zero.
void vec_normalize(const Vector* a, Vector* out);
void vec_print(const Vector* a);

void mat_zero(Matrix* m);
void mat_identity(Matrix* m);
void mat_copy(const Matrix* a, Matrix* out);
void mat_add(const Matrix* a, const Matrix* b, Matrix* out);
void mat_sub(const Matrix* a, const Matrix* b, Matrix* out);
// Affine product a * b.
void mat_mul(const Matrix* a, const Matrix* b, Matrix* out);
void mat_transpose(const Matrix* a, Matrix* out);
// Inverts a frame whose axes are the rows: each row divided by its squared length, translation
// copied. Returns 13 (and the identity) when a row has length 0, else 0.
int mat_frame_inverse(const Matrix* a, Matrix* out);
// Each row of the 3 x 3 part made unit length; a zero row stays as it was.
void mat_normalize(const Matrix* a, Matrix* out);
void mat_scale(const Vector* v, Matrix* out);
// m * T(v).
void mat_translate(const Vector* v, const Matrix* m, Matrix* out);
void mat_rotate_z(float angle, Matrix* out);
void mat_mul_point(const Matrix* m, const Vector* v, Vector* out);
void mat_mul_normal(const Matrix* m, const Vector* v, Vector* out);
void mat_print(const Matrix* m);

void qt_make(float w, float x, float y, float z, Quaternion* out);
void qt_identity(Quaternion* q);
void qt_copy(const Quaternion* a, Quaternion* out);
// Angle in radians; the axis is used as given, not normalised.
void qt_from_angle_axis(float angle, float x, float y, float z, Quaternion* out);
void qt_mul(const Quaternion* a, const Quaternion* b, Quaternion* out);
float qt_length(const Quaternion* a);
float qt_dot(const Quaternion* a, const Quaternion* b);
void qt_scale(const Quaternion* a, float s, Quaternion* out);
void qt_inverse(const Quaternion* a, Quaternion* out);
void qt_unit_conjugate(const Quaternion* a, Quaternion* out);
void qt_exp(const Quaternion* a, Quaternion* out);
void qt_ln(const Quaternion* a, Quaternion* out);
// Logarithm of the rotation from a to b.
void qt_ln_dif(const Quaternion* a, const Quaternion* b, Quaternion* out);
// No sign flip; spin adds that many half turns (spin * pi) to the arc.
void qt_slerp(const Quaternion* a, const Quaternion* b, float spin, float t, Quaternion* out);
// Along the shorter arc.
void qt_slerp_short(const Quaternion* a, const Quaternion* b, float t, Quaternion* out);
void qt_to_matrix(const Quaternion* q, Matrix* out);
void qt_print(const Quaternion* q);

}  // namespace scene
