// DirectDraw Surface files: 2D textures, cube maps and volumes with any
// number of mip levels, in the 48 pixel formats of the mapping table below.
//
// Nothing is copied or converted: every record points into the file image.
// The reader's work is to recognise the pixel format, size every level and
// face, check that each fits in the data and chain one record per level and
// face.
#include <cstdint>
#include <new>

#include "image/byte_cursor.h"
#include "image/readers.h"
#include "quorvane/pixel/pixel_format.h"

namespace qv {
namespace {

constexpr std::uint32_t kHeaderSize = 128;
constexpr std::uint32_t kPaletteBytes = 1024;
constexpr std::uint32_t kDepthFlag = 0x800000;  // DDSD_DEPTH
constexpr std::uint32_t kAllFaces = 0xFC00;     // DDSCAPS2_CUBEMAP_POSITIVEX .. NEGATIVEZ
// Levels per face. A 32-bit size reaches 1 x 1 within 33 levels; counts
// beyond this are forged, and each level is a record in a chain that is
// released recursively.
constexpr std::uint32_t kMaxLevels = 64;

// Pixel format flags.
constexpr std::uint32_t kAlphaPixels = 0x1;
constexpr std::uint32_t kAlpha = 0x2;
constexpr std::uint32_t kFourCC = 0x4;
constexpr std::uint32_t kPaletteIndexed8 = 0x20;
constexpr std::uint32_t kRgb = 0x40;
constexpr std::uint32_t kZBuffer = 0x400;
constexpr std::uint32_t kStencilBuffer = 0x4000;
constexpr std::uint32_t kLuminance = 0x20000;
constexpr std::uint32_t kBumpLuminance = 0x40000;
constexpr std::uint32_t kBumpDuDv = 0x80000;

struct DdsPixelFormat {
    std::uint32_t size;
    std::uint32_t flags;
    std::uint32_t fourCC;
    std::uint32_t bitCount;
    std::uint32_t masks[4];  // red (luminance, U), green (V, z), blue, alpha
};

struct FormatRow {
    D3DFORMAT format;
    std::uint32_t flags;
    std::uint32_t fourCC;
    std::uint32_t bitCount;
    std::uint32_t red, green, blue, alpha;
};

// Tried in this order; the first row that matches wins. Rows 12 and 16 pair
// red mask 0x3FF00000 with A2B10G10R10 and red mask 0x3FF with A2R10G10B10,
// the reverse of the format names; files are read with this pairing.
// clang-format off
constexpr FormatRow kFormatRows[] = {
    // format                  flags                            fourCC                        bits  red          green        blue         alpha
    {D3DFMT_R8G8B8,            kRgb,                            0,                            24,   0xFF0000,    0xFF00,      0xFF,        0},
    {D3DFMT_A8R8G8B8,          kAlphaPixels | kRgb,             0,                            32,   0xFF0000,    0xFF00,      0xFF,        0xFF000000},
    {D3DFMT_X8R8G8B8,          kRgb,                            0,                            32,   0xFF0000,    0xFF00,      0xFF,        0},
    {D3DFMT_R5G6B5,            kRgb,                            0,                            16,   0xF800,      0x7E0,       0x1F,        0},
    {D3DFMT_X1R5G5B5,          kRgb,                            0,                            16,   0x7C00,      0x3E0,       0x1F,        0},
    {D3DFMT_A1R5G5B5,          kAlphaPixels | kRgb,             0,                            16,   0x7C00,      0x3E0,       0x1F,        0x8000},
    {D3DFMT_A4R4G4B4,          kAlphaPixels | kRgb,             0,                            16,   0xF00,       0xF0,        0xF,         0xF000},
    {D3DFMT_R3G3B2,            kRgb,                            0,                            8,    0xE0,        0x1C,        0x3,         0},
    {D3DFMT_A8,                kAlpha,                          0,                            8,    0,           0,           0,           0xFF},
    {D3DFMT_A8R3G3B2,          kAlphaPixels | kRgb,             0,                            16,   0xE0,        0x1C,        0x3,         0xFF00},
    {D3DFMT_X4R4G4B4,          kRgb,                            0,                            16,   0xF00,       0xF0,        0xF,         0},
    {D3DFMT_A2B10G10R10,       kAlphaPixels | kRgb,             0,                            32,   0x3FF00000,  0xFFC00,     0x3FF,       0xC0000000},
    {D3DFMT_A8B8G8R8,          kAlphaPixels | kRgb,             0,                            32,   0xFF,        0xFF00,      0xFF0000,    0xFF000000},
    {D3DFMT_X8B8G8R8,          kRgb,                            0,                            32,   0xFF,        0xFF00,      0xFF0000,    0},
    {D3DFMT_G16R16,            kRgb,                            0,                            32,   0xFFFF,      0xFFFF0000,  0,           0},
    {D3DFMT_A2R10G10B10,       kAlphaPixels | kRgb,             0,                            32,   0x3FF,       0xFFC00,     0x3FF00000,  0xC0000000},
    {D3DFMT_A8P8,              kAlphaPixels | kPaletteIndexed8, 0,                            16,   0,           0,           0,           0xFF00},
    {D3DFMT_P8,                kPaletteIndexed8,                0,                            8,    0,           0,           0,           0},
    {D3DFMT_L8,                kLuminance,                      0,                            8,    0xFF,        0,           0,           0},
    {D3DFMT_A8L8,              kAlphaPixels | kLuminance,       0,                            16,   0xFF,        0,           0,           0xFF00},
    {D3DFMT_A4L4,              kAlphaPixels | kLuminance,       0,                            8,    0xF,         0,           0,           0xF0},
    {D3DFMT_L16,               kLuminance,                      0,                            16,   0xFFFF,      0,           0,           0},
    {D3DFMT_V8U8,              kBumpDuDv,                       0,                            16,   0xFF,        0xFF00,      0,           0},
    {D3DFMT_L6V5U5,            kBumpLuminance,                  0,                            16,   0x1F,        0x3E0,       0xFC00,      0},
    {D3DFMT_X8L8V8U8,          kBumpLuminance,                  0,                            32,   0xFF,        0xFF00,      0xFF0000,    0},
    {D3DFMT_Q8W8V8U8,          kBumpDuDv,                       0,                            32,   0xFF,        0xFF00,      0xFF0000,    0xFF000000},
    {D3DFMT_V16U16,            kBumpDuDv,                       0,                            32,   0xFFFF,      0xFFFF0000,  0,           0},
    {D3DFMT_A2W10V10U10,       kAlphaPixels | kBumpDuDv,        0,                            32,   0x3FF00000,  0xFFC00,     0x3FF,       0xC0000000},
    {D3DFMT_UYVY,              kFourCC,                         MakeFourCC('U','Y','V','Y'),  0,    0,           0,           0,           0},
    {D3DFMT_R8G8_B8G8,         kFourCC,                         MakeFourCC('R','G','B','G'),  0,    0,           0,           0,           0},
    {D3DFMT_YUY2,              kFourCC,                         MakeFourCC('Y','U','Y','2'),  0,    0,           0,           0,           0},
    {D3DFMT_G8R8_G8B8,         kFourCC,                         MakeFourCC('G','R','G','B'),  0,    0,           0,           0,           0},
    {D3DFMT_DXT1,              kFourCC,                         MakeFourCC('D','X','T','1'),  0,    0,           0,           0,           0},
    {D3DFMT_DXT2,              kFourCC,                         MakeFourCC('D','X','T','2'),  0,    0,           0,           0,           0},
    {D3DFMT_DXT3,              kFourCC,                         MakeFourCC('D','X','T','3'),  0,    0,           0,           0,           0},
    {D3DFMT_DXT4,              kFourCC,                         MakeFourCC('D','X','T','4'),  0,    0,           0,           0,           0},
    {D3DFMT_DXT5,              kFourCC,                         MakeFourCC('D','X','T','5'),  0,    0,           0,           0,           0},
    {D3DFMT_D16_LOCKABLE,      kZBuffer,                        0,                            16,   0,           0xFFFF,      0,           0},
    {D3DFMT_D32F_LOCKABLE,     kFourCC,                         D3DFMT_D32F_LOCKABLE,         0,    0,           0,           0,           0},
    {D3DFMT_A16B16G16R16,      kFourCC,                         D3DFMT_A16B16G16R16,          0,    0,           0,           0,           0},
    {D3DFMT_Q16W16V16U16,      kFourCC,                         D3DFMT_Q16W16V16U16,          0,    0,           0,           0,           0},
    {D3DFMT_R16F,              kFourCC,                         D3DFMT_R16F,                  0,    0,           0,           0,           0},
    {D3DFMT_G16R16F,           kFourCC,                         D3DFMT_G16R16F,               0,    0,           0,           0,           0},
    {D3DFMT_A16B16G16R16F,     kFourCC,                         D3DFMT_A16B16G16R16F,         0,    0,           0,           0,           0},
    {D3DFMT_R32F,              kFourCC,                         D3DFMT_R32F,                  0,    0,           0,           0,           0},
    {D3DFMT_G32R32F,           kFourCC,                         D3DFMT_G32R32F,               0,    0,           0,           0,           0},
    {D3DFMT_A32B32G32R32F,     kFourCC,                         D3DFMT_A32B32G32R32F,         0,    0,           0,           0,           0},
    {D3DFMT_CxV8U8,            kFourCC,                         D3DFMT_CxV8U8,                0,    0,           0,           0,           0},
};
// clang-format on
static_assert(sizeof(kFormatRows) / sizeof(kFormatRows[0]) == 48, "one row per DDS pixel format");

// Which fields a flag makes significant.
constexpr std::uint32_t kBitCountFlags =
    kAlpha | kPaletteIndexed8 | kRgb | kZBuffer | kStencilBuffer | kBumpLuminance | kBumpDuDv;
constexpr std::uint32_t kRedFlags = kRgb | kStencilBuffer | kLuminance | kBumpLuminance | kBumpDuDv;
constexpr std::uint32_t kGreenFlags = kRgb | kZBuffer | kStencilBuffer | kBumpLuminance | kBumpDuDv;
constexpr std::uint32_t kBlueFlags = kRgb | kStencilBuffer | kBumpLuminance | kBumpDuDv;
constexpr std::uint32_t kAlphaFlags = kAlphaPixels | kAlpha | kBumpDuDv;

D3DFORMAT MatchFormat(const DdsPixelFormat& pf) {
    if (pf.size != 32) return D3DFMT_UNKNOWN;
    // With a FourCC, the code alone says what the pixels are.
    const std::uint32_t flags = (pf.flags & kFourCC) != 0 ? kFourCC : pf.flags;
    for (const FormatRow& row : kFormatRows) {
        if (flags != row.flags) continue;
        if ((flags & kFourCC) != 0 && pf.fourCC != row.fourCC) continue;
        if ((flags & kBitCountFlags) != 0 && pf.bitCount != row.bitCount) continue;
        if ((flags & kRedFlags) != 0 && pf.masks[0] != row.red) continue;
        if ((flags & kGreenFlags) != 0 && pf.masks[1] != row.green) continue;
        if ((flags & kBlueFlags) != 0 && pf.masks[2] != row.blue) continue;
        if ((flags & kAlphaFlags) != 0 && pf.masks[3] != row.alpha) continue;
        return row.format;
    }
    return D3DFMT_UNKNOWN;
}

// Row and slice pitch of one level; false when they leave 32 bits.
bool LevelPitches(D3DFORMAT format, std::uint32_t bitsPerPixel, std::uint32_t width, std::uint32_t height,
                  std::uint32_t* rowPitch, std::uint32_t* slicePitch) {
    std::uint64_t row = 0;
    std::uint64_t rows = height;
    switch (static_cast<std::uint32_t>(format)) {
    case D3DFMT_DXT1:
        row = 8ull * ((width + 3ull) / 4);
        rows = (height + 3ull) / 4;
        break;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        row = 16ull * ((width + 3ull) / 4);
        rows = (height + 3ull) / 4;
        break;
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8: row = 4ull * ((width + 1ull) / 2); break;
    default: row = static_cast<std::uint64_t>(bitsPerPixel / 8) * width; break;
    }
    const std::uint64_t slice = row * rows;
    if (row > UINT32_MAX || slice > UINT32_MAX) return false;
    *rowPitch = static_cast<std::uint32_t>(row);
    *slicePitch = static_cast<std::uint32_t>(slice);
    return true;
}

std::uint32_t Halve(std::uint32_t value) { return value > 1 ? value / 2 : 1; }

}  // namespace

HRESULT ReadDdsImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr || size < 4 || ByteCursor::LoadU32(data) != MakeFourCC('D', 'D', 'S', ' ') ||
        size < kHeaderSize)
        return E_FAIL;
    auto field = [data](std::uint32_t offset) { return ByteCursor::LoadU32(data + offset); };

    const bool volume = (field(8) & kDepthFlag) != 0;
    const std::uint32_t topHeight = field(12);
    const std::uint32_t topWidth = field(16);
    const std::uint32_t topDepth = volume && field(24) != 0 ? field(24) : 1;
    const std::uint32_t levels = field(28) != 0 ? field(28) : 1;
    if (levels > kMaxLevels) return E_FAIL;
    image->width = topWidth;
    image->height = topHeight;
    image->depth = topDepth;
    // An empty top level would make every level empty: a forged level count
    // could then chain records without end.
    if (topWidth == 0 || topHeight == 0) return E_FAIL;

    // Six face bits make a cube map; some but not all is a partial cube map,
    // which is not read.
    const std::uint32_t faceBits = field(112) & kAllFaces;
    if (faceBits != 0 && faceBits != kAllFaces) return E_FAIL;
    const std::uint32_t faces = faceBits == kAllFaces ? 6 : 1;

    const DdsPixelFormat pf = {field(76), field(80), field(84), field(88),
                               {field(92), field(96), field(100), field(104)}};
    const D3DFORMAT format = MatchFormat(pf);
    if (format == D3DFMT_UNKNOWN) return E_FAIL;
    const PixelFormatInfo& info = LookUpPixelFormat(format);
    image->resourceType = volume ? D3DRTYPE_VOLUMETEXTURE : faces == 6 ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE;

    ByteCursor cursor(data, size);
    cursor.Skip(kHeaderSize);
    PALETTEENTRY* palette = nullptr;
    if (info.kind == PixelKind::Palette) {
        const std::uint8_t* entries = cursor.Take(kPaletteBytes);
        if (entries == nullptr) return E_FAIL;
        palette = reinterpret_cast<PALETTEENTRY*>(const_cast<std::uint8_t*>(entries));
    }

    DecodedImage* faceRecord = image;
    for (std::uint32_t face = 0; face < faces; ++face) {
        std::uint32_t width = topWidth;
        std::uint32_t height = topHeight;
        std::uint32_t depth = topDepth;
        DecodedImage* record = nullptr;
        for (std::uint32_t level = 0; level < levels; ++level) {
            // Every level takes at least one byte, so the data runs out long
            // before a forged level count does.
            if (level == 0) {
                if (face > 0) {
                    faceRecord->nextFace = new (std::nothrow) DecodedImage;
                    if (faceRecord->nextFace == nullptr) return E_OUTOFMEMORY;
                    faceRecord = faceRecord->nextFace;
                }
                record = faceRecord;
            } else {
                record->nextLevel = new (std::nothrow) DecodedImage;
                if (record->nextLevel == nullptr) return E_OUTOFMEMORY;
                record = record->nextLevel;
            }
            std::uint32_t rowPitch = 0;
            std::uint32_t slicePitch = 0;
            std::uint32_t levelBytes = 0;
            if (!LevelPitches(format, info.bitsPerPixel, width, height, &rowPitch, &slicePitch) ||
                !CheckedMultiply(slicePitch, depth, &levelBytes))
                return E_FAIL;
            record->format = format;
            record->width = width;
            record->height = height;
            record->depth = depth;
            record->rowPitch = rowPitch;
            record->slicePitch = slicePitch;
            record->palette = palette;
            record->ownsPalette = false;
            record->ownsPixels = false;
            record->decodePixels = image->decodePixels;
            record->resourceType = image->resourceType;
            record->fileFormat = image->fileFormat;
            const std::uint8_t* bytes = cursor.Take(levelBytes);
            if (bytes == nullptr) return E_FAIL;
            record->pixels = const_cast<std::uint8_t*>(bytes);
            width = Halve(width);
            height = Halve(height);
            depth = Halve(depth);
        }
    }
    return S_OK;
}

}  // namespace qv
