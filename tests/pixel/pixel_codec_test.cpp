// Row codecs: a hand-typed table of packed pixels and their decoded values,
// then the shared steps (dither, diffusion, palette search, gamma, colour
// key, range conversion) and the region set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "quorvane/pixel/pixel_codec.h"
#include "quorvane/pixel/pixel_format.h"

namespace qv {
namespace {

using CodecPtr = std::unique_ptr<PixelCodec>;

std::uint32_t BytesPerPixel(D3DFORMAT format) { return LookUpPixelFormat(format).bitsPerPixel / 8; }

PixelRegion Region(void* bits, D3DFORMAT format, std::uint32_t width, std::uint32_t height = 1,
                   std::uint32_t depth = 1) {
    PixelRegion region;
    region.bits = bits;
    region.format = format;
    region.rowPitch = width * BytesPerPixel(format);
    region.slicePitch = region.rowPitch * height;
    region.extent = region.box = PixelBox{0, 0, width, height, 0, depth};
    return region;
}

CodecPtr Make(const PixelRegion& region) { return CodecPtr(CreatePixelCodec(region)); }

std::uint64_t Read(const std::uint8_t* p, std::uint32_t bytes) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, bytes);
    return v;
}

// ---- the codec table, typed ----

enum Way { kBoth, kDecodeOnly, kEncodeOnly };

struct PixelCase {
    D3DFORMAT format;
    std::uint64_t packed;  // the pixel as stored, little-endian
    std::uint64_t mask;    // bits the encoder must reproduce (0: all of the pixel)
    float r, g, b, a;
    Way way = kBoth;
};

constexpr float k64 = 64 * (1.0f / 255);
constexpr float k128 = 128 * (1.0f / 255);

