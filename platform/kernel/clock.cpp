// GetTickCount over the monotonic clock, with a test override.
#include <atomic>
#include <cstdint>
#include <ctime>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"

namespace {

// Bit 32 set: an override is in force and the low 32 bits are its value.
std::atomic<std::uint64_t> g_tickOverride{0};
constexpr std::uint64_t kOverrideActive = std::uint64_t{1} << 32;

}  // namespace

DWORD GetTickCount() {
    const std::uint64_t forced = g_tickOverride.load(std::memory_order_relaxed);
    if (forced & kOverrideActive) return static_cast<DWORD>(forced);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);  // wraps after about 49.7 days, as callers expect
}

namespace qv::testing {

void OverrideTickCount(std::uint32_t milliseconds) {
    g_tickOverride.store(kOverrideActive | milliseconds, std::memory_order_relaxed);
}

void ResetTickCount() { g_tickOverride.store(0, std::memory_order_relaxed); }

}  // namespace qv::testing
