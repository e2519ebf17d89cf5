// Reference half-float arrays and the geometry entries (skinning and curved
// triangles).
#include "math/geometry.h"
#include "math/half_float.h"
#include "math/variants.h"

namespace qv::math::ref {

float* HalfToFloatArray(float* out, const std::uint16_t* in, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) out[i] = FromBits(HalfToFloatBits(in[i]));
    return out;
}

std::uint16_t* FloatToHalfArray(std::uint16_t* out, const float* in, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) out[i] = FloatBitsToHalf(Bits(in[i]));
    return out;
}

HRESULT UpdateSkinnedMesh(const Matrix* boneTransforms, const Matrix* boneNormalTransforms,
                          std::uint32_t boneCount, const void* srcVertices, void* dstVertices,
                          std::uint32_t vertexCount, std::uint32_t stride, std::uint32_t normalCount,
                          const std::uint32_t* normalOffsets, const float* influences,
                          std::uint32_t influenceCount, BOOL copyFirst) {
    return SkinVertices<ScalarBlend>({boneTransforms, boneNormalTransforms, boneCount, srcVertices, dstVertices,
                                      vertexCount, stride, normalCount, normalOffsets, influences,
                                      influenceCount, copyFirst != 0});
}

HRESULT TessellateNPatch(Vec3* outPositions, Vec3* outNormals, std::uint32_t capacity,
                         std::uint32_t* vertexCount, const Vec3* positions, const Vec3* normals,
                         std::uint32_t segments, BOOL quadraticNormals) {
    return TessellatePatch<ScalarBlend>(
        {outPositions, outNormals, capacity, vertexCount, positions, normals, segments, quadraticNormals != 0});
}

}  // namespace qv::math::ref
