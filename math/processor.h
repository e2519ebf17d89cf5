// Processor and registry queries of the math library, and the allocator check.
#pragma once

#include <cstdint>

namespace qv::math {

// Bits of GetProcessorFeatureFlags.
constexpr std::uint32_t kFeatureCpuid = 0x001;
constexpr std::uint32_t kFeatureStandardLeaves = 0x002;
constexpr std::uint32_t kFeatureExtendedLeaves = 0x004;
constexpr std::uint32_t kFeatureMmx = 0x020;
constexpr std::uint32_t kFeatureSse = 0x040;
constexpr std::uint32_t kFeature3DNow = 0x080;
constexpr std::uint32_t kFeature3DNowExt = 0x100;
constexpr std::uint32_t kFeatureAmdMmx = 0x200;

// Bits of QuerySimdSupport.
constexpr std::uint32_t kSimdSse = 4;
constexpr std::uint32_t kSimdSse2 = 8;

std::uint32_t QuerySimdSupport();
std::uint32_t GetProcessorFeatureFlags();
void CheckAllocatorConformance();

// Test seams: forget the allocator check and the MMX state.
void ResetAllocatorCheck();
void ResetMmxState();

}  // namespace qv::math
