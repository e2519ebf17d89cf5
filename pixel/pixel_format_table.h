// The rows of the pixel format table, in search order. Kept as constant data
// in a header so that compile-time checks (here and in the row codecs) can
// read it.
#pragma once

#include <cstddef>

#include "quorvane/pixel/pixel_format.h"

namespace qv::detail {

inline constexpr PixelKind kRgb = PixelKind::Rgb;
inline constexpr PixelKind kPal = PixelKind::Palette;
inline constexpr PixelKind kLum = PixelKind::Luminance;
inline constexpr PixelKind kSig = PixelKind::Signed;
inline constexpr PixelKind kDep = PixelKind::Depth;

// A/R/G/B: alpha, red, green, blue widths. Luminance rows repeat L in R, G, B;
// signed rows hold Q, W, V, U; depth rows hold stencil in G and depth in B.
// Extra: the unsigned channel beside signed ones, or 1 on lockable depth.
inline constexpr PixelFormatInfo kPixelFormatTable[] = {
    // format                  kind  bpp extra  A   R   G   B  plain
    {D3DFMT_R8G8B8,            kRgb,  24,  0,   0,  8,  8,  8, 0},
    {D3DFMT_A8R8G8B8,          kRgb,  32,  0,   8,  8,  8,  8, 1},
    {D3DFMT_X8R8G8B8,          kRgb,  32,  0,   0,  8,  8,  8, 1},
    {D3DFMT_R5G6B5,            kRgb,  16,  0,   0,  5,  6,  5, 1},
    {D3DFMT_X1R5G5B5,          kRgb,  16,  0,   0,  5,  5,  5, 1},
    {D3DFMT_A8P8,              kPal,  16,  0,   8,  8,  8,  8, 1},
    {D3DFMT_P8,                kPal,   8,  0,   8,  8,  8,  8, 1},
    {D3DFMT_A1R5G5B5,          kRgb,  16,  0,   1,  5,  5,  5, 1},
    {D3DFMT_A4R4G4B4,          kRgb,  16,  0,   4,  4,  4,  4, 1},
    {D3DFMT_R3G3B2,            kRgb,   8,  0,   0,  3,  3,  2, 1},
    {D3DFMT_A8,                kRgb,   8,  0,   8,  0,  0,  0, 1},
    {D3DFMT_A8R3G3B2,          kRgb,  16,  0,   8,  3,  3,  2, 1},
    {D3DFMT_X4R4G4B4,          kRgb,  16,  0,   0,  4,  4,  4, 1},
    {D3DFMT_A2B10G10R10,       kRgb,  32,  0,   2, 10, 10, 10, 1},
    {D3DFMT_A8B8G8R8,          kRgb,  32,  0,   8,  8,  8,  8, 1},
    {D3DFMT_X8B8G8R8,          kRgb,  32,  0,   0,  8,  8,  8, 1},
    {D3DFMT_G16R16,            kRgb,  32,  0,   0, 16, 16,  0, 1},
    {D3DFMT_A2R10G10B10,       kRgb,  32,  0,   2, 10, 10, 10, 1},
    {D3DFMT_A16B16G16R16,      kRgb,  64,  0,  16, 16, 16, 16, 1},
    {D3DFMT_L8,                kLum,   8,  0,   0,  8,  8,  8, 1},
    {D3DFMT_A8L8,              kLum,  16,  0,   8,  8,  8,  8, 1},
    {D3DFMT_A4L4,              kLum,   8,  0,   4,  4,  4,  4, 1},
    {D3DFMT_L16,               kLum,  16,  0,   0, 16, 16, 16, 1},
    {D3DFMT_V8U8,              kSig,  16,  0,   0,  0,  8,  8, 1},
    {D3DFMT_L6V5U5,            kSig,  16,  6,   0,  0,  5,  5, 1},
    {D3DFMT_X8L8V8U8,          kSig,  32,  8,   0,  0,  8,  8, 1},
    {D3DFMT_Q8W8V8U8,          kSig,  32,  0,   8,  8,  8,  8, 1},
    {D3DFMT_V16U16,            kSig,  32,  0,   0,  0, 16, 16, 1},
    {D3DFMT_A2W10V10U10,       kSig,  32,  2,   0, 10, 10, 10, 1},
    {D3DFMT_Q16W16V16U16,      kSig,  64,  0,  16, 16, 16, 16, 1},
    {D3DFMT_CxV8U8,            kSig,  16,  8,   0,  0,  8,  8, 0},
    {D3DFMT_UYVY,              kRgb,  16,  0,   0,  8,  8,  8, 0},
    {D3DFMT_R8G8_B8G8,         kRgb,  16,  0,   0,  8,  8,  8, 0},
    {D3DFMT_YUY2,              kRgb,  16,  0,   0,  8,  8,  8, 0},
    {D3DFMT_G8R8_G8B8,         kRgb,  16,  0,   0,  8,  8,  8, 0},
    {D3DFMT_DXT1,              kRgb,  16,  0,   1,  5,  6,  5, 0},
    {D3DFMT_DXT2,              kRgb,  16,  0,   4,  5,  6,  5, 0},
    {D3DFMT_DXT3,              kRgb,  16,  0,   4,  5,  6,  5, 0},
    {D3DFMT_DXT4,              kRgb,  16,  0,   8,  5,  6,  5, 0},
    {D3DFMT_DXT5,              kRgb,  16,  0,   8,  5,  6,  5, 0},
    {D3DFMT_D16_LOCKABLE,      kDep,  16,  1,   0,  0,  0, 16, 1},
    {D3DFMT_D32F_LOCKABLE,     kDep,  32,  1,   0,  0,  0, 32, 0},
    {D3DFMT_D32,               kDep,  32,  0,   0,  0,  0, 32, 1},
    {D3DFMT_D15S1,             kDep,  16,  0,   0,  0,  1, 15, 1},
    {D3DFMT_D24S8,             kDep,  32,  0,   0,  0,  8, 24, 1},
    {D3DFMT_D16,               kDep,  16,  0,   0,  0,  0, 16, 1},
    {D3DFMT_D24X8,             kDep,  32,  0,   0,  0,  0, 24, 1},
    {D3DFMT_D24X4S4,           kDep,  32,  0,   0,  0,  4, 24, 1},
    {D3DFMT_D24FS8,            kDep,  32,  0,   0,  0,  8, 24, 0},
    {D3DFMT_R16F,              kRgb,  16,  0,   0, 16,  0,  0, 0},
    {D3DFMT_G16R16F,           kRgb,  32,  0,   0, 16, 16,  0, 0},
    {D3DFMT_A16B16G16R16F,     kRgb,  64,  0,  16, 16, 16, 16, 0},
    {D3DFMT_R32F,              kRgb,  32,  0,   0, 32,  0,  0, 0},
    {D3DFMT_G32R32F,           kRgb,  64,  0,   0, 32, 32,  0, 0},
    {D3DFMT_A32B32G32R32F,     kRgb, 128,  0,  32, 32, 32, 32, 0},
    {FMT_A16L16,               kLum,  32,  0,  16, 16, 16, 16, 0},
    {FMT_R16G16B16,            kRgb,  48,  0,   0, 16, 16, 16, 0},
};

inline constexpr std::size_t kPixelFormatCount = sizeof(kPixelFormatTable) / sizeof(kPixelFormatTable[0]);

// Index of the row of `format`, or kPixelFormatCount; usable in constant
// expressions.
constexpr std::size_t FindPixelFormat(D3DFORMAT format) {
    for (std::size_t i = 0; i < kPixelFormatCount; ++i)
        if (kPixelFormatTable[i].format == format) return i;
    return kPixelFormatCount;
}

}  // namespace qv::detail
