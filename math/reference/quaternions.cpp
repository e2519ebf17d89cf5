// Reference quaternion functions.
#include "math/variants.h"

namespace qv::math::ref {

namespace {

Quaternion Scaled(const Quaternion& q, Wide k) {
    return {Round(q.x * k), Round(q.y * k), Round(q.z * k), Round(q.w * k)};
}

}  // namespace

Quaternion* QuaternionMultiply(Quaternion* out, const Quaternion* q1, const Quaternion* q2) {
    const Wide ax = q1->x, ay = q1->y, az = q1->z, aw = q1->w;
    const Wide bx = q2->x, by = q2->y, bz = q2->z, bw = q2->w;
    const Quaternion r = {Round(bw * ax + bx * aw + by * az - bz * ay), Round(bw * ay - bx * az + aw * by + ax * bz),
                          Round(bw * az + bx * ay - ax * by + aw * bz), Round(bw * aw - ax * bx - by * ay - az * bz)};
    *out = r;
    return out;
}

Quaternion* QuaternionInverse(Quaternion* out, const Quaternion* q) {
    const Wide x = q->x, y = q->y, z = q->z;
    const float n = Round(x * x + y * y + z * z + static_cast<Wide>(q->w) * q->w);
    if (!(n > 0x1p-63f)) {
        *out = {0.0f, 0.0f, 0.0f, 0.0f};
        return out;
    }
    const Quaternion conjugate = {-q->x, -q->y, -q->z, q->w};
    *out = FloatNearlyEqual(n, 1.0f) ? conjugate : Scaled(conjugate, Wide(1) / n);
    return out;
}

Quaternion* QuaternionLn(Quaternion* out, const Quaternion* q) {
    const Quaternion in = *q;
    if (in.w < 1.0f) {
        const float theta = Round(std::acos(static_cast<Wide>(in.w)));
        const float s = Round(WSin(theta));
        if (!FloatNearlyEqual(s, 0.0f)) {
            const Wide k = static_cast<Wide>(theta) / s;
            *out = {Round(in.x * k), Round(in.y * k), Round(in.z * k), 0.0f};
            return out;
        }
    }
    *out = {in.x, in.y, in.z, 0.0f};
    return out;
}

Quaternion* QuaternionExp(Quaternion* out, const Quaternion* q) {
    const Quaternion in = *q;
    const Wide x = in.x, y = in.y, z = in.z;
    const float theta = Round(WSqrt(x * x + y * y + z * z));
    const float c = Round(WCos(theta));
    const float s = Round(WSin(theta));
    if (!FloatNearlyEqual(s, 0.0f)) {
        const Wide k = static_cast<Wide>(s) / theta;
        *out = {Round(x * k), Round(y * k), Round(z * k), c};
    } else {
        *out = {in.x, in.y, in.z, c};
    }
    return out;
}

Quaternion* QuaternionSlerp(Quaternion* out, const Quaternion* q1, const Quaternion* q2, float t) {
    const Quaternion a = *q1, b = *q2;
    const Wide dot = static_cast<Wide>(a.x) * b.x + static_cast<Wide>(a.z) * b.z +
                     static_cast<Wide>(a.y) * b.y + static_cast<Wide>(a.w) * b.w;
    const Wide sign = dot < 0 || std::isnan(dot) ? -1 : 1;
    const Wide c = sign * dot;
    Wide k1, k2;
    const Wide gap = 1 - c;
    if (!(gap > kEpsilon)) {
        k1 = 1 - static_cast<Wide>(t);
        k2 = t;
    } else {
        const Wide s = WSqrt(1 - c * c);
        const float theta = Round(std::atan2(s, c));
        const float r = Round(1 / s);
        k1 = WSin((1 - static_cast<Wide>(t)) * theta) * r;
        k2 = WSin(static_cast<Wide>(t) * theta) * r;
    }
    k2 *= sign;
    *out = {Round(k1 * a.x + k2 * b.x), Round(k1 * a.y + k2 * b.y), Round(k1 * a.z + k2 * b.z),
            Round(k1 * a.w + k2 * b.w)};
    return out;
}

Quaternion* QuaternionSquad(Quaternion* out, const Quaternion* q1, const Quaternion* a, const Quaternion* b,
                            const Quaternion* c, float t) {
    Quaternion outer, inner;
    qv::QuaternionSlerp(&outer, q1, c, t);
    qv::QuaternionSlerp(&inner, a, b, t);
    const float blend = Round(2 * static_cast<Wide>(t) * (1 - static_cast<Wide>(t)));
    return qv::QuaternionSlerp(out, &outer, &inner, blend);
}

void QuaternionSquadSetup(Quaternion* outA, Quaternion* outB, Quaternion* outC, const Quaternion* q0,
                          const Quaternion* q1, const Quaternion* q2, const Quaternion* q3) {
    Quaternion p0 = *q0, p1 = *q1, p2 = *q2, p3 = *q3;
    auto closer = [](const Quaternion& a, const Quaternion& b) {
        // |a - b|^2 > |a + b|^2: b lies on the far side of a.
        const Wide d[4] = {static_cast<Wide>(a.x) - b.x, static_cast<Wide>(a.y) - b.y,
                           static_cast<Wide>(a.z) - b.z, static_cast<Wide>(a.w) - b.w};
        const Wide s[4] = {static_cast<Wide>(a.x) + b.x, static_cast<Wide>(a.y) + b.y,
                           static_cast<Wide>(a.z) + b.z, static_cast<Wide>(a.w) + b.w};
        const Wide dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2] + d[3] * d[3];
        const Wide ss = s[0] * s[0] + s[1] * s[1] + s[2] * s[2] + s[3] * s[3];
        return dd > ss;
    };
    auto negate = [](Quaternion& q) { q = {-q.x, -q.y, -q.z, -q.w}; };
    if (closer(p0, p1)) negate(p0);
    if (closer(p1, p2)) negate(p2);
    if (closer(p2, p3)) negate(p3);

