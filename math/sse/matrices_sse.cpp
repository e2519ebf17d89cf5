// SSE set: determinant, inverse, shadow and reflection matrices, in single
// precision.
#include "math/sse/shared_sse.h"

#if QV_MATH_X86

namespace qv::math::sse {

using namespace simd;

namespace {

// The adjugate's rows and the determinant (expansion along row 0), from the
// 2x2 minors of rows 0-1 and rows 2-3.
struct Adjugate {
    __m128 row[4];
    float det;
};

Adjugate ComputeAdjugate(const Matrix* m) {
    const __m128 r0 = Load4(m->m[0]), r1 = Load4(m->m[1]), r2 = Load4(m->m[2]), r3 = Load4(m->m[3]);
    // (s0, s1, s2, s3) and (s4, s5, ., .); likewise c from rows 2 and 3.
    const __m128 sA = _mm_sub_ps(_mm_mul_ps(Swizzle<0, 0, 0, 1>(r0), Swizzle<1, 2, 3, 2>(r1)),
                                 _mm_mul_ps(Swizzle<0, 0, 0, 1>(r1), Swizzle<1, 2, 3, 2>(r0)));
    const __m128 sB = _mm_sub_ps(_mm_mul_ps(Swizzle<1, 2, 1, 2>(r0), Swizzle<3, 3, 3, 3>(r1)),
                                 _mm_mul_ps(Swizzle<1, 2, 1, 2>(r1), Swizzle<3, 3, 3, 3>(r0)));
    const __m128 cA = _mm_sub_ps(_mm_mul_ps(Swizzle<0, 0, 0, 1>(r2), Swizzle<1, 2, 3, 2>(r3)),
                                 _mm_mul_ps(Swizzle<0, 0, 0, 1>(r3), Swizzle<1, 2, 3, 2>(r2)));
    const __m128 cB = _mm_sub_ps(_mm_mul_ps(Swizzle<1, 2, 1, 2>(r2), Swizzle<3, 3, 3, 3>(r3)),
                                 _mm_mul_ps(Swizzle<1, 2, 1, 2>(r3), Swizzle<3, 3, 3, 3>(r2)));
    // K_i = (c_i, c_i, s_i, s_i).
    const __m128 k5 = _mm_shuffle_ps(cB, sB, _MM_SHUFFLE(1, 1, 1, 1));
    const __m128 k4 = _mm_shuffle_ps(cB, sB, _MM_SHUFFLE(0, 0, 0, 0));
    const __m128 k3 = _mm_shuffle_ps(cA, sA, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128 k2 = _mm_shuffle_ps(cA, sA, _MM_SHUFFLE(2, 2, 2, 2));
    const __m128 k1 = _mm_shuffle_ps(cA, sA, _MM_SHUFFLE(1, 1, 1, 1));
    const __m128 k0 = _mm_shuffle_ps(cA, sA, _MM_SHUFFLE(0, 0, 0, 0));
    // col_j = (m1j, -m0j, m3j, -m2j).
    __m128 t0 = r0, t1 = r1, t2 = r2, t3 = r3;
    _MM_TRANSPOSE4_PS(t0, t1, t2, t3);
    const __m128 signs = SignMask(false, true, false, true);
    const __m128 col0 = _mm_xor_ps(Swizzle<1, 0, 3, 2>(t0), signs);
    const __m128 col1 = _mm_xor_ps(Swizzle<1, 0, 3, 2>(t1), signs);
    const __m128 col2 = _mm_xor_ps(Swizzle<1, 0, 3, 2>(t2), signs);
    const __m128 col3 = _mm_xor_ps(Swizzle<1, 0, 3, 2>(t3), signs);
    Adjugate a;
    a.row[0] = _mm_add_ps(_mm_sub_ps(_mm_mul_ps(col1, k5), _mm_mul_ps(col2, k4)), _mm_mul_ps(col3, k3));
    a.row[1] = _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(col2, k2), _mm_mul_ps(col0, k5)), _mm_mul_ps(col3, k1));
    a.row[2] = _mm_add_ps(_mm_sub_ps(_mm_mul_ps(col0, k4), _mm_mul_ps(col1, k2)), _mm_mul_ps(col3, k0));
    a.row[3] = _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(col1, k1), _mm_mul_ps(col0, k3)), _mm_mul_ps(col2, k0));
    // det = row 0 of m . column 0 of the adjugate.
    __m128 a0 = a.row[0], a1 = a.row[1], a2 = a.row[2], a3 = a.row[3];
    _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
    a.det = First(Dot4(r0, a0));
    return a;
}

}  // namespace

float MatrixDeterminant(const Matrix* m) { return ComputeAdjugate(m).det; }

// Null, with the determinant unwritten, when det compares equal to 0 or is
// NaN; the reciprocal from RCPSS with one Newton step.
Matrix* MatrixInverse(Matrix* out, float* determinant, const Matrix* m) {
    const Adjugate a = ComputeAdjugate(m);
    if (!(a.det != 0.0f)) return nullptr;
    if (determinant) *determinant = a.det;
    const __m128 r = RcpNewton(_mm_set1_ps(a.det));
    for (int i = 0; i < 4; ++i) Store4(out->m[i], _mm_mul_ps(a.row[i], r));
    return out;
}

Matrix* MatrixShadow(Matrix* out, const Vec4* light, const Plane* plane) { return Shadow<false>(out, light, plane); }
Matrix* MatrixReflect(Matrix* out, const Plane* plane) { return Reflect<false>(out, plane); }

}  // namespace qv::math::sse

#endif
