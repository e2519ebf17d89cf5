// Portable float maps: "PF" (three floats a pixel) and "Pf" (one), either
// byte order, read into A32B32G32R32F pixels. The file stores the bottom row
// first; the output has the top row first.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/byte_cursor.h"
#include "image/readers.h"

namespace qv {
namespace {

// Copies the line at the cursor (without its line feed, at most 255
// characters) into `line` and moves past the line feed. False when there is
// no line feed within 256 bytes or the line is empty.
bool TakeLine(ByteCursor& cursor, char (&line)[256]) {
    const std::int64_t lineFeed = cursor.Find('\n', 256);
    if (lineFeed <= 0) return false;
    const auto length = static_cast<std::uint32_t>(lineFeed);
    std::memcpy(line, cursor.Position(), length);
    line[length] = '\0';
    cursor.Skip(length + 1);
    return true;
}

float LoadFloat(const std::uint8_t* p, bool bigEndian) {
    std::uint8_t bytes[4] = {p[0], p[1], p[2], p[3]};
    if (bigEndian) {
        bytes[0] = p[3];
        bytes[1] = p[2];
        bytes[2] = p[1];
        bytes[3] = p[0];
    }
    float value = 0.0f;
    std::memcpy(&value, bytes, 4);
    return value;
}

}  // namespace

HRESULT ReadPfmImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr || size <= 3 || data[0] != 'P' || (data[1] != 'F' && data[1] != 'f') || data[2] != '\n')
        return E_FAIL;
    const std::uint32_t channels = data[1] == 'F' ? 3 : 1;
    ByteCursor cursor(data, size);
    cursor.Skip(3);

    char line[256];
    char rest[256];
    unsigned width = 0;
    unsigned height = 0;
    if (!TakeLine(cursor, line) || std::sscanf(line, "%u %u%255s", &width, &height, rest) != 2) return E_FAIL;
    if (cursor.AtEnd()) return E_FAIL;
    float scale = 0.0f;
    if (!TakeLine(cursor, line) || std::sscanf(line, "%f%255s", &scale, rest) != 1) return E_FAIL;
    const bool bigEndian = !(scale < 0.0f);  // a NaN scale reads big-endian too

    // An empty picture is refused; so are sizes whose byte counts leave 32 bits.
    std::uint32_t storedBytes = 0;
    std::uint32_t outputBytes = 0;
    if (width == 0 || height == 0 || !CheckedMultiply(width, height, channels * 4, &storedBytes) ||
        !CheckedMultiply(width, height, 16, &outputBytes))
        return E_FAIL;
    const std::uint8_t* in = cursor.Take(storedBytes);
    if (in == nullptr) return E_FAIL;

    image->format = D3DFMT_A32B32G32R32F;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->rowPitch = width * 16;
    image->slicePitch = 0;
    const HRESULT hr = AllocatePixels(image, outputBytes);
    if (FAILED(hr)) return hr;

    auto* pixels = static_cast<std::uint8_t*>(image->pixels);
    for (std::uint32_t row = 0; row < height; ++row) {
        std::uint8_t* out = pixels + static_cast<std::size_t>(height - 1 - row) * image->rowPitch;
        for (std::uint32_t x = 0; x < width; ++x, out += 16, in += 4 * channels) {
            float rgba[4];
            rgba[0] = LoadFloat(in, bigEndian);
            rgba[1] = channels == 3 ? LoadFloat(in + 4, bigEndian) : rgba[0];
            rgba[2] = channels == 3 ? LoadFloat(in + 8, bigEndian) : rgba[0];
            rgba[3] = 1.0f;
            std::memcpy(out, rgba, 16);
        }
    }
    return S_OK;
}

}  // namespace qv
