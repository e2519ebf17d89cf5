// The SSE normalisation of a 3-vector, shared by the SSE set and the SSE2
// set's copy: single precision, zero below a squared length of 2^-46 (NaN
// included), RSQRTSS with one Newton step, no unit-length shortcut.
#pragma once

#include "math/sse/sse_common.h"

#if QV_MATH_X86

namespace qv::math::simd {

inline Vec3* NormalizeVec3(Vec3* out, const Vec3* v) {
    const __m128 a = Load3(&v->x);
    const __m128 len2 = Dot3(a, a);
    if (!(First(len2) >= kSseSmallLength)) {
        *out = {0.0f, 0.0f, 0.0f};
        return out;
    }
    Store3(&out->x, _mm_mul_ps(a, RsqrtNewton(len2)));
    return out;
}

// A plane scaled by 1/|(a, b, c)|; zero when the squared length is below
// 2^-46 or NaN.
inline Plane* NormalizePlane(Plane* out, const Plane* p) {
    const __m128 a = Load4(&p->a);
    const __m128 len2 = Dot3(a, a);
    if (!(First(len2) >= kSseSmallLength)) {
        *out = {0.0f, 0.0f, 0.0f, 0.0f};
        return out;
    }
    Store4(&out->a, _mm_mul_ps(a, RsqrtNewton(len2)));
    return out;
}

// (p1 - p2) x (p1 - p3), normalised inline with no small-length test (so
// collinear points give NaNs), d = -(n . p1).
inline Plane* PlaneThroughPoints(Plane* out, const Vec3* p1, const Vec3* p2, const Vec3* p3) {
    const __m128 a = Load3(&p1->x);
    const __m128 u = _mm_sub_ps(a, Load3(&p2->x));
    const __m128 w = _mm_sub_ps(a, Load3(&p3->x));
    // cross(u, w) = u.yzx * w.zxy - u.zxy * w.yzx
    const __m128 uyzx = _mm_shuffle_ps(u, u, _MM_SHUFFLE(3, 0, 2, 1));
    const __m128 uzxy = _mm_shuffle_ps(u, u, _MM_SHUFFLE(3, 1, 0, 2));
    const __m128 wyzx = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 0, 2, 1));
    const __m128 wzxy = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 1, 0, 2));
    __m128 n = _mm_sub_ps(_mm_mul_ps(uyzx, wzxy), _mm_mul_ps(uzxy, wyzx));
    n = _mm_mul_ps(n, RsqrtNewton(Dot3(n, n)));
    const float d = -First(Dot3(n, a));
    float nv[4];
    Store4(nv, n);
    *out = {nv[0], nv[1], nv[2], d};
    return out;
}

}  // namespace qv::math::simd

#endif
