// Reference matrix functions: determinant, inverse, transpose, scaling,
// rotations, composed transformations, shadow and reflection.
#include <utility>

#include "math/variants.h"

namespace qv::math::ref {

namespace {

// The 2x2 minors of rows 0-1 (s) and rows 2-3 (c), and from them the
// adjugate (transposed cofactor matrix) and the determinant by expansion
// along row 0.
struct Cofactors {
    Wide adj[4][4];
    Wide det;
};

Cofactors ComputeCofactors(const Matrix* m) {
    auto e = [m](int r, int c) { return W(m, r, c); };
    const Wide s0 = e(0, 0) * e(1, 1) - e(1, 0) * e(0, 1);
    const Wide s1 = e(0, 0) * e(1, 2) - e(1, 0) * e(0, 2);
    const Wide s2 = e(0, 0) * e(1, 3) - e(1, 0) * e(0, 3);
    const Wide s3 = e(0, 1) * e(1, 2) - e(1, 1) * e(0, 2);
    const Wide s4 = e(0, 1) * e(1, 3) - e(1, 1) * e(0, 3);
    const Wide s5 = e(0, 2) * e(1, 3) - e(1, 2) * e(0, 3);
    const Wide c5 = e(2, 2) * e(3, 3) - e(3, 2) * e(2, 3);
    const Wide c4 = e(2, 1) * e(3, 3) - e(3, 1) * e(2, 3);
    const Wide c3 = e(2, 1) * e(3, 2) - e(3, 1) * e(2, 2);
    const Wide c2 = e(2, 0) * e(3, 3) - e(3, 0) * e(2, 3);
    const Wide c1 = e(2, 0) * e(3, 2) - e(3, 0) * e(2, 2);
    const Wide c0 = e(2, 0) * e(3, 1) - e(3, 0) * e(2, 1);
    Cofactors k;
    k.adj[0][0] = e(1, 1) * c5 - e(1, 2) * c4 + e(1, 3) * c3;
    k.adj[0][1] = -e(0, 1) * c5 + e(0, 2) * c4 - e(0, 3) * c3;
    k.adj[0][2] = e(3, 1) * s5 - e(3, 2) * s4 + e(3, 3) * s3;
    k.adj[0][3] = -e(2, 1) * s5 + e(2, 2) * s4 - e(2, 3) * s3;
    k.adj[1][0] = -e(1, 0) * c5 + e(1, 2) * c2 - e(1, 3) * c1;
    k.adj[1][1] = e(0, 0) * c5 - e(0, 2) * c2 + e(0, 3) * c1;
    k.adj[1][2] = -e(3, 0) * s5 + e(3, 2) * s2 - e(3, 3) * s1;
    k.adj[1][3] = e(2, 0) * s5 - e(2, 2) * s2 + e(2, 3) * s1;
    k.adj[2][0] = e(1, 0) * c4 - e(1, 1) * c2 + e(1, 3) * c0;
    k.adj[2][1] = -e(0, 0) * c4 + e(0, 1) * c2 - e(0, 3) * c0;
    k.adj[2][2] = e(3, 0) * s4 - e(3, 1) * s2 + e(3, 3) * s0;
    k.adj[2][3] = -e(2, 0) * s4 + e(2, 1) * s2 - e(2, 3) * s0;
    k.adj[3][0] = -e(1, 0) * c3 + e(1, 1) * c1 - e(1, 2) * c0;
    k.adj[3][1] = e(0, 0) * c3 - e(0, 1) * c1 + e(0, 2) * c0;
    k.adj[3][2] = -e(3, 0) * s3 + e(3, 1) * s1 - e(3, 2) * s0;
    k.adj[3][3] = e(2, 0) * s3 - e(2, 1) * s1 + e(2, 2) * s0;
    k.det = e(0, 0) * k.adj[0][0] + e(0, 1) * k.adj[1][0] + e(0, 2) * k.adj[2][0] + e(0, 3) * k.adj[3][0];
    return k;
}

void SetRotation(Matrix* out, int axis, float c, float s) {
    SetIdentity(out);
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;  // X: (1, 2), Y: (2, 0), Z: (0, 1)
    out->m[i][i] = c;
    out->m[i][j] = s;
    out->m[j][i] = -s;
    out->m[j][j] = c;
}

Matrix* Rotation(Matrix* out, int axis, float angle) {
    SetRotation(out, axis, Round(WCos(angle)), Round(WSin(angle)));
    return out;
}

// Applies the rotation `r` about `center` (2 or 3 components of row 3):
// out = out x T(-center) x r x T(center).
void RotateAbout(Matrix* out, const Matrix* r, const float* center, int n) {
    if (center)
        for (int i = 0; i < n; ++i) out->m[3][i] = Round(static_cast<Wide>(out->m[3][i]) - center[i]);
    qv::MatrixMultiply(out, out, r);
    if (center)
        for (int i = 0; i < n; ++i) out->m[3][i] = Round(static_cast<Wide>(out->m[3][i]) + center[i]);
}

void Translate(Matrix* out, const float* t, int n) {
    if (t)
        for (int i = 0; i < n; ++i) out->m[3][i] = Round(static_cast<Wide>(out->m[3][i]) + t[i]);
}

// Steps 1-3 of the composed transformations: Sc^-1 x Rs^-1 x S x Rs x Sc, with
// the scaling rotation given as a matrix (null: none).
void ScaleAbout(Matrix* out, const float* center, const Matrix* rs, const float* scaling, int n) {
    Matrix s;
    SetIdentity(&s);
    for (int i = 0; i < n; ++i) s.m[i][i] = scaling[i];
    if (!rs) {
        *out = s;
        if (center)
            for (int i = 0; i < n; ++i) out->m[3][i] = Round((1 - static_cast<Wide>(scaling[i])) * center[i]);
        return;
    }
    Matrix rsT;
    qv::MatrixTranspose(&rsT, rs);
    if (!center) {
        *out = rsT;
    } else {
        SetIdentity(out);
        for (int i = 0; i < n; ++i) out->m[3][i] = -center[i];
        qv::MatrixMultiply(out, out, &rsT);
    }
    qv::MatrixMultiply(out, out, &s);
    qv::MatrixMultiply(out, out, rs);
    if (center) Translate(out, center, n);
}

}  // namespace

float MatrixDeterminant(const Matrix* m) { return Round(ComputeCofactors(m).det); }

Matrix* MatrixInverse(Matrix* out, float* determinant, const Matrix* m) {
    const Cofactors k = ComputeCofactors(m);
    if (determinant) *determinant = Round(k.det);
    if (k.det == 0) return nullptr;
    const float r = Round(Wide(1) / k.det);
    if (!std::isfinite(r)) return nullptr;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out->m[i][j] = Round(k.adj[i][j] * r);
    return out;
}

Matrix* MatrixTranspose(Matrix* out, const Matrix* m) {
    if (out == m) {
        for (int r = 0; r < 4; ++r)
            for (int c = r + 1; c < 4; ++c) std::swap(out->m[r][c], out->m[c][r]);
        return out;
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = m->m[c][r];
    return out;
}

Matrix* MatrixMultiplyTranspose(Matrix* out, const Matrix* m1, const Matrix* m2) {
    // The reference product, each element rounded as there, stored transposed.
    Matrix product;
    math::ref::MatrixMultiply(&product, m1, m2);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[c][r] = product.m[r][c];
    return out;
}

Matrix* MatrixScaling(Matrix* out, float sx, float sy, float sz) {
    SetIdentity(out);
    out->m[0][0] = sx;
    out->m[1][1] = sy;
    out->m[2][2] = sz;
    return out;
}

Matrix* MatrixRotationX(Matrix* out, float angle) { return Rotation(out, 0, angle); }
Matrix* MatrixRotationY(Matrix* out, float angle) { return Rotation(out, 1, angle); }
Matrix* MatrixRotationZ(Matrix* out, float angle) { return Rotation(out, 2, angle); }

Matrix* MatrixRotationYawPitchRoll(Matrix* out, float yaw, float pitch, float roll) {
    Quaternion q;
    qv::QuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
    return qv::MatrixRotationQuaternion(out, &q);
}

Matrix* MatrixRotationQuaternion(Matrix* out, const Quaternion* q) {
    const Wide x = q->x, y = q->y, z = q->z, w = q->w;
    const float y2 = Round(2 * y), z2 = Round(2 * z), x2 = Round(2 * x);
    const float yy2 = Round(y2 * y), xy2 = Round(x2 * y), xz2 = Round(x2 * z), yz2 = Round(y2 * z);
    const float oneMinusXx2 = Round(1 - x2 * x);
    const Wide zz2 = z2 * z;
    out->m[0][0] = Round(1 - static_cast<Wide>(yy2) - zz2);
    out->m[0][1] = Round(xy2 + z2 * w);
    out->m[0][2] = Round(xz2 - y2 * w);
    out->m[0][3] = 0.0f;
    out->m[1][0] = Round(xy2 - z2 * w);
    out->m[1][1] = Round(oneMinusXx2 - zz2);
    out->m[1][2] = Round(yz2 + x2 * w);
    out->m[1][3] = 0.0f;
    out->m[2][0] = Round(xz2 + y2 * w);
    out->m[2][1] = Round(yz2 - x2 * w);
    out->m[2][2] = Round(oneMinusXx2 - static_cast<Wide>(yy2));
    out->m[2][3] = 0.0f;
    out->m[3][0] = 0.0f;
    out->m[3][1] = 0.0f;
    out->m[3][2] = 0.0f;
    out->m[3][3] = 1.0f;
    return out;
}

Matrix* MatrixAffineTransformation(Matrix* out, float scaling, const Vec3* rotationCenter,
                                   const Quaternion* rotation, const Vec3* translation) {
    ref::MatrixScaling(out, scaling, scaling, scaling);
    if (rotation) {
        Matrix r;
        qv::MatrixRotationQuaternion(&r, rotation);
        RotateAbout(out, &r, rotationCenter ? &rotationCenter->x : nullptr, 3);
    }
    Translate(out, translation ? &translation->x : nullptr, 3);
    return out;
}

Matrix* MatrixTransformation(Matrix* out, const Vec3* scalingCenter, const Quaternion* scalingRotation,
                             const Vec3* scaling, const Vec3* rotationCenter, const Quaternion* rotation,
                             const Vec3* translation) {
    if (!scaling) {
        SetIdentity(out);
    } else {
        Matrix rs;
        if (scalingRotation) qv::MatrixRotationQuaternion(&rs, scalingRotation);
        ScaleAbout(out, scalingCenter ? &scalingCenter->x : nullptr, scalingRotation ? &rs : nullptr,
                   &scaling->x, 3);
    }
    if (rotation) {
        Matrix r;
        qv::MatrixRotationQuaternion(&r, rotation);
        RotateAbout(out, &r, rotationCenter ? &rotationCenter->x : nullptr, 3);
    }
    Translate(out, translation ? &translation->x : nullptr, 3);
    return out;
}

Matrix* MatrixAffineTransformation2D(Matrix* out, float scaling, const Vec2* rotationCenter, float rotation,
                                     const Vec2* translation) {
    ref::MatrixScaling(out, scaling, scaling, 1.0f);
    if (rotation != 0.0f) {
        Matrix r;
        qv::MatrixRotationZ(&r, rotation);
        RotateAbout(out, &r, rotationCenter ? &rotationCenter->x : nullptr, 2);
    }
    Translate(out, translation ? &translation->x : nullptr, 2);
    return out;
}

Matrix* MatrixTransformation2D(Matrix* out, const Vec2* scalingCenter, float scalingRotation,
                               const Vec2* scaling, const Vec2* rotationCenter, float rotation,
                               const Vec2* translation) {
    if (!scaling) {
        SetIdentity(out);
    } else {
        Matrix rs;
        if (scalingRotation != 0.0f) qv::MatrixRotationZ(&rs, scalingRotation);
        ScaleAbout(out, scalingCenter ? &scalingCenter->x : nullptr, scalingRotation != 0.0f ? &rs : nullptr,
                   &scaling->x, 2);
    }
    if (rotation != 0.0f) {
        Matrix r;
        qv::MatrixRotationZ(&r, rotation);
        RotateAbout(out, &r, rotationCenter ? &rotationCenter->x : nullptr, 2);
    }
    Translate(out, translation ? &translation->x : nullptr, 2);
    return out;
}

Matrix* MatrixShadow(Matrix* out, const Vec4* light, const Plane* plane) {
    Plane p;
    qv::PlaneNormalize(&p, plane);
    const Wide P[4] = {p.a, p.b, p.c, p.d};
    const Wide L[4] = {light->x, light->y, light->z, light->w};
    const Wide dot = P[0] * L[0] + P[1] * L[1] + P[2] * L[2] + P[3] * L[3];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = Round((r == c ? dot : 0) - P[r] * L[c]);
    return out;
}

Matrix* MatrixReflect(Matrix* out, const Plane* plane) {
    Plane p;
    qv::PlaneNormalize(&p, plane);
    const Wide P[4] = {p.a, p.b, p.c, p.d};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) out->m[r][c] = Round(-2 * P[r] * P[c] + (r == c ? 1 : 0));
        out->m[r][3] = r == 3 ? 1.0f : 0.0f;
    }
    return out;
}

}  // namespace qv::math::ref
