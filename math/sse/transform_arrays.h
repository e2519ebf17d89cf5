// The array transforms of the SSE and SSE2 sets. Above a threshold count the
// matrix is expanded into sixteen four-wide copies of its elements and the
// elements go four at a time (gathered into x, y, z, w registers, computed,
// scattered); the rest, and short arrays, go one at a time.
#pragma once

#include "math/sse/sse_common.h"

#if QV_MATH_X86

namespace qv::math::simd {

// Element (r, c) of the matrix in all four lanes.
struct Broadcast {
    __m128 e[4][4];
    explicit Broadcast(const Matrix* m) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) e[r][c] = _mm_set1_ps(m->m[r][c]);
    }
    // Column c of (x, y, z, w) x m for four elements; inN / inW choose which
    // of the inputs take part (a 2-vector has no z, a normal no w row).
    template <int inputs, bool withTranslation>
    __m128 Column(int c, __m128 x, __m128 y, __m128 z, __m128 w) const {
        __m128 sum = _mm_add_ps(_mm_mul_ps(x, e[0][c]), _mm_mul_ps(y, e[1][c]));
        if constexpr (inputs >= 3) sum = _mm_add_ps(sum, _mm_mul_ps(z, e[2][c]));
        if constexpr (inputs == 4) {
            sum = _mm_add_ps(sum, _mm_mul_ps(w, e[3][c]));
        } else if constexpr (withTranslation) {
            sum = _mm_add_ps(sum, e[3][c]);
        }
        return sum;
    }
};

// Gathers the n components of four strided elements into n registers. Four
// packed 3-vectors (48 bytes) are read with three loads and shuffled; 4-float
// elements with one load each; every read stays inside the elements.
template <typename T>
inline void Gather(const T* in, std::uint32_t stride, std::uint32_t i, int n, __m128* comps) {
    if (n == 3 && stride == 12) {
        const float* p = Floats(At(in, stride, i));
        const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4), c = _mm_loadu_ps(p + 8);
        const __m128 t1 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 1, 3, 2));  // b2 b3 c1 c2
        const __m128 t2 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 2, 1));  // a1 a2 b0 b1
        comps[0] = _mm_shuffle_ps(a, t1, _MM_SHUFFLE(2, 0, 3, 0));
        comps[1] = _mm_shuffle_ps(t2, t1, _MM_SHUFFLE(3, 1, 2, 0));
        comps[2] = _mm_shuffle_ps(t2, c, _MM_SHUFFLE(3, 0, 3, 1));
        return;
    }
    if (n == 4) {
        __m128 a = Load4(Floats(At(in, stride, i))), b = Load4(Floats(At(in, stride, i + 1))),
               c = Load4(Floats(At(in, stride, i + 2))), d = Load4(Floats(At(in, stride, i + 3)));
        _MM_TRANSPOSE4_PS(a, b, c, d);
        comps[0] = a;
        comps[1] = b;
        comps[2] = c;
        comps[3] = d;
        return;
    }
    float lanes[4][4];
    for (int j = 0; j < 4; ++j) {
        const float* p = Floats(At(in, stride, i + j));
        for (int k = 0; k < n; ++k) lanes[k][j] = p[k];
    }
    for (int k = 0; k < n; ++k) comps[k] = _mm_loadu_ps(lanes[k]);
}

