// Shared helpers of the reader tests: fixture loading, a little-endian byte
// builder for hand-made files, running a reader, and reading one pixel of a
// decoded record as RGBA bytes (typed from the formats' layouts, not taken
// from the library).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/readers.h"
#include "quorvane/image/decoded_image.h"

namespace qvtest {

using Bytes = std::vector<std::uint8_t>;
using Reader = HRESULT (*)(qv::DecodedImage*, const std::uint8_t*, std::uint32_t);
using Rgba = std::array<std::uint8_t, 4>;

// A file under the readers' fixture folder; fails the test when missing.
Bytes ReadFixture(const std::string& relative);

struct ByteWriter {
    Bytes bytes;
    ByteWriter& U8(std::uint32_t v);  // out of line: GCC 12 misreads the inlined growth
    ByteWriter& U16(std::uint32_t v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
    ByteWriter& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    ByteWriter& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    ByteWriter& F32(float v) {
        std::uint32_t u = 0;
        std::memcpy(&u, &v, 4);
        return U32(u);
    }
    ByteWriter& Text(const std::string& s);
    ByteWriter& Raw(const Bytes& b);
    ByteWriter& Fill(std::size_t count, std::uint8_t v);
};

struct Result {
    HRESULT hr = E_FAIL;
    std::unique_ptr<qv::DecodedImage> image = std::make_unique<qv::DecodedImage>();
};

// Runs `reader` on a fresh record the way the dispatch prepares it.
Result Decode(Reader reader, const Bytes& bytes, bool decodePixels = true);

// Does the record's pixel memory point into `bytes`?
bool PointsInto(const qv::DecodedImage& image, const Bytes& bytes);

// Pixel (x, y) of an 8-bit-per-channel style record as red, green, blue,
// alpha. Formats without alpha read alpha 255.
Rgba PixelRgba(const qv::DecodedImage& image, std::uint32_t x, std::uint32_t y);

// The four floats of pixel (x, y) of an A32B32G32R32F record.
std::array<float, 4> PixelFloats(const qv::DecodedImage& image, std::uint32_t x, std::uint32_t y);

// stb_image's decoding of a file as RGBA bytes; empty when it cannot read it.
struct StbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};
StbPicture StbDecode(const Bytes& bytes);

// stb_image's float decoding (for HDR files) as RGB floats.
struct StbFloatPicture {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;
};
StbFloatPicture StbDecodeFloat(const Bytes& bytes);

}  // namespace qvtest
