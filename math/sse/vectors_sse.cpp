// SSE set: normalisation of 4-vectors, quaternions and planes, planes from
// points, the 4-D cross product, interpolation and line-plane intersection.
#include "math/sse/shared_sse.h"

#if QV_MATH_X86

namespace qv::math::sse {

using namespace simd;

namespace {

// No small-length test: a zero vector gives NaNs.
inline void NormalizeFour(float* out, const float* in) {
    const __m128 v = Load4(in);
    Store4(out, _mm_mul_ps(v, RsqrtNewton(Dot4(v, v))));
}

template <int n>
inline __m128 LoadN(const float* p) {
    if constexpr (n == 2) return Load2(p);
    else if constexpr (n == 3) return Load3(p);
    else return Load4(p);
}

template <int n>
inline void StoreN(float* p, __m128 v) {
    if constexpr (n == 2) Store2(p, v);
    else if constexpr (n == 3) Store3(p, v);
    else Store4(p, v);
}

// (s^3, s^2, s, 1) times the basis rows gives the four weights.
inline __m128 Weights(float s, __m128 b0, __m128 b1, __m128 b2, __m128 b3) {
    const float s2 = s * s;
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(s2 * s), b0), _mm_mul_ps(_mm_set1_ps(s2), b1)),
                      _mm_add_ps(_mm_mul_ps(_mm_set1_ps(s), b2), b3));
}

template <int n>
inline void Blend(float* out, __m128 k, const float* a, const float* b, const float* c, const float* d) {
    const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat<0>(k), LoadN<n>(a)), _mm_mul_ps(Splat<1>(k), LoadN<n>(b))),
                                  _mm_add_ps(_mm_mul_ps(Splat<2>(k), LoadN<n>(c)), _mm_mul_ps(Splat<3>(k), LoadN<n>(d))));
    StoreN<n>(out, sum);
}

inline __m128 HermiteWeights(float s) {
    return Weights(s, _mm_setr_ps(2, 1, -2, 1), _mm_setr_ps(-3, -2, 3, -1), _mm_setr_ps(0, 1, 0, 0),
                   _mm_setr_ps(1, 0, 0, 0));
}

inline __m128 CatmullRomWeights(float s) {
    return Weights(s, _mm_setr_ps(-0.5f, 1.5f, -1.5f, 0.5f), _mm_setr_ps(1, -2.5f, 2, -0.5f),
                   _mm_setr_ps(-0.5f, 0, 0.5f, 0), _mm_setr_ps(0, 1, 0, 0));
}

template <int n>
inline void Barycentric(float* out, const float* v1, const float* v2, const float* v3, float f, float g) {
    const __m128 a = LoadN<n>(v1);
    const __m128 r = _mm_add_ps(_mm_add_ps(a, _mm_mul_ps(_mm_set1_ps(f), _mm_sub_ps(LoadN<n>(v2), a))),
                                _mm_mul_ps(_mm_set1_ps(g), _mm_sub_ps(LoadN<n>(v3), a)));
    StoreN<n>(out, r);
}

}  // namespace

Vec4* Vec4Normalize(Vec4* out, const Vec4* v) {
    NormalizeFour(Floats(out), Floats(v));
    return out;
}
Quaternion* QuaternionNormalize(Quaternion* out, const Quaternion* q) {
    NormalizeFour(Floats(out), Floats(q));
    return out;
}
Plane* PlaneNormalize(Plane* out, const Plane* p) { return NormalizePlane(out, p); }
Plane* PlaneFromPoints(Plane* out, const Vec3* p1, const Vec3* p2, const Vec3* p3) {
    return PlaneThroughPoints(out, p1, p2, p3);
}
Vec4* Vec4Cross(Vec4* out, const Vec4* u, const Vec4* v, const Vec4* w) { return Cross4<false>(out, u, v, w); }

#define QV_INTERPOLATION(Vec, n)                                                                         \
    Vec* Vec##Hermite(Vec* out, const Vec* v1, const Vec* t1, const Vec* v2, const Vec* t2, float s) {       \
        Blend<n>(Floats(out), HermiteWeights(s), Floats(v1), Floats(t1), Floats(v2), Floats(t2));          \
        return out;                                                                                      \
    }                                                                                                    \
    Vec* Vec##CatmullRom(Vec* out, const Vec* v0, const Vec* v1, const Vec* v2, const Vec* v3, float s) {  \
        Blend<n>(Floats(out), CatmullRomWeights(s), Floats(v0), Floats(v1), Floats(v2), Floats(v3));       \
        return out;                                                                                      \
    }                                                                                                    \
    Vec* Vec##Barycentric(Vec* out, const Vec* v1, const Vec* v2, const Vec* v3, float f, float g) {       \
        Barycentric<n>(Floats(out), Floats(v1), Floats(v2), Floats(v3), f, g);                          \
        return out;                                                                                      \
    }
QV_INTERPOLATION(Vec2, 2)
QV_INTERPOLATION(Vec3, 3)
QV_INTERPOLATION(Vec4, 4)
#undef QV_INTERPOLATION

// Null when the line is parallel to the plane (f equal to 0) or f is NaN;
// the reciprocal of f from RCPSS with one Newton step.
Vec3* PlaneIntersectLine(Vec3* out, const Plane* plane, const Vec3* v1, const Vec3* v2) {
    const __m128 n = Load3(Floats(plane));
    const __m128 a = Load3(Floats(v1));
    const __m128 b = Load3(Floats(v2));
    const __m128 e = Dot3(n, a);
    const __m128 f = _mm_sub_ps(e, Dot3(n, b));
    if (!(First(f) != 0.0f)) return nullptr;
    const __m128 t = _mm_mul_ps(_mm_add_ps(e, _mm_set1_ps(plane->d)), RcpNewton(f));
    Store3(Floats(out), _mm_add_ps(a, _mm_mul_ps(t, _mm_sub_ps(b, a))));
    return out;
}

}  // namespace qv::math::sse

#endif
