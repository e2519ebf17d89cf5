// Reference matrix core: product, translation, rotation about an axis,
// 3-vector normalisation, and the perspective projection (not dispatched).
#include "math/variants.h"

namespace qv {
namespace math::ref {

Matrix* MatrixMultiply(Matrix* out, const Matrix* m1, const Matrix* m2) {
    // Into a temporary when the output is one of the inputs.
    Matrix temp;
    Matrix* dst = (out == m1 || out == m2) ? &temp : out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            dst->m[r][c] = Round(W(m1, r, 0) * W(m2, 0, c) + W(m1, r, 1) * W(m2, 1, c) +
                                 W(m1, r, 2) * W(m2, 2, c) + W(m1, r, 3) * W(m2, 3, c));
    if (dst != out) *out = temp;
    return out;
}

Matrix* MatrixTranslation(Matrix* out, float x, float y, float z) {
    SetIdentity(out);
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return out;
}

Matrix* MatrixRotationAxis(Matrix* out, const Vec3* axis, float angle) {
    const float c = Round(WCos(angle));
    const float s = Round(WSin(angle));
    const float t = Round(Wide(1) - c);
    Vec3 n = *axis;
    qv::Vec3Normalize(&n, &n);  // the processor set in force
    const Wide x = n.x, y = n.y, z = n.z;
    const Wide wt = t, wc = c, ws = s;
    out->m[0][0] = Round(wt * x * x + wc);
    out->m[0][1] = Round(wt * x * y + ws * z);
    out->m[0][2] = Round(wt * x * z - ws * y);
    out->m[0][3] = 0.0f;
    out->m[1][0] = Round(wt * x * y - ws * z);
    out->m[1][1] = Round(wt * y * y + wc);
    out->m[1][2] = Round(wt * y * z + ws * x);
    out->m[1][3] = 0.0f;
    out->m[2][0] = Round(wt * x * z + ws * y);
    out->m[2][1] = Round(wt * y * z - ws * x);
    out->m[2][2] = Round(wt * z * z + wc);
    out->m[2][3] = 0.0f;
    out->m[3][0] = 0.0f;
    out->m[3][1] = 0.0f;
    out->m[3][2] = 0.0f;
    out->m[3][3] = 1.0f;
    return out;
}

Vec3* Vec3Normalize(Vec3* out, const Vec3* v) {
    const Wide x = v->x, y = v->y, z = v->z;
    const Wide len2 = x * x + y * y + z * z;
    const float len2Single = Round(len2);
    if (!(len2Single > kMinNormal)) {  // tiny, zero or NaN
        *out = {0.0f, 0.0f, 0.0f};
        return out;
    }
    if (FloatNearlyEqual(len2Single, 1.0f)) {
        if (out != v) *out = *v;
        return out;
    }
    // The unrounded squared length keeps huge vectors from overflowing.
    const Wide inv = Wide(1) / WSqrt(len2);
    const Vec3 temp = {Round(x * inv), Round(y * inv), Round(z * inv)};
    *out = temp;
    return out;
}

}  // namespace math::ref

Matrix* MatrixPerspectiveFovLH(Matrix* out, float fovY, float aspect, float zn, float zf) {
    using math::Round;
    using math::Wide;
    const float h = Round(static_cast<Wide>(fovY) * Wide(0.5));
    const float c = Round(math::WCos(h));
    const float s = Round(math::WSin(h));
    const Wide yScale = static_cast<Wide>(c) / s;
    const Wide q = static_cast<Wide>(zf) / (static_cast<Wide>(zf) - zn);
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) out->m[r][k] = 0.0f;
    out->m[0][0] = Round(yScale / aspect);
    out->m[1][1] = Round(yScale);
    out->m[2][2] = Round(q);
    out->m[2][3] = 1.0f;
    out->m[3][2] = Round(-q * zn);
    return out;
}

}  // namespace qv
