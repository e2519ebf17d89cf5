// Helpers of the math tests: every built implementation of an entry, and
// random inputs.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "math/math_test_hooks.h"

namespace qv::math::test {

inline const char* SetName(ImplementationSet s) {
    switch (s) {
        case ImplementationSet::Reference: return "reference";
        case ImplementationSet::X87: return "x87";
        case ImplementationSet::Sse: return "SSE";
        case ImplementationSet::Sse2: return "SSE2";
    }
    return "?";
}

template <typename Fn>
struct Variant {
    ImplementationSet set;
    Fn* fn;
};

// The distinct implementations of one entry across the built sets, the
// reference first. `member` is a pointer to the entry's field.
template <typename Fn>
std::vector<Variant<Fn>> VariantsOf(Fn* MathFunctions::*member) {
    std::vector<Variant<Fn>> out;
    for (ImplementationSet s : {ImplementationSet::Reference, ImplementationSet::X87, ImplementationSet::Sse,
                                ImplementationSet::Sse2}) {
        Fn* fn = FunctionsWrittenBy(s).*member;
        if (!fn) continue;
        bool seen = false;
        for (const auto& v : out) seen = seen || v.fn == fn;
        if (!seen) out.push_back({s, fn});
    }
    return out;
}

#define QV_VARIANTS(Name) ::qv::math::test::VariantsOf(&::qv::math::MathFunctions::Name)

class Random {
  public:
    explicit Random(unsigned seed) : engine_(seed) {}
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine_); }
    Vec2 V2(float r = 4.0f) { return {Uniform(-r, r), Uniform(-r, r)}; }
    Vec3 V3(float r = 4.0f) { return {Uniform(-r, r), Uniform(-r, r), Uniform(-r, r)}; }
    Vec4 V4(float r = 4.0f) { return {Uniform(-r, r), Uniform(-r, r), Uniform(-r, r), Uniform(-r, r)}; }
    Plane P(float r = 4.0f) { return {Uniform(-r, r), Uniform(-r, r), Uniform(-r, r), Uniform(-r, r)}; }
    Quaternion Q(float r = 1.0f) { return {Uniform(-r, r), Uniform(-r, r), Uniform(-r, r), Uniform(-r, r)}; }
    Quaternion UnitQ() {
        Quaternion q = Q();
        const float n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        return {q.x / n, q.y / n, q.z / n, q.w / n};
    }
    // Entries in [-r, r] with a dominant diagonal, so inverses are tame.
    Matrix M(float r = 2.0f) {
        Matrix m;
        for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = Uniform(-r, r);
        for (int i = 0; i < 4; ++i) m.m[i][i] += (m.m[i][i] < 0 ? -3.0f : 3.0f) * r;
        return m;
    }

  private:
    std::mt19937 engine_;
};

}  // namespace qv::math::test
