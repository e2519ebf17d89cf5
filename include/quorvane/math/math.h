// Vector, matrix, quaternion, plane and half-float functions.
//
// Every function takes its output first, may write over an input, and returns
// the output pointer. Each call goes through a table bound on first use to
// the implementations that suit the processor.
//
// Matrices are 16 floats in row-major order used with row vectors: a point
// (x, y, z) is transformed as the row (x, y, z, 1) times the matrix, so
// translations live in row 3 and A x B applies A first. Unless a comment says
// otherwise, every pointer argument is required and is not checked.
#pragma once

#include <cstdint>

#include "quorvane/platform/d3d9_types.h"

namespace qv {

struct Vec2 {
    float x, y;
};
struct Vec3 {
    float x, y, z;
};
struct Vec4 {
    float x, y, z, w;
};
// (x, y, z) is the vector part, w the scalar part.
struct Quaternion {
    float x, y, z, w;
};
// A point p lies on the plane when a*p.x + b*p.y + c*p.z + d = 0.
struct Plane {
    float a, b, c, d;
};
// 16 floats, row-major, for row vectors: usable wherever a D3DMATRIX is.
struct Matrix : D3DMATRIX {};

// ---------------------------------------------------------------------------
// Matrix core

// out = m1 x m2.
Matrix* MatrixMultiply(Matrix* out, const Matrix* m1, const Matrix* m2);
// out = (m1 x m2) transposed.
Matrix* MatrixMultiplyTranspose(Matrix* out, const Matrix* m1, const Matrix* m2);
// Identity with row 3 = (x, y, z, 1).
Matrix* MatrixTranslation(Matrix* out, float x, float y, float z);
// Rotation by `angle` radians about `axis` (normalised on a copy first).
Matrix* MatrixRotationAxis(Matrix* out, const Vec3* axis, float angle);
// Left-handed perspective projection. Not dispatched: one implementation.
Matrix* MatrixPerspectiveFovLH(Matrix* out, float fovY, float aspect, float zn, float zf);
// out = v / |v|; the zero vector gives zero.
Vec3* Vec3Normalize(Vec3* out, const Vec3* v);

// ---------------------------------------------------------------------------
// Vector and plane transforms by a matrix

Vec4* Vec2Transform(Vec4* out, const Vec2* v, const Matrix* m);          // (x, y, 0, 1) x m
Vec2* Vec2TransformCoord(Vec2* out, const Vec2* v, const Matrix* m);     // divided by w
Vec2* Vec2TransformNormal(Vec2* out, const Vec2* v, const Matrix* m);    // (x, y, 0, 0) x m
Vec4* Vec3Transform(Vec4* out, const Vec3* v, const Matrix* m);          // (x, y, z, 1) x m
Vec3* Vec3TransformCoord(Vec3* out, const Vec3* v, const Matrix* m);     // divided by w
Vec3* Vec3TransformNormal(Vec3* out, const Vec3* v, const Matrix* m);    // (x, y, z, 0) x m
Vec4* Vec4Transform(Vec4* out, const Vec4* v, const Matrix* m);
Plane* PlaneTransform(Plane* out, const Plane* p, const Matrix* m);

// Array forms: element i lies at base + i * stride (strides in bytes).
// `out` and `in` may be the same array with the same stride.
Vec4* Vec2TransformArray(Vec4* out, std::uint32_t outStride, const Vec2* in,
                         std::uint32_t inStride, const Matrix* m, std::uint32_t count);
Vec2* Vec2TransformCoordArray(Vec2* out, std::uint32_t outStride, const Vec2* in,
                              std::uint32_t inStride, const Matrix* m, std::uint32_t count);
Vec2* Vec2TransformNormalArray(Vec2* out, std::uint32_t outStride, const Vec2* in,
                               std::uint32_t inStride, const Matrix* m, std::uint32_t count);
Vec4* Vec3TransformArray(Vec4* out, std::uint32_t outStride, const Vec3* in,
                         std::uint32_t inStride, const Matrix* m, std::uint32_t count);
Vec3* Vec3TransformCoordArray(Vec3* out, std::uint32_t outStride, const Vec3* in,
                              std::uint32_t inStride, const Matrix* m, std::uint32_t count);
Vec3* Vec3TransformNormalArray(Vec3* out, std::uint32_t outStride, const Vec3* in,
                               std::uint32_t inStride, const Matrix* m, std::uint32_t count);
Vec4* Vec4TransformArray(Vec4* out, std::uint32_t outStride, const Vec4* in,
                         std::uint32_t inStride, const Matrix* m, std::uint32_t count);
Plane* PlaneTransformArray(Plane* out, std::uint32_t outStride, const Plane* in,
                           std::uint32_t inStride, const Matrix* m, std::uint32_t count);

// Projection to and from a viewport. Every matrix and the viewport may be
// null (a null matrix counts as the identity, a null viewport as none). When
// the combined matrix cannot be inverted, Unproject writes NaNs.
Vec3* Vec3Project(Vec3* out, const Vec3* v, const D3DVIEWPORT9* viewport,
                  const Matrix* projection, const Matrix* view, const Matrix* world);
Vec3* Vec3Unproject(Vec3* out, const Vec3* v, const D3DVIEWPORT9* viewport,
                    const Matrix* projection, const Matrix* view, const Matrix* world);
Vec3* Vec3ProjectArray(Vec3* out, std::uint32_t outStride, const Vec3* in, std::uint32_t inStride,
                       const D3DVIEWPORT9* viewport, const Matrix* projection, const Matrix* view,
                       const Matrix* world, std::uint32_t count);
Vec3* Vec3UnprojectArray(Vec3* out, std::uint32_t outStride, const Vec3* in,
                         std::uint32_t inStride, const D3DVIEWPORT9* viewport,
                         const Matrix* projection, const Matrix* view, const Matrix* world,
                         std::uint32_t count);

// ---------------------------------------------------------------------------
// Vectors and planes

Vec2* Vec2Normalize(Vec2* out, const Vec2* v);
Vec4* Vec4Normalize(Vec4* out, const Vec4* v);
// Scales all four by 1 / |(a, b, c)|.
Plane* PlaneNormalize(Plane* out, const Plane* p);
// Four-dimensional cross product of u, v and w.
Vec4* Vec4Cross(Vec4* out, const Vec4* u, const Vec4* v, const Vec4* w);

Vec2* Vec2Hermite(Vec2* out, const Vec2* v1, const Vec2* t1, const Vec2* v2, const Vec2* t2,
                  float s);
Vec3* Vec3Hermite(Vec3* out, const Vec3* v1, const Vec3* t1, const Vec3* v2, const Vec3* t2,
                  float s);
Vec4* Vec4Hermite(Vec4* out, const Vec4* v1, const Vec4* t1, const Vec4* v2, const Vec4* t2,
                  float s);
Vec2* Vec2CatmullRom(Vec2* out, const Vec2* v0, const Vec2* v1, const Vec2* v2, const Vec2* v3,
                     float s);
Vec3* Vec3CatmullRom(Vec3* out, const Vec3* v0, const Vec3* v1, const Vec3* v2, const Vec3* v3,
                     float s);
Vec4* Vec4CatmullRom(Vec4* out, const Vec4* v0, const Vec4* v1, const Vec4* v2, const Vec4* v3,
                     float s);
// out = v1 + f (v2 - v1) + g (v3 - v1).
Vec2* Vec2Barycentric(Vec2* out, const Vec2* v1, const Vec2* v2, const Vec2* v3, float f, float g);
Vec3* Vec3Barycentric(Vec3* out, const Vec3* v1, const Vec3* v2, const Vec3* v3, float f, float g);
Vec4* Vec4Barycentric(Vec4* out, const Vec4* v1, const Vec4* v2, const Vec4* v3, float f, float g);

Plane* PlaneFromPointNormal(Plane* out, const Vec3* point, const Vec3* normal);
// Normal (p1 - p2) x (p1 - p3), normalised.
Plane* PlaneFromPoints(Plane* out, const Vec3* p1, const Vec3* p2, const Vec3* p3);
// Intersection of the line through v1 and v2 with the plane; null (out
// untouched) when the line is parallel to the plane.
Vec3* PlaneIntersectLine(Vec3* out, const Plane* plane, const Vec3* v1, const Vec3* v2);

// ---------------------------------------------------------------------------
// Matrices

float MatrixDeterminant(const Matrix* m);
// Null (out untouched) when m cannot be inverted. `determinant` may be null.
Matrix* MatrixInverse(Matrix* out, float* determinant, const Matrix* m);
Matrix* MatrixTranspose(Matrix* out, const Matrix* m);
Matrix* MatrixScaling(Matrix* out, float sx, float sy, float sz);
Matrix* MatrixRotationX(Matrix* out, float angle);
Matrix* MatrixRotationY(Matrix* out, float angle);
Matrix* MatrixRotationZ(Matrix* out, float angle);
Matrix* MatrixRotationYawPitchRoll(Matrix* out, float yaw, float pitch, float roll);
// The quaternion is not normalised first.
Matrix* MatrixRotationQuaternion(Matrix* out, const Quaternion* q);
// Optional (nullable): rotationCenter, rotation, translation.
Matrix* MatrixAffineTransformation(Matrix* out, float scaling, const Vec3* rotationCenter,
                                   const Quaternion* rotation, const Vec3* translation);
// Every pointer argument after out is optional (nullable).
Matrix* MatrixTransformation(Matrix* out, const Vec3* scalingCenter,
                             const Quaternion* scalingRotation, const Vec3* scaling,
                             const Vec3* rotationCenter, const Quaternion* rotation,
                             const Vec3* translation);
// Optional (nullable): rotationCenter, translation. An angle of 0.0 is no rotation.
Matrix* MatrixAffineTransformation2D(Matrix* out, float scaling, const Vec2* rotationCenter,
                                     float rotation, const Vec2* translation);
// Optional (nullable): every vector. An angle of 0.0 is no rotation.
Matrix* MatrixTransformation2D(Matrix* out, const Vec2* scalingCenter, float scalingRotation,
                               const Vec2* scaling, const Vec2* rotationCenter, float rotation,
                               const Vec2* translation);
// Flattens geometry onto the plane as seen from the light (w = 0: direction).
Matrix* MatrixShadow(Matrix* out, const Vec4* light, const Plane* plane);
Matrix* MatrixReflect(Matrix* out, const Plane* plane);

// ---------------------------------------------------------------------------
// Quaternions

// The rotation q1 followed by the rotation q2.
Quaternion* QuaternionMultiply(Quaternion* out, const Quaternion* q1, const Quaternion* q2);
Quaternion* QuaternionNormalize(Quaternion* out, const Quaternion* q);
Quaternion* QuaternionInverse(Quaternion* out, const Quaternion* q);
Quaternion* QuaternionLn(Quaternion* out, const Quaternion* q);   // q of unit length
Quaternion* QuaternionExp(Quaternion* out, const Quaternion* q);  // q.w is ignored
Quaternion* QuaternionSlerp(Quaternion* out, const Quaternion* q1, const Quaternion* q2, float t);
Quaternion* QuaternionSquad(Quaternion* out, const Quaternion* q1, const Quaternion* a,
                            const Quaternion* b, const Quaternion* c, float t);
void QuaternionSquadSetup(Quaternion* outA, Quaternion* outB, Quaternion* outC,
                          const Quaternion* q0, const Quaternion* q1, const Quaternion* q2,
                          const Quaternion* q3);
Quaternion* QuaternionBarycentric(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                  const Quaternion* q3, float f, float g);
Quaternion* QuaternionRotationAxis(Quaternion* out, const Vec3* axis, float angle);
Quaternion* QuaternionRotationMatrix(Quaternion* out, const Matrix* m);
Quaternion* QuaternionRotationYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll);
// `axis` and `angle` are optional outputs.
void QuaternionToAxisAngle(const Quaternion* q, Vec3* axis, float* angle);

