// SSE set: quaternion product, inverse, conversions, and SinCos4.
#include "math/sse/shared_sse.h"

#if QV_MATH_X86

namespace qv::math::sse {

using namespace simd;

Quaternion* QuaternionMultiply(Quaternion* out, const Quaternion* q1, const Quaternion* q2) {
    const __m128 a = Load4(Floats(q1));
    const __m128 b = Load4(Floats(q2));
    // bw a + bx (aw, -az, ay, -ax) + by (az, aw, -ax, -ay) + bz (-ay, ax, aw, -az)
    const __m128 tx = _mm_xor_ps(Swizzle<3, 2, 1, 0>(a), SignMask(false, true, false, true));
    const __m128 ty = _mm_xor_ps(Swizzle<2, 3, 0, 1>(a), SignMask(false, false, true, true));
    const __m128 tz = _mm_xor_ps(Swizzle<1, 0, 3, 2>(a), SignMask(true, false, false, true));
    const __m128 r = _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat<3>(b), a), _mm_mul_ps(Splat<0>(b), tx)),
                                _mm_add_ps(_mm_mul_ps(Splat<1>(b), ty), _mm_mul_ps(Splat<2>(b), tz)));
    Store4(Floats(out), r);
    return out;
}

// No small-length test and no unit shortcut: the conjugate times an RCPSS
// reciprocal of the squared length refined once.
Quaternion* QuaternionInverse(Quaternion* out, const Quaternion* q) {
    const __m128 v = Load4(Floats(q));
    const __m128 conjugate = _mm_xor_ps(v, SignMask(true, true, true, false));
    Store4(Floats(out), _mm_mul_ps(conjugate, RcpNewton(Dot4(v, v))));
    return out;
}

Quaternion* QuaternionRotationMatrix(Quaternion* out, const Matrix* m) { return QuaternionFromMatrix(out, m); }

Quaternion* QuaternionRotationYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll) {
    return QuaternionFromYawPitchRoll<false>(out, yaw, pitch, roll);
}

void SinCos4(const float in[4], float sines[4], float cosines[4]) { simd::SinCos4<false>(in, sines, cosines); }

}  // namespace qv::math::sse

#endif
