// Processor queries: CPUID, IsProcessorFeaturePresent and GetSystemInfo,
// from the real processor unless a test has overridden what they report.
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <optional>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define QV_HAS_CPUID 1
#else
#define QV_HAS_CPUID 0
#endif

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"

namespace {

struct Overrides {
    std::mutex mutex;
    std::optional<qv::testing::ProcessorOverride> answers;
};

Overrides& State() {
    static Overrides state;
    return state;
}

bool RealCpuid(std::uint32_t leaf, qv::platform::CpuidResult* out) {
#if QV_HAS_CPUID
    unsigned a = 0, b = 0, c = 0, d = 0;
    // The highest leaf of the range that `leaf` is in; asking beyond it
    // reports zeros, as the test override does for unlisted leaves.
    const unsigned highest = __get_cpuid_max(leaf & 0x80000000u, nullptr);
    if (highest != 0 && leaf <= highest) __cpuid_count(leaf, 0, a, b, c, d);
    *out = {a, b, c, d};
    return true;
#else
    (void)leaf;
    *out = {};
    return false;
#endif
}

bool RealFeature(DWORD feature) {
    qv::platform::CpuidResult leaf1{}, extended{}, highest{};
    if (!RealCpuid(1, &leaf1)) return false;
    switch (feature) {
        case PF_XMMI_INSTRUCTIONS_AVAILABLE: return (leaf1.edx >> 25) & 1u;
        case PF_XMMI64_INSTRUCTIONS_AVAILABLE: return (leaf1.edx >> 26) & 1u;
        case PF_3DNOW_INSTRUCTIONS_AVAILABLE:
            RealCpuid(0x80000000u, &highest);
            if (highest.eax < 0x80000001u) return false;
            RealCpuid(0x80000001u, &extended);
            return (extended.edx >> 31) & 1u;
        default: return false;
    }
}

}  // namespace

namespace qv::platform {

bool Cpuid(std::uint32_t leaf, CpuidResult* out) {
    if (out == nullptr) return false;
    {
        Overrides& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.answers) {
            *out = {};
            if (!state.answers->cpuidAvailable) return false;
            for (const qv::testing::CpuidLeaf& entry : state.answers->leaves)
                if (entry.leaf == leaf) *out = {entry.eax, entry.ebx, entry.ecx, entry.edx};
            return true;
        }
    }
    return RealCpuid(leaf, out);
}

}  // namespace qv::platform

BOOL IsProcessorFeaturePresent(DWORD feature) {
    {
        Overrides& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.answers) {
            const auto& list = state.answers->osFeatures;
            return std::find(list.begin(), list.end(), feature) != list.end() ? TRUE : FALSE;
        }
    }
    return RealFeature(feature) ? TRUE : FALSE;
}

void GetSystemInfo(SYSTEM_INFO* info) {
    if (info == nullptr) return;
    *info = {};
    const long page = ::sysconf(_SC_PAGESIZE);
    const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096u;
    info->dwAllocationGranularity = info->dwPageSize;
    info->lpMinimumApplicationAddress = reinterpret_cast<void*>(static_cast<std::uintptr_t>(info->dwPageSize));
    info->lpMaximumApplicationAddress = reinterpret_cast<void*>(~std::uintptr_t{0} >> 1);
    info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1u;
    info->dwActiveProcessorMask =
        info->dwNumberOfProcessors >= sizeof(std::uintptr_t) * 8
            ? ~std::uintptr_t{0}
            : (std::uintptr_t{1} << info->dwNumberOfProcessors) - 1;
#if QV_HAS_CPUID
    // x86 and x86-64 hosts report themselves as the Intel architecture of
    // processor level 6, as the platform does for every current processor.
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    info->wProcessorLevel = 6;
    info->dwProcessorType = 586;
#else
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
    Overrides& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.answers) {
        info->wProcessorArchitecture = state.answers->architecture;
        info->wProcessorLevel = state.answers->level;
    }
}

namespace qv::testing {

void OverrideProcessor(const ProcessorOverride& answers) {
    Overrides& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.answers = answers;
}

void ResetProcessor() {
    Overrides& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.answers.reset();
}

}  // namespace qv::testing
