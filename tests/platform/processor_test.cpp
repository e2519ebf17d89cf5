// Processor queries: the real answers and the test override.
#include <gtest/gtest.h>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"

namespace {

class ProcessorTest : public ::testing::Test {
protected:
    void TearDown() override { qv::testing::ResetProcessor(); }
};

TEST_F(ProcessorTest, RealProcessorAgreesWithItself) {
    qv::platform::CpuidResult leaf0{}, leaf1{};
#if defined(__x86_64__) || defined(__i386__)
    ASSERT_TRUE(qv::platform::Cpuid(0, &leaf0));
    EXPECT_GE(leaf0.eax, 1u);
    ASSERT_TRUE(qv::platform::Cpuid(1, &leaf1));
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0, ((leaf1.edx >> 25) & 1u) != 0);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0, ((leaf1.edx >> 26) & 1u) != 0);
#if defined(__x86_64__)
    EXPECT_TRUE(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) << "every x86-64 processor has SSE";
#endif
    // A leaf beyond the highest reports zeros.
    qv::platform::CpuidResult beyond{1, 1, 1, 1};
    EXPECT_TRUE(qv::platform::Cpuid(leaf0.eax + 1, &beyond));
    EXPECT_EQ(beyond.eax | beyond.ebx | beyond.ecx | beyond.edx, 0u);
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
    EXPECT_EQ(info.wProcessorLevel, 6);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_GT(info.dwPageSize, 0u);
#else
    EXPECT_FALSE(qv::platform::Cpuid(0, &leaf0));
#endif
    EXPECT_FALSE(IsProcessorFeaturePresent(12345));
}

TEST_F(ProcessorTest, OverrideReplacesEveryAnswer) {
    qv::testing::ProcessorOverride answers;
    answers.leaves = {{0, 1, 0x68747541u, 0x444D4163u, 0x69746E65u},
                      {0x80000001u, 0, 0, 0, 0x80000000u}};
    answers.osFeatures = {PF_3DNOW_INSTRUCTIONS_AVAILABLE};
    answers.architecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
    answers.level = 4;
    qv::testing::OverrideProcessor(answers);

    qv::platform::CpuidResult result{};
    ASSERT_TRUE(qv::platform::Cpuid(0x80000001u, &result));
    EXPECT_EQ(result.edx, 0x80000000u);
    ASSERT_TRUE(qv::platform::Cpuid(1, &result));
    EXPECT_EQ(result.eax | result.ebx | result.ecx | result.edx, 0u) << "unlisted leaves report zeros";
    EXPECT_TRUE(IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE));
    EXPECT_FALSE(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE));
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_UNKNOWN);
    EXPECT_EQ(info.wProcessorLevel, 4);

    answers.cpuidAvailable = false;
    qv::testing::OverrideProcessor(answers);
    EXPECT_FALSE(qv::platform::Cpuid(0, &result));

    qv::testing::ResetProcessor();
    GetSystemInfo(&info);
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(info.wProcessorLevel, 6);
#endif
}

}  // namespace
