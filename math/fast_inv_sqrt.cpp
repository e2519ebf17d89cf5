// Table-driven reciprocal square root: one look-up, one multiply-add and one
// multiply, with integer operations on the float's bits.
#include "math/fast_inv_sqrt.h"

#include <array>
#include <bit>

namespace qv {
namespace math {

namespace {

// Square root by Newton's method, usable while the table is built at compile
// time; converges to the double nearest the root for the arguments here.
constexpr double ConstexprSqrt(double v) {
    double x = v > 1.0 ? v : 1.0;
    for (int i = 0; i < 64; ++i) {
        const double next = 0.5 * (x + v / x);
        if (next == x) break;
        x = next;
    }
    return x;
}

// 1 / sqrt(v) rounded to single.
constexpr float InvSqrtSingle(double v) { return static_cast<float>(1.0 / ConstexprSqrt(v)); }

// Entry i < 256 is the chord of 1/sqrt(m) over [0.5 + i/512, + 1/512); entry
// 256 + j over [1 + j/256, + 1/256).
constexpr std::array<InvSqrtEntry, 512> BuildTable() {
    std::array<InvSqrtEntry, 512> table{};
    for (int i = 0; i < 512; ++i) {
        const double lo = i < 256 ? 0.5 + i / 512.0 : 1.0 + (i - 256) / 256.0;
        const double hi = lo + (i < 256 ? 1.0 / 512.0 : 1.0 / 256.0);
        const float rlo = InvSqrtSingle(lo);
        const float rhi = InvSqrtSingle(hi);
        const float slope = static_cast<float>((static_cast<double>(rhi) - rlo) / (hi - lo));
        const float product = static_cast<float>(static_cast<double>(slope) * lo);
        const float intercept = static_cast<float>(static_cast<double>(rlo) - product);
        table[i] = {slope, intercept};
    }
    return table;
}

}  // namespace

constinit const std::array<InvSqrtEntry, 512> kInvSqrtTable = BuildTable();

}  // namespace math

float FastInvSqrt(float x) {
    const std::uint32_t u = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t index = (u >> 15) & 0x1FFu;
    const float m = std::bit_cast<float>((u & 0x00FFFFFFu) | 0x3F000000u);
    const float scale = std::bit_cast<float>(((0xBEFFFFFFu - u) >> 1) & 0xFF800000u);
    const math::InvSqrtEntry& e = math::kInvSqrtTable[index];
    // One rounding at the end, as on the x87 unit: the chord's own error
    // (at most about 1.43e-6 relative, mid-interval) stays the only one of note.
    const double estimate = static_cast<double>(m) * e.slope + e.intercept;
    return static_cast<float>(estimate * scale);
}

}  // namespace qv
