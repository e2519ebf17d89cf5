// Vector, matrix, quaternion, plane and half-float functions.
//
// Every function takes its output first, may write over an input, and returns
// the output pointer. Each call goes through a table bound on first use to
// the implementations that suit the processor.
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
struct Quaternion {
    float x, y, z, w;
};
struct Plane {
    float a, b, c, d;
};
// 16 floats, row-major, for row vectors: usable wherever a D3DMATRIX is.
struct Matrix : D3DMATRIX {};

Vec3* Vec3Normalize(Vec3* out, const Vec3* v);
float* HalfToFloatArray(float* out, const std::uint16_t* in, std::uint32_t count);
std::uint16_t* FloatToHalfArray(std::uint16_t* out, const float* in, std::uint32_t count);

// Table-driven approximation of 1 / sqrt(x) for positive normal x.
float FastInvSqrt(float x);

// Reads a value under HKEY_LOCAL_MACHINE "Software\Direct3D": 1 when it was read
// and its type equals `expectedType`, else 0.
int ReadDirect3DRegistryValue(std::uint32_t expectedType, const char* valueName, void* data,
                              std::uint32_t size);
// 1 when MMX code may be used.
int IsMmxAvailable();

}  // namespace qv
