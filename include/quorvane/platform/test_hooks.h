// Test hooks of the platform layer: everything a test needs to steer or
// observe what the operating system, the processor and the display report.
// Not part of the library's public surface: programs other than tests should
// never include this header.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "quorvane/platform/win_kernel.h"  // the module functions the hooks below steer

namespace qv::testing {

// Registry store (HKEY_LOCAL_MACHINE "Software\Direct3D"): set and clear values
// in-process. These override whatever the registry file held.
void SetRegistryDword(const char* valueName, std::uint32_t value);
void SetRegistryString(const char* valueName, const char* value);
void ClearRegistryValue(const char* valueName);
void ClearRegistry();  // removes every value, the file's included
// Replaces every value with those of a registry file of the documented
// format at `path` (the store normally reads /etc/quorvane/registry.conf).
// False when the file cannot be read; the store is then unchanged.
bool LoadRegistryFile(const char* path);

// Processor and operating system answers. Leaves not listed report zeros.
struct CpuidLeaf {
    std::uint32_t leaf;
    std::uint32_t eax, ebx, ecx, edx;
};
struct ProcessorOverride {
    bool cpuidAvailable = true;         // false: Cpuid() reports no instruction
    std::vector<CpuidLeaf> leaves;      // what Cpuid() returns per leaf
    std::vector<std::uint32_t> osFeatures;  // IsProcessorFeaturePresent() is true for these
    std::uint16_t architecture = 0;     // GetSystemInfo wProcessorArchitecture
    std::uint16_t level = 6;            // GetSystemInfo wProcessorLevel
};
void OverrideProcessor(const ProcessorOverride& answers);
void ResetProcessor();  // back to the real processor

// Time and keyboard.
void OverrideTickCount(std::uint32_t milliseconds);  // GetTickCount returns this until reset
void ResetTickCount();
void OverrideKeyState(int virtualKey, bool down);
void ResetKeyStates();

// Debug output: when capturing, lines go to a buffer instead of stderr.
void CaptureDebugOutput(bool capture);
std::vector<std::string> TakeDebugOutput();

// "d3d9.dll"'s DebugSetMute: every value it was called with, in order.
std::vector<int> TakeDebugSetMuteCalls();
// Whether "d3d9.dll" counts as loaded in the process (GetModuleHandleA finds it).
void SetDirect3DModuleLoaded(bool loaded);

// The last frame that Present showed, as 0x00RRGGBB words, top row first.
struct PresentedFrame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> pixels;
};
bool ReadLastPresentedFrame(PresentedFrame* frame);

}  // namespace qv::testing
