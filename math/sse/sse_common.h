// Loads, stores and refined hardware estimates shared by the SSE and SSE2
// sets. Loads and stores never touch bytes beyond the vector they move.
#pragma once

#include "math/variants.h"

#if QV_MATH_X86

#include <xmmintrin.h>

namespace qv::math::simd {

inline __m128 Load2(const float* p) { return _mm_setr_ps(p[0], p[1], 0.0f, 0.0f); }
inline __m128 Load3(const float* p) { return _mm_setr_ps(p[0], p[1], p[2], 0.0f); }
inline __m128 Load4(const float* p) { return _mm_loadu_ps(p); }

inline void Store2(float* p, __m128 v) { _mm_storel_pi(reinterpret_cast<__m64*>(p), v); }
inline void Store3(float* p, __m128 v) {
    _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
    _mm_store_ss(p + 2, _mm_movehl_ps(v, v));
}
inline void Store4(float* p, __m128 v) { _mm_storeu_ps(p, v); }

inline float First(__m128 v) { return _mm_cvtss_f32(v); }

template <int i>
inline __m128 Splat(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(i, i, i, i));
}

// Sum of the four lanes in every lane: (v0 + v1) + (v2 + v3).
inline __m128 HorizontalSum(__m128 v) {
    const __m128 swapped = _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1));  // (v1, v0, v3, v2)
    const __m128 pairs = _mm_add_ps(v, swapped);                            // (v0+v1, ., v2+v3, .)
    return _mm_add_ps(pairs, _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(1, 0, 3, 2)));
}

// Dot product of the first three lanes, in every lane.
inline __m128 Dot3(__m128 a, __m128 b) {
    const __m128 p = _mm_mul_ps(a, b);
    const __m128 sum = _mm_add_ss(_mm_add_ss(p, Splat<1>(p)), Splat<2>(p));
    return Splat<0>(sum);
}

inline __m128 Dot4(__m128 a, __m128 b) { return HorizontalSum(_mm_mul_ps(a, b)); }

// RSQRTSS estimate r0 and one Newton step: (3 - (r0 x) r0) (0.5 r0).
inline __m128 RsqrtNewton(__m128 x) {
    const __m128 r0 = _mm_rsqrt_ps(x);
    const __m128 three = _mm_set1_ps(3.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    return _mm_mul_ps(_mm_sub_ps(three, _mm_mul_ps(_mm_mul_ps(r0, x), r0)), _mm_mul_ps(half, r0));
}

// RCPSS estimate r0 and one Newton step: 2 r0 - x r0^2.
inline __m128 RcpNewton(__m128 x) {
    const __m128 r0 = _mm_rcp_ps(x);
    return _mm_sub_ps(_mm_add_ps(r0, r0), _mm_mul_ps(x, _mm_mul_ps(r0, r0)));
}

// Row-vector transform: x*row0 + y*row1 + z*row2 + w*row3, with the rows
// already loaded.
struct Rows {
    __m128 r0, r1, r2, r3;
    explicit Rows(const Matrix* m)
        : r0(Load4(m->m[0])), r1(Load4(m->m[1])), r2(Load4(m->m[2])), r3(Load4(m->m[3])) {}
};

inline __m128 Combine(const Rows& m, __m128 x, __m128 y, __m128 z, __m128 w) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.r0), _mm_mul_ps(y, m.r1)),
                      _mm_add_ps(_mm_mul_ps(z, m.r2), _mm_mul_ps(w, m.r3)));
}

inline __m128 Combine3(const Rows& m, __m128 x, __m128 y, __m128 z) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.r0), _mm_mul_ps(y, m.r1)), _mm_mul_ps(z, m.r2));
}

}  // namespace qv::math::simd

#endif
