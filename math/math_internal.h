// Shared pieces of the math implementations: the working-precision type,
// bit casts, the near-equality test and small helpers.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "quorvane/math/math.h"

// The x87, SSE and SSE2 sets exist on x86 hosts only (a build may set
// QV_MATH_X86 to 0 to leave them out there too).
#ifndef QV_MATH_X86
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define QV_MATH_X86 1
#else
#define QV_MATH_X86 0
#endif
#endif

namespace qv::math {

// The reference set computes at the x87 unit's working precision and rounds
// to single at each store. On other hosts double stands in for it.
#if QV_MATH_X86
using Wide = long double;
#else
using Wide = double;
#endif

inline std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }
inline float FromBits(std::uint32_t u) { return std::bit_cast<float>(u); }

constexpr float kMinNormal = 0x1p-126f;     // 1.1754944e-38
constexpr float kSseSmallLength = 0x1p-46f;  // 1.4210855e-14
constexpr float kEpsilon = 0x1p-23f;        // 1.1920929e-07

// True when a - b, taken at working precision, lies within [-2^-23, 2^-23].
inline bool FloatNearlyEqual(float a, float b) {
    const Wide d = static_cast<Wide>(a) - static_cast<Wide>(b);
    return d >= -static_cast<Wide>(kEpsilon) && d <= static_cast<Wide>(kEpsilon);
}

// The floats of a vector, plane, quaternion or matrix record, seen as one
// array (each record is standard layout with floats only).
template <typename T>
inline float* Floats(T* p) {
    return reinterpret_cast<float*>(p);
}
template <typename T>
inline const float* Floats(const T* p) {
    return reinterpret_cast<const float*>(p);
}

inline float Round(Wide v) { return static_cast<float>(v); }

inline Wide WSqrt(Wide v) { return std::sqrt(v); }
inline Wide WSin(Wide v) { return std::sin(v); }
inline Wide WCos(Wide v) { return std::cos(v); }

// Element (r, c) of a matrix as a working-precision value.
inline Wide W(const Matrix* m, int r, int c) { return static_cast<Wide>(m->m[r][c]); }

inline void SetIdentity(Matrix* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
}

// Element i of a strided array.
template <typename T>
inline T* At(T* base, std::uint32_t stride, std::uint32_t i) {
    using Byte = std::conditional_t<std::is_const_v<T>, const unsigned char, unsigned char>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) + static_cast<std::size_t>(i) * stride);
}

}  // namespace qv::math