const PixelCase kPixelCases[] = {
    // Each field at its maximum alone, then all at their maximum.
    {D3DFMT_R8G8B8, 0x0000FF, 0, 0, 0, 1, 1},
    {D3DFMT_R8G8B8, 0x00FF00, 0, 0, 1, 0, 1},
    {D3DFMT_R8G8B8, 0xFF0000, 0, 1, 0, 0, 1},
    {D3DFMT_A8R8G8B8, 0x000000FF, 0, 0, 0, 1, 0},
    {D3DFMT_A8R8G8B8, 0x0000FF00, 0, 0, 1, 0, 0},
    {D3DFMT_A8R8G8B8, 0x00FF0000, 0, 1, 0, 0, 0},
    {D3DFMT_A8R8G8B8, 0xFF000000, 0, 0, 0, 0, 1},
    {D3DFMT_A8R8G8B8, 0xFFFFFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_X8R8G8B8, 0x000000FF, 0, 0, 0, 1, 1},
    {D3DFMT_X8R8G8B8, 0x0000FF00, 0, 0, 1, 0, 1},
    {D3DFMT_X8R8G8B8, 0x00FF0000, 0, 1, 0, 0, 1},
    {D3DFMT_X8R8G8B8, 0xFF000000, 0x00FFFFFF, 0, 0, 0, 1},
    {D3DFMT_X8R8G8B8, 0x00FFFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_R5G6B5, 0x001F, 0, 0, 0, 1, 1},
    {D3DFMT_R5G6B5, 0x07E0, 0, 0, 1, 0, 1},
    {D3DFMT_R5G6B5, 0xF800, 0, 1, 0, 0, 1},
    {D3DFMT_R5G6B5, 0xFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_X1R5G5B5, 0x001F, 0, 0, 0, 1, 1},
    {D3DFMT_X1R5G5B5, 0x03E0, 0, 0, 1, 0, 1},
    {D3DFMT_X1R5G5B5, 0x7C00, 0, 1, 0, 0, 1},
    {D3DFMT_X1R5G5B5, 0x8000, 0x7FFF, 0, 0, 0, 1},
    {D3DFMT_X1R5G5B5, 0x7FFF, 0, 1, 1, 1, 1},
    {D3DFMT_A1R5G5B5, 0x001F, 0, 0, 0, 1, 0},
    {D3DFMT_A1R5G5B5, 0x03E0, 0, 0, 1, 0, 0},
    {D3DFMT_A1R5G5B5, 0x7C00, 0, 1, 0, 0, 0},
    {D3DFMT_A1R5G5B5, 0x8000, 0, 0, 0, 0, 1},
    {D3DFMT_A1R5G5B5, 0xFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_A4R4G4B4, 0x000F, 0, 0, 0, 1, 0},
    {D3DFMT_A4R4G4B4, 0x00F0, 0, 0, 1, 0, 0},
    {D3DFMT_A4R4G4B4, 0x0F00, 0, 1, 0, 0, 0},
    {D3DFMT_A4R4G4B4, 0xF000, 0, 0, 0, 0, 1},
    {D3DFMT_A4R4G4B4, 0xFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_R3G3B2, 0x03, 0, 0, 0, 1, 1},
    {D3DFMT_R3G3B2, 0x1C, 0, 0, 1, 0, 1},
    {D3DFMT_R3G3B2, 0xE0, 0, 1, 0, 0, 1},
    {D3DFMT_R3G3B2, 0xFF, 0, 1, 1, 1, 1},
    {D3DFMT_A8, 0xFF, 0, 0, 0, 0, 1},
    {D3DFMT_A8, 0x00, 0, 0, 0, 0, 0},
    {D3DFMT_A8R3G3B2, 0x0003, 0, 0, 0, 1, 0},
    {D3DFMT_A8R3G3B2, 0x001C, 0, 0, 1, 0, 0},
    {D3DFMT_A8R3G3B2, 0x00E0, 0, 1, 0, 0, 0},
    {D3DFMT_A8R3G3B2, 0xFF00, 0, 0, 0, 0, 1},
    {D3DFMT_A8R3G3B2, 0xFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_X4R4G4B4, 0x000F, 0, 0, 0, 1, 1},
    {D3DFMT_X4R4G4B4, 0x00F0, 0, 0, 1, 0, 1},
    {D3DFMT_X4R4G4B4, 0x0F00, 0, 1, 0, 0, 1},
    {D3DFMT_X4R4G4B4, 0xF000, 0x0FFF, 0, 0, 0, 1},
    {D3DFMT_X4R4G4B4, 0x0FFF, 0, 1, 1, 1, 1},
    {D3DFMT_A2B10G10R10, 0x000003FF, 0, 1, 0, 0, 0},
    {D3DFMT_A2B10G10R10, 0x000FFC00, 0, 0, 1, 0, 0},
    {D3DFMT_A2B10G10R10, 0x3FF00000, 0, 0, 0, 1, 0},
    {D3DFMT_A2B10G10R10, 0xC0000000, 0, 0, 0, 0, 1},
    {D3DFMT_A2B10G10R10, 0xFFFFFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_A8B8G8R8, 0x000000FF, 0, 1, 0, 0, 0},
    {D3DFMT_A8B8G8R8, 0x0000FF00, 0, 0, 1, 0, 0},
    {D3DFMT_A8B8G8R8, 0x00FF0000, 0, 0, 0, 1, 0},
    {D3DFMT_A8B8G8R8, 0xFF000000, 0, 0, 0, 0, 1},
    {D3DFMT_A8B8G8R8, 0xFFFFFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_X8B8G8R8, 0x000000FF, 0, 1, 0, 0, 1},
    {D3DFMT_X8B8G8R8, 0x0000FF00, 0, 0, 1, 0, 1},
    {D3DFMT_X8B8G8R8, 0x00FF0000, 0, 0, 0, 1, 1},
    {D3DFMT_X8B8G8R8, 0xFF000000, 0x00FFFFFF, 0, 0, 0, 1},
    {D3DFMT_X8B8G8R8, 0x00FFFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_G16R16, 0x0000FFFF, 0, 1, 0, 1, 1},
    {D3DFMT_G16R16, 0xFFFF0000, 0, 0, 1, 1, 1},
    {D3DFMT_G16R16, 0xFFFFFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_A2R10G10B10, 0x000003FF, 0, 0, 0, 1, 0},
    {D3DFMT_A2R10G10B10, 0x000FFC00, 0, 0, 1, 0, 0},
    {D3DFMT_A2R10G10B10, 0x3FF00000, 0, 1, 0, 0, 0},
    {D3DFMT_A2R10G10B10, 0xC0000000, 0, 0, 0, 0, 1},
    {D3DFMT_A2R10G10B10, 0xFFFFFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_A16B16G16R16, 0x000000000000FFFF, 0, 1, 0, 0, 0},
    {D3DFMT_A16B16G16R16, 0x00000000FFFF0000, 0, 0, 1, 0, 0},
    {D3DFMT_A16B16G16R16, 0x0000FFFF00000000, 0, 0, 0, 1, 0},
    {D3DFMT_A16B16G16R16, 0xFFFF000000000000, 0, 0, 0, 0, 1},
    {D3DFMT_A16B16G16R16, 0xFFFFFFFFFFFFFFFF, 0, 1, 1, 1, 1},
    // Palette formats without a palette: every entry is (1, 1, 1, 1).
    {D3DFMT_P8, 0x00, 0, 1, 1, 1, 1},
    {D3DFMT_P8, 0xFF, 0, 1, 1, 1, 1, kDecodeOnly},
    {D3DFMT_A8P8, 0xFF00, 0, 1, 1, 1, 1},
    {D3DFMT_A8P8, 0x0000, 0, 1, 1, 1, 0},
    {D3DFMT_A8P8, 0x00FF, 0, 1, 1, 1, 0, kDecodeOnly},
    // Luminance: encoding weighs r, g, b (0.2125, 0.7154, 0.0721).
    {D3DFMT_L8, 0xFF, 0, 1, 1, 1, 1},
    {D3DFMT_L8, 0x36, 0, 1, 0, 0, 1, kEncodeOnly},
    {D3DFMT_L8, 0xB6, 0, 0, 1, 0, 1, kEncodeOnly},
    {D3DFMT_L8, 0x12, 0, 0, 0, 1, 1, kEncodeOnly},
    {D3DFMT_A8L8, 0x00FF, 0, 1, 1, 1, 0},
    {D3DFMT_A8L8, 0xFF00, 0, 0, 0, 0, 1},
    {D3DFMT_A8L8, 0xFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_A4L4, 0x0F, 0, 1, 1, 1, 0},
    {D3DFMT_A4L4, 0xF0, 0, 0, 0, 0, 1},
    {D3DFMT_A4L4, 0xFF, 0, 1, 1, 1, 1},
    {D3DFMT_L16, 0xFFFF, 0, 1, 1, 1, 1},
    {D3DFMT_L16, 0x3666, 0, 1, 0, 0, 1, kEncodeOnly},
    {D3DFMT_D16_LOCKABLE, 0xFFFF, 0, 1, 1, 1, 1},
    {FMT_A16L16, 0x0000FFFF, 0, 1, 1, 1, 0},
    {FMT_A16L16, 0xFFFF0000, 0, 0, 0, 0, 1},
    {FMT_A16L16, 0xFFFFFFFF, 0, 1, 1, 1, 1},
    {FMT_R16G16B16, 0x00000000FFFF, 0, 0, 0, 1, 1},
    {FMT_R16G16B16, 0x0000FFFF0000, 0, 0, 1, 0, 1},
    {FMT_R16G16B16, 0xFFFF00000000, 0, 1, 0, 0, 1},
    {FMT_R16G16B16, 0xFFFFFFFFFFFF, 0, 1, 1, 1, 1},
    // Signed formats decode as U, V, W, Q (or their constants).
    {D3DFMT_V8U8, 0x007F, 0, 1, 0, 1, 1},
    {D3DFMT_V8U8, 0x7F00, 0, 0, 1, 1, 1},
    {D3DFMT_V8U8, 0x7F7F, 0, 1, 1, 1, 1},
    {D3DFMT_L6V5U5, 0x000F, 0, 1, 0, 1, 0},
    {D3DFMT_L6V5U5, 0x01E0, 0, 0, 1, 1, 0},
    {D3DFMT_L6V5U5, 0xFC00, 0, 0, 0, 1, 1},
    {D3DFMT_L6V5U5, 0xFDEF, 0, 1, 1, 1, 1},
    {D3DFMT_L6V5U5, 0x0010, 0, -1, 0, 1, 0, kDecodeOnly},
    {D3DFMT_X8L8V8U8, 0x0000007F, 0, 1, 0, 1, 0},
    {D3DFMT_X8L8V8U8, 0x00007F00, 0, 0, 1, 1, 0},
    {D3DFMT_X8L8V8U8, 0x00FF0000, 0, 0, 0, 1, 1},
    {D3DFMT_X8L8V8U8, 0xFF000000, 0x00FFFFFF, 0, 0, 1, 0},
    {D3DFMT_X8L8V8U8, 0x00FF7F7F, 0, 1, 1, 1, 1},
    {D3DFMT_V16U16, 0x00007FFF, 0, 1, 0, 1, 1},
    {D3DFMT_V16U16, 0x7FFF0000, 0, 0, 1, 1, 1},
    {D3DFMT_V16U16, 0x80008001, 0, -1, -1, 1, 1, kDecodeOnly},
    {D3DFMT_A2W10V10U10, 0x000001FF, 0, 1, 0, 0, 0},
    {D3DFMT_A2W10V10U10, 0x0007FC00, 0, 0, 1, 0, 0},
    {D3DFMT_A2W10V10U10, 0x1FF00000, 0, 0, 0, 1, 0},
    {D3DFMT_A2W10V10U10, 0xC0000000, 0, 0, 0, 0, 1},
    {D3DFMT_A2W10V10U10, 0xDFF7FDFF, 0, 1, 1, 1, 1},
    {D3DFMT_CxV8U8, 0x0000, 0, 0, 0, 1, 1},
    {D3DFMT_CxV8U8, 0x007F, 0, 1, 0, 0, 1},
    {D3DFMT_CxV8U8, 0x7F00, 0, 0, 1, 0, 1},
    {D3DFMT_CxV8U8, 0x004C, 0, 3, 0, 4, 1, kEncodeOnly},  // normalised to (0.6, 0, 0.8)
    {D3DFMT_Q8W8V8U8, 0x0000007F, 0, 1, 0, 0, 0},
    {D3DFMT_Q8W8V8U8, 0x00007F00, 0, 0, 1, 0, 0},
    {D3DFMT_Q8W8V8U8, 0x007F0000, 0, 0, 0, 1, 0},
    {D3DFMT_Q8W8V8U8, 0x7F000000, 0, 0, 0, 0, 1},
    {D3DFMT_Q8W8V8U8, 0x7F7F7F7F, 0, 1, 1, 1, 1},
    {D3DFMT_Q8W8V8U8, 0x81818181, 0, -1, -1, -1, -1, kDecodeOnly},
    {D3DFMT_Q16W16V16U16, 0x0000000000007FFF, 0, 1, 0, 0, 0},
    {D3DFMT_Q16W16V16U16, 0x000000007FFF0000, 0, 0, 1, 0, 0},
    {D3DFMT_Q16W16V16U16, 0x00007FFF00000000, 0, 0, 0, 1, 0},
    {D3DFMT_Q16W16V16U16, 0x7FFF000000000000, 0, 0, 0, 0, 1},
    {D3DFMT_Q16W16V16U16, 0x8001800180018001, 0, -1, -1, -1, -1, kDecodeOnly},
    {D3DFMT_Q16W16V16U16, 0x8002800280028002, 0, -1, -1, -1, -1, kEncodeOnly},
    // Floats: missing channels read as 1.
    {D3DFMT_R16F, 0x3C00, 0, 1, 1, 1, 1},
    {D3DFMT_R16F, 0xC000, 0, -2, 1, 1, 1},
    {D3DFMT_G16R16F, 0x3C000000, 0, 0, 1, 1, 1},
    {D3DFMT_G16R16F, 0x00003800, 0, 0.5f, 0, 1, 1},
    {D3DFMT_A16B16G16R16F, 0x3C00000000000000, 0, 0, 0, 0, 1},
    {D3DFMT_A16B16G16R16F, 0x0000380000000000, 0, 0, 0, 0.5f, 0},
    {D3DFMT_A16B16G16R16F, 0x000000004000BC00, 0, -1, 2, 0, 0},
    {D3DFMT_R32F, 0x3F800000, 0, 1, 1, 1, 1},
    {D3DFMT_R32F, 0xC0200000, 0, -2.5f, 1, 1, 1},
    {D3DFMT_D32F_LOCKABLE, 0x3E800000, 0, 0.25f, 1, 1, 1},
    {D3DFMT_G32R32F, 0x3F80000000000000, 0, 0, 1, 1, 1},
    {D3DFMT_G32R32F, 0x0000000042C80000, 0, 100, 0, 1, 1},

    // Quantisation: the integer part of v * m + 0.5, clamped.
    {D3DFMT_A8R8G8B8, 0x80FF4000, 0, 1, k64, 0, k128},
    {D3DFMT_A8, 0x80, 0, 0, 0, 0, 0.5f, kEncodeOnly},
    {D3DFMT_A8, 0x7F, 0, 0, 0, 0, 0.499f, kEncodeOnly},
    {D3DFMT_A8R8G8B8, 0x00FF0080, 0, 2, -1, 0.5f, -3, kEncodeOnly},
    {D3DFMT_X8R8G8B8, 0x00FF8000, 0, 1, 0.5f, 0, 0.3f, kEncodeOnly},
    {D3DFMT_A1R5G5B5, 0x8000, 0, 0, 0, 0, 0.5f, kEncodeOnly},
    {D3DFMT_A1R5G5B5, 0x0000, 0, 0, 0, 0, 0.49f, kEncodeOnly},
    {D3DFMT_V8U8, 0x0000, 0, -0.01f, 0, 1, 1, kEncodeOnly},
    {D3DFMT_V8U8, 0x0082, 0, -1.0f, 0, 1, 1, kEncodeOnly},
    {D3DFMT_V8U8, 0x007F, 0, 1.0f, 0, 0, 0, kEncodeOnly},
    {D3DFMT_V8U8, 0x8100, 0, 0, -2.0f, 1, 1, kEncodeOnly},
    {D3DFMT_V8U8, 0x7F00, 0, 0, 2.0f, 1, 1, kEncodeOnly},
    {D3DFMT_V8U8, 0x0080, 0, -1, 0, 1, 1, kDecodeOnly},
    {D3DFMT_V8U8, 0x0081, 0, -1, 0, 1, 1, kDecodeOnly},
    {D3DFMT_Q8W8V8U8, 0x00000080, 0, -1, 0, 0, 0, kDecodeOnly},
    // The unsigned L and A fields of signed formats clamp at 0 rather than
    // wrapping a negative value into their bits.
    {D3DFMT_X8L8V8U8, 0x00000000, 0, 0, 0, 0, -0.5f, kEncodeOnly},
    {D3DFMT_L6V5U5, 0x0000, 0, 0, 0, 0, -1.0f, kEncodeOnly},
    {D3DFMT_A2W10V10U10, 0xC0000000, 0, 0, 0, 0, 1.5f, kEncodeOnly},
};