    // outer = q * exp(-0.25 (ln(i q prev) + ln(i q next))), i = q^-1.
    auto control = [](Quaternion* result, const Quaternion& q, const Quaternion& prev, const Quaternion& next) {
        Quaternion inv, a, b;
        qv::QuaternionInverse(&inv, &q);
        qv::QuaternionMultiply(&a, &inv, &prev);
        qv::QuaternionLn(&a, &a);
        qv::QuaternionMultiply(&b, &inv, &next);
        qv::QuaternionLn(&b, &b);
        Quaternion l = {Round((static_cast<Wide>(a.x) + b.x) * -0.25), Round((static_cast<Wide>(a.y) + b.y) * -0.25),
                        Round((static_cast<Wide>(a.z) + b.z) * -0.25), Round((static_cast<Wide>(a.w) + b.w) * -0.25)};
        qv::QuaternionExp(&l, &l);
        qv::QuaternionMultiply(result, &q, &l);
    };
    Quaternion a, b;
    control(&a, p1, p0, p2);
    control(&b, p2, p1, p3);
    *outA = a;
    *outB = b;
    *outC = p2;
}

Quaternion* QuaternionBarycentric(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                  const Quaternion* q3, float f, float g) {
    const float s = Round(static_cast<Wide>(f) + g);
    if (FloatNearlyEqual(s, 0.0f)) {
        if (out != q1) *out = *q1;
        return out;
    }
    Quaternion a, b;
    qv::QuaternionSlerp(&a, q1, q2, s);
    qv::QuaternionSlerp(&b, q1, q3, s);
    return qv::QuaternionSlerp(out, &a, &b, Round(static_cast<Wide>(g) / s));
}

Quaternion* QuaternionRotationAxis(Quaternion* out, const Vec3* axis, float angle) {
    Vec3 n = *axis;
    qv::Vec3Normalize(&n, &n);
    const float h = Round(static_cast<Wide>(angle) * Wide(0.5));
    const float c = Round(WCos(h));
    const float s = Round(WSin(h));
    *out = {Round(static_cast<Wide>(n.x) * s), Round(static_cast<Wide>(n.y) * s), Round(static_cast<Wide>(n.z) * s), c};
    return out;
}

Quaternion* QuaternionRotationMatrix(Quaternion* out, const Matrix* m) {
    const Wide trace = W(m, 1, 1) + W(m, 0, 0) + W(m, 2, 2);
    Wide q[4];  // x, y, z, w
    if (trace > 0) {
        const Wide s = WSqrt(trace + 1) * Wide(0.5);
        const Wide k = Wide(0.25) / s;
        q[3] = s;
        q[0] = (W(m, 1, 2) - W(m, 2, 1)) * k;
        q[1] = (W(m, 2, 0) - W(m, 0, 2)) * k;
        q[2] = (W(m, 0, 1) - W(m, 1, 0)) * k;
    } else {
        int i = 0;
        if (m->m[1][1] > m->m[0][0]) i = 1;
        if (m->m[2][2] > m->m[i][i]) i = 2;
        const int j = (i + 1) % 3, k = (j + 1) % 3;
        const Wide s = WSqrt(W(m, i, i) - W(m, j, j) - W(m, k, k) + 1) * Wide(0.5);
        const Wide f = Wide(0.25) / s;
        q[i] = s;
        q[j] = (W(m, j, i) + W(m, i, j)) * f;
        q[k] = (W(m, k, i) + W(m, i, k)) * f;
        q[3] = (W(m, j, k) - W(m, k, j)) * f;
    }
    *out = {Round(q[0]), Round(q[1]), Round(q[2]), Round(q[3])};
    return out;
}

Quaternion* QuaternionRotationYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll) {
    const float hy = Round(static_cast<Wide>(yaw) * Wide(0.5));
    const float hp = Round(static_cast<Wide>(pitch) * Wide(0.5));
    const float hr = Round(static_cast<Wide>(roll) * Wide(0.5));
    const Wide sY = Round(WSin(hy)), cY = Round(WCos(hy));
    const Wide sP = Round(WSin(hp)), cP = Round(WCos(hp));
    const Wide sR = Round(WSin(hr)), cR = Round(WCos(hr));
    *out = {Round(cY * sP * cR + sY * cP * sR), Round(sY * cP * cR - cY * sP * sR),
            Round(cY * cP * sR - sY * sP * cR), Round(sY * sP * sR + cY * cP * cR)};
    return out;
}

void QuaternionToAxisAngle(const Quaternion* q, Vec3* axis, float* angle) {
    const Quaternion in = *q;
    if (axis) *axis = {in.x, in.y, in.z};
    if (angle) *angle = Round(2 * std::acos(static_cast<Wide>(in.w)));
}

}  // namespace qv::math::ref
