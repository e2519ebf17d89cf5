// Reference transforms of vectors and planes by a matrix, their array forms,
// and projection to and from a viewport.
#include <initializer_list>
#include <limits>

#include "math/variants.h"

namespace qv::math::ref {

namespace {

// Column c of (x, y, z, w) x m at working precision.
inline Wide Column(const Matrix* m, Wide x, Wide y, Wide z, Wide w, int c) {
    return x * W(m, 0, c) + y * W(m, 1, c) + z * W(m, 2, c) + w * W(m, 3, c);
}

inline void Transform4(float* out, Wide x, Wide y, Wide z, Wide w, const Matrix* m) {
    const float r0 = Round(Column(m, x, y, z, w, 0));
    const float r1 = Round(Column(m, x, y, z, w, 1));
    const float r2 = Round(Column(m, x, y, z, w, 2));
    const float r3 = Round(Column(m, x, y, z, w, 3));
    out[0] = r0;
    out[1] = r1;
    out[2] = r2;
    out[3] = r3;
}

// The first n components of (x, y, z, 1) x m divided by the fourth: stored
// as they are when w is within 2^-23 of 1, else multiplied by 1/w.
template <int n>
inline void TransformCoord(float* out, Wide x, Wide y, Wide z, const Matrix* m) {
    Wide r[3];
    for (int c = 0; c < n; ++c) r[c] = Column(m, x, y, z, 1, c);
    const float w = Round(Column(m, x, y, z, 1, 3));
    if (FloatNearlyEqual(w, 1.0f)) {
        for (int c = 0; c < n; ++c) out[c] = Round(r[c]);
    } else {
        const Wide inv = Wide(1) / static_cast<Wide>(w);
        for (int c = 0; c < n; ++c) out[c] = Round(r[c] * inv);
    }
}

template <typename Out, typename In, typename Fn>
inline Out* ForEach(Out* out, std::uint32_t outStride, const In* in, std::uint32_t inStride,
                    const Matrix* m, std::uint32_t count, Fn fn) {
    for (std::uint32_t i = 0; i < count; ++i) fn(At(out, outStride, i), At(in, inStride, i), m);
    return out;
}

// world x view x projection of the matrices present, through the
// MatrixMultiply entry; the identity when none is.
const Matrix* Combine(const Matrix* projection, const Matrix* view, const Matrix* world, Matrix* local) {
    const Matrix* present[3];
    int n = 0;
    for (const Matrix* m : {world, view, projection})
        if (m) present[n++] = m;
    if (n == 0) {
        SetIdentity(local);
        return local;
    }
    if (n == 1) return present[0];
    qv::MatrixMultiply(local, present[0], present[1]);
    if (n == 3) qv::MatrixMultiply(local, local, present[2]);
    return local;
}

// The inverse of the combined matrix into `local`; false when it has none.
bool CombineInverse(const Matrix* projection, const Matrix* view, const Matrix* world, Matrix* local) {
    const Matrix* combined = Combine(projection, view, world, local);
    if (!projection && !view && !world) return true;  // the identity
    return qv::MatrixInverse(local, nullptr, combined) != nullptr;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

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
    const Wide x = v->x, y = v->y;
    const Vec2 r = {Round(Column(m, x, y, 0, 0, 0)), Round(Column(m, x, y, 0, 0, 1))};
    *out = r;
    return out;
}

Vec3* Vec3TransformNormal(Vec3* out, const Vec3* v, const Matrix* m) {
    const Wide x = v->x, y = v->y, z = v->z;
    const Vec3 r = {Round(Column(m, x, y, z, 0, 0)), Round(Column(m, x, y, z, 0, 1)),
                    Round(Column(m, x, y, z, 0, 2))};
    *out = r;
    return out;
}

Vec2* Vec2TransformCoord(Vec2* out, const Vec2* v, const Matrix* m) {
    float r[2];
    TransformCoord<2>(r, v->x, v->y, 0, m);
    *out = {r[0], r[1]};
    return out;
}

Vec3* Vec3TransformCoord(Vec3* out, const Vec3* v, const Matrix* m) {
    float r[3];
    TransformCoord<3>(r, v->x, v->y, v->z, m);
    *out = {r[0], r[1], r[2]};
    return out;
}

Vec4* Vec2TransformArray(Vec4* out, std::uint32_t os, const Vec2* in, std::uint32_t is, const Matrix* m,
                         std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, Vec2Transform);
}
Vec2* Vec2TransformCoordArray(Vec2* out, std::uint32_t os, const Vec2* in, std::uint32_t is,
                              const Matrix* m, std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, Vec2TransformCoord);
}
Vec2* Vec2TransformNormalArray(Vec2* out, std::uint32_t os, const Vec2* in, std::uint32_t is,
                               const Matrix* m, std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, Vec2TransformNormal);
}
Vec4* Vec3TransformArray(Vec4* out, std::uint32_t os, const Vec3* in, std::uint32_t is, const Matrix* m,
                         std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, Vec3Transform);
}
Vec3* Vec3TransformCoordArray(Vec3* out, std::uint32_t os, const Vec3* in, std::uint32_t is,
                              const Matrix* m, std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, Vec3TransformCoord);
}
Vec3* Vec3TransformNormalArray(Vec3* out, std::uint32_t os, const Vec3* in, std::uint32_t is,
                               const Matrix* m, std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, Vec3TransformNormal);
}
Vec4* Vec4TransformArray(Vec4* out, std::uint32_t os, const Vec4* in, std::uint32_t is, const Matrix* m,
                         std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, Vec4Transform);
}
Plane* PlaneTransformArray(Plane* out, std::uint32_t os, const Plane* in, std::uint32_t is,
                           const Matrix* m, std::uint32_t count) {
    return ForEach(out, os, in, is, m, count, PlaneTransform);
}