std::string Describe(const PixelCase& c) {
    char text[96];
    std::snprintf(text, sizeof text, "format %u packed 0x%llx", static_cast<unsigned>(c.format),
                  static_cast<unsigned long long>(c.packed));
    return text;
}

TEST(RowCodecs, DecodeAndEncodeTheTypedTable) {
    for (const PixelCase& c : kPixelCases) {
        SCOPED_TRACE(Describe(c));
        const std::uint32_t bytes = BytesPerPixel(c.format);
        ASSERT_LE(bytes, 8u);
        std::uint8_t memory[8] = {};
        std::memcpy(memory, &c.packed, bytes);
        PixelRegion region = Region(memory, c.format, 1);
        CodecPtr codec = Make(region);
        ASSERT_TRUE(codec);
        EXPECT_EQ(codec->bytesPerPixel, bytes);

        if (c.way != kEncodeOnly) {
            FloatPixel out{-9, -9, -9, -9};
            codec->DecodeRow(0, 0, &out);
            EXPECT_EQ(out.r, c.r);
            EXPECT_EQ(out.g, c.g);
            EXPECT_EQ(out.b, c.b);
            EXPECT_EQ(out.a, c.a);
        }
        if (c.way != kDecodeOnly) {
            std::memset(memory, 0xA5, sizeof memory);
            FloatPixel in{c.r, c.g, c.b, c.a};
            codec->EncodeRow(0, 0, &in);
            const std::uint64_t all = bytes == 8 ? ~0ull : (1ull << (8 * bytes)) - 1;
            const std::uint64_t mask = c.mask ? c.mask : all;
            EXPECT_EQ(Read(memory, bytes) & mask, c.packed & mask);
            // The encoder writes its own bytes and nothing beyond.
            for (std::uint32_t i = bytes; i < 8; ++i) EXPECT_EQ(memory[i], 0xA5);
        }
    }
}

