// The pixel format table: every code finds its own row, chosen rows hold what
// the format is, and unknown codes get the 32-bit fallback.
#include <gtest/gtest.h>

#include <set>

#include "quorvane/pixel/pixel_format.h"

namespace qv {
namespace {

constexpr D3DFORMAT FourCC(char a, char b, char c, char d) { return static_cast<D3DFORMAT>(MakeFourCC(a, b, c, d)); }

TEST(PixelFormatTable, EveryKnownCodeFindsItsOwnRow) {
    const D3DFORMAT codes[] = {
        D3DFMT_R8G8B8,       D3DFMT_A8R8G8B8,      D3DFMT_X8R8G8B8,     D3DFMT_R5G6B5,         D3DFMT_X1R5G5B5,
        D3DFMT_A8P8,         D3DFMT_P8,            D3DFMT_A1R5G5B5,     D3DFMT_A4R4G4B4,       D3DFMT_R3G3B2,
        D3DFMT_A8,           D3DFMT_A8R3G3B2,      D3DFMT_X4R4G4B4,     D3DFMT_A2B10G10R10,    D3DFMT_A8B8G8R8,
        D3DFMT_X8B8G8R8,     D3DFMT_G16R16,        D3DFMT_A2R10G10B10,  D3DFMT_A16B16G16R16,   D3DFMT_L8,
        D3DFMT_A8L8,         D3DFMT_A4L4,          D3DFMT_L16,          D3DFMT_V8U8,           D3DFMT_L6V5U5,
        D3DFMT_X8L8V8U8,     D3DFMT_Q8W8V8U8,      D3DFMT_V16U16,       D3DFMT_A2W10V10U10,    D3DFMT_Q16W16V16U16,
        D3DFMT_CxV8U8,       D3DFMT_UYVY,          D3DFMT_R8G8_B8G8,    D3DFMT_YUY2,           D3DFMT_G8R8_G8B8,
        D3DFMT_DXT1,         D3DFMT_DXT2,          D3DFMT_DXT3,         D3DFMT_DXT4,           D3DFMT_DXT5,
        D3DFMT_D16_LOCKABLE, D3DFMT_D32F_LOCKABLE, D3DFMT_D32,          D3DFMT_D15S1,          D3DFMT_D24S8,
        D3DFMT_D16,          D3DFMT_D24X8,         D3DFMT_D24X4S4,      D3DFMT_D24FS8,         D3DFMT_R16F,
        D3DFMT_G16R16F,      D3DFMT_A16B16G16R16F, D3DFMT_R32F,         D3DFMT_G32R32F,        D3DFMT_A32B32G32R32F,
        FMT_A16L16,          FMT_R16G16B16,
    };
    std::set<const PixelFormatInfo*> rows;
    for (D3DFORMAT code : codes) {
        const PixelFormatInfo& info = LookUpPixelFormat(code);
        EXPECT_EQ(info.format, code);
        EXPECT_NE(&info, &kFallbackPixelFormat);
        rows.insert(&info);
    }
    EXPECT_EQ(rows.size(), 57u);
}

struct RowCase {
    D3DFORMAT format;
    PixelKind kind;
    std::uint32_t bits, extra, a, r, g, b, plain;
};

TEST(PixelFormatTable, RowsHoldTheFormatsDescription) {
    const RowCase cases[] = {
        {D3DFMT_R8G8B8, PixelKind::Rgb, 24, 0, 0, 8, 8, 8, 0},
        {D3DFMT_A1R5G5B5, PixelKind::Rgb, 16, 0, 1, 5, 5, 5, 1},
        {D3DFMT_G16R16, PixelKind::Rgb, 32, 0, 0, 16, 16, 0, 1},
        {D3DFMT_P8, PixelKind::Palette, 8, 0, 8, 8, 8, 8, 1},
        {D3DFMT_A8P8, PixelKind::Palette, 16, 0, 8, 8, 8, 8, 1},
        {D3DFMT_A4L4, PixelKind::Luminance, 8, 0, 4, 4, 4, 4, 1},
        {D3DFMT_L6V5U5, PixelKind::Signed, 16, 6, 0, 0, 5, 5, 1},
        {D3DFMT_A2W10V10U10, PixelKind::Signed, 32, 2, 0, 10, 10, 10, 1},
        {D3DFMT_CxV8U8, PixelKind::Signed, 16, 8, 0, 0, 8, 8, 0},
        {D3DFMT_YUY2, PixelKind::Rgb, 16, 0, 0, 8, 8, 8, 0},
        {D3DFMT_DXT1, PixelKind::Rgb, 16, 0, 1, 5, 6, 5, 0},
        {D3DFMT_DXT4, PixelKind::Rgb, 16, 0, 8, 5, 6, 5, 0},
        {D3DFMT_D16_LOCKABLE, PixelKind::Depth, 16, 1, 0, 0, 0, 16, 1},
        {D3DFMT_D32F_LOCKABLE, PixelKind::Depth, 32, 1, 0, 0, 0, 32, 0},
        {D3DFMT_D24X4S4, PixelKind::Depth, 32, 0, 0, 0, 4, 24, 1},
        {D3DFMT_D24FS8, PixelKind::Depth, 32, 0, 0, 0, 8, 24, 0},
        {D3DFMT_A32B32G32R32F, PixelKind::Rgb, 128, 0, 32, 32, 32, 32, 0},
        {FMT_A16L16, PixelKind::Luminance, 32, 0, 16, 16, 16, 16, 0},
        {FMT_R16G16B16, PixelKind::Rgb, 48, 0, 0, 16, 16, 16, 0},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "format " << static_cast<std::uint32_t>(c.format));
        const PixelFormatInfo& info = LookUpPixelFormat(c.format);
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.kind, c.kind);
        EXPECT_EQ(info.bitsPerPixel, c.bits);
        EXPECT_EQ(info.extraBits, c.extra);
        EXPECT_EQ(info.alphaBits, c.a);
        EXPECT_EQ(info.redBits, c.r);
        EXPECT_EQ(info.greenBits, c.g);
        EXPECT_EQ(info.blueBits, c.b);
        EXPECT_EQ(info.plainWord, c.plain);
    }
}

