#include "platform/d3d9/formats.h"

#include <array>

namespace qv::platform {
namespace {

constexpr D3DFORMAT Code(char a, char b, char c, char d) {
    return static_cast<D3DFORMAT>(MakeFourCC(a, b, c, d));
}

using S = FormatShape;

// clang-format off
constexpr std::array kLayouts = {
    //           format                  shape     bytes
    FormatLayout{D3DFMT_R8G8B8,          S::Pixel,  3},
    FormatLayout{D3DFMT_A8R8G8B8,        S::Pixel,  4},
    FormatLayout{D3DFMT_X8R8G8B8,        S::Pixel,  4},
    FormatLayout{D3DFMT_R5G6B5,          S::Pixel,  2},
    FormatLayout{D3DFMT_X1R5G5B5,        S::Pixel,  2},
    FormatLayout{D3DFMT_A8P8,            S::Pixel,  2},
    FormatLayout{D3DFMT_P8,              S::Pixel,  1},
    FormatLayout{D3DFMT_A1R5G5B5,        S::Pixel,  2},
    FormatLayout{D3DFMT_A4R4G4B4,        S::Pixel,  2},
    FormatLayout{D3DFMT_R3G3B2,          S::Pixel,  1},
    FormatLayout{D3DFMT_A8,              S::Pixel,  1},
    FormatLayout{D3DFMT_A8R3G3B2,        S::Pixel,  2},
    FormatLayout{D3DFMT_X4R4G4B4,        S::Pixel,  2},
    FormatLayout{D3DFMT_A2B10G10R10,     S::Pixel,  4},
    FormatLayout{D3DFMT_A8B8G8R8,        S::Pixel,  4},
    FormatLayout{D3DFMT_X8B8G8R8,        S::Pixel,  4},
    FormatLayout{D3DFMT_G16R16,          S::Pixel,  4},
    FormatLayout{D3DFMT_A2R10G10B10,     S::Pixel,  4},
    FormatLayout{D3DFMT_A16B16G16R16,    S::Pixel,  8},
    FormatLayout{D3DFMT_L8,              S::Pixel,  1},
    FormatLayout{D3DFMT_A8L8,            S::Pixel,  2},
    FormatLayout{D3DFMT_A4L4,            S::Pixel,  1},
    FormatLayout{D3DFMT_L16,             S::Pixel,  2},
    FormatLayout{D3DFMT_V8U8,            S::Pixel,  2},
    FormatLayout{D3DFMT_L6V5U5,          S::Pixel,  2},
    FormatLayout{D3DFMT_X8L8V8U8,        S::Pixel,  4},
    FormatLayout{D3DFMT_Q8W8V8U8,        S::Pixel,  4},
    FormatLayout{D3DFMT_V16U16,          S::Pixel,  4},
    FormatLayout{D3DFMT_A2W10V10U10,     S::Pixel,  4},
    FormatLayout{D3DFMT_Q16W16V16U16,    S::Pixel,  8},
    FormatLayout{D3DFMT_CxV8U8,          S::Pixel,  2},
    FormatLayout{D3DFMT_UYVY,            S::Pair,   4},
    FormatLayout{D3DFMT_R8G8_B8G8,       S::Pair,   4},
    FormatLayout{D3DFMT_YUY2,            S::Pair,   4},
    FormatLayout{D3DFMT_G8R8_G8B8,       S::Pair,   4},
    FormatLayout{D3DFMT_DXT1,            S::Block,  8},
    FormatLayout{D3DFMT_DXT2,            S::Block, 16},
    FormatLayout{D3DFMT_DXT3,            S::Block, 16},
    FormatLayout{D3DFMT_DXT4,            S::Block, 16},
    FormatLayout{D3DFMT_DXT5,            S::Block, 16},
    FormatLayout{D3DFMT_D16_LOCKABLE,    S::Pixel,  2},
    FormatLayout{D3DFMT_D32F_LOCKABLE,   S::Pixel,  4},
    FormatLayout{D3DFMT_D32,             S::Pixel,  4},
    FormatLayout{D3DFMT_D15S1,           S::Pixel,  2},
    FormatLayout{D3DFMT_D24S8,           S::Pixel,  4},
    FormatLayout{D3DFMT_D16,             S::Pixel,  2},
    FormatLayout{D3DFMT_D24X8,           S::Pixel,  4},
    FormatLayout{D3DFMT_D24X4S4,         S::Pixel,  4},
    FormatLayout{D3DFMT_D24FS8,          S::Pixel,  4},
    FormatLayout{D3DFMT_R16F,            S::Pixel,  2},
    FormatLayout{D3DFMT_G16R16F,         S::Pixel,  4},
    FormatLayout{D3DFMT_A16B16G16R16F,   S::Pixel,  8},
    FormatLayout{D3DFMT_R32F,            S::Pixel,  4},
    FormatLayout{D3DFMT_G32R32F,         S::Pixel,  8},
    FormatLayout{D3DFMT_A32B32G32R32F,   S::Pixel, 16},
    FormatLayout{Code('A', 'L', '1', '6'), S::Pixel, 4},  // 16-bit luminance and alpha (internal)
    FormatLayout{Code(' ', 'R', '1', '6'), S::Pixel, 6},  // 16-bit RGB (internal)
};
// clang-format on

static_assert(kLayouts.size() == 57, "one row per format of the pixel format table");

constexpr bool CodesAreUnique() {
    for (std::size_t i = 0; i < kLayouts.size(); ++i)
        for (std::size_t j = i + 1; j < kLayouts.size(); ++j)
            if (kLayouts[i].format == kLayouts[j].format) return false;
    return true;
}
static_assert(CodesAreUnique(), "no format code appears twice");

}  // namespace

const FormatLayout* FindFormatLayout(D3DFORMAT format) {
    for (const FormatLayout& layout : kLayouts)
        if (layout.format == format) return &layout;
    return nullptr;
}

std::uint64_t RowPitch(const FormatLayout& layout, std::uint32_t width) {
    const std::uint64_t w = width;
    switch (layout.shape) {
        case FormatShape::Pixel: return w * layout.bytes;
        case FormatShape::Pair: return (w + 1) / 2 * layout.bytes;
        case FormatShape::Block: return (w + 3) / 4 * layout.bytes;
    }
    return 0;
}

std::uint32_t MemoryRows(const FormatLayout& layout, std::uint32_t height) {
    return layout.shape == FormatShape::Block ? (height + 3) / 4 : height;
}

}  // namespace qv::platform
