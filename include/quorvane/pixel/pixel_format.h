// The pixel format table: kind, size and channel widths of every pixel
// format the library knows.
#pragma once

#include <cstdint>

#include "quorvane/platform/d3d9_types.h"

namespace qv {

// Internal formats for 16-bit-per-channel PNG pictures. Direct3D does not know
// them; ClosestExternalFormat maps them to D3DFMT_A8L8 and D3DFMT_R8G8B8.
inline constexpr D3DFORMAT FMT_A16L16 = static_cast<D3DFORMAT>(MakeFourCC('A', 'L', '1', '6'));
inline constexpr D3DFORMAT FMT_R16G16B16 = static_cast<D3DFORMAT>(MakeFourCC(' ', 'R', '1', '6'));

enum class PixelKind : std::uint32_t {
    Rgb = 0,
    Palette = 1,
    Luminance = 2,
    Signed = 3,
    Depth = 4,
};

struct PixelFormatInfo {
    D3DFORMAT format;
    PixelKind kind;
    std::uint32_t bitsPerPixel;
    std::uint32_t extraBits;
    std::uint32_t alphaBits;
    std::uint32_t redBits;
    std::uint32_t greenBits;
    std::uint32_t blueBits;
    std::uint32_t plainWord;
};

// Stands for every code the table does not hold: 32-bit, four 8-bit channels.
extern const PixelFormatInfo kFallbackPixelFormat;

// The row of `format`, or kFallbackPixelFormat. Never fails.
const PixelFormatInfo& LookUpPixelFormat(D3DFORMAT format);

}  // namespace qv
