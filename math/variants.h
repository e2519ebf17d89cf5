// Declarations of every implementation of the math functions, by set: the
// reference set (all 73), the x87 set (9), the SSE set and the SSE2 set.
#pragma once

#include "math/math_internal.h"

namespace qv::math {

// Function types of the table's entries: MatrixMultiplySig and so on.
#define QV_MATH(index, Name, Result, Params, Args) using Name##Sig = Result Params;
#include "math/functions.inl"
#undef QV_MATH

namespace ref {
#define QV_MATH(index, Name, Result, Params, Args) Name##Sig Name;
#include "math/functions.inl"
#undef QV_MATH
// Vec4Normalize and QuaternionNormalize share this one.
void NormalizeFour(float* out, const float* in);
}  // namespace ref

#if QV_MATH_X86
namespace x87 {
Vec2TransformSig Vec2Transform;
Vec3TransformSig Vec3Transform;
Vec4TransformSig Vec4Transform;
MatrixMultiplySig MatrixMultiply;
MatrixMultiplyTransposeSig MatrixMultiplyTranspose;
Vec2TransformNormalSig Vec2TransformNormal;
Vec3TransformNormalSig Vec3TransformNormal;
Vec3NormalizeSig Vec3Normalize;
PlaneTransformSig PlaneTransform;  // the Vec4Transform code
}  // namespace x87

// The SSE set (45 entries, PlaneTransform and PlaneTransformArray sharing the
// Vec4 code) and the SSE2 set's own implementations.
namespace sse {
Vec2TransformSig Vec2Transform;
Vec3TransformSig Vec3Transform;
Vec4TransformSig Vec4Transform;
MatrixMultiplySig MatrixMultiply;
MatrixMultiplyTransposeSig MatrixMultiplyTranspose;
Vec2TransformNormalSig Vec2TransformNormal;
Vec3TransformNormalSig Vec3TransformNormal;
Vec3NormalizeSig Vec3Normalize;
Vec4NormalizeSig Vec4Normalize;
Vec2TransformCoordSig Vec2TransformCoord;
Vec3TransformCoordSig Vec3TransformCoord;
MatrixDeterminantSig MatrixDeterminant;
PlaneFromPointsSig PlaneFromPoints;
Vec4CrossSig Vec4Cross;
Vec2HermiteSig Vec2Hermite;
MatrixInverseSig MatrixInverse;
QuaternionMultiplySig QuaternionMultiply;
QuaternionNormalizeSig QuaternionNormalize;
PlaneNormalizeSig PlaneNormalize;
PlaneIntersectLineSig PlaneIntersectLine;
QuaternionRotationMatrixSig QuaternionRotationMatrix;
QuaternionRotationYawPitchRollSig QuaternionRotationYawPitchRoll;
MatrixShadowSig MatrixShadow;
MatrixReflectSig MatrixReflect;
QuaternionInverseSig QuaternionInverse;
Vec2CatmullRomSig Vec2CatmullRom;
Vec2BarycentricSig Vec2Barycentric;
Vec3HermiteSig Vec3Hermite;
Vec3CatmullRomSig Vec3CatmullRom;
Vec3BarycentricSig Vec3Barycentric;
Vec4HermiteSig Vec4Hermite;
Vec4CatmullRomSig Vec4CatmullRom;
Vec4BarycentricSig Vec4Barycentric;
HalfToFloatArraySig HalfToFloatArray;
Vec2TransformArraySig Vec2TransformArray;
Vec2TransformCoordArraySig Vec2TransformCoordArray;
Vec2TransformNormalArraySig Vec2TransformNormalArray;
Vec3TransformArraySig Vec3TransformArray;
Vec3TransformCoordArraySig Vec3TransformCoordArray;
Vec3TransformNormalArraySig Vec3TransformNormalArray;
Vec4TransformArraySig Vec4TransformArray;
PlaneTransformSig PlaneTransform;            // the Vec4Transform code
PlaneTransformArraySig PlaneTransformArray;  // the Vec4TransformArray code
UpdateSkinnedMeshSig UpdateSkinnedMesh;
TessellateNPatchSig TessellateNPatch;
// Sine and cosine of four floats at once.
void SinCos4(const float in[4], float sines[4], float cosines[4]);
}  // namespace sse

namespace sse2 {
Vec3NormalizeSig Vec3Normalize;
PlaneFromPointsSig PlaneFromPoints;
Vec4CrossSig Vec4Cross;
PlaneNormalizeSig PlaneNormalize;
QuaternionRotationMatrixSig QuaternionRotationMatrix;
QuaternionRotationYawPitchRollSig QuaternionRotationYawPitchRoll;
MatrixShadowSig MatrixShadow;
MatrixReflectSig MatrixReflect;
HalfToFloatArraySig HalfToFloatArray;
Vec2TransformArraySig Vec2TransformArray;
Vec2TransformCoordArraySig Vec2TransformCoordArray;
Vec2TransformNormalArraySig Vec2TransformNormalArray;
Vec3TransformArraySig Vec3TransformArray;
Vec3TransformCoordArraySig Vec3TransformCoordArray;
Vec3TransformNormalArraySig Vec3TransformNormalArray;
Vec4TransformArraySig Vec4TransformArray;
PlaneTransformArraySig PlaneTransformArray;  // the Vec4TransformArray code
void SinCos4(const float in[4], float sines[4], float cosines[4]);
}  // namespace sse2
#endif

}  // namespace qv::math
