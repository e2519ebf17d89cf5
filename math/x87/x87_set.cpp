// The x87 set: the nine entries that the table takes on every x86 processor.
// The arithmetic runs on the x87 unit's extended precision (long double) with
// one rounding to single at each store, in the operation orders below.
#include "math/variants.h"

#if QV_MATH_X86

namespace qv::math::x87 {

namespace {

using X = long double;

inline X E(const Matrix* m, int r, int c) { return static_cast<X>(m->m[r][c]); }

// (p0 + p2) + (p1 + p3) with pk = a[k] * column c of b.
inline float Dot4(X a0, X a1, X a2, X a3, const Matrix* b, int c) {
    return static_cast<float>((a0 * E(b, 0, c) + a2 * E(b, 2, c)) + (a1 * E(b, 1, c) + a3 * E(b, 3, c)));
}

// Row r of m1 times m2 into row r of out; the row of m1 is loaded first, so
// out may be m1.
inline void MultiplyRow(Matrix* out, const Matrix* m1, const Matrix* m2, int r) {
    const X a0 = E(m1, r, 0), a1 = E(m1, r, 1), a2 = E(m1, r, 2), a3 = E(m1, r, 3);
    for (int c = 0; c < 4; ++c) out->m[r][c] = Dot4(a0, a1, a2, a3, m2, c);
}

inline void Transform4(float* out, X x, X y, X z, X w, const Matrix* m) {
    const float r0 = Dot4(x, y, z, w, m, 0);
    const float r1 = Dot4(x, y, z, w, m, 1);
    const float r2 = Dot4(x, y, z, w, m, 2);
    const float r3 = Dot4(x, y, z, w, m, 3);
    out[0] = r0;
    out[1] = r1;
    out[2] = r2;
    out[3] = r3;
}

}  // namespace

Matrix* MatrixMultiply(Matrix* out, const Matrix* m1, const Matrix* m2) {
    if (out == m2 && out != m1) {
        // Column by column in place: column c of m2 is loaded before column
        // c of out is written, and later columns do not read it again.
        for (int c = 0; c < 4; ++c) {
            const X b0 = E(m2, 0, c), b1 = E(m2, 1, c), b2 = E(m2, 2, c), b3 = E(m2, 3, c);
            float col[4];
            for (int r = 0; r < 4; ++r)
                col[r] = static_cast<float>((E(m1, r, 0) * b0 + E(m1, r, 2) * b2) +
                                            (E(m1, r, 1) * b1 + E(m1, r, 3) * b3));
            for (int r = 0; r < 4; ++r) out->m[r][c] = col[r];
        }
        return out;
    }
    Matrix copy;
    if (out == m2) {  // and m1: work from a copy of m2
        copy = *m2;
        m2 = &copy;
    }
    for (int r = 0; r < 4; ++r) MultiplyRow(out, m1, m2, r);
    return out;
}

Matrix* MatrixMultiplyTranspose(Matrix* out, const Matrix* m1, const Matrix* m2) {
    Matrix temp;
    Matrix* dst = (out == m1 || out == m2) ? &temp : out;
    for (int r = 0; r < 4; ++r) {
        const X a0 = E(m1, r, 0), a1 = E(m1, r, 1), a2 = E(m1, r, 2), a3 = E(m1, r, 3);
        for (int c = 0; c < 4; ++c) dst->m[c][r] = Dot4(a0, a1, a2, a3, m2, c);
    }
    if (dst != out) *out = temp;
    return out;
}

Vec4* Vec2Transform(Vec4* out, const Vec2* v, const Matrix* m) {
    Transform4(Floats(out), v->x, v->y, 0, 1, m);
    return out;
}

Vec4* Vec3Transform(Vec4* out, const Vec3* v, const Matrix* m) {
    Transform4(Floats(out), v->x, v->y, v->z, 1, m);
    return out;
}

Vec4* Vec4Transform(Vec4* out, const Vec4* v, const Matrix* m) {
    Transform4(Floats(out), v->x, v->y, v->z, v->w, m);
    return out;
}

Plane* PlaneTransform(Plane* out, const Plane* p, const Matrix* m) {
    Transform4(Floats(out), p->a, p->b, p->c, p->d, m);
    return out;
}

Vec2* Vec2TransformNormal(Vec2* out, const Vec2* v, const Matrix* m) {
    const X x = v->x, y = v->y;
    const float rx = static_cast<float>(x * E(m, 0, 0) + y * E(m, 1, 0));
    const float ry = static_cast<float>(x * E(m, 0, 1) + y * E(m, 1, 1));
    *out = {rx, ry};
    return out;
}

Vec3* Vec3TransformNormal(Vec3* out, const Vec3* v, const Matrix* m) {
    const X x = v->x, y = v->y, z = v->z;
    const float rx = Dot4(x, y, z, 0, m, 0);
    const float ry = Dot4(x, y, z, 0, m, 1);
    const float rz = Dot4(x, y, z, 0, m, 2);
    *out = {rx, ry, rz};
    return out;
}

// 1/sqrt(len^2) from the table, with the unit-length shortcut. A squared
// length outside the table's normal range (a tiny or huge vector) is brought
// into it by an exact power-of-two scaling of the components first.
Vec3* Vec3Normalize(Vec3* out, const Vec3* v) {
    X x = v->x, y = v->y, z = v->z;
    float len2 = static_cast<float>(x * x + y * y + z * z);
    if (Bits(len2) == 0) {
        *out = {0.0f, 0.0f, 0.0f};
        return out;
    }
    if ((Bits(static_cast<float>(static_cast<X>(len2) - 1)) & 0x7FFFFFFFu) <= 0x3727C5ACu) {
        if (out != v) *out = *v;
        return out;
    }
    if (len2 < kMinNormal || len2 > 0x1p126f) {
        const X scale = len2 < kMinNormal ? 0x1p100L : 0x1p-100L;
        x *= scale;
        y *= scale;
        z *= scale;
        len2 = static_cast<float>(x * x + y * y + z * z);
    }
    const X r = FastInvSqrt(len2);
    const Vec3 result = {static_cast<float>(x * r), static_cast<float>(y * r), static_cast<float>(z * r)};
    *out = result;
    return out;
}

}  // namespace qv::math::x87

#endif