Vec3* Vec3Project(Vec3* out, const Vec3* v, const D3DVIEWPORT9* viewport, const Matrix* projection,
                  const Matrix* view, const Matrix* world) {
    Matrix local;
    const Matrix* combined = Combine(projection, view, world, &local);
    qv::Vec3TransformCoord(out, v, combined);
    if (viewport) {
        const Wide width = viewport->Width, height = viewport->Height;
        out->x = Round((out->x + Wide(1)) * width * Wide(0.5) + viewport->X);
        out->y = Round((Wide(1) - out->y) * height * Wide(0.5) + viewport->Y);
        out->z = Round((static_cast<Wide>(viewport->MaxZ) - viewport->MinZ) * out->z + viewport->MinZ);
    }
    return out;
}

// A combined matrix without an inverse gives NaNs rather than a point made
// from an arbitrary matrix.
Vec3* Vec3Unproject(Vec3* out, const Vec3* v, const D3DVIEWPORT9* viewport, const Matrix* projection,
                    const Matrix* view, const Matrix* world) {
    Matrix inverse;
    if (!CombineInverse(projection, view, world, &inverse)) {
        *out = {kNaN, kNaN, kNaN};
        return out;
    }
    Vec3 p = *v;
    if (viewport) {
        p.x = Round((static_cast<Wide>(v->x) - viewport->X) / viewport->Width * 2 - 1);
        p.y = Round(-((static_cast<Wide>(v->y) - viewport->Y) / viewport->Height * 2 - 1));
        p.z = Round((static_cast<Wide>(v->z) - viewport->MinZ) /
                    (static_cast<Wide>(viewport->MaxZ) - viewport->MinZ));
    }
    return qv::Vec3TransformCoord(out, &p, &inverse);
}

Vec3* Vec3ProjectArray(Vec3* out, std::uint32_t os, const Vec3* in, std::uint32_t is,
                       const D3DVIEWPORT9* viewport, const Matrix* projection, const Matrix* view,
                       const Matrix* world, std::uint32_t count) {
    Matrix local;
    const Matrix* combined = Combine(projection, view, world, &local);
    if (viewport) {
        const float halfWidth = Round(static_cast<Wide>(viewport->Width) / 2);
        const float halfHeight = Round(static_cast<Wide>(viewport->Height) / 2);
        Matrix toViewport = {};
        toViewport.m[0][0] = halfWidth;
        toViewport.m[1][1] = -halfHeight;
        toViewport.m[2][2] = Round(static_cast<Wide>(viewport->MaxZ) - viewport->MinZ);
        toViewport.m[3][0] = Round(viewport->X + static_cast<Wide>(halfWidth));
        toViewport.m[3][1] = Round(viewport->Y + static_cast<Wide>(halfHeight));
        toViewport.m[3][2] = viewport->MinZ;
        toViewport.m[3][3] = 1.0f;
        qv::MatrixMultiply(&local, combined, &toViewport);
        combined = &local;
    }
    return qv::Vec3TransformCoordArray(out, os, in, is, combined, count);
}

Vec3* Vec3UnprojectArray(Vec3* out, std::uint32_t os, const Vec3* in, std::uint32_t is,
                         const D3DVIEWPORT9* viewport, const Matrix* projection, const Matrix* view,
                         const Matrix* world, std::uint32_t count) {
    Matrix inverse;
    if (!CombineInverse(projection, view, world, &inverse)) {
        for (std::uint32_t i = 0; i < count; ++i) *At(out, os, i) = {kNaN, kNaN, kNaN};
        return out;
    }
    if (viewport) {
        const Wide width = viewport->Width, height = viewport->Height;
        const Wide depth = static_cast<Wide>(viewport->MaxZ) - viewport->MinZ;
        Matrix fromViewport = {};
        fromViewport.m[0][0] = Round(2 / width);
        fromViewport.m[1][1] = Round(-2 / height);
        fromViewport.m[2][2] = Round(1 / depth);
        fromViewport.m[3][0] = Round(-(static_cast<Wide>(viewport->X) * 2 / width) - 1);
        fromViewport.m[3][1] = Round(static_cast<Wide>(viewport->Y) * 2 / height + 1);
        fromViewport.m[3][2] = Round(-viewport->MinZ / depth);
        fromViewport.m[3][3] = 1.0f;
        qv::MatrixMultiply(&inverse, &fromViewport, &inverse);
    }
    return qv::Vec3TransformCoordArray(out, os, in, is, &inverse, count);
}

}  // namespace qv::math::ref
