// Half floats: every half through every HalfToFloatArray variant against the
// value computed from its fields, round trips, and a hand-typed table of
// float edge cases.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/math/variants.h"

namespace qv::math::test {
namespace {

// The value of a half from its definition: no infinities or NaNs.
double HalfValue(std::uint16_t h) {
    const int e = (h >> 10) & 0x1F;
    const int m = h & 0x3FF;
    const double magnitude = e == 0 ? std::ldexp(m, -24) : std::ldexp(1024 + m, e - 25);
    return (h & 0x8000) ? -magnitude : magnitude;
}

TEST(HalfFloat, EveryHalfConvertsExactlyInEveryVariant) {
    std::vector<std::uint16_t> halves(65536);
    for (std::uint32_t i = 0; i < 65536; ++i) halves[i] = static_cast<std::uint16_t>(i);
    for (const auto& v : QV_VARIANTS(HalfToFloatArray)) {
        SCOPED_TRACE(SetName(v.set));
        // An odd count exercises the tail after the groups of four.
        std::vector<float> floats(65537, 7.0f);
        EXPECT_EQ(v.fn(floats.data(), halves.data(), 65535), floats.data());
        EXPECT_EQ(floats[65535], 7.0f);
        v.fn(floats.data() + 65535, halves.data() + 65535, 1);
        for (std::uint32_t i = 0; i < 65536; ++i) {
            const double expected = HalfValue(static_cast<std::uint16_t>(i));
            ASSERT_EQ(static_cast<double>(floats[i]), expected) << std::hex << i;
            ASSERT_EQ(std::signbit(floats[i]), (i & 0x8000) != 0) << std::hex << i;
        }
        // Back to halves: the same bits.
        std::vector<std::uint16_t> back(65536);
        qv::FloatToHalfArray(back.data(), floats.data(), 65536);
        for (std::uint32_t i = 0; i < 65536; ++i) ASSERT_EQ(back[i], i) << std::hex << i;
    }
}

TEST(HalfFloat, FloatEdgeCases) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float in;
        std::uint16_t out;
    };
    const Case cases[] = {
        {1.0f, 0x3C00},          {-2.0f, 0xC000},         {65504.0f, 0x7BFF},
        {65520.0f, 0x7C00},      {131008.0f, 0x7FFF},     {131071.0f, 0x7FFF},
        {1e10f, 0x7FFF},         {-1e10f, 0xFFFF},        {inf, 0x7FFF},
        {-inf, 0xFFFF},          {nan, 0x7FFF},           {0x1p-14f, 0x0400},
        {0x1p-24f, 0x0001},      {0x1p-25f, 0x0000},      {0x1.8p-25f, 0x0001},
        {1e-14f, 0x0000},        {-1e-14f, 0x8000},       {-0.0f, 0x8000},
        {0.0f, 0x0000},          {1.0f + 0x1p-11f, 0x3C00},  // tie: to even
        {1.0f + 0x1.8p-11f, 0x3C01}, {0x1.ff8p-15f, 0x03FF},   // largest denormal
        {131040.0f, 0x7FFF},     {130976.0f, 0x7FFE},        // a tie at the top: to even
    };
    std::vector<float> in;
    for (const Case& c : cases) in.push_back(c.in);
    std::vector<std::uint16_t> out(in.size() + 1, 0xABCD);
    EXPECT_EQ(qv::FloatToHalfArray(out.data(), in.data(), static_cast<std::uint32_t>(in.size())), out.data());
    for (std::size_t i = 0; i < in.size(); ++i) EXPECT_EQ(out[i], cases[i].out) << in[i];
    EXPECT_EQ(out.back(), 0xABCD);
    qv::FloatToHalfArray(out.data(), in.data(), 0);
    EXPECT_EQ(out[0], cases[0].out);

    const std::uint16_t halves[] = {0x0001, 0x8000, 0x7C00, 0x7FFF};
    float floats[4];
    qv::HalfToFloatArray(floats, halves, 4);
    EXPECT_EQ(floats[0], 0x1p-24f);
    EXPECT_TRUE(std::signbit(floats[1]) && floats[1] == 0.0f);
    EXPECT_EQ(floats[2], 65536.0f);
    EXPECT_EQ(floats[3], 131008.0f);
}

}  // namespace
}  // namespace qv::math::test
