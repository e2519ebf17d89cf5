// Kernel services: files and mappings, modules, debug output, tick count,
// processor queries and system information.
#pragma once

#include "quorvane/platform/win_types.h"

struct SECURITY_ATTRIBUTES;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001u;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000u;
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD FILE_MAP_READ = 0x0004;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, DWORD* fileSizeHigh);
HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name);
void* MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                    std::size_t bytesToMap);
BOOL UnmapViewOfFile(const void* baseAddress);
BOOL CloseHandle(HANDLE object);

// Modules: a table of in-process modules. "d3d9.dll" is our Direct3D layer.
HMODULE GetModuleHandleA(LPCSTR moduleName);
HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// Writes the text to standard error.
void OutputDebugStringA(LPCSTR text);

// Milliseconds since an arbitrary start; wraps after about 49.7 days.
DWORD GetTickCount();

constexpr DWORD PF_XMMI_INSTRUCTIONS_AVAILABLE = 6;
constexpr DWORD PF_3DNOW_INSTRUCTIONS_AVAILABLE = 7;
constexpr DWORD PF_XMMI64_INSTRUCTIONS_AVAILABLE = 10;
BOOL IsProcessorFeaturePresent(DWORD feature);

constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    void* lpMinimumApplicationAddress;
    void* lpMaximumApplicationAddress;
    std::uintptr_t dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
void GetSystemInfo(SYSTEM_INFO* info);

namespace qv::platform {

struct CpuidResult {
    std::uint32_t eax;
    std::uint32_t ebx;
    std::uint32_t ecx;
    std::uint32_t edx;
};

// Executes CPUID for `leaf` (sub-leaf 0). Returns false when the processor has
// no CPUID instruction (any non-x86 host), leaving `out` zeroed. Test hooks can
// replace what it reports.
bool Cpuid(std::uint32_t leaf, CpuidResult* out);

}  // namespace qv::platform