TEST(RowCodecs, FourFloatPixelsRoundTrip) {
    const float values[4] = {-1.5f, 0.25f, 1e6f, -0.0f};
    std::uint8_t memory[16];
    std::memcpy(memory, values, sizeof values);
    CodecPtr codec = Make(Region(memory, D3DFMT_A32B32G32R32F, 1));
    ASSERT_TRUE(codec);
    FloatPixel out;
    codec->DecodeRow(0, 0, &out);
    EXPECT_EQ(out.r, -1.5f);
    EXPECT_EQ(out.g, 0.25f);
    EXPECT_EQ(out.b, 1e6f);
    EXPECT_EQ(out.a, 0.0f);
    FloatPixel in{3, -4, 5, 2};
    codec->EncodeRow(0, 0, &in);
    float stored[4];
    std::memcpy(stored, memory, sizeof stored);
    EXPECT_EQ(stored[0], 3);
    EXPECT_EQ(stored[1], -4);
    EXPECT_EQ(stored[2], 5);
    EXPECT_EQ(stored[3], 2);
}

// Half rows at an odd address go through an aligned copy; results agree.
TEST(RowCodecs, HalfRowsAtAnyAddress) {
    const std::uint16_t halves[8] = {0x3C00, 0xB800, 0x4000, 0x0001, 0x7BFF, 0x8000, 0x3555, 0x0400};
    alignas(8) std::uint8_t aligned[16], shifted[17];
    std::memcpy(aligned, halves, 16);
    std::memcpy(shifted + 1, halves, 16);
    FloatPixel a[2], b[2];
    Make(Region(aligned, D3DFMT_A16B16G16R16F, 2))->DecodeRow(0, 0, a);
    Make(Region(shifted + 1, D3DFMT_A16B16G16R16F, 2))->DecodeRow(0, 0, b);
    EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
    EXPECT_EQ(a[0].r, 1.0f);
    EXPECT_EQ(a[0].g, -0.5f);
    EXPECT_EQ(a[1].r, 65504.0f);
    std::memset(shifted, 0, sizeof shifted);
    Make(Region(shifted + 1, D3DFMT_A16B16G16R16F, 2))->EncodeRow(0, 0, a);
    EXPECT_EQ(std::memcmp(shifted + 1, halves, 16), 0);
    EXPECT_EQ(shifted[0], 0);
}

