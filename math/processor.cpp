// Processor tests, registry switches and the allocator check of the math
// library. The processor is only ever asked through the platform layer, so
// tests can replace its answers.
#include "math/processor.h"

#include <atomic>
#include <new>

#include "quorvane/math/math.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_registry.h"

namespace qv {

namespace {

constexpr const char* kDirect3DKey = "Software\\Direct3D";

// -1 not yet tested, 0 no MMX, 1 MMX. Drops to 0 for good once "DisableMMX"
// has been seen nonzero.
// Relaxed atomics so that racing first calls are no data race; the races
// lead to the same results.
std::atomic<int> g_mmxState{-1};
std::atomic<bool> g_allocatorChecked{false};
constexpr auto kRelaxed = std::memory_order_relaxed;

bool EdxBit(const platform::CpuidResult& r, int bit) { return ((r.edx >> bit) & 1u) != 0; }

}  // namespace

int ReadDirect3DRegistryValue(std::uint32_t expectedType, const char* valueName, void* data,
                              std::uint32_t size) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kDirect3DKey, &key) != ERROR_SUCCESS) return 0;
    DWORD type = REG_NONE;
    DWORD dataSize = size;
    const LONG status =
        RegQueryValueExA(key, valueName, nullptr, &type, static_cast<BYTE*>(data), &dataSize);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == expectedType ? 1 : 0;
}

int IsMmxAvailable() {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kDirect3DKey, &key) == ERROR_SUCCESS) {
        std::uint32_t value = 0;
        DWORD type = REG_NONE;
        DWORD dataSize = sizeof(value);
        const LONG status = RegQueryValueExA(key, "DisableMMX", nullptr, &type,
                                             reinterpret_cast<BYTE*>(&value), &dataSize);
        RegCloseKey(key);
        if (status == ERROR_SUCCESS && type == REG_DWORD && value != 0) {
            g_mmxState.store(0, kRelaxed);
            return 0;
        }
    }
    if (g_mmxState.load(kRelaxed) < 0) {
        g_mmxState.store(0, kRelaxed);
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL && info.wProcessorLevel >= 5) {
            platform::CpuidResult leaf1{};
            if (platform::Cpuid(1, &leaf1) && EdxBit(leaf1, 23)) g_mmxState.store(1, kRelaxed);
        }
    }
    return g_mmxState.load(kRelaxed);
}

namespace math {

std::uint32_t QuerySimdSupport() {
    platform::CpuidResult leaf0{};
    if (!platform::Cpuid(0, &leaf0) || leaf0.eax == 0) return 0;
    platform::CpuidResult leaf1{};
    if (!platform::Cpuid(1, &leaf1)) return 0;
    std::uint32_t flags = 0;
    if (EdxBit(leaf1, 25)) flags |= kSimdSse;
    if (EdxBit(leaf1, 26)) flags |= kSimdSse2;
    return flags;
}

std::uint32_t GetProcessorFeatureFlags() {
    std::uint32_t flags = kFeatureCpuid;
    platform::CpuidResult r{};
    platform::Cpuid(0, &r);
    if (r.eax == 0) return flags;
    flags |= kFeatureStandardLeaves;
    platform::Cpuid(1, &r);
    if (EdxBit(r, 23)) flags |= kFeatureMmx;
    if (EdxBit(r, 25)) flags |= kFeatureSse;
    platform::Cpuid(0x80000000u, &r);
    if (r.eax <= 0x80000000u) return flags;
    flags |= kFeatureExtendedLeaves;
    platform::Cpuid(0x80000001u, &r);
    if (EdxBit(r, 31)) flags |= kFeature3DNow;
    if (EdxBit(r, 30)) flags |= kFeature3DNowExt;
    if (EdxBit(r, 22)) flags |= kFeatureAmdMmx;
    return flags;
}

// The library relies on zero-byte allocations giving unique non-null blocks
// and on deleting null doing nothing; a replaced allocator that breaks either
// gets four warning lines, once per process.
void CheckAllocatorConformance() {
    if (g_allocatorChecked.load(kRelaxed)) return;
    g_allocatorChecked.store(true, kRelaxed);
    void* first = ::operator new(0, std::nothrow);
    void* second = ::operator new(0, std::nothrow);
    const bool conforms = first != nullptr && second != nullptr && first != second;
    if (first != nullptr) ::operator delete(first);
    if (second != nullptr && second != first) ::operator delete(second);
    ::operator delete(static_cast<void*>(nullptr));
    if (conforms) return;
    OutputDebugStringA(
        "Quorvane: (WARN) Overloaded ::new and ::delete operators do not conform to C++ "
        "standards:\r\n");
    OutputDebugStringA(
        "Quorvane: (WARN) An allocation of zero bytes should return a unique non-null pointer "
        "to at\r\n");
    OutputDebugStringA(
        "Quorvane: (WARN) least zero bytes. Deletion of a null pointer should quietly do "
        "nothing.\r\n");
    OutputDebugStringA("Quorvane: (WARN) Quorvane relies upon this behavior.\r\n");
}

void ResetAllocatorCheck() { g_allocatorChecked.store(false, kRelaxed); }
void ResetMmxState() { g_mmxState.store(-1, kRelaxed); }

}  // namespace math
}  // namespace qv