template <typename T>
inline void Scatter(T* out, std::uint32_t stride, std::uint32_t i, int n, const __m128* comps) {
    if (n == 3 && stride == 12) {
        const __m128 x = comps[0], y = comps[1], z = comps[2];
        const __m128 m0 = _mm_shuffle_ps(x, y, _MM_SHUFFLE(1, 0, 1, 0));  // x0 x1 y0 y1
        const __m128 p = _mm_shuffle_ps(x, z, _MM_SHUFFLE(1, 0, 1, 0));   // x0 x1 z0 z1
        const __m128 m1 = _mm_shuffle_ps(y, z, _MM_SHUFFLE(2, 1, 2, 1));  // y1 y2 z1 z2
        const __m128 m2 = _mm_shuffle_ps(x, y, _MM_SHUFFLE(3, 2, 3, 2));  // x2 x3 y2 y3
        const __m128 m3 = _mm_shuffle_ps(z, x, _MM_SHUFFLE(3, 2, 3, 2));  // z2 z3 x2 x3
        const __m128 m4 = _mm_shuffle_ps(y, z, _MM_SHUFFLE(3, 3, 3, 3));  // y3 y3 z3 z3
        float* q = Floats(At(out, stride, i));
        _mm_storeu_ps(q, _mm_shuffle_ps(m0, p, _MM_SHUFFLE(1, 2, 2, 0)));
        _mm_storeu_ps(q + 4, _mm_shuffle_ps(m1, m2, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(q + 8, _mm_shuffle_ps(m3, m4, _MM_SHUFFLE(2, 0, 3, 0)));
        return;
    }
    __m128 a = comps[0], b = n > 1 ? comps[1] : _mm_setzero_ps(), c = n > 2 ? comps[2] : _mm_setzero_ps(),
           d = n > 3 ? comps[3] : _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(a, b, c, d);
    const __m128 rows[4] = {a, b, c, d};
    for (int j = 0; j < 4; ++j) {
        float* p = Floats(At(out, stride, i + j));
        if (n == 4) {
            Store4(p, rows[j]);
        } else if (n == 3) {
            Store3(p, rows[j]);
        } else {
            Store2(p, rows[j]);
        }
    }
}

// kind: what the single function does with its input of `inputs` floats:
// full transform to 4 outputs, Coord (divide, outputs = inputs) or Normal.
enum class Kind { Full, Coord, Normal };

template <typename Out, typename In, int inputs, Kind kind, std::uint32_t threshold, typename Single>
Out* TransformArray(Out* out, std::uint32_t outStride, const In* in, std::uint32_t inStride, const Matrix* m,
                    std::uint32_t count, Single single) {
    std::uint32_t i = 0;
    if (count > threshold) {
        const Broadcast b(m);
        constexpr int outputs = kind == Kind::Full ? 4 : inputs;
        const std::uint32_t blocked = count & ~3u;
        for (; i < blocked; i += 4) {
            __m128 c[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
            Gather(in, inStride, i, inputs, c);
            __m128 r[4];
            constexpr bool translate = kind != Kind::Normal;
            for (int k = 0; k < outputs; ++k) r[k] = b.Column<inputs, translate>(k, c[0], c[1], c[2], c[3]);
            if constexpr (kind == Kind::Coord) {
                const __m128 inv = RcpNewton(b.Column<inputs, true>(3, c[0], c[1], c[2], c[3]));
                for (int k = 0; k < outputs; ++k) r[k] = _mm_mul_ps(r[k], inv);
            }
            Scatter(out, outStride, i, outputs, r);
        }
    }
    for (; i < count; ++i) single(At(out, outStride, i), At(in, inStride, i), m);
    return out;
}

}  // namespace qv::math::simd

// Defines the eight array forms in the enclosing namespace with the given
// threshold. The 2-vector forms finish through the table's single entries.
#define QV_DEFINE_TRANSFORM_ARRAYS(threshold)                                                                  \
    Vec4* Vec2TransformArray(Vec4* out, std::uint32_t os, const Vec2* in, std::uint32_t is, const Matrix* m,      \
                             std::uint32_t count) {                                                            \
        return simd::TransformArray<Vec4, Vec2, 2, simd::Kind::Full, threshold>(out, os, in, is, m, count,        \
                                                                                 qv::Vec2Transform);            \
    }                                                                                                          \
    Vec2* Vec2TransformCoordArray(Vec2* out, std::uint32_t os, const Vec2* in, std::uint32_t is, const Matrix* m, \
                                  std::uint32_t count) {                                                       \
        return simd::TransformArray<Vec2, Vec2, 2, simd::Kind::Coord, threshold>(out, os, in, is, m, count,       \
                                                                                  qv::Vec2TransformCoord);      \
    }                                                                                                          \
    Vec2* Vec2TransformNormalArray(Vec2* out, std::uint32_t os, const Vec2* in, std::uint32_t is,                \
                                   const Matrix* m, std::uint32_t count) {                                     \
        return simd::TransformArray<Vec2, Vec2, 2, simd::Kind::Normal, threshold>(out, os, in, is, m, count,      \
                                                                                   qv::Vec2TransformNormal);    \
    }                                                                                                          \
    Vec4* Vec3TransformArray(Vec4* out, std::uint32_t os, const Vec3* in, std::uint32_t is, const Matrix* m,      \
                             std::uint32_t count) {                                                            \
        return simd::TransformArray<Vec4, Vec3, 3, simd::Kind::Full, threshold>(out, os, in, is, m, count,        \
                                                                                 sse::Vec3Transform);           \
    }                                                                                                          \
    Vec3* Vec3TransformCoordArray(Vec3* out, std::uint32_t os, const Vec3* in, std::uint32_t is, const Matrix* m, \
                                  std::uint32_t count) {                                                       \
        return simd::TransformArray<Vec3, Vec3, 3, simd::Kind::Coord, threshold>(out, os, in, is, m, count,       \
                                                                                  sse::Vec3TransformCoord);     \
    }                                                                                                          \
    Vec3* Vec3TransformNormalArray(Vec3* out, std::uint32_t os, const Vec3* in, std::uint32_t is,                \
                                   const Matrix* m, std::uint32_t count) {                                     \
        return simd::TransformArray<Vec3, Vec3, 3, simd::Kind::Normal, threshold>(out, os, in, is, m, count,      \
                                                                                   sse::Vec3TransformNormal);   \
    }                                                                                                          \
    Vec4* Vec4TransformArray(Vec4* out, std::uint32_t os, const Vec4* in, std::uint32_t is, const Matrix* m,      \
                             std::uint32_t count) {                                                            \
        return simd::TransformArray<Vec4, Vec4, 4, simd::Kind::Full, threshold>(out, os, in, is, m, count,        \
                                                                                 sse::Vec4Transform);           \
    }                                                                                                          \
    Plane* PlaneTransformArray(Plane* out, std::uint32_t os, const Plane* in, std::uint32_t is, const Matrix* m,  \
                               std::uint32_t count) {                                                          \
        return simd::TransformArray<Plane, Plane, 4, simd::Kind::Full, threshold>(out, os, in, is, m, count,      \
                                                                                   sse::PlaneTransform);        \
    }

#endif
