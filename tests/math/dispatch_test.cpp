// First-use binding of the math table: the choice of implementation set under
// registry switches and processor answers, the table's contents afterwards,
// the registry reader, the MMX check, the processor queries and FastInvSqrt.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "math/fast_inv_sqrt.h"
#include "math/math_test_hooks.h"
#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_registry.h"

namespace qv::math {
namespace {

constexpr std::uint32_t kEdxMmx = 1u << 23, kEdxSse = 1u << 25, kEdxSse2 = 1u << 26;
constexpr std::uint32_t kExt3DNow = 1u << 31, kExt3DNowExt = 1u << 30, kExtAmdMmx = 1u << 22;

// What the processor and the operating system report.
struct Machine {
    bool os3DNow = false;
    bool osSse = false;
    std::uint32_t leaf1Edx = 0;
    std::uint32_t extended1Edx = 0;  // leaf 0x80000001, reported when nonzero
};

void Use(const Machine& m) {
    qv::testing::ProcessorOverride o;
    o.leaves.push_back({0, 1, 0, 0, 0});
    o.leaves.push_back({1, 0, 0, 0, m.leaf1Edx});
    if (m.extended1Edx != 0) {
        o.leaves.push_back({0x80000000u, 0x80000001u, 0, 0, 0});
        o.leaves.push_back({0x80000001u, 0, 0, 0, m.extended1Edx});
    }
    if (m.os3DNow) o.osFeatures.push_back(PF_3DNOW_INSTRUCTIONS_AVAILABLE);
    if (m.osSse) o.osFeatures.push_back(PF_XMMI_INSTRUCTIONS_AVAILABLE);
    qv::testing::OverrideProcessor(o);
}

MathVariantSet Bind() {
    ResetMathDispatch();
    return InitMathLibrary();
}

bool SameTable(const MathFunctions& a, const MathFunctions& b) {
    bool same = true;
#define QV_MATH(index, Name, Result, Params, Args) \
    if (a.Name != b.Name) {                        \
        ADD_FAILURE() << "entry " #Name " differs"; \
        same = false;                              \
    }
#include "math/functions.inl"
#undef QV_MATH
    return same;
}

class MathDispatch : public ::testing::Test {
  protected:
    void SetUp() override { qv::testing::ClearRegistry(); }
    void TearDown() override {
        qv::testing::ClearRegistry();
        qv::testing::ResetProcessor();
        ResetMmxState();
        ResetMathDispatch();
    }
};

const Machine kAmdWithSse2 = {true, true, kEdxMmx | kEdxSse | kEdxSse2, kExt3DNow | kExt3DNowExt | kExtAmdMmx};
const Machine kSse2Only = {false, true, kEdxMmx | kEdxSse | kEdxSse2, 0};
const Machine kSseOnly = {false, true, kEdxMmx | kEdxSse, 0};
const Machine kPlain = {false, false, kEdxMmx, 0};

TEST_F(MathDispatch, ChoosesTheSetFromSwitchesAndProcessor) {
    struct Case {
        const char* name;
        Machine machine;
        const char* disablePsgp;     // nullptr: absent; "s:..." a string value
        const char* disableOwnPsgp;  // likewise
        MathVariantSet expected;
    };
    const Case cases[] = {
        {"3DNow! reported by the system", kAmdWithSse2, nullptr, nullptr, MathVariantSet::Amd},
        {"SSE2", kSse2Only, nullptr, nullptr, MathVariantSet::Sse2},
        {"SSE", kSseOnly, nullptr, nullptr, MathVariantSet::Sse},
        {"nothing", kPlain, nullptr, nullptr, MathVariantSet::None},
        {"DisablePSGP 1", kSse2Only, "1", nullptr, MathVariantSet::None},
        {"DisablePSGP 1 overridden by 0", kSse2Only, "1", "0", MathVariantSet::Sse2},
        {"own switch 2 forbids only AMD", kAmdWithSse2, nullptr, "2", MathVariantSet::Sse2},
        {"DisablePSGP 2 forbids only AMD", kAmdWithSse2, "2", nullptr, MathVariantSet::Sse2},
        {"own switch 1 wins over 0", kSse2Only, "0", "1", MathVariantSet::None},
        {"other values let the choice run", kSseOnly, "7", nullptr, MathVariantSet::Sse},
        {"string DisablePSGP counts as absent", kSse2Only, "s:1", nullptr, MathVariantSet::Sse2},
        {"string own switch counts as absent", kSse2Only, "1", "s:0", MathVariantSet::None},
        {"3DNow! from the system without CPUID bits", {true, false, 0, 0}, nullptr, nullptr, MathVariantSet::Amd},
        {"SSE2 from CPUID alone", {false, false, kEdxSse2, 0}, nullptr, nullptr, MathVariantSet::Sse2},
        {"SSE bit in CPUID alone is not enough", {false, false, kEdxSse, 0}, nullptr, nullptr, MathVariantSet::None},
    };
    auto set = [](const char* name, const char* value) {
        if (!value) return;
        const std::string v = value;
        if (v.rfind("s:", 0) == 0) {
            qv::testing::SetRegistryString(name, v.substr(2).c_str());
        } else {
            qv::testing::SetRegistryDword(name, static_cast<std::uint32_t>(std::stoul(v)));
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qv::testing::ClearRegistry();
        set("DisablePSGP", c.disablePsgp);
        set("DisableQuorvanePSGP", c.disableOwnPsgp);
        Use(c.machine);
        EXPECT_EQ(Bind(), c.expected);
        // The AMD sets are not built: that path leaves the reference and x87 sets.
        const ImplementationSet path = c.expected == MathVariantSet::Sse2  ? ImplementationSet::Sse2
                                       : c.expected == MathVariantSet::Sse ? ImplementationSet::Sse
                                                                           : ImplementationSet::X87;
        EXPECT_TRUE(SameTable(LiveTable(), TableAfter(path)));
    }
}

TEST_F(MathDispatch, SwitchedOffKeepsTheX87Set) {
    if (!QV_MATH_X86) GTEST_SKIP() << "only the reference set is built";
    qv::testing::SetRegistryDword("DisablePSGP", 1);
    Use(kSse2Only);
    EXPECT_EQ(Bind(), MathVariantSet::None);
    const MathFunctions live = LiveTable();
    const MathFunctions x87 = FunctionsWrittenBy(ImplementationSet::X87);
    EXPECT_EQ(live.MatrixMultiply, x87.MatrixMultiply);
    EXPECT_NE(live.MatrixMultiply, kReferenceFunctions.MatrixMultiply);
    EXPECT_EQ(live.MatrixTranslation, kReferenceFunctions.MatrixTranslation);
    EXPECT_EQ(live.PlaneTransform, x87.PlaneTransform);
}

TEST_F(MathDispatch, BindsOnlyOnce) {
    Use(kSseOnly);
    EXPECT_EQ(Bind(), MathVariantSet::Sse);
    Use(kSse2Only);  // later answers change nothing
    qv::testing::SetRegistryDword("DisablePSGP", 1);
    EXPECT_EQ(InitMathLibrary(), MathVariantSet::Sse);
    EXPECT_TRUE(SameTable(LiveTable(), TableAfter(ImplementationSet::Sse)));
}

TEST_F(MathDispatch, FirstCallBindsEveryEntryAndMatchesLaterCalls) {
    Use(kSse2Only);
    ResetMathDispatch();
    const MathFunctions before = LiveTable();
    EXPECT_TRUE(SameTable(before, kStubFunctions));
    Matrix a, b;
    for (int i = 0; i < 16; ++i) {
        a.m[i / 4][i % 4] = 0.25f * static_cast<float>(i) - 1.5f;
        b.m[i / 4][i % 4] = 1.0f / static_cast<float>(i + 3);
    }
    Matrix first, second;
    EXPECT_EQ(qv::MatrixMultiply(&first, &a, &b), &first);
    const MathFunctions after = LiveTable();
#define QV_MATH(index, Name, Result, Params, Args) EXPECT_NE(after.Name, kStubFunctions.Name) << #Name;
#include "math/functions.inl"
#undef QV_MATH
    qv::MatrixMultiply(&second, &a, &b);
    EXPECT_EQ(0, std::memcmp(&first, &second, sizeof(Matrix)));
}

TEST_F(MathDispatch, ThreadsRacingOnTheFirstCallAllGetCorrectResults) {
    ResetMathDispatch();
    Matrix a = {}, b = {};
    for (int i = 0; i < 4; ++i) {
        a.m[i][i] = 2.0f;
        b.m[i][i] = 0.5f * static_cast<float>(i + 1);
    }
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int k = 0; k < 200; ++k) {
                Matrix out;
                qv::MatrixMultiply(&out, &a, &b);
                Vec3 v = {3, 0, 4};
                qv::Vec3Normalize(&v, &v);
                if (out.m[3][3] != 4.0f || std::abs(v.z - 0.8f) > 1e-6f) ++failures[t];
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (int f : failures) EXPECT_EQ(f, 0);
}

TEST_F(MathDispatch, QuaternionInverseStaysReferenceOnTheSse2Path) {
    Use(kSse2Only);
    ASSERT_EQ(Bind(), MathVariantSet::Sse2);
    EXPECT_EQ(LiveTable().QuaternionInverse, kReferenceFunctions.QuaternionInverse);
    const Quaternion q = {0.0f, 0.0f, 0.0f, 1e-10f};
    Quaternion out = {9.0f, 9.0f, 9.0f, 9.0f};
    qv::QuaternionInverse(&out, &q);  // below 2^-63: zero, as the reference does
    EXPECT_EQ(out.w, 0.0f);
    Use(kSseOnly);
    ASSERT_EQ(Bind(), MathVariantSet::Sse);
    if (QV_MATH_X86) {
        EXPECT_EQ(LiveTable().QuaternionInverse, FunctionsWrittenBy(ImplementationSet::Sse).QuaternionInverse);
    }
}

TEST_F(MathDispatch, StepsWriteTheirEntriesOnly) {
    if (!QV_MATH_X86) GTEST_SKIP() << "only the reference set is built";
    auto countWritten = [](const MathFunctions& f) {
        int n = 0;
#define QV_MATH(index, Name, Result, Params, Args) n += f.Name != nullptr;
#include "math/functions.inl"
#undef QV_MATH
        return n;
    };
    EXPECT_EQ(countWritten(FunctionsWrittenBy(ImplementationSet::Reference)), 73);
    EXPECT_EQ(countWritten(FunctionsWrittenBy(ImplementationSet::X87)), 9);
    EXPECT_EQ(countWritten(FunctionsWrittenBy(ImplementationSet::Sse)), 45);
    EXPECT_EQ(countWritten(FunctionsWrittenBy(ImplementationSet::Sse2)), 44);
    const MathFunctions sse = FunctionsWrittenBy(ImplementationSet::Sse);
    const MathFunctions sse2 = FunctionsWrittenBy(ImplementationSet::Sse2);
    EXPECT_EQ(sse2.QuaternionInverse, nullptr);
    EXPECT_EQ(sse2.MatrixMultiply, sse.MatrixMultiply);
    EXPECT_NE(sse2.Vec3Normalize, sse.Vec3Normalize);
    EXPECT_NE(sse2.Vec3TransformCoordArray, sse.Vec3TransformCoordArray);
    for (const MathFunctions& f : {sse, sse2}) {
        EXPECT_EQ(f.MatrixTransformation, nullptr);
        EXPECT_EQ(f.Vec3ProjectArray, nullptr);
        EXPECT_EQ(f.Vec3UnprojectArray, nullptr);
        EXPECT_EQ(f.MatrixTransformation2D, nullptr);
        EXPECT_EQ(f.MatrixAffineTransformation2D, nullptr);
        EXPECT_EQ(f.MatrixTranslation, nullptr);
    }
}

TEST_F(MathDispatch, ProcessorFeatureFlags) {
    Use(kAmdWithSse2);
    EXPECT_EQ(GetProcessorFeatureFlags(), 0x001u | 0x002u | 0x004u | 0x020u | 0x040u | 0x080u | 0x100u | 0x200u);
    Use(kSseOnly);  // no extended leaves
    EXPECT_EQ(GetProcessorFeatureFlags(), 0x001u | 0x002u | 0x020u | 0x040u);
    qv::testing::ProcessorOverride none;
    none.leaves.push_back({0, 0, 0, 0, 0});
    qv::testing::OverrideProcessor(none);
    EXPECT_EQ(GetProcessorFeatureFlags(), 0x001u);
}

TEST_F(MathDispatch, SimdSupport) {
    Use(kSse2Only);
    EXPECT_EQ(QuerySimdSupport(), 12u);
    Use(kSseOnly);
    EXPECT_EQ(QuerySimdSupport(), 4u);
    qv::testing::ProcessorOverride noCpuid;
    noCpuid.cpuidAvailable = false;
    qv::testing::OverrideProcessor(noCpuid);
    EXPECT_EQ(QuerySimdSupport(), 0u);
    qv::testing::ProcessorOverride noLeaves;
    noLeaves.leaves.push_back({0, 0, 0, 0, 0});
    noLeaves.leaves.push_back({1, 0, 0, 0, kEdxSse2});
    qv::testing::OverrideProcessor(noLeaves);
    EXPECT_EQ(QuerySimdSupport(), 0u);
}

TEST_F(MathDispatch, ReadsDwordValuesOnly) {
    std::uint32_t value = 0;
    EXPECT_EQ(ReadDirect3DRegistryValue(REG_DWORD, "DisablePSGP", &value, 4), 0);
    qv::testing::SetRegistryDword("DisablePSGP", 5);
    EXPECT_EQ(ReadDirect3DRegistryValue(REG_DWORD, "DisablePSGP", &value, 4), 1);
    EXPECT_EQ(value, 5u);
    qv::testing::SetRegistryString("DisablePSGP", "5");
    EXPECT_EQ(ReadDirect3DRegistryValue(REG_DWORD, "DisablePSGP", &value, 4), 0);
    EXPECT_EQ(ReadDirect3DRegistryValue(REG_SZ, "DisablePSGP", &value, 4), 1);
}

TEST_F(MathDispatch, DisableMmxSticks) {
    qv::testing::ProcessorOverride o;
    o.leaves.push_back({0, 1, 0, 0, 0});
    o.leaves.push_back({1, 0, 0, 0, kEdxMmx});
    qv::testing::OverrideProcessor(o);
    EXPECT_EQ(IsMmxAvailable(), 1);
    qv::testing::SetRegistryString("DisableMMX", "1");  // not a DWORD: ignored
    EXPECT_EQ(IsMmxAvailable(), 1);
    qv::testing::SetRegistryDword("DisableMMX", 0);
    EXPECT_EQ(IsMmxAvailable(), 1);
    qv::testing::SetRegistryDword("DisableMMX", 1);
    EXPECT_EQ(IsMmxAvailable(), 0);
    qv::testing::ClearRegistryValue("DisableMMX");
    EXPECT_EQ(IsMmxAvailable(), 0);
}

TEST_F(MathDispatch, MmxNeedsAnIntelLevel5Processor) {
    struct Case {
        std::uint16_t architecture, level;
        std::uint32_t edx;
        int expected;
    };
    for (const Case& c : {Case{0, 5, kEdxMmx, 1}, Case{0, 4, kEdxMmx, 0}, Case{9, 6, kEdxMmx, 0}, Case{0, 6, 0, 0}}) {
        ResetMmxState();
        qv::testing::ProcessorOverride o;
        o.leaves.push_back({0, 1, 0, 0, 0});
        o.leaves.push_back({1, 0, 0, 0, c.edx});
        o.architecture = c.architecture;
        o.level = c.level;
        qv::testing::OverrideProcessor(o);
        EXPECT_EQ(IsMmxAvailable(), c.expected) << c.architecture << " " << c.level;
    }
}

TEST(FastInvSqrt, TellingRowsMatchBitForBit) {
    struct Row {
        int index;
        float slope, intercept;
    };
    const Row rows[] = {{0, -1.41009521484375f, 2.1192612648010254f},
                        {255, -0.500732421875f, 1.500732421875f},
                        {256, -0.49853515625f, 1.49853515625f},
                        {511, -0.177032470703125f, 1.0611717700958252f}};
    for (const Row& r : rows) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(kInvSqrtTable[r.index].slope), std::bit_cast<std::uint32_t>(r.slope))
            << r.index;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(kInvSqrtTable[r.index].intercept),
                  std::bit_cast<std::uint32_t>(r.intercept))
            << r.index;
    }
}

TEST(FastInvSqrt, ValuesAndAccuracy) {
    EXPECT_EQ(FastInvSqrt(1.0f), 1.0f);
    EXPECT_EQ(FastInvSqrt(4.0f), 0.5f);
    EXPECT_NEAR(FastInvSqrt(2.0f), 0.70710683f, 1e-7f);
    const float zero = FastInvSqrt(0.0f);
    EXPECT_TRUE(std::isfinite(zero));
    EXPECT_NEAR(zero, 1.3e19f, 0.1e19f);
    double worst = 0;
    for (std::uint32_t u = 0x00800000u; u < 0x7F800000u; u += 997) {
        const float x = std::bit_cast<float>(u);
        const double exact = 1.0 / std::sqrt(static_cast<double>(x));
        worst = std::max(worst, std::abs(FastInvSqrt(x) - exact) / exact);
    }
    // The chords' curvature error alone reaches 1.43e-6 in the middle of
    // entry 0; one rounding of the result adds up to 6e-8.
    EXPECT_LT(worst, 1.53e-6);
}

}  // namespace
}  // namespace qv::math