TEST(PixelFormatTable, UnknownCodesGetTheFallback) {
    const D3DFORMAT unknown[] = {
        D3DFMT_UNKNOWN, D3DFMT_MULTI2_ARGB8, D3DFMT_VERTEXDATA, D3DFMT_INDEX16, D3DFMT_INDEX32,
        FourCC('d', 'x', 't', '1'), FourCC('D', 'X', 'T', '6'), FourCC('a', 'l', '1', '6'), static_cast<D3DFORMAT>(19),
    };
    for (D3DFORMAT code : unknown) {
        const PixelFormatInfo& info = LookUpPixelFormat(code);
        EXPECT_EQ(&info, &kFallbackPixelFormat) << static_cast<std::uint32_t>(code);
    }
    EXPECT_EQ(kFallbackPixelFormat.format, D3DFMT_UNKNOWN);
    EXPECT_EQ(kFallbackPixelFormat.kind, PixelKind::Rgb);
    EXPECT_EQ(kFallbackPixelFormat.bitsPerPixel, 32u);
    EXPECT_EQ(kFallbackPixelFormat.extraBits, 0u);
    EXPECT_EQ(kFallbackPixelFormat.alphaBits, 8u);
    EXPECT_EQ(kFallbackPixelFormat.redBits, 8u);
    EXPECT_EQ(kFallbackPixelFormat.greenBits, 8u);
    EXPECT_EQ(kFallbackPixelFormat.blueBits, 8u);
    EXPECT_EQ(kFallbackPixelFormat.plainWord, 0u);
}

TEST(PixelFormatTable, FourCharacterCodesAreLittleEndianLetters) {
    EXPECT_EQ(static_cast<std::uint32_t>(D3DFMT_DXT1), 0x31545844u);
    EXPECT_EQ(LookUpPixelFormat(FourCC('A', 'L', '1', '6')).format, FMT_A16L16);
    EXPECT_EQ(LookUpPixelFormat(FourCC(' ', 'R', '1', '6')).bitsPerPixel, 48u);
}

}  // namespace
}  // namespace qv
