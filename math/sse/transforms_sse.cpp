// SSE set: single transforms of vectors and planes. The Coord forms always
// divide, by an RCPSS estimate refined with one Newton step.
#include "math/sse/sse_common.h"

#if QV_MATH_X86

namespace qv::math::sse {

using namespace simd;

namespace {

inline __m128 Apply(const Matrix* m, float x, float y, float z, float w) {
    const Rows rows(m);
    return Combine(rows, _mm_set1_ps(x), _mm_set1_ps(y), _mm_set1_ps(z), _mm_set1_ps(w));
}

inline __m128 ApplyNormal(const Matrix* m, float x, float y, float z) {
    const Rows rows(m);
    return Combine3(rows, _mm_set1_ps(x), _mm_set1_ps(y), _mm_set1_ps(z));
}

inline __m128 DivideByW(__m128 r) { return _mm_mul_ps(r, RcpNewton(Splat<3>(r))); }

}  // namespace

Vec4* Vec2Transform(Vec4* out, const Vec2* v, const Matrix* m) {
    Store4(Floats(out), Apply(m, v->x, v->y, 0.0f, 1.0f));
    return out;
}
Vec4* Vec3Transform(Vec4* out, const Vec3* v, const Matrix* m) {
    Store4(Floats(out), Apply(m, v->x, v->y, v->z, 1.0f));
    return out;
}
Vec4* Vec4Transform(Vec4* out, const Vec4* v, const Matrix* m) {
    Store4(Floats(out), Apply(m, v->x, v->y, v->z, v->w));
    return out;
}
Plane* PlaneTransform(Plane* out, const Plane* p, const Matrix* m) {
    Store4(Floats(out), Apply(m, p->a, p->b, p->c, p->d));
    return out;
}
Vec2* Vec2TransformNormal(Vec2* out, const Vec2* v, const Matrix* m) {
    Store2(Floats(out), ApplyNormal(m, v->x, v->y, 0.0f));
    return out;
}
Vec3* Vec3TransformNormal(Vec3* out, const Vec3* v, const Matrix* m) {
    Store3(Floats(out), ApplyNormal(m, v->x, v->y, v->z));
    return out;
}
Vec2* Vec2TransformCoord(Vec2* out, const Vec2* v, const Matrix* m) {
    Store2(Floats(out), DivideByW(Apply(m, v->x, v->y, 0.0f, 1.0f)));
    return out;
}
Vec3* Vec3TransformCoord(Vec3* out, const Vec3* v, const Matrix* m) {
    Store3(Floats(out), DivideByW(Apply(m, v->x, v->y, v->z, 1.0f)));
    return out;
}

}  // namespace qv::math::sse

#endif
