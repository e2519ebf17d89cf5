// BMP files and bare device-independent bitmaps.
//
// ReadBmpImage checks the 14-byte file header and hands the rest to
// ReadDibImage, which reads the information header (core or long form), the
// colour table and the bits. The header's bit count, compression and masks
// pick the closest Direct3D format; top-down uncompressed rows that already
// have that layout stay in the file image, everything else is unpacked,
// decompressed or converted into memory of the reader's own in one pass.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/byte_cursor.h"
#include "image/readers.h"

namespace qv {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMaskHeaderSize = 52;   // red, green and blue masks
constexpr std::uint32_t kAlphaHeaderSize = 56;  // and the alpha mask

// Bit-field masks that match a Direct3D format exactly. Any other set of
// masks is converted to four floats a pixel.
struct MaskFormat {
    std::uint16_t bitCount;
    std::uint32_t red, green, blue, alpha;
    D3DFORMAT format;
    std::uint8_t byteShift;  // pixel bits start this many bytes later
};

// clang-format off
constexpr MaskFormat kMaskFormats[] = {
    // bits  red          green        blue        alpha        format                 shift
    {16,     0xE0,        0x1C,        0x03,       0xFF00,      D3DFMT_A8R3G3B2,       0},
    {16,     0xF00,       0xF0,        0x0F,       0xF000,      D3DFMT_A4R4G4B4,       0},
    {16,     0xF00,       0xF0,        0x0F,       0,           D3DFMT_X4R4G4B4,       0},
    {16,     0xF800,      0x7E0,       0x1F,       0,           D3DFMT_R5G6B5,         0},
    {16,     0x7C00,      0x3E0,       0x1F,       0,           D3DFMT_X1R5G5B5,       0},
    {16,     0x7C00,      0x3E0,       0x1F,       0x8000,      D3DFMT_A1R5G5B5,       0},
    {16,     0xFF,        0xFF,        0xFF,       0xFF00,      D3DFMT_A8L8,           0},
    {16,     0xFFFF,      0xFFFF,      0xFFFF,     0,           D3DFMT_L16,            0},
    {24,     0xFF0000,    0xFF00,      0xFF,       0,           D3DFMT_R8G8B8,         0},
    {32,     0xFF0000,    0xFF00,      0xFF,       0,           D3DFMT_X8R8G8B8,       0},
    {32,     0xFF0000,    0xFF00,      0xFF,       0xFF000000,  D3DFMT_A8R8G8B8,       0},
    // Blue, green and red in the upper three bytes: one byte later they are
    // the first three bytes of an X8R8G8B8 pixel.
    {32,     0xFF000000,  0xFF0000,    0xFF00,     0,           D3DFMT_X8R8G8B8,       1},
    {32,     0x3FF00000,  0xFFC00,     0x3FF,      0xC0000000,  D3DFMT_A2R10G10B10,    0},
    {32,     0x3FF,       0xFFC00,     0x3FF00000, 0xC0000000,  D3DFMT_A2B10G10R10,    0},
    {32,     0xFF,        0xFF00,      0xFF0000,   0xFF000000,  D3DFMT_A8B8G8R8,       0},
    {32,     0xFF,        0xFF00,      0xFF0000,   0,           D3DFMT_X8B8G8R8,       0},
    {32,     0xFFFF,      0xFFFF0000,  0,          0,           D3DFMT_G16R16,         0},
};
// clang-format on

// Formats of uncompressed and run-length files, by bit count.
D3DFORMAT PlainFormat(std::uint16_t bitCount) {
    switch (bitCount) {
    case 1:
    case 4:
    case 8: return D3DFMT_P8;
    case 16: return D3DFMT_X1R5G5B5;
    case 24: return D3DFMT_R8G8B8;
    case 32: return D3DFMT_X8R8G8B8;
    default: return D3DFMT_UNKNOWN;
    }
}

// The information header in its long form.
struct DibHeader {
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

bool ReadHeader(const std::uint8_t* data, std::uint32_t size, DibHeader* header) {
    ByteCursor cursor(data, size);
    if (!cursor.ReadU32(&header->headerSize)) return false;
    if (header->headerSize > size) return false;
    if (header->headerSize == kCoreHeaderSize) {
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        cursor.ReadU16(&width);
        cursor.ReadU16(&height);
        cursor.ReadU16(&header->planes);
        cursor.ReadU16(&header->bitCount);
        header->width = static_cast<std::int16_t>(width);
        header->height = static_cast<std::int16_t>(height);
        header->compression = kBiRgb;
        header->colorsUsed = 0;
        return true;
    }
    if (header->headerSize < kInfoHeaderSize) return false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    cursor.ReadU32(&width);
    cursor.ReadU32(&height);
    cursor.ReadU16(&header->planes);
    cursor.ReadU16(&header->bitCount);
    cursor.ReadU32(&header->compression);
    cursor.Skip(12);  // image size, resolution
    cursor.ReadU32(&header->colorsUsed);
    cursor.Skip(4);   // colours important
    header->width = static_cast<std::int32_t>(width);
    header->height = static_cast<std::int32_t>(height);
    if (header->compression == kBiBitfields && header->headerSize >= kMaskHeaderSize) {
        cursor.ReadU32(&header->masks[0]);
        cursor.ReadU32(&header->masks[1]);
        cursor.ReadU32(&header->masks[2]);
        if (header->headerSize >= kAlphaHeaderSize) cursor.ReadU32(&header->masks[3]);
    }
    return true;
}

struct Layout {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    bool floatConversion = false;
    std::uint32_t byteShift = 0;
    std::uint32_t rows = 0;
    std::uint32_t storedRowBytes = 0;
    std::uint32_t stride = 0;
    std::uint32_t outputRowBytes = 0;
    std::uint32_t rowPitch = 0;
    std::uint32_t bitsOffset = 0;
    std::uint32_t tableEntries = 0;
    std::uint32_t entrySize = 0;
    bool topDown = false;
};

bool RoundUpTo4(std::uint32_t value, std::uint32_t* out) {
    if (value > UINT32_MAX - 3) return false;
    *out = (value + 3) & ~3u;
    return true;
}

// One channel of the mask conversion.
struct MaskChannel {
    std::uint32_t shift = 0;
    std::uint32_t reduced = 0;  // 0: no mask, the channel reads 1.0
    float scale = 0.0f;
};

void ConvertMaskedRow(const std::uint8_t* in, float* out, std::uint32_t width, std::uint32_t bytesPerPixel,
                      const MaskChannel (&channels)[4]) {
    for (std::uint32_t x = 0; x < width; ++x, in += bytesPerPixel, out += 4) {
        std::uint32_t p = 0;
        for (std::uint32_t b = 0; b < bytesPerPixel; ++b) p |= static_cast<std::uint32_t>(in[b]) << (8 * b);
        for (int c = 0; c < 4; ++c) {
            const MaskChannel& ch = channels[c];
            out[c] = ch.reduced == 0 ? 1.0f : static_cast<float>((p >> ch.shift) & ch.reduced) * ch.scale;
        }
    }
}

HRESULT ConvertMasked(const DibHeader& header, const Layout& layout, const std::uint8_t* bits,
                      std::uint8_t* pixels, std::int64_t firstRow, std::int64_t rowStep) {
    MaskChannel channels[4];
    for (int c = 0; c < 4; ++c) {
        const std::uint32_t mask = header.masks[c];
        if (mask == 0) continue;
        std::uint32_t shift = 0;
        while (((mask >> shift) & 1u) == 0) ++shift;
        channels[c].shift = shift;
        channels[c].reduced = mask >> shift;
        channels[c].scale = 1.0f / static_cast<float>(channels[c].reduced);
    }
    if (header.masks[0] == 0 && header.masks[1] == 0 && header.masks[2] == 0) {
        for (int c = 0; c < 3; ++c) channels[c] = {0, 1, 0.0f};
    }
    const std::uint32_t width = static_cast<std::uint32_t>(header.width);
    const std::uint32_t bytesPerPixel = header.bitCount / 8u;
    for (std::uint32_t row = 0; row < layout.rows; ++row) {
        std::uint8_t* out = pixels + firstRow + rowStep * row;
        float rowFloats[64];
        const std::uint8_t* in = bits + static_cast<std::size_t>(row) * layout.stride;
        // Convert in small batches so the floats are stored with memcpy.
        for (std::uint32_t x = 0; x < width; x += 16) {
            const std::uint32_t count = width - x < 16 ? width - x : 16;
            ConvertMaskedRow(in + static_cast<std::size_t>(x) * bytesPerPixel, rowFloats, count, bytesPerPixel,
                             channels);
            std::memcpy(out + static_cast<std::size_t>(x) * 16, rowFloats, count * 16u);
        }
    }
    return S_OK;
}

// Run-length streams (RLE8 with byte pixels, RLE4 with 4-bit pixels); one
// output byte per pixel. Offsets are kept signed and 64 bits wide so that a
// delta or a bottom-up row step can be tested before anything is written.
HRESULT DecodeRunLength(ByteCursor& cursor, bool fourBit, std::uint8_t* pixels, std::int64_t total,
                        std::int64_t firstRow, std::int64_t rowStep) {
    std::int64_t rowStart = firstRow;
    std::int64_t position = firstRow;
    for (;;) {
        if (rowStart < 0 || rowStart >= total) return S_OK;
        std::uint8_t n = 0;
        std::uint8_t c = 0;
        if (!cursor.Has(2)) return E_FAIL;
        cursor.ReadU8(&n);
        cursor.ReadU8(&c);
        if (n > 0) {
            if (position < 0 || position + n > total) return E_FAIL;
            std::uint8_t* out = pixels + position;
            if (fourBit) {
                for (std::uint32_t i = 0; i < n; ++i) out[i] = (i & 1) != 0 ? (c & 0x0F) : (c >> 4);
            } else {
                std::memset(out, c, n);
            }
            position += n;
        } else if (c == 0) {
            rowStart += rowStep;
            position = rowStart;
        } else if (c == 1) {
            return S_OK;
        } else if (c == 2) {
            std::uint8_t dx = 0;
            std::uint8_t dy = 0;
            if (!cursor.ReadU8(&dx) || !cursor.ReadU8(&dy)) return E_FAIL;
            position += dx + dy * rowStep;
        } else {
            const std::uint32_t count = c;
            const std::uint32_t bytes = fourBit ? (count + 1) / 2 : count;
            if (position < 0 || position + count > total) return E_FAIL;
            const std::uint8_t* in = cursor.Take(bytes);
            if (in == nullptr) return E_FAIL;
            std::uint8_t* out = pixels + position;
            if (fourBit) {
                for (std::uint32_t i = 0; i < count; ++i) out[i] = (i & 1) != 0 ? (in[i / 2] & 0x0F) : (in[i / 2] >> 4);
            } else {
                std::memcpy(out, in, count);
            }
            position += count;
            // Runs are padded to an even byte count; a pad byte missing at the
            // very end just ends the data.
            if ((bytes & 1) != 0) cursor.Skip(cursor.Has(1) ? 1 : 0);
        }
    }
}

}  // namespace

HRESULT ReadBmpImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    ByteCursor cursor(data, size);
    std::uint16_t type = 0;
    std::uint32_t fileSize = 0;
    if (size < 14 || !cursor.ReadU16(&type) || !cursor.ReadU32(&fileSize)) return E_FAIL;
    if (type != 0x4D42 || fileSize > size) return E_FAIL;
    // The bits offset of the file header is not used: the bits follow the
    // colour table directly.
    return ReadDibImage(image, data + 14, size - 14);
}