TEST(RowCodecs, FormatsWithoutARowCodec) {
    std::uint8_t memory[16] = {};
    for (D3DFORMAT format : {D3DFMT_D24S8, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24X8, D3DFMT_D24X4S4, D3DFMT_D16,
                             D3DFMT_D24FS8, D3DFMT_UNKNOWN, D3DFMT_INDEX16, static_cast<D3DFORMAT>(12345)})
        EXPECT_FALSE(Make(Region(memory, format, 1))) << static_cast<std::uint32_t>(format);
}

// Long rows run four pixels at a time with a tail; every pixel of a row must
// come out as it does alone, out-of-range and NaN inputs included.
TEST(RowCodecs, LongRowsMatchSinglePixels) {
    const D3DFORMAT formats[] = {D3DFMT_A2R10G10B10, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5,
                                 D3DFMT_A8,          D3DFMT_A4L4,     D3DFMT_A8L8,   D3DFMT_R8G8B8,
                                 D3DFMT_V8U8,        D3DFMT_L6V5U5,   D3DFMT_Q8W8V8U8, D3DFMT_A2W10V10U10,
                                 D3DFMT_Q16W16V16U16, FMT_A16L16};
    const std::uint32_t width = 37;
    for (D3DFORMAT format : formats) {
        SCOPED_TRACE(::testing::Message() << "format " << static_cast<std::uint32_t>(format));
        const std::uint32_t bytes = BytesPerPixel(format);
        std::vector<std::uint8_t> row(width * bytes);
        std::uint32_t seed = 99;
        for (std::uint8_t& b : row) b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
        std::vector<FloatPixel> pixels(width);
        Make(Region(row.data(), format, width))->DecodeRow(0, 0, pixels.data());
        for (std::uint32_t x = 0; x < width; ++x) {
            FloatPixel p;
            Make(Region(&row[x * bytes], format, 1))->DecodeRow(0, 0, &p);
            EXPECT_EQ(std::memcmp(&p, &pixels[x], sizeof p), 0) << "decode " << x;
        }

        std::vector<FloatPixel> in(width);
        for (std::uint32_t x = 0; x < width; ++x) {
            const auto f = [&] { return static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 13981013.0f - 0.1f; };
            in[x] = {f(), f(), f(), f()};
        }
        in[5].g = NAN;
        std::vector<FloatPixel> copy = in;
        std::vector<std::uint8_t> encoded(width * bytes, 0xA5);
        Make(Region(encoded.data(), format, width))->EncodeRow(0, 0, copy.data());
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t one[8];
            FloatPixel p = in[x];
            Make(Region(one, format, 1))->EncodeRow(0, 0, &p);
            EXPECT_EQ(std::memcmp(one, &encoded[x * bytes], bytes), 0) << "encode " << x;
        }
    }
}

// ---- region set-up ----

TEST(RowCodecs, BoxSelectsRowsAndSlicesWithinPitches) {
    // A 4 x 3 x 2 volume of A8L8 with a row pitch of 10 bytes; the box is
    // columns 1-2, rows 1-2, slice 1.
    std::vector<std::uint8_t> memory(2 * 3 * 10, 0);
    for (std::uint32_t z = 0; z < 2; ++z)
        for (std::uint32_t y = 0; y < 3; ++y)
            for (std::uint32_t x = 0; x < 4; ++x) memory[z * 30 + y * 10 + x * 2] = static_cast<std::uint8_t>(100 * z + 10 * y + x);
    PixelRegion region = Region(memory.data(), D3DFMT_A8L8, 4, 3, 2);
    region.rowPitch = 10;
    region.slicePitch = 30;
    region.box = PixelBox{1, 1, 3, 3, 1, 2};
    CodecPtr codec = Make(region);
    ASSERT_TRUE(codec);
    EXPECT_EQ(codec->width, 2u);
    EXPECT_EQ(codec->height, 2u);
    EXPECT_EQ(codec->depth, 1u);
    EXPECT_EQ(codec->rowBytes, 4u);
    EXPECT_EQ(codec->origin, memory.data() + 30 + 10 + 2);
    FloatPixel out[2];
    codec->DecodeRow(1, 0, out);
    EXPECT_EQ(out[0].r, 121 * (1.0f / 255));
    EXPECT_EQ(out[1].r, 122 * (1.0f / 255));

    FloatPixel in[2] = {{1, 1, 1, 1}, {1, 1, 1, 1}};
    codec->EncodeRow(0, 0, in);
    for (std::uint32_t z = 0; z < 2; ++z)
        for (std::uint32_t y = 0; y < 3; ++y)
            for (std::uint32_t x = 0; x < 4; ++x) {
                const bool inside = z == 1 && y == 1 && (x == 1 || x == 2);
                EXPECT_EQ(memory[z * 30 + y * 10 + x * 2], inside ? 255 : 100 * z + 10 * y + x) << z << y << x;
            }
}

TEST(RowCodecs, RefusesBoxesThatCannotBeRows) {
    std::uint8_t memory[16] = {};
    PixelRegion inverted = Region(memory, D3DFMT_A8R8G8B8, 2);
    inverted.box = PixelBox{2, 0, 1, 1, 0, 1};
    EXPECT_FALSE(Make(inverted));
    PixelRegion huge = Region(memory, D3DFMT_A8R8G8B8, 1);
    huge.box.right = 0xFFFFFFF0u;
    huge.diffuse = 1;
    EXPECT_FALSE(Make(huge));
    EXPECT_FALSE(Make(Region(nullptr, D3DFMT_A8R8G8B8, 1)));
}

// ---- ordered dither ----

