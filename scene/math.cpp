// Vector, matrix and quaternion operations. Expressions keep the order in which the formulas are
// written, so results are the same on every compiler (the build forbids fused multiply-adds).
#include "scene/math.h"

#include <cmath>
#include <cstdio>

namespace scene {

void vec_make(float x, float y, float z, Vector* out) { *out = Vector{x, y, z}; }

void vec_zero(Vector* v) { *v = Vector{0.0f, 0.0f, 0.0f}; }

void vec_copy(const Vector* a, Vector* out) { *out = *a; }

void vec_add(const Vector* a, const Vector* b, Vector* out) {
    *out = Vector{a->x + b->x, a->y + b->y, a->z + b->z};
}

void vec_sub(const Vector* a, const Vector* b, Vector* out) {
    *out = Vector{a->x - b->x, a->y - b->y, a->z - b->z};
}

void vec_mul(const Vector* a, const Vector* b, Vector* out) {
    *out = Vector{a->x * b->x, a->y * b->y, a->z * b->z};
}

void vec_scale(const Vector* a, float s, Vector* out) { *out = Vector{a->x * s, a->y * s, a->z * s}; }

void vec_negate(const Vector* a, Vector* out) { *out = Vector{-a->x, -a->y, -a->z}; }

int vec_equal(const Vector* a, const Vector* b) {
    return a->x == b->x && a->y == b->y && a->z == b->z ? 1 : 0;
}

float vec_length(const Vector* a) {
    float length = std::sqrt(a->x * a->x + a->y * a->y + a->z * a->z);
    return length == 0.0f ? 1.0f : length;
}

float vec_distance(const Vector* a, const Vector* b) {
    Vector d;
    vec_sub(a, b, &d);
    return vec_length(&d);
}

float vec_angle(const Vector* a, const Vector* b) {
    return vec_dot(a, b) / (vec_length(a) * vec_length(b));
}

float vec_dot(const Vector* a, const Vector* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

void vec_cross(const Vector* a, const Vector* b, Vector* out) {
    *out = Vector{a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
}

void vec_lerp(const Vector* a, const Vector* b, float t, Vector* out) {
    *out = Vector{a->x + (b->x - a->x) * t, a->y + (b->y - a->y) * t, a->z + (b->z - a->z) * t};
}

void vec_combine(const Vector* a, const Vector* b, float s, float t, Vector* out) {
    *out = Vector{a->x * s + b->x * t, a->y * s + b->y * t, a->z * s + b->z * t};
}

void vec_normalize(const Vector* a, Vector* out) {
    float length = vec_length(a);
    *out = Vector{a->x / length, a->y / length, a->z / length};
}

void vec_print(const Vector* a) { std::printf("x: %9.3f y: %9.3f z: %9.3f\n", a->x, a->y, a->z); }

void mat_zero(Matrix* m) { *m = Matrix{}; }

void mat_identity(Matrix* m) {
    *m = Matrix{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f};
}

void mat_copy(const Matrix* a, Matrix* out) { *out = *a; }

void mat_add(const Matrix* a, const Matrix* b, Matrix* out) {
    *out = Matrix{a->xx + b->xx, a->xy + b->xy, a->xz + b->xz, a->xw + b->xw,
                  a->yx + b->yx, a->yy + b->yy, a->yz + b->yz, a->yw + b->yw,
                  a->zx + b->zx, a->zy + b->zy, a->zz + b->zz, a->zw + b->zw};
}

void mat_sub(const Matrix* a, const Matrix* b, Matrix* out) {
    *out = Matrix{a->xx - b->xx, a->xy - b->xy, a->xz - b->xz, a->xw - b->xw,
                  a->yx - b->yx, a->yy - b->yy, a->yz - b->yz, a->yw - b->yw,
                  a->zx - b->zx, a->zy - b->zy, a->zz - b->zz, a->zw - b->zw};
}

void mat_mul(const Matrix* a, const Matrix* b, Matrix* out) {
    Matrix r;
    r.xx = a->xx * b->xx + a->xy * b->yx + a->xz * b->zx;
    r.xy = a->xx * b->xy + a->xy * b->yy + a->xz * b->zy;
    r.xz = a->xx * b->xz + a->xy * b->yz + a->xz * b->zz;
    r.xw = a->xx * b->xw + a->xy * b->yw + a->xz * b->zw + a->xw;
    r.yx = a->yx * b->xx + a->yy * b->yx + a->yz * b->zx;
    r.yy = a->yx * b->xy + a->yy * b->yy + a->yz * b->zy;
    r.yz = a->yx * b->xz + a->yy * b->yz + a->yz * b->zz;
    r.yw = a->yx * b->xw + a->yy * b->yw + a->yz * b->zw + a->yw;
    r.zx = a->zx * b->xx + a->zy * b->yx + a->zz * b->zx;
    r.zy = a->zx * b->xy + a->zy * b->yy + a->zz * b->zy;
    r.zz = a->zx * b->xz + a->zy * b->yz + a->zz * b->zz;
    r.zw = a->zx * b->xw + a->zy * b->yw + a->zz * b->zw + a->zw;
    *out = r;
}

void mat_transpose(const Matrix* a, Matrix* out) {
    *out = Matrix{a->xx, a->yx, a->zx, a->xw, a->xy, a->yy, a->zy, a->yw, a->xz, a->yz, a->zz, a->zw};
}

int mat_frame_inverse(const Matrix* a, Matrix* out) {
    const float sx = a->xx * a->xx + a->xy * a->xy + a->xz * a->xz;
    const float sy = a->yx * a->yx + a->yy * a->yy + a->yz * a->yz;
    const float sz = a->zx * a->zx + a->zy * a->zy + a->zz * a->zz;
    if (sx == 0.0f || sy == 0.0f || sz == 0.0f) {
        mat_identity(out);
        return 13;
    }
    *out = Matrix{a->xx / sx, a->xy / sx, a->xz / sx, a->xw, a->yx / sy, a->yy / sy, a->yz / sy, a->yw,
                  a->zx / sz, a->zy / sz, a->zz / sz, a->zw};
    return 0;
}

void mat_normalize(const Matrix* a, Matrix* out) {
    Matrix r = *a;
    float* rows[3] = {&r.xx, &r.yx, &r.zx};
    for (float* row : rows) {
        const float length = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
        if (length == 0.0f) continue;
        row[0] = row[0] / length;
        row[1] = row[1] / length;
        row[2] = row[2] / length;
    }
    *out = r;
}

void mat_scale(const Vector* v, Matrix* out) {
    *out = Matrix{v->x, 0.0f, 0.0f, 0.0f, 0.0f, v->y, 0.0f, 0.0f, 0.0f, 0.0f, v->z, 0.0f};
}

void mat_translate(const Vector* v, const Matrix* m, Matrix* out) {
    Matrix r = *m;
    r.xw = m->xx * v->x + m->xy * v->y + m->xz * v->z + m->xw;
    r.yw = m->yx * v->x + m->yy * v->y + m->yz * v->z + m->yw;
    r.zw = m->zx * v->x + m->zy * v->y + m->zz * v->z + m->zw;
    *out = r;
}

void mat_rotate_z(float angle, Matrix* out) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    mat_identity(out);
    out->xx = c;
    out->xy = s;
    out->yx = -s;
    out->yy = c;
}

void mat_mul_point(const Matrix* m, const Vector* v, Vector* out) {
    *out = Vector{m->xx * v->x + m->xy * v->y + m->xz * v->z + m->xw,
                  m->yx * v->x + m->yy * v->y + m->yz * v->z + m->yw,
                  m->zx * v->x + m->zy * v->y + m->zz * v->z + m->zw};
}

void mat_mul_normal(const Matrix* m, const Vector* v, Vector* out) {
    *out = Vector{m->xx * v->x + m->xy * v->y + m->xz * v->z, m->yx * v->x + m->yy * v->y + m->yz * v->z,
                  m->zx * v->x + m->zy * v->y + m->zz * v->z};
}

void mat_print(const Matrix* m) {
    std::printf("xx: %9.3f xy: %9.3f xz: %9.3f xw: %9.3f\n", m->xx, m->xy, m->xz, m->xw);
    std::printf("yx: %9.3f yy: %9.3f yz: %9.3f yw: %9.3f\n", m->yx, m->yy, m->yz, m->yw);
    std::printf("zx: %9.3f zy: %9.3f zz: %9.3f zw: %9.3f\n", m->zx, m->zy, m->zz, m->zw);
}

void qt_make(float w, float x, float y, float z, Quaternion* out) { *out = Quaternion{w, x, y, z}; }

void qt_identity(Quaternion* q) { *q = Quaternion{1.0f, 0.0f, 0.0f, 0.0f}; }

void qt_copy(const Quaternion* a, Quaternion* out) { *out = *a; }

void qt_from_angle_axis(float angle, float x, float y, float z, Quaternion* out) {
    const float s = std::sin(angle * 0.5f);
    *out = Quaternion{std::cos(angle * 0.5f), x * s, y * s, z * s};
}

void qt_mul(const Quaternion* a, const Quaternion* b, Quaternion* out) {
    *out = Quaternion{a->w * b->w - a->x * b->x - a->y * b->y - a->z * b->z,
                      a->w * b->x + a->x * b->w + a->y * b->z - a->z * b->y,
                      a->w * b->y + a->y * b->w + a->z * b->x - a->x * b->z,
                      a->w * b->z + a->z * b->w + a->x * b->y - a->y * b->x};
}

float qt_length(const Quaternion* a) { return std::sqrt(qt_dot(a, a)); }

float qt_dot(const Quaternion* a, const Quaternion* b) {
    return a->w * b->w + a->x * b->x + a->y * b->y + a->z * b->z;
}

void qt_scale(const Quaternion* a, float s, Quaternion* out) {
    *out = Quaternion{a->w * s, a->x * s, a->y * s, a->z * s};
}

void qt_inverse(const Quaternion* a, Quaternion* out) {
    float n = qt_dot(a, a);
    if (n != 1.0f) n = 1.0f / n;
    *out = Quaternion{a->w * n, -a->x * n, -a->y * n, -a->z * n};
}

void qt_unit_conjugate(const Quaternion* a, Quaternion* out) {
    const float length = qt_length(a);
    *out = Quaternion{a->w / length, -(a->x / length), -(a->y / length), -(a->z / length)};
}

void qt_exp(const Quaternion* a, Quaternion* out) {
    const float theta = std::sqrt(a->x * a->x + a->y * a->y + a->z * a->z);
    const float s = theta > 0.0f ? std::sin(theta) / theta : 1.0f;
    *out = Quaternion{std::cos(theta), a->x * s, a->y * s, a->z * s};
}

void qt_ln(const Quaternion* a, Quaternion* out) {
    const float theta =
        a->w == 0.0f ? kHalfPi : std::atan(std::sqrt(a->x * a->x + a->y * a->y + a->z * a->z) / a->w);
    *out = Quaternion{0.0f, a->x * theta, a->y * theta, a->z * theta};
}

void qt_ln_dif(const Quaternion* a, const Quaternion* b, Quaternion* out) {
    Quaternion inverse, r;
    qt_inverse(a, &inverse);
    qt_mul(&inverse, b, &r);
    const float length = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    const float c = qt_dot(a, b) / (qt_length(a) * qt_length(b));
    float theta = c == 0.0f ? kHalfPi : std::atan(length / c);
    if (length != 0.0f) theta = theta / length;
    *out = Quaternion{0.0f, r.x * theta, r.y * theta, r.z * theta};
}

namespace {

// k0 a + k1 b.
void qt_blend(const Quaternion* a, const Quaternion* b, float k0, float k1, Quaternion* out) {
    *out = Quaternion{k0 * a->w + k1 * b->w, k0 * a->x + k1 * b->x, k0 * a->y + k1 * b->y,
                      k0 * a->z + k1 * b->z};
}

// Below this distance from a full cosine the arc is too short for sin(omega) to divide by.
constexpr float kSlerpEpsilon = 1e-6f;

}  // namespace

void qt_slerp(const Quaternion* a, const Quaternion* b, float spin, float t, Quaternion* out) {
    const float c = qt_dot(a, b);
    float k0 = 1.0f - t;
    float k1 = t;
    if (1.0f - std::fabs(c) >= kSlerpEpsilon) {
        const float omega = std::acos(c);
        const float phi = omega + spin * kPi;
        const float sin_omega = std::sin(omega);
        k0 = std::sin(omega - t * phi) / sin_omega;
        k1 = std::sin(t * phi) / sin_omega;
    }
    qt_blend(a, b, k0, k1, out);
}

void qt_slerp_short(const Quaternion* a, const Quaternion* b, float t, Quaternion* out) {
    float c = qt_dot(a, b);
    const bool flip = c < 0.0f;
    if (flip) c = -c;
    float k0 = 1.0f - t;
    float k1 = t;
    if (1.0f - c >= kSlerpEpsilon) {
        const float omega = std::acos(c);
        const float sin_omega = std::sin(omega);
        k0 = std::sin(omega - t * omega) / sin_omega;
        k1 = std::sin(t * omega) / sin_omega;
    }
    if (flip) k1 = -k1;
    qt_blend(a, b, k0, k1, out);
}

void qt_to_matrix(const Quaternion* q, Matrix* out) {
    const float x2 = q->x * 2.0f;
    const float y2 = q->y * 2.0f;
    const float z2 = q->z * 2.0f;
    *out = Matrix{1.0f - (q->y * y2 + q->z * z2), q->x * y2 - q->w * z2, q->x * z2 + q->w * y2, 0.0f,
                  q->x * y2 + q->w * z2, 1.0f - (q->x * x2 + q->z * z2), q->y * z2 - q->w * x2, 0.0f,
                  q->x * z2 - q->w * y2, q->y * z2 + q->w * x2, 1.0f - (q->x * x2 + q->y * y2), 0.0f};
}

void qt_print(const Quaternion* q) {
    std::printf("w: %9.3f x: %9.3f y: %9.3f z: %9.3f\n", q->w, q->x, q->y, q->z);
}

}  // namespace scene
