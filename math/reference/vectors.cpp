// Reference normalisation of 2- and 4-vectors and planes, the 4-D cross
// product, Hermite, Catmull-Rom and barycentric interpolation, and planes.
#include "math/variants.h"

namespace qv::math::ref {

namespace {

// Normalises n components; `scaled` components (all of them for vectors,
// a, b, c and d for planes) are scaled, and the first `measured` give the
// length.
template <int n, int measured>
void NormalizeN(float* out, const float* in) {
    Wide len2w = 0;
    for (int i = 0; i < measured; ++i) len2w += static_cast<Wide>(in[i]) * in[i];
    const float len2 = Round(len2w);
    if (FloatNearlyEqual(len2, 1.0f)) {
        if (out != in)
            for (int i = 0; i < n; ++i) out[i] = in[i];
        return;
    }
    float temp[n];
    if (len2 > kMinNormal) {
        const Wide inv = Wide(1) / WSqrt(len2w);
        for (int i = 0; i < n; ++i) temp[i] = Round(in[i] * inv);
    } else {
        for (int i = 0; i < n; ++i) temp[i] = 0.0f;
    }
    for (int i = 0; i < n; ++i) out[i] = temp[i];
}

// Hermite coefficients h1..h4 and Catmull-Rom coefficients c0..c3 (the
// latter already halved).
struct Weights {
    float k[4];
};

Weights HermiteWeights(float s) {
    const Wide ws = s;
    const Wide s2 = ws * ws;
    const Wide s3 = s2 * ws;
    return {{Round(2 * s3 - 3 * s2 + 1), Round(s3 - 2 * s2 + ws), Round(-2 * s3 + 3 * s2), Round(s3 - s2)}};
}

Weights CatmullRomWeights(float s) {
    const Wide ws = s;
    const Wide s2 = ws * ws;
    const Wide s3 = s2 * ws;
    return {{Round((-s3 + 2 * s2 - ws) * Wide(0.5)), Round((3 * s3 - 5 * s2 + 2) * Wide(0.5)),
             Round((-3 * s3 + 4 * s2 + ws) * Wide(0.5)), Round((s3 - s2) * Wide(0.5))}};
}

template <int n>
void Blend(float* out, const Weights& w, const float* a, const float* b, const float* c, const float* d) {
    float temp[n];
    for (int i = 0; i < n; ++i)
        temp[i] = Round(static_cast<Wide>(w.k[0]) * a[i] + static_cast<Wide>(w.k[1]) * b[i] +
                        static_cast<Wide>(w.k[2]) * c[i] + static_cast<Wide>(w.k[3]) * d[i]);
    for (int i = 0; i < n; ++i) out[i] = temp[i];
}

template <int n>
void Barycentric(float* out, const float* v1, const float* v2, const float* v3, float f, float g) {
    float temp[n];
    for (int i = 0; i < n; ++i) {
        const Wide a = v1[i];
        temp[i] = Round(a + f * (static_cast<Wide>(v2[i]) - a) + g * (static_cast<Wide>(v3[i]) - a));
    }
    for (int i = 0; i < n; ++i) out[i] = temp[i];
}

}  // namespace

void NormalizeFour(float* out, const float* in) { NormalizeN<4, 4>(out, in); }

Vec2* Vec2Normalize(Vec2* out, const Vec2* v) {
    NormalizeN<2, 2>(Floats(out), Floats(v));
    return out;
}
Vec4* Vec4Normalize(Vec4* out, const Vec4* v) {
    NormalizeFour(Floats(out), Floats(v));
    return out;
}
Quaternion* QuaternionNormalize(Quaternion* out, const Quaternion* q) {
    NormalizeFour(Floats(out), Floats(q));
    return out;
}
Plane* PlaneNormalize(Plane* out, const Plane* p) {
    NormalizeN<4, 3>(Floats(out), Floats(p));
    return out;
}

Vec4* Vec4Cross(Vec4* out, const Vec4* u, const Vec4* v, const Vec4* w) {
    const Wide a = static_cast<Wide>(v->x) * w->y - static_cast<Wide>(v->y) * w->x;
    const Wide b = static_cast<Wide>(v->x) * w->z - static_cast<Wide>(v->z) * w->x;
    const Wide c = static_cast<Wide>(v->x) * w->w - static_cast<Wide>(v->w) * w->x;
    const Wide d = static_cast<Wide>(v->y) * w->z - static_cast<Wide>(v->z) * w->y;
    const Wide e = static_cast<Wide>(v->y) * w->w - static_cast<Wide>(v->w) * w->y;
    const Wide f = static_cast<Wide>(v->z) * w->w - static_cast<Wide>(v->w) * w->z;
    const Vec4 r = {Round(f * u->y - e * u->z + d * u->w), Round(-f * u->x + c * u->z - b * u->w),
                    Round(e * u->x - c * u->y + a * u->w), Round(-d * u->x + b * u->y - a * u->z)};
    *out = r;
    return out;
}

#define QV_INTERPOLATION(Vec, n)                                                                   \
    Vec* Vec##Hermite(Vec* out, const Vec* v1, const Vec* t1, const Vec* v2, const Vec* t2, float s) { \
        Blend<n>(Floats(out), HermiteWeights(s), Floats(v1), Floats(t1), Floats(v2), Floats(t2));                        \
        return out;                                                                                \
    }                                                                                              \
    Vec* Vec##CatmullRom(Vec* out, const Vec* v0, const Vec* v1, const Vec* v2, const Vec* v3,       \
                         float s) {                                                                \
        Blend<n>(Floats(out), CatmullRomWeights(s), Floats(v0), Floats(v1), Floats(v2), Floats(v3));                      \
        return out;                                                                                \
    }                                                                                              \
    Vec* Vec##Barycentric(Vec* out, const Vec* v1, const Vec* v2, const Vec* v3, float f, float g) { \
        Barycentric<n>(Floats(out), Floats(v1), Floats(v2), Floats(v3), f, g);                                      \
        return out;                                                                                \
    }
