// SSE2 set: the entries that the SSE2 step fills with code of its own (the
// array transforms are in their own file). Behaviour matches the SSE set;
// sign flips, quadrant tests and half conversion run in the integer domain.
#include "math/half_float.h"
#include "math/sse/shared_sse.h"

#if QV_MATH_X86

#include <emmintrin.h>

namespace qv::math::sse2 {

using namespace simd;

Vec3* Vec3Normalize(Vec3* out, const Vec3* v) { return NormalizeVec3(out, v); }
Plane* PlaneFromPoints(Plane* out, const Vec3* p1, const Vec3* p2, const Vec3* p3) {
    return PlaneThroughPoints(out, p1, p2, p3);
}
Vec4* Vec4Cross(Vec4* out, const Vec4* u, const Vec4* v, const Vec4* w) { return Cross4<true>(out, u, v, w); }
Plane* PlaneNormalize(Plane* out, const Plane* p) { return NormalizePlane(out, p); }
Quaternion* QuaternionRotationMatrix(Quaternion* out, const Matrix* m) { return QuaternionFromMatrix(out, m); }
Quaternion* QuaternionRotationYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll) {
    return QuaternionFromYawPitchRoll<true>(out, yaw, pitch, roll);
}
Matrix* MatrixShadow(Matrix* out, const Vec4* light, const Plane* plane) { return Shadow<true>(out, light, plane); }
Matrix* MatrixReflect(Matrix* out, const Plane* plane) { return Reflect<true>(out, plane); }
void SinCos4(const float in[4], float sines[4], float cosines[4]) { simd::SinCos4<true>(in, sines, cosines); }

// Four halves at a time: mantissa with its implicit bit, times 2^(e - 25)
// with e taken as 1 for denormals, then the sign.
float* HalfToFloatArray(float* out, const std::uint16_t* in, std::uint32_t count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i exponentMask = _mm_set1_epi32(0x1F);
    const __m128i mantissaMask = _mm_set1_epi32(0x3FF);
    const __m128i implicitBit = _mm_set1_epi32(0x400);
    const __m128i bias = _mm_set1_epi32(102);
    std::uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i h = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i)), zero);
        const __m128i e = _mm_and_si128(_mm_srli_epi32(h, 10), exponentMask);
        const __m128i isDenormal = _mm_cmpeq_epi32(e, zero);  // all ones where e = 0
        const __m128i mantissa = _mm_or_si128(_mm_and_si128(h, mantissaMask), _mm_andnot_si128(isDenormal, implicitBit));
        const __m128i eEffective = _mm_sub_epi32(e, isDenormal);  // e = 0 counts as 1
        const __m128 scale = _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(eEffective, bias), 23));
        const __m128 value = _mm_mul_ps(_mm_cvtepi32_ps(mantissa), scale);
        const __m128i sign = _mm_slli_epi32(_mm_srli_epi32(h, 15), 31);
        _mm_storeu_ps(out + i, _mm_or_ps(value, _mm_castsi128_ps(sign)));
    }
    for (; i < count; ++i) out[i] = FromBits(HalfToFloatBits(in[i]));
    return out;
}

}  // namespace qv::math::sse2

#endif
