// Functions that the SSE set and the SSE2 set both implement with the same
// arithmetic; the SSE2 instantiations flip signs and convert in the integer
// domain, which SSE alone cannot.
#pragma once

#include "math/sse/normalize_sse.h"

#if QV_MATH_X86

#include <emmintrin.h>

namespace qv::math::simd {

template <int a, int b, int c, int d>
inline __m128 Swizzle(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(d, c, b, a));
}

// v with the sign of each lane flipped where the mask lane is -0.0.
template <bool sse2>
inline __m128 FlipSigns(__m128 v, __m128 mask) {
    if constexpr (sse2) {
        return _mm_castsi128_ps(_mm_xor_si128(_mm_castps_si128(v), _mm_castps_si128(mask)));
    } else {
        return _mm_xor_ps(v, mask);
    }
}

// All bits set in the chosen lanes (SSE alone: a compare of constants).
inline __m128 LaneMask(bool x, bool y, bool z, bool w) {
    return _mm_cmpneq_ps(_mm_setr_ps(x ? 1.0f : 0.0f, y ? 1.0f : 0.0f, z ? 1.0f : 0.0f, w ? 1.0f : 0.0f),
                         _mm_setzero_ps());
}

inline __m128 SignMask(bool x, bool y, bool z, bool w) {
    return _mm_setr_ps(x ? -0.0f : 0.0f, y ? -0.0f : 0.0f, z ? -0.0f : 0.0f, w ? -0.0f : 0.0f);
}

template <bool sse2>
inline Vec4* Cross4(Vec4* out, const Vec4* u4, const Vec4* v4, const Vec4* w4) {
    const __m128 u = Load4(Floats(u4)), v = Load4(Floats(v4)), w = Load4(Floats(w4));
    // (f, f, e, d), (e, c, c, b), (d, b, a, a) of the 2x2 minors of v and w.
    const __m128 p1 = _mm_sub_ps(_mm_mul_ps(Swizzle<2, 2, 1, 1>(v), Swizzle<3, 3, 3, 2>(w)),
                                 _mm_mul_ps(Swizzle<3, 3, 3, 2>(v), Swizzle<2, 2, 1, 1>(w)));
    const __m128 p2 = _mm_sub_ps(_mm_mul_ps(Swizzle<1, 0, 0, 0>(v), Swizzle<3, 3, 3, 2>(w)),
                                 _mm_mul_ps(Swizzle<3, 3, 3, 2>(v), Swizzle<1, 0, 0, 0>(w)));
    const __m128 p3 = _mm_sub_ps(_mm_mul_ps(Swizzle<1, 0, 0, 0>(v), Swizzle<2, 2, 1, 1>(w)),
                                 _mm_mul_ps(Swizzle<2, 2, 1, 1>(v), Swizzle<1, 0, 0, 0>(w)));
    const __m128 sum = _mm_add_ps(_mm_sub_ps(_mm_mul_ps(p1, Swizzle<1, 0, 0, 0>(u)), _mm_mul_ps(p2, Swizzle<2, 2, 1, 1>(u))),
                                  _mm_mul_ps(p3, Swizzle<3, 3, 3, 2>(u)));
    Store4(Floats(out), FlipSigns<sse2>(sum, SignMask(false, true, false, true)));
    return out;
}

// Shadow matrix; the plane is normalised inline unless its normal has zero
// length.
template <bool sse2>
inline Matrix* Shadow(Matrix* out, const Vec4* light, const Plane* plane) {
    __m128 p = Load4(Floats(plane));
    const __m128 len2 = Dot3(p, p);
    if (First(len2) != 0.0f) p = _mm_mul_ps(p, RsqrtNewton(len2));
    const __m128 l = Load4(Floats(light));
    const __m128 dot = Dot4(p, l);
    float pv[4];
    Store4(pv, p);
    for (int r = 0; r < 4; ++r) {
        __m128 row = FlipSigns<sse2>(_mm_mul_ps(_mm_set1_ps(pv[r]), l), SignMask(true, true, true, true));
        const __m128 diagonal = _mm_and_ps(dot, LaneMask(r == 0, r == 1, r == 2, r == 3));
        row = _mm_add_ps(diagonal, row);
        Store4(out->m[r], row);
    }
    return out;
}