HRESULT ReadDibImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr || size < 4) return E_FAIL;
    DibHeader header;
    if (!ReadHeader(data, size, &header)) return E_FAIL;
    // A negative width has no meaning; an empty picture is refused as well.
    if (header.width <= 0 || header.height == 0) return E_FAIL;

    Layout layout;
    layout.topDown = header.height < 0;
    layout.rows = static_cast<std::uint32_t>(std::llabs(static_cast<long long>(header.height)));
    const std::uint32_t width = static_cast<std::uint32_t>(header.width);

    // Colour table and the start of the bits.
    layout.tableEntries = header.colorsUsed;
    if (layout.tableEntries == 0 && header.bitCount <= 8) layout.tableEntries = 1u << header.bitCount;
    layout.entrySize = header.headerSize == kCoreHeaderSize ? 3 : 4;
    std::uint32_t tableBytes = 0;
    if (!CheckedMultiply(layout.tableEntries, layout.entrySize, &tableBytes) ||
        !CheckedAdd(header.headerSize, tableBytes, &layout.bitsOffset) || layout.bitsOffset > size)
        return E_FAIL;
    if (header.planes != 1) return E_FAIL;

    // Format.
    switch (header.compression) {
    case kBiRgb:
    case kBiRle8:
    case kBiRle4:
        layout.format = PlainFormat(header.bitCount);
        if (layout.format == D3DFMT_UNKNOWN) return E_FAIL;
        break;
    case kBiBitfields:
        // The masks come from the header only, never from a colour table.
        if (header.headerSize < kMaskHeaderSize) return E_FAIL;
        if (header.bitCount != 16 && header.bitCount != 24 && header.bitCount != 32) return E_FAIL;
        layout.floatConversion = true;
        for (const MaskFormat& row : kMaskFormats) {
            if (row.bitCount == header.bitCount && row.red == header.masks[0] && row.green == header.masks[1] &&
                row.blue == header.masks[2] && row.alpha == header.masks[3]) {
                layout.format = row.format;
                layout.byteShift = row.byteShift;
                layout.floatConversion = false;
                break;
            }
        }
        if (layout.floatConversion) layout.format = D3DFMT_A32B32G32R32F;
        break;
    default: return E_FAIL;
    }

    if (image->decodePixels && layout.format == D3DFMT_P8) {
        const HRESULT hr = AllocatePalette(image);
        if (FAILED(hr)) return hr;
        // A table of more than 256 colours: the first 256 make the palette.
        const std::uint32_t used = layout.tableEntries < 256 ? layout.tableEntries : 256;
        const std::uint8_t* table = data + header.headerSize;
        for (std::uint32_t i = 0; i < used; ++i) {
            const std::uint8_t* entry = table + i * layout.entrySize;
            image->palette[i] = {entry[2], entry[1], entry[0], 255};
        }
    }

    // Row sizes, in 64 bits and then refused when they leave 32.
    std::uint64_t stored = 0;
    if (header.bitCount == 1) stored = (static_cast<std::uint64_t>(width) + 7) / 8;
    else if (header.bitCount == 4) stored = (static_cast<std::uint64_t>(width) + 1) / 2;
    else stored = static_cast<std::uint64_t>(width) * header.bitCount / 8;
    if (stored > UINT32_MAX) return E_FAIL;
    layout.storedRowBytes = static_cast<std::uint32_t>(stored);
    if (!RoundUpTo4(layout.storedRowBytes, &layout.stride)) return E_FAIL;
    if (layout.floatConversion) {
        if (!CheckedMultiply(width, 16, &layout.outputRowBytes)) return E_FAIL;
    } else if (header.bitCount <= 8) {
        layout.outputRowBytes = width;
    } else {
        layout.outputRowBytes = layout.storedRowBytes;
    }
    std::uint32_t pixelBytes = 0;
    if (!RoundUpTo4(layout.outputRowBytes, &layout.rowPitch) ||
        !CheckedMultiply(layout.rowPitch, layout.rows, &pixelBytes))
        return E_FAIL;

    const bool compressed = header.compression == kBiRle8 || header.compression == kBiRle4;
    if (!compressed) {
        // The last row is measured without its pad bytes; the shifted layout
        // reads one byte further.
        const std::uint64_t end = layout.bitsOffset + static_cast<std::uint64_t>(layout.rows - 1) * layout.stride +
                                  layout.storedRowBytes + layout.byteShift;
        if (end > size) return E_FAIL;
    }

    const std::uint8_t* bits = data + layout.bitsOffset;
    if (header.compression == kBiRgb && layout.format == D3DFMT_X8R8G8B8) {
        // Any non-zero fourth byte makes it an alpha picture.
        bool alpha = false;
        for (std::uint32_t row = 0; row < layout.rows && !alpha; ++row) {
            const std::uint8_t* p = bits + static_cast<std::size_t>(row) * layout.stride;
            for (std::uint32_t x = 0; x < width; ++x) {
                if (p[4 * static_cast<std::size_t>(x) + 3] != 0) {
                    alpha = true;
                    break;
                }
            }
        }
        if (alpha) layout.format = D3DFMT_A8R8G8B8;
    }

    image->slicePitch = 0;
    image->format = layout.format;
    image->rowPitch = layout.rowPitch;
    image->width = width;
    image->height = layout.rows;
    image->depth = 1;
    if (!image->decodePixels) return S_OK;

    // Top-down rows that already have the output layout stay in the file.
    if (!compressed && layout.topDown && header.bitCount >= 8 && !layout.floatConversion) {
        image->pixels = const_cast<std::uint8_t*>(bits + layout.byteShift);
        image->ownsPixels = false;
        image->rowPitch = layout.stride;
        return S_OK;
    }

    const HRESULT hr = AllocatePixels(image, pixelBytes);
    if (FAILED(hr)) return hr;
    auto* pixels = static_cast<std::uint8_t*>(image->pixels);
    // Memory is written top row first: the first stored row is the top row of
    // a top-down file and the bottom row otherwise.
    const std::int64_t rowStep = layout.topDown ? layout.rowPitch : -static_cast<std::int64_t>(layout.rowPitch);
    const std::int64_t firstRow = layout.topDown ? 0 : static_cast<std::int64_t>(layout.rows - 1) * layout.rowPitch;

    if (compressed) {
        // Pixels the stream skips read as index (or value) 0.
        std::memset(pixels, 0, pixelBytes);
        ByteCursor stream(bits, size - layout.bitsOffset);
        return DecodeRunLength(stream, header.compression == kBiRle4, pixels, pixelBytes, firstRow, rowStep);
    }
    if (layout.floatConversion) return ConvertMasked(header, layout, bits, pixels, firstRow, rowStep);

    for (std::uint32_t row = 0; row < layout.rows; ++row) {
        const std::uint8_t* in = bits + static_cast<std::size_t>(row) * layout.stride + layout.byteShift;
        std::uint8_t* out = pixels + firstRow + rowStep * row;
        if (header.bitCount == 1) {
            for (std::uint32_t x = 0; x < width; ++x) out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
        } else if (header.bitCount == 4) {
            for (std::uint32_t x = 0; x < width; ++x) out[x] = (x & 1) != 0 ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4);
        } else {
            std::memcpy(out, in, layout.outputRowBytes);
        }
    }
    return S_OK;
}

}  // namespace qv
