// Conversions between single floats and halves (no infinities or NaNs:
// exponent 31 is ordinary and the largest magnitude is 131008).
#pragma once

#include <cstdint>

namespace qv::math {

// Exact.
inline std::uint32_t HalfToFloatBits(std::uint16_t h) {
    const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000u) << 16;
    const std::uint32_t e = (h >> 10) & 0x1Fu;
    std::uint32_t m = h & 0x3FFu;
    if (e != 0) return sign | ((e + 112) << 23) | (m << 13);
    if (m == 0) return sign;
    int k = -14;
    while ((m & 0x400u) == 0) {
        m <<= 1;
        --k;
    }
    return sign | (static_cast<std::uint32_t>(k + 127) << 23) | ((m & 0x3FFu) << 13);
}

// Rounded to nearest, ties to even; magnitudes that would round to 131072
// or above, infinities and NaNs saturate to 0x7FFF with the sign.
inline std::uint16_t FloatBitsToHalf(std::uint32_t f) {
    const std::uint32_t s = (f >> 16) & 0x8000u;
    const std::uint32_t a = f & 0x7FFFFFFFu;
    std::uint32_t h;
    if (a > 0x47FFEFFFu) {
        h = 0x7FFFu;
    } else if (a < 0x38800000u) {
        const std::uint32_t shift = 113 - (a >> 23);
        const std::uint32_t m = shift >= 32 ? 0 : ((a & 0x7FFFFFu) | 0x800000u) >> shift;
        h = (m + 0xFFFu + ((m >> 13) & 1u)) >> 13;
    } else {
        h = (a - 0x38000000u + 0xFFFu + ((a >> 13) & 1u)) >> 13;
    }
    return static_cast<std::uint16_t>(s | h);
}

}  // namespace qv::math
