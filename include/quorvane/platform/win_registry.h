// Registry: a small read-only store of values under HKEY_LOCAL_MACHINE.
// Values are loaded from a plain-text file (see README) and can be set
// in-process through the test hooks.
#pragma once

#include "quorvane/platform/win_types.h"

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result);
// Copies the value into `data` (when not null) if it fits in *dataSize; sets
// *type and *dataSize. ERROR_MORE_DATA when the buffer is too small.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegCloseKey(HKEY key);
