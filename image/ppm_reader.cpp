// Portable pixmaps: "P3" (decimal text) and "P6" (binary bytes), read into
// X8R8G8B8 pixels, top row first. The other members of the family (P1, P2,
// P4, P5) are not read.
#include <cstdint>

#include "image/byte_cursor.h"
#include "image/readers.h"

namespace qv {
namespace {

bool IsBlank(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// A file value scaled to 0..255. Values above the maximum are clamped rather
// than let their extra bits spill into the neighbouring channel.
std::uint32_t Scale(std::uint32_t value, std::uint32_t maxValue) {
    if (value >= maxValue) return 255;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) * 255u / maxValue);
}

enum Field : std::uint32_t { kWidth, kHeight, kMaxValue, kRed, kGreen, kBlue };

HRESULT ReadBinaryPixels(ByteCursor& cursor, std::uint32_t maxValue, std::uint32_t* out, std::uint32_t count) {
    // One separator byte follows the maximum value; a carriage return and
    // the byte after it count as one separator.
    if (cursor.Peek() == '\r' && cursor.Has(2)) cursor.Skip(2);
    else if (!cursor.Skip(1)) return E_FAIL;

    const std::uint32_t whole = cursor.Remaining() / 3 < count ? cursor.Remaining() / 3 : count;
    const std::uint8_t* in = cursor.Take(whole * 3);
    if (maxValue == 255) {
        // Red, green, blue and the next byte loaded as one little-endian word
        // and byte-swapped give 0xRRGGBBnn; the last pixel is read bytewise
        // so the load never passes the end of the data.
        const std::uint32_t wordwise = whole > 0 ? whole - 1 : 0;
        for (std::uint32_t i = 0; i < wordwise; ++i, in += 3)
            out[i] = 0xFF000000u | (__builtin_bswap32(ByteCursor::LoadU32(in)) >> 8);
        for (std::uint32_t i = wordwise; i < whole; ++i, in += 3)
            out[i] = 0xFF000000u | (static_cast<std::uint32_t>(in[0]) << 16) |
                     (static_cast<std::uint32_t>(in[1]) << 8) | in[2];
    } else {
        std::uint8_t table[256];
        for (std::uint32_t v = 0; v < 256; ++v) table[v] = static_cast<std::uint8_t>(Scale(v, maxValue));
        for (std::uint32_t i = 0; i < whole; ++i, in += 3)
            out[i] = 0xFF000000u | (static_cast<std::uint32_t>(table[in[0]]) << 16) |
                     (static_cast<std::uint32_t>(table[in[1]]) << 8) | table[in[2]];
    }
    return whole == count ? S_OK : E_FAIL;
}

}  // namespace

HRESULT ReadPpmImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr || size <= 2 || data[0] != 'P' || (data[1] != '3' && data[1] != '6')) return E_FAIL;
    const bool binary = data[1] == '6';
    ByteCursor cursor(data, size);
    cursor.Skip(2);

    std::uint32_t field = kWidth;
    std::uint32_t maxValue = 255;
    std::uint32_t width = 0;
    std::uint32_t pixelCount = 0;
    std::uint32_t next = 0;  // index of the pixel being built
    std::uint32_t* pixels = nullptr;

    while (!cursor.AtEnd()) {
        const std::uint8_t c = cursor.Peek();
        if (IsBlank(c)) {
            cursor.Skip(1);
            continue;
        }
        if (c == '#') {
            const std::int64_t lineFeed = cursor.Find('\n', cursor.Remaining());
            cursor.Skip(lineFeed < 0 ? cursor.Remaining() : static_cast<std::uint32_t>(lineFeed) + 1);
            continue;
        }
        std::uint32_t value = 0;
        while (!cursor.AtEnd() && !IsBlank(cursor.Peek())) {
            const std::uint8_t digit = cursor.Peek();
            if (!IsDigit(digit)) return E_FAIL;
            value = value * 10u + (digit - '0');  // wraps like any unsigned 32-bit count
            cursor.Skip(1);
        }

        switch (field) {
        case kWidth:
            if (value == 0) return E_FAIL;
            width = value;
            field = kHeight;
            break;
        case kHeight: {
            if (value == 0) return E_FAIL;
            std::uint32_t bytes = 0;
            if (!CheckedMultiply(width, value, 4, &bytes)) return E_FAIL;
            pixelCount = width * value;
            // Every pixel takes at least three bytes of a binary file and six
            // of a text file; a file too short for that is refused before
            // its pixel memory is allocated.
            const std::uint64_t least = static_cast<std::uint64_t>(pixelCount) * (binary ? 3u : 6u) - (binary ? 0u : 1u);
            if (least > cursor.Remaining()) return E_FAIL;
            const HRESULT hr = AllocatePixels(image, bytes);
            if (FAILED(hr)) return hr;
            pixels = static_cast<std::uint32_t*>(image->pixels);
            image->format = D3DFMT_X8R8G8B8;
            image->rowPitch = width * 4;
            image->width = width;
            image->height = value;
            image->depth = 1;
            image->slicePitch = 0;
            field = kMaxValue;
            break;
        }
        case kMaxValue:
            if (value == 0) return E_FAIL;
            maxValue = value;
            if (binary) {
                if (maxValue > 255) return E_FAIL;
                return ReadBinaryPixels(cursor, maxValue, pixels, pixelCount);
            }
            field = kRed;
            break;
        case kRed:
            if (next >= pixelCount) return E_FAIL;
            pixels[next] = 0xFF000000u | (Scale(value, maxValue) << 16);
            field = kGreen;
            break;
        case kGreen:
            pixels[next] |= Scale(value, maxValue) << 8;
            field = kBlue;
            break;
        default:  // kBlue
            pixels[next] |= Scale(value, maxValue);
            if (++next == pixelCount) return S_OK;
            field = kRed;
            break;
        }
    }
    return E_FAIL;
}

}  // namespace qv
