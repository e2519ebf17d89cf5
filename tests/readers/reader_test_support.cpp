#include "readers/reader_test_support.h"

#include <stb/stb_image.h>

#include <fstream>
#include <iterator>

#include "quorvane/pixel/pixel_format.h"

namespace qvtest {

Bytes ReadFixture(const std::string& relative) {
    const std::string path = std::string(QV_TEST_DATA_DIR) + "/readers/" + relative;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "missing fixture " << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ByteWriter& ByteWriter::U8(std::uint32_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
}

ByteWriter& ByteWriter::Text(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
}

ByteWriter& ByteWriter::Raw(const Bytes& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

ByteWriter& ByteWriter::Fill(std::size_t count, std::uint8_t v) {
    bytes.insert(bytes.end(), count, v);
    return *this;
}

Result Decode(Reader reader, const Bytes& bytes, bool decodePixels) {
    Result result;
    result.image->decodePixels = decodePixels;
    result.image->resourceType = D3DRTYPE_TEXTURE;
    result.hr = reader(result.image.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return result;
}

bool PointsInto(const qv::DecodedImage& image, const Bytes& bytes) {
    const auto* p = static_cast<const std::uint8_t*>(image.pixels);
    return p >= bytes.data() && p < bytes.data() + bytes.size();
}

namespace {
std::uint8_t Widen(std::uint32_t v, std::uint32_t bits) {
    return static_cast<std::uint8_t>((v * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
}
}  // namespace

Rgba PixelRgba(const qv::DecodedImage& image, std::uint32_t x, std::uint32_t y) {
    const auto* row = static_cast<const std::uint8_t*>(image.pixels) + static_cast<std::size_t>(y) * image.rowPitch;
    switch (static_cast<std::uint32_t>(image.format)) {
    case D3DFMT_P8: {
        const PALETTEENTRY& e = image.palette[row[x]];
        return {e.peRed, e.peGreen, e.peBlue, e.peFlags};
    }
    case D3DFMT_L8: return {row[x], row[x], row[x], 255};
    case D3DFMT_R8G8B8: return {row[3 * x + 2], row[3 * x + 1], row[3 * x], 255};
    case D3DFMT_X8R8G8B8: return {row[4 * x + 2], row[4 * x + 1], row[4 * x], 255};
    case D3DFMT_A8R8G8B8: return {row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]};
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        const std::uint32_t w = row[2 * x] | (row[2 * x + 1] << 8);
        const std::uint8_t a = image.format == D3DFMT_X1R5G5B5 ? 255 : ((w & 0x8000) != 0 ? 255 : 0);
        return {Widen((w >> 10) & 31, 5), Widen((w >> 5) & 31, 5), Widen(w & 31, 5), a};
    }
    case D3DFMT_R5G6B5: {
        const std::uint32_t w = row[2 * x] | (row[2 * x + 1] << 8);
        return {Widen(w >> 11, 5), Widen((w >> 5) & 63, 6), Widen(w & 31, 5), 255};
    }
    default: ADD_FAILURE() << "no test reader for format " << image.format; return {0, 0, 0, 0};
    }
}

std::array<float, 4> PixelFloats(const qv::DecodedImage& image, std::uint32_t x, std::uint32_t y) {
    std::array<float, 4> out{};
    const auto* p = static_cast<const std::uint8_t*>(image.pixels) + static_cast<std::size_t>(y) * image.rowPitch + 16u * x;
    std::memcpy(out.data(), p, 16);
    return out;
}

StbPicture StbDecode(const Bytes& bytes) {
    StbPicture picture;
    int channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &picture.width,
                                            &picture.height, &channels, 4);
    if (pixels == nullptr) return picture;
    picture.rgba.assign(pixels, pixels + static_cast<std::size_t>(picture.width) * picture.height * 4);
    stbi_image_free(pixels);
    return picture;
}

StbFloatPicture StbDecodeFloat(const Bytes& bytes) {
    StbFloatPicture picture;
    int channels = 0;
    float* pixels = stbi_loadf_from_memory(bytes.data(), static_cast<int>(bytes.size()), &picture.width,
                                           &picture.height, &channels, 3);
    if (pixels == nullptr) return picture;
    picture.rgb.assign(pixels, pixels + static_cast<std::size_t>(picture.width) * picture.height * 3);
    stbi_image_free(pixels);
    return picture;
}

}  // namespace qvtest