// ---------------------------------------------------------------------------
// Half floats: 16 bits, 5-bit exponent of bias 15, no infinities or NaNs
// (the largest magnitude is 131008). Floats beyond the range saturate.

float* HalfToFloatArray(float* out, const std::uint16_t* in, std::uint32_t count);
std::uint16_t* FloatToHalfArray(std::uint16_t* out, const float* in, std::uint32_t count);

// ---------------------------------------------------------------------------
// Geometry

// Blends positions and normal-like vectors of `vertexCount` vertices by bone
// matrices. Each vertex starts with its position (3 floats); the vector at
// each of `normalOffsets[0 .. normalCount)` bytes is a normal-like 3-vector.
// `influences` holds, per vertex, a run of values 2 * bone + weight (weight in
// [0, 2)) ended by a negative value; `influenceCount` bounds the stream.
// Normals use `boneNormalTransforms` (null: `boneTransforms`). The other bytes
// of each vertex are copied from source to destination: the whole vertex
// before the blended vectors are written when `copyFirst` is nonzero, else
// only the bytes they do not cover, after them. Source and destination may be
// the same buffer.
// D3DERR_INVALIDCALL for a missing pointer, a stride too small for the
// vectors, a bone index out of range or an influence run past the stream.
HRESULT UpdateSkinnedMesh(const Matrix* boneTransforms, const Matrix* boneNormalTransforms,
                          std::uint32_t boneCount, const void* srcVertices, void* dstVertices,
                          std::uint32_t vertexCount, std::uint32_t stride,
                          std::uint32_t normalCount, const std::uint32_t* normalOffsets,
                          const float* influences, std::uint32_t influenceCount, BOOL copyFirst);

// Tessellates one curved triangle (cubic Bezier patch built from the corner
// positions and normals) with `segments` steps per edge into
// (segments + 1)(segments + 2)/2 vertices, written row by row from corner 0.
// `outNormals` may be null. *vertexCount receives the number written.
// D3DERR_INVALIDCALL for missing pointers, segments 0 or above 256, or a
// capacity below the vertex count.
HRESULT TessellateNPatch(Vec3* outPositions, Vec3* outNormals, std::uint32_t capacity,
                         std::uint32_t* vertexCount, const Vec3* positions, const Vec3* normals,
                         std::uint32_t segments, BOOL quadraticNormals);

// ---------------------------------------------------------------------------
// Shared helpers

// Table-driven approximation of 1 / sqrt(x) for positive normal x.
float FastInvSqrt(float x);

// Reads a value under HKEY_LOCAL_MACHINE "Software\Direct3D": 1 when it was read
// and its type equals `expectedType`, else 0.
int ReadDirect3DRegistryValue(std::uint32_t expectedType, const char* valueName, void* data,
                              std::uint32_t size);
// 1 when MMX code may be used.
int IsMmxAvailable();

}  // namespace qv