// Reflection matrix; the plane is normalised inline with no zero test.
template <bool sse2>
inline Matrix* Reflect(Matrix* out, const Plane* plane) {
    __m128 p = Load4(Floats(plane));
    p = _mm_mul_ps(p, RsqrtNewton(Dot3(p, p)));
    const __m128 normal = _mm_and_ps(p, LaneMask(true, true, true, false));
    const __m128 minusTwoN = _mm_mul_ps(normal, _mm_set1_ps(-2.0f));
    float pv[4];
    Store4(pv, p);
    for (int r = 0; r < 4; ++r) {
        const __m128 unit = _mm_setr_ps(r == 0 ? 1.0f : 0.0f, r == 1 ? 1.0f : 0.0f, r == 2 ? 1.0f : 0.0f,
                                        r == 3 ? 1.0f : 0.0f);
        Store4(out->m[r], _mm_add_ps(_mm_mul_ps(_mm_set1_ps(pv[r]), minusTwoN), unit));
    }
    return out;
}

// Quaternion from the upper 3x3: the reference's two branches, with the
// square root and the division at extended precision.
inline Quaternion* QuaternionFromMatrix(Quaternion* out, const Matrix* m) {
    using X = long double;
    const float trace = m->m[1][1] + m->m[0][0] + m->m[2][2];
    float q[4];
    if (trace > 0.0f) {
        const X s = std::sqrt(static_cast<X>(trace + 1.0f)) * 0.5L;
        q[3] = static_cast<float>(s);
        q[0] = static_cast<float>((m->m[1][2] - m->m[2][1]) * 0.25L / s);
        q[1] = static_cast<float>((m->m[2][0] - m->m[0][2]) * 0.25L / s);
        q[2] = static_cast<float>((m->m[0][1] - m->m[1][0]) * 0.25L / s);
    } else {
        int i = 0;
        if (m->m[1][1] > m->m[0][0]) i = 1;
        if (m->m[2][2] > m->m[i][i]) i = 2;
        const int j = (i + 1) % 3, k = (j + 1) % 3;
        const X s = std::sqrt(static_cast<X>(m->m[i][i] - m->m[j][j] - m->m[k][k] + 1.0f)) * 0.5L;
        q[i] = static_cast<float>(s);
        q[j] = static_cast<float>((m->m[j][i] + m->m[i][j]) * 0.25L / s);
        q[k] = static_cast<float>((m->m[k][i] + m->m[i][k]) * 0.25L / s);
        q[3] = static_cast<float>((m->m[j][k] - m->m[k][j]) * 0.25L / s);
    }
    *out = {q[0], q[1], q[2], q[3]};
    return out;
}