QV_INTERPOLATION(Vec2, 2)
QV_INTERPOLATION(Vec3, 3)
QV_INTERPOLATION(Vec4, 4)
#undef QV_INTERPOLATION

Plane* PlaneFromPointNormal(Plane* out, const Vec3* point, const Vec3* normal) {
    const Wide dot = static_cast<Wide>(point->x) * normal->x + static_cast<Wide>(point->y) * normal->y +
                     static_cast<Wide>(point->z) * normal->z;
    *out = {normal->x, normal->y, normal->z, Round(-dot)};
    return out;
}

Plane* PlaneFromPoints(Plane* out, const Vec3* p1, const Vec3* p2, const Vec3* p3) {
    const Wide ux = static_cast<Wide>(p1->x) - p2->x, uy = static_cast<Wide>(p1->y) - p2->y,
               uz = static_cast<Wide>(p1->z) - p2->z;
    const Wide wx = static_cast<Wide>(p1->x) - p3->x, wy = static_cast<Wide>(p1->y) - p3->y,
               wz = static_cast<Wide>(p1->z) - p3->z;
    Vec3 n = {Round(uy * wz - uz * wy), Round(uz * wx - ux * wz), Round(ux * wy - uy * wx)};
    const Vec3 point = *p1;  // p1 may lie inside out
    qv::Vec3Normalize(&n, &n);
    const Wide dot = static_cast<Wide>(n.x) * point.x + static_cast<Wide>(n.y) * point.y +
                     static_cast<Wide>(n.z) * point.z;
    *out = {n.x, n.y, n.z, Round(-dot)};
    return out;
}

Vec3* PlaneIntersectLine(Vec3* out, const Plane* plane, const Vec3* v1, const Vec3* v2) {
    const Wide a = plane->a, b = plane->b, c = plane->c;
    const Wide e = a * v1->x + b * v1->y + c * v1->z;
    const Wide f = e - (a * v2->x + b * v2->y + c * v2->z);
    if (f == 0) return nullptr;
    const float t = Round((e + plane->d) / f);
    if (!std::isfinite(t)) return nullptr;
    const Vec3 r = {Round(v1->x + t * (static_cast<Wide>(v2->x) - v1->x)),
                    Round(v1->y + t * (static_cast<Wide>(v2->y) - v1->y)),
                    Round(v1->z + t * (static_cast<Wide>(v2->z) - v1->z))};
    *out = r;
    return out;
}

}  // namespace qv::math::ref
