// SSE set: matrix product, transposed product and 3-vector normalisation.
#include "math/sse/normalize_sse.h"

#if QV_MATH_X86

namespace qv::math::sse {

using namespace simd;

namespace {

// Products of one row of m1 with the rows of m2, four columns at once.
struct RowProducts {
    __m128 p0, p1, p2, p3;
};

inline RowProducts Products(__m128 a, const Rows& b) {
    return {_mm_mul_ps(Splat<0>(a), b.r0), _mm_mul_ps(Splat<1>(a), b.r1), _mm_mul_ps(Splat<2>(a), b.r2),
            _mm_mul_ps(Splat<3>(a), b.r3)};
}

// Rows 0 and 3 as (p0 + p1) + (p2 + p3), rows 1 and 2 as ((p0 + p1) + p2) + p3.
inline __m128 Paired(const RowProducts& p) {
    return _mm_add_ps(_mm_add_ps(p.p0, p.p1), _mm_add_ps(p.p2, p.p3));
}
inline __m128 Chained(const RowProducts& p) {
    return _mm_add_ps(_mm_add_ps(_mm_add_ps(p.p0, p.p1), p.p2), p.p3);
}

// The product with every input loaded before the first store.
struct Product {
    __m128 r0, r1, r2, r3;
    Product(const Matrix* m1, const Matrix* m2) {
        const Rows b(m2);
        const Rows a(m1);
        r0 = Paired(Products(a.r0, b));
        r1 = Chained(Products(a.r1, b));
        r2 = Chained(Products(a.r2, b));
        r3 = Paired(Products(a.r3, b));
    }
};

}  // namespace

Matrix* MatrixMultiply(Matrix* out, const Matrix* m1, const Matrix* m2) {
    const Product p(m1, m2);
    Store4(out->m[0], p.r0);
    Store4(out->m[1], p.r1);
    Store4(out->m[2], p.r2);
    Store4(out->m[3], p.r3);
    return out;
}

Matrix* MatrixMultiplyTranspose(Matrix* out, const Matrix* m1, const Matrix* m2) {
    Product p(m1, m2);
    _MM_TRANSPOSE4_PS(p.r0, p.r1, p.r2, p.r3);
    Store4(out->m[0], p.r0);
    Store4(out->m[1], p.r1);
    Store4(out->m[2], p.r2);
    Store4(out->m[3], p.r3);
    return out;
}

Vec3* Vec3Normalize(Vec3* out, const Vec3* v) { return NormalizeVec3(out, v); }

}  // namespace qv::math::sse

#endif
