// Basic Windows-style types, result codes and handles used throughout Quorvane.
//
// These stand in for the platform's own headers: the library and the viewer
// are written against this small vocabulary, and platform/ implements it over
// POSIX, SDL2 and OpenGL. Declarations live in the global namespace because
// that is where callers expect them.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ATOM = std::uint16_t;
using SHORT = std::int16_t;
using LPCSTR = const char*;
using LPSTR = char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Opaque handle types. Distinct incomplete structs keep them from mixing.
using HANDLE = void*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
struct HICON__;
using HICON = HICON__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;
struct HKEY__;
using HKEY = HKEY__*;
struct HMONITOR__;
using HMONITOR = HMONITOR__*;

using FARPROC = std::intptr_t (*)();

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

// Result codes. Callers test the sign (SUCCEEDED / FAILED), not the value.
constexpr HRESULT MakeResultCode(std::uint32_t value) { return static_cast<HRESULT>(value); }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = MakeResultCode(0x80004005u);
constexpr HRESULT E_NOTIMPL = MakeResultCode(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeResultCode(0x80004002u);
constexpr HRESULT E_POINTER = MakeResultCode(0x80004003u);
constexpr HRESULT E_OUTOFMEMORY = MakeResultCode(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeResultCode(0x80070057u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct POINT {
    LONG x;
    LONG y;
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;  // alpha in Quorvane's palettes
};

// Interface identifiers.
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

// Region data for Present's dirty region; never inspected by Quorvane.
struct RGNDATA;