// With the 1-bit alpha of A1R5G5B5 the stored bit is 1 exactly when a + d
// reaches 1, so two encodes 1/64 apart pin the dither value d of a pixel.
TEST(OrderedDither, ValueOfEachPositionOnEvenAndOddRows) {
    struct Probe {
        std::uint32_t row, slice, x, d32;
    };
    const Probe probes[] = {
        {0, 0, 0, 31}, {0, 0, 1, 15}, {0, 0, 4, 31},           // row 0 runs left to right
        {1, 0, 4, 7},  {1, 0, 3, 23}, {1, 0, 0, 7},            // row 1 starts at the right (width 5)
        {2, 0, 1, 9},  {3, 0, 4, 1},  {3, 0, 2, 5},            // rows 2 and 3
        {0, 1, 0, 15}, {1, 1, 4, 23}, {5, 2, 4, 3},            // slices shift the column; row 5 is row 1
    };
    const std::uint32_t width = 5;
    for (const Probe& p : probes) {
        SCOPED_TRACE(::testing::Message() << "row " << p.row << " slice " << p.slice << " x " << p.x);
        for (int side : {-1, 1}) {
            std::vector<std::uint16_t> memory(width * 6 * 3, 0);
            PixelRegion region = Region(memory.data(), D3DFMT_A1R5G5B5, width, 6, 3);
            region.dither = 1;
            CodecPtr codec = Make(region);
            const float a = 1.0f - p.d32 / 32.0f + side / 64.0f;
            std::vector<FloatPixel> in(width, FloatPixel{0, 0, 0, a});
            codec->EncodeRow(p.row, p.slice, in.data());
            const std::uint16_t stored = memory[p.slice * width * 6 + p.row * width + p.x];
            EXPECT_EQ(stored >> 15, side > 0 ? 1 : 0);
        }
    }
}

TEST(OrderedDither, OffRoundsEveryPixel) {
    std::vector<std::uint8_t> memory(16);
    CodecPtr codec = Make(Region(memory.data(), D3DFMT_A8, 8, 2));
    for (std::uint32_t row = 0; row < 2; ++row) {
        std::vector<FloatPixel> in(8, FloatPixel{0, 0, 0, 100.5f / 255});
        codec->EncodeRow(row, 0, in.data());
    }
    for (std::uint8_t v : memory) EXPECT_EQ(v, 101);
}

// ---- error diffusion ----

struct Diffused {
    std::vector<std::uint16_t> memory;
    CodecPtr codec;
    Diffused(std::uint32_t width, std::uint32_t height) : memory(width * height, 0) {
        PixelRegion region = Region(memory.data(), D3DFMT_A1R5G5B5, width, height);
        region.diffuse = 1;
        codec = Make(region);
    }
    void Encode(std::uint32_t row, std::vector<float> alphas) {
        std::vector<FloatPixel> in;
        for (float a : alphas) in.push_back({0, 0, 0, a});
        codec->EncodeRow(row, 0, in.data());
    }
    int Bit(std::uint32_t i) const { return memory[i] >> 15; }
};

TEST(ErrorDiffusion, CarriesErrorDownAndAlongTheRow) {
    // 0.4 rounds to 0 alone; 5/16 of its error below lifts the next 0.4 to 1.
    Diffused down(1, 2);
    down.Encode(0, {0.4f});
    down.Encode(1, {0.4f});
    EXPECT_EQ(down.Bit(0), 0);
    EXPECT_EQ(down.Bit(1), 1);

    // 7/16 of the error goes to the next pixel in processing order: left to
    // right on even rows, right to left on odd rows.
    Diffused along(2, 2);
    along.Encode(0, {0, 0});
    along.Encode(1, {0.4f, 0.4f});
    EXPECT_EQ(along.Bit(2), 1);
    EXPECT_EQ(along.Bit(3), 0);
    Diffused even(2, 1);
    even.Encode(0, {0.4f, 0.4f});
    EXPECT_EQ(even.Bit(0), 0);
    EXPECT_EQ(even.Bit(1), 1);
}

TEST(ErrorDiffusion, KeepsTheMeanOfAnArea) {
    const std::uint32_t size = 16;
    Diffused area(size, size);
    for (std::uint32_t y = 0; y < size; ++y) area.Encode(y, std::vector<float>(size, 0.25f));
    int ones = 0;
    for (std::uint32_t i = 0; i < size * size; ++i) ones += area.Bit(i);
    EXPECT_NEAR(ones, 64, 3);
}

// ---- palettes ----

struct Palette {
    PALETTEENTRY entries[256];
    Palette() {
        for (PALETTEENTRY& e : entries) e = {0, 255, 255, 0};
        entries[3] = {0, 0, 0, 0};
        entries[7] = {255, 0, 0, 255};
    }
};

TEST(PaletteCodecs, SearchBreaksTiesTowardTheLowestIndex) {
    // (0.5, 0, 0, 1) is 0.25 from entries 3 and 7 in r, g, b; alpha separates
    // them for P8 only.
    Palette palette;
    std::uint8_t p8 = 0xEE;
    PixelRegion region = Region(&p8, D3DFMT_P8, 1);
    region.palette = palette.entries;
    FloatPixel in{0.5f, 0, 0, 1};
    Make(region)->EncodeRow(0, 0, &in);
    EXPECT_EQ(p8, 7);
    palette.entries[3].peFlags = 255;
    in = {0.5f, 0, 0, 1};
    Make(region)->EncodeRow(0, 0, &in);
    EXPECT_EQ(p8, 3);

    Palette alphaBlind;
    std::uint16_t a8p8 = 0xEEEE;
    PixelRegion withAlpha = Region(&a8p8, D3DFMT_A8P8, 1);
    withAlpha.palette = alphaBlind.entries;
    in = {0.5f, 0, 0, 1};
    Make(withAlpha)->EncodeRow(0, 0, &in);
    EXPECT_EQ(a8p8, 0xFF03);
}

