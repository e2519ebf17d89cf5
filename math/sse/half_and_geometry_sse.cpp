// SSE set: halves to floats four at a time, skinning and curved triangles.
#include "math/geometry.h"
#include "math/half_float.h"
#include "math/sse/normalize_sse.h"

#if QV_MATH_X86

namespace qv::math::sse {

using namespace simd;

// Each half is its mantissa with the implicit bit times 2^(e - 25) (e taken
// as 1 for denormals), exactly: the integer parts per element, then one
// multiplication per group of four.
float* HalfToFloatArray(float* out, const std::uint16_t* in, std::uint32_t count) {
    std::uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        float mantissas[4], scales[4], signs[4];
        for (int j = 0; j < 4; ++j) {
            const std::uint32_t h = in[i + j];
            const std::uint32_t e = (h >> 10) & 0x1Fu;
            const std::uint32_t m = (h & 0x3FFu) | (e != 0 ? 0x400u : 0u);
            mantissas[j] = static_cast<float>(m);
            scales[j] = FromBits(((e != 0 ? e : 1u) + 102u) << 23);
            signs[j] = FromBits((h & 0x8000u) << 16);
        }
        const __m128 value = _mm_mul_ps(_mm_loadu_ps(mantissas), _mm_loadu_ps(scales));
        _mm_storeu_ps(out + i, _mm_or_ps(value, _mm_loadu_ps(signs)));
    }
    for (; i < count; ++i) out[i] = FromBits(HalfToFloatBits(in[i]));
    return out;
}

namespace {

// Four-wide vector policy for the geometry templates.
struct SseBlend {
    using V = __m128;
    static V Load(const unsigned char* p) { return Load3(reinterpret_cast<const float*>(p)); }
    static void Store(unsigned char* p, V v) {
        float f[4];
        _mm_storeu_ps(f, v);
        std::memcpy(p, f, 3 * sizeof(float));
    }
    static V Make(float x, float y, float z) { return _mm_setr_ps(x, y, z, 0.0f); }
    static V Add(V a, V b) { return _mm_add_ps(a, b); }
    static V Sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V Scale(V a, float k) { return _mm_mul_ps(a, _mm_set1_ps(k)); }
    static float Dot(V a, V b) { return First(Dot3(a, b)); }
    static V Point(const Matrix* m, V p) {
        const Rows rows(m);
        const __m128 r = Combine(rows, Splat<0>(p), Splat<1>(p), Splat<2>(p), _mm_set1_ps(1.0f));
        return _mm_mul_ps(r, RcpNewton(Splat<3>(r)));
    }
    static V Normal(const Matrix* m, V n) {
        const Rows rows(m);
        return Combine3(rows, Splat<0>(n), Splat<1>(n), Splat<2>(n));
    }
    static V Normalize(V n) {
        const __m128 len2 = Dot3(n, n);
        if (!(First(len2) >= kSseSmallLength)) return _mm_setzero_ps();
        return _mm_mul_ps(n, RsqrtNewton(len2));
    }
    static Vec3 ToVec3(V v) {
        float f[4];
        _mm_storeu_ps(f, v);
        return {f[0], f[1], f[2]};
    }
};

}  // namespace

// Position and normal-like vectors are transformed only by the low three
// lanes; the reads stay inside each vector (Load3).
HRESULT UpdateSkinnedMesh(const Matrix* boneTransforms, const Matrix* boneNormalTransforms,
                          std::uint32_t boneCount, const void* srcVertices, void* dstVertices,
                          std::uint32_t vertexCount, std::uint32_t stride, std::uint32_t normalCount,
                          const std::uint32_t* normalOffsets, const float* influences,
                          std::uint32_t influenceCount, BOOL copyFirst) {
    return SkinVertices<SseBlend>({boneTransforms, boneNormalTransforms, boneCount, srcVertices, dstVertices,
                                   vertexCount, stride, normalCount, normalOffsets, influences, influenceCount,
                                   copyFirst != 0});
}

HRESULT TessellateNPatch(Vec3* outPositions, Vec3* outNormals, std::uint32_t capacity,
                         std::uint32_t* vertexCount, const Vec3* positions, const Vec3* normals,
                         std::uint32_t segments, BOOL quadraticNormals) {
    return TessellatePatch<SseBlend>(
        {outPositions, outNormals, capacity, vertexCount, positions, normals, segments, quadraticNormals != 0});
}

}  // namespace qv::math::sse

#endif