// Sine and cosine of four floats: reduction by pi/2 in four parts, then
// polynomials on [-pi/4, pi/4]; the quadrant swaps and signs the two.
template <bool sse2>
inline void SinCos4(const float in[4], float sines[4], float cosines[4]) {
    const __m128 x = _mm_loadu_ps(in);
    const __m128 signBit = _mm_set1_ps(-0.0f);
    const __m128 ax = _mm_andnot_ps(signBit, x);
    const __m128 magic = _mm_set1_ps(8388608.0f);  // 2^23
    const __m128 n = _mm_sub_ps(_mm_add_ps(_mm_mul_ps(ax, _mm_set1_ps(0.63661975f)), magic), magic);
    __m128 r = _mm_sub_ps(ax, _mm_mul_ps(n, _mm_set1_ps(1.5703125f)));
    r = _mm_sub_ps(r, _mm_mul_ps(n, _mm_set1_ps(0.00048375130f)));
    r = _mm_sub_ps(r, _mm_mul_ps(n, _mm_set1_ps(7.5495336e-08f)));
    r = _mm_sub_ps(r, _mm_mul_ps(n, _mm_set1_ps(2.5633441e-12f)));
    const __m128 q = _mm_mul_ps(r, r);
    __m128 s = _mm_add_ps(_mm_set1_ps(0.0083321603f), _mm_mul_ps(q, _mm_set1_ps(-0.00019515282f)));
    s = _mm_add_ps(_mm_set1_ps(-0.16666655f), _mm_mul_ps(q, s));
    s = _mm_mul_ps(r, _mm_add_ps(_mm_set1_ps(1.0f), _mm_mul_ps(q, s)));
    __m128 c = _mm_add_ps(_mm_set1_ps(-0.0013887316f), _mm_mul_ps(q, _mm_set1_ps(0.000024433157f)));
    c = _mm_add_ps(_mm_set1_ps(0.041666646f), _mm_mul_ps(q, c));
    c = _mm_add_ps(_mm_set1_ps(-0.5f), _mm_mul_ps(q, c));
    c = _mm_add_ps(_mm_set1_ps(1.0f), _mm_mul_ps(q, c));
    // Masks of bit 0 and bit 1 of the quadrant.
    __m128 odd, high;
    if constexpr (sse2) {
        const __m128i ni = _mm_cvttps_epi32(n);
        const __m128i one = _mm_set1_epi32(1);
        odd = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(ni, one), one));
        const __m128i two = _mm_set1_epi32(2);
        high = _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(ni, two), two));
    } else {
        // Floor by rounding with 2^23 and stepping down when it rounded up.
        auto floorOf = [magic](__m128 v) {
            const __m128 rounded = _mm_sub_ps(_mm_add_ps(v, magic), magic);
            return _mm_sub_ps(rounded, _mm_and_ps(_mm_cmpgt_ps(rounded, v), _mm_set1_ps(1.0f)));
        };
        const __m128 halfN = floorOf(_mm_mul_ps(n, _mm_set1_ps(0.5f)));
        const __m128 quarterN = floorOf(_mm_mul_ps(n, _mm_set1_ps(0.25f)));
        odd = _mm_cmpneq_ps(_mm_sub_ps(n, _mm_add_ps(halfN, halfN)), _mm_setzero_ps());
        high = _mm_cmpneq_ps(_mm_sub_ps(halfN, _mm_add_ps(quarterN, quarterN)), _mm_setzero_ps());
    }
    __m128 sine = _mm_or_ps(_mm_and_ps(odd, c), _mm_andnot_ps(odd, s));
    __m128 cosine = _mm_or_ps(_mm_and_ps(odd, s), _mm_andnot_ps(odd, c));
    sine = _mm_xor_ps(sine, _mm_and_ps(high, signBit));
    cosine = _mm_xor_ps(cosine, _mm_and_ps(_mm_xor_ps(high, odd), signBit));
    sine = _mm_xor_ps(sine, _mm_and_ps(x, signBit));  // the sine is odd
    _mm_storeu_ps(sines, sine);
    _mm_storeu_ps(cosines, cosine);
}

template <bool sse2>
inline Quaternion* QuaternionFromYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll) {
    const float half[4] = {yaw * 0.5f, pitch * 0.5f, roll * 0.5f, 0.0f};
    float s[4], c[4];
    SinCos4<sse2>(half, s, c);
    const __m128 a = _mm_mul_ps(_mm_mul_ps(_mm_setr_ps(c[0], s[0], c[0], c[0]), _mm_setr_ps(s[1], c[1], c[1], c[1])),
                                _mm_setr_ps(c[2], c[2], s[2], c[2]));
    const __m128 b = _mm_mul_ps(_mm_mul_ps(_mm_setr_ps(s[0], -c[0], -s[0], s[0]), _mm_setr_ps(c[1], s[1], s[1], s[1])),
                                _mm_setr_ps(s[2], s[2], c[2], s[2]));
    Store4(Floats(out), _mm_add_ps(a, b));
    return out;
}

}  // namespace qv::math::simd

#endif