TEST(PaletteCodecs, DecodeLooksUpTheEntry) {
    Palette palette;
    std::uint8_t p8[2] = {7, 3};
    PixelRegion region = Region(p8, D3DFMT_P8, 2);
    region.palette = palette.entries;
    FloatPixel out[2];
    Make(region)->DecodeRow(0, 0, out);
    EXPECT_EQ(out[0].r, 1);
    EXPECT_EQ(out[0].a, 1);
    EXPECT_EQ(out[1].r, 0);
    EXPECT_EQ(out[1].g, 0);
    EXPECT_EQ(out[1].a, 0);

    std::uint16_t a8p8 = 0x8007;
    PixelRegion withAlpha = Region(&a8p8, D3DFMT_A8P8, 1);
    withAlpha.palette = palette.entries;
    Make(withAlpha)->DecodeRow(0, 0, out);
    EXPECT_EQ(out[0].r, 1);
    EXPECT_EQ(out[0].g, 0);
    EXPECT_EQ(out[0].a, k128);
}

// ---- gamma ----

float EncodeFloatThroughGamma(float v) {
    float memory[4] = {};
    PixelRegion region = Region(memory, D3DFMT_A32B32G32R32F, 1);
    region.srgb = 1;
    FloatPixel in{v, v, v, v};
    Make(region)->EncodeRow(0, 0, &in);
    EXPECT_EQ(memory[3], v);  // alpha carries no gamma
    return memory[0];
}

float DecodeFloatThroughGamma(float v) {
    float memory[4] = {v, v, v, v};
    PixelRegion region = Region(memory, D3DFMT_A32B32G32R32F, 1);
    region.srgb = 1;
    FloatPixel out;
    Make(region)->DecodeRow(0, 0, &out);
    EXPECT_EQ(out.a, v);
    return out.r;
}

TEST(Gamma, TableFormFollowsThePowerOf2Point2) {
    EXPECT_NEAR(EncodeFloatThroughGamma(0.5f), 0.729740f, 2e-5f);
    EXPECT_NEAR(DecodeFloatThroughGamma(0.5f), 0.217638f, 2e-5f);
    EXPECT_EQ(EncodeFloatThroughGamma(0.0f), 0.0f);
    EXPECT_EQ(EncodeFloatThroughGamma(1.0f), 1.0f);
    EXPECT_EQ(DecodeFloatThroughGamma(0.0f), 0.0f);
    EXPECT_EQ(DecodeFloatThroughGamma(1.0f), 1.0f);
    for (float v : {0.01f, 0.2f, 0.9f}) {
        EXPECT_NEAR(EncodeFloatThroughGamma(v), std::pow(v, 1 / 2.2f), 2e-3f) << v;
        EXPECT_NEAR(DecodeFloatThroughGamma(v), std::pow(v, 2.2f), 2e-3f) << v;
    }
}

TEST(Gamma, InputsOutsideTheTableClampToItsEnds) {
    EXPECT_EQ(EncodeFloatThroughGamma(4.0f), 1.0f);
    EXPECT_EQ(EncodeFloatThroughGamma(-0.5f), 0.0f);
    EXPECT_EQ(EncodeFloatThroughGamma(INFINITY), 1.0f);
    EXPECT_EQ(DecodeFloatThroughGamma(3.0f), 1.0f);
}

TEST(Gamma, EncodesIntegerFormatsBeforeQuantising) {
    std::uint32_t memory = 0;
    PixelRegion region = Region(&memory, D3DFMT_A8R8G8B8, 1);
    region.srgb = 1;
    FloatPixel in{0.5f, 0, 1, 0.5f};
    Make(region)->EncodeRow(0, 0, &in);
    EXPECT_EQ(memory, 0x80BA00FFu);  // 0.72974 * 255 = 186.08
}

TEST(Gamma, BothSidesEncodedUseTheSquareAndTheRoot) {
    float source[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    float dest[4] = {};
    PixelRegion from = Region(source, D3DFMT_A32B32G32R32F, 1);
    PixelRegion to = Region(dest, D3DFMT_A32B32G32R32F, 1);
    from.srgb = to.srgb = 1;
    CodecPtr src = Make(from), dst = Make(to);
    ASSERT_EQ(LinkSource(dst.get(), src.get()), S_OK);
    EXPECT_TRUE(src->bothSrgb);
    EXPECT_TRUE(dst->bothSrgb);
    FloatPixel p;
    src->DecodeRow(0, 0, &p);
    EXPECT_EQ(p.r, 0.25f);
    p = {0.25f, 0.25f, 0.25f, 0.25f};
    dst->EncodeRow(0, 0, &p);
    EXPECT_EQ(dest[0], 0.5f);
    EXPECT_EQ(dest[3], 0.25f);
}

TEST(Gamma, SignedFormatsKeepItOnlyOnTheLuminanceOfL6V5U5) {
    std::uint16_t memory = 0;
    PixelRegion region = Region(&memory, D3DFMT_V8U8, 1);
    region.srgb = 1;
    EXPECT_FALSE(Make(region)->srgb);
    region.format = D3DFMT_L6V5U5;
    CodecPtr l6 = Make(region);
    EXPECT_TRUE(l6->srgb);
    FloatPixel in{0.5f, 0.5f, 0, 0.5f};  // L = 0.72974 * 63 = 45.97 -> 46
    l6->EncodeRow(0, 0, &in);
    EXPECT_EQ(memory, (46 << 10) | (8 << 5) | 8);
}

// ---- colour key ----

TEST(ColorKey, PixelsEqualToTheKeyBecomeTransparentBlack) {
    std::uint32_t memory[3] = {0xFF00FF00, 0xFF00FE00, 0x7F00FF00};
    PixelRegion region = Region(memory, D3DFMT_A8R8G8B8, 3);
    region.colorKey = 0xFF00FF00;
    FloatPixel out[3];
    Make(region)->DecodeRow(0, 0, out);
    EXPECT_EQ(out[0].r, 0);
    EXPECT_EQ(out[0].g, 0);
    EXPECT_EQ(out[0].a, 0);
    EXPECT_EQ(out[1].g, 254 * (1.0f / 255));
    EXPECT_EQ(out[2].g, 1);
    EXPECT_EQ(out[2].a, 127 * (1.0f / 255));
}

// The key is compared after the format's own quantisation: a pixel stored
// from the key (by a codec without key or gamma) reads as keyed, gamma-encoded
// memory included.
TEST(ColorKey, MatchesThePixelStoredFromTheKey) {
    struct KeyCase {
        D3DFORMAT format;
        std::uint32_t key;
        bool srgb, dither;
    };
    const KeyCase cases[] = {
        {D3DFMT_R5G6B5, 0xFF123456, false, false},  {D3DFMT_R5G6B5, 0xFF123456, false, true},
        {D3DFMT_R5G6B5, 0xFF808080, true, false},   {D3DFMT_A4L4, 0x80406080, false, false},
        {D3DFMT_V8U8, 0xFF80FF00, false, false},    {D3DFMT_L6V5U5, 0x80FF8040, true, false},
        {D3DFMT_A16B16G16R16F, 0x40102030, true, false}, {D3DFMT_R3G3B2, 0x01000001, false, false},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "format " << static_cast<std::uint32_t>(c.format) << " key " << std::hex
                                          << c.key);
        std::uint8_t memory[16] = {};
        PixelRegion plain = Region(memory, c.format, 2);
        const float s = 1.0f / 255;
        FloatPixel key{((c.key >> 16) & 0xFF) * s, ((c.key >> 8) & 0xFF) * s, (c.key & 0xFF) * s, (c.key >> 24) * s};
        if (LookUpPixelFormat(c.format).kind == PixelKind::Signed)
            key = {key.r * 2 - 1, key.g * 2 - 1, key.b * 2 - 1, key.a};
        FloatPixel row[2] = {key, {0.1f, 0.9f, 0.2f, 1.0f}};
        Make(plain)->EncodeRow(0, 0, row);

        PixelRegion keyed = plain;
        keyed.colorKey = c.key;
        keyed.dither = c.dither;
        keyed.srgb = c.srgb;
        CodecPtr codec = Make(keyed);
        ASSERT_TRUE(codec);
        FloatPixel out[2];
        codec->DecodeRow(0, 0, out);
        EXPECT_EQ(out[0].r, 0);
        EXPECT_EQ(out[0].g, 0);
        EXPECT_EQ(out[0].b, 0);
        EXPECT_EQ(out[0].a, 0);
        EXPECT_NE(out[1].a, 0);
    }
}

TEST(ColorKey, RoundTripLeavesTheDiffusionRowAlone) {
    std::vector<std::uint16_t> plainMemory(4), keyedMemory(4);
    PixelRegion plain = Region(plainMemory.data(), D3DFMT_R5G6B5, 4);
    plain.diffuse = 1;
    PixelRegion keyed = plain;
    keyed.bits = keyedMemory.data();
    keyed.colorKey = 0xFF0F0F0F;  // quantises with a large error
    CodecPtr a = Make(plain), b = Make(keyed);
    FloatPixel rowA[4] = {{0.3f, 0.3f, 0.3f, 1}, {0.3f, 0.3f, 0.3f, 1}, {0.3f, 0.3f, 0.3f, 1}, {0.3f, 0.3f, 0.3f, 1}};
    FloatPixel rowB[4];
    std::memcpy(rowB, rowA, sizeof rowA);
    a->EncodeRow(0, 0, rowA);
    b->EncodeRow(0, 0, rowB);
    EXPECT_EQ(plainMemory, keyedMemory);
}

// ---- range conversion ----

TEST(RangeConversion, LinkedSourceRangeIsConvertedOnEncode) {
    struct RangeCase {
        D3DFORMAT source, dest;
        FloatPixel in;
        std::uint64_t packed;
    };
    const RangeCase cases[] = {
        // SignedXyz -> Unsigned: r, g, b to (v + 1) / 2, a copied.
        {D3DFMT_V8U8, D3DFMT_A8R8G8B8, {-1, 1, 0, 0.5f}, 0x8000FF80},
        // Unsigned -> Signed: all four to 2v - 1.
        {D3DFMT_A8R8G8B8, D3DFMT_Q8W8V8U8, {0, 1, 0.5f, 0.75f}, 0x40007F82},
        // Signed -> SignedXyz: a to (v + 1) / 2.
        {D3DFMT_Q8W8V8U8, D3DFMT_A2W10V10U10, {0.5f, -0.5f, 1, -1}, 0x1FFC0500},  // U 256, V -255, W 511, A 0
        {D3DFMT_Q8W8V8U8, D3DFMT_A2W10V10U10, {0, 0, 0, 1}, 0xC0000000},
        // Float -> Unsigned: clamped.
        {D3DFMT_A32B32G32R32F, D3DFMT_A8L8, {7, 7, 7, -2}, 0x00FF},
        // Unsigned -> Float: no conversion.
        {D3DFMT_A8R8G8B8, D3DFMT_R32F, {0.25f, 0, 0, 0}, 0x3E800000},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<std::uint32_t>(c.source) << " -> "
                                          << static_cast<std::uint32_t>(c.dest));
        std::uint8_t src[16] = {}, dst[16] = {};
        CodecPtr from = Make(Region(src, c.source, 1));
        CodecPtr to = Make(Region(dst, c.dest, 1));
        ASSERT_EQ(LinkSource(to.get(), from.get()), S_OK);
        FloatPixel in = c.in;
        to->EncodeRow(0, 0, &in);
        EXPECT_EQ(Read(dst, BytesPerPixel(c.dest)), c.packed);
    }
}

TEST(RangeConversion, LinkSourceChecksItsArguments) {
    std::uint32_t memory = 0;
    CodecPtr codec = Make(Region(&memory, D3DFMT_A8R8G8B8, 1));
    EXPECT_EQ(LinkSource(codec.get(), nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(LinkSource(nullptr, codec.get()), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace qv
