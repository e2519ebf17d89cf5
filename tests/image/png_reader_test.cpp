// PNG reader: files of every colour type and bit depth made by other tools
// (see tests/data/image/make_png_fixtures.py), compared with what an
// independent decoder reads from them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/readers.h"
#include "quorvane/image/decoded_image.h"
#include "quorvane/pixel/pixel_format.h"

namespace {

using qv::DecodedImage;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string PngPath(const std::string& name) { return std::string(QV_TEST_DATA_DIR) + "/image/png/" + name; }

struct Expected {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maximum = 0;
    std::vector<std::uint16_t> rgba;
};

Expected ReadExpected(const std::string& name) {
    const std::vector<std::uint8_t> bytes = ReadFile(PngPath(name + ".expect"));
    Expected e;
    if (bytes.size() < 16 || std::memcmp(bytes.data(), "QVEX", 4) != 0) return e;
    std::memcpy(&e.width, &bytes[4], 4);
    std::memcpy(&e.height, &bytes[8], 4);
    std::memcpy(&e.maximum, &bytes[12], 4);
    e.rgba.resize((bytes.size() - 16) / 2);
    std::memcpy(e.rgba.data(), &bytes[16], e.rgba.size() * 2);
    return e;
}

std::uint16_t Word(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// The decoded picture as R, G, B, A samples, read by the memory layout each
// output format has (independent of the library's own codecs).
std::vector<std::uint16_t> ToRgba(const DecodedImage& image, bool* layoutOk) {
    std::vector<std::uint16_t> out;
    *layoutOk = true;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(image.pixels) + std::size_t{y} * image.rowPitch;
        for (std::uint32_t x = 0; x < image.width; ++x) {
            std::uint16_t r = 0, g = 0, b = 0, a = 0;
            switch (static_cast<std::uint32_t>(image.format)) {
            case D3DFMT_L8: r = g = b = row[x]; a = 255; break;
            case D3DFMT_A8L8: r = g = b = row[2 * x]; a = row[2 * x + 1]; break;
            case D3DFMT_L16: r = g = b = Word(row + 2 * x); a = 65535; break;
            case qv::FMT_A16L16: r = g = b = Word(row + 4 * x); a = Word(row + 4 * x + 2); break;
            case D3DFMT_X8R8G8B8:
                b = row[4 * x]; g = row[4 * x + 1]; r = row[4 * x + 2]; a = 255;
                if (row[4 * x + 3] != 0xFF) *layoutOk = false;
                break;
            case D3DFMT_A8R8G8B8: b = row[4 * x]; g = row[4 * x + 1]; r = row[4 * x + 2]; a = row[4 * x + 3]; break;
            case qv::FMT_R16G16B16:
                b = Word(row + 6 * x); g = Word(row + 6 * x + 2); r = Word(row + 6 * x + 4); a = 65535;
                break;
            case D3DFMT_A16B16G16R16:
                r = Word(row + 8 * x); g = Word(row + 8 * x + 2); b = Word(row + 8 * x + 4); a = Word(row + 8 * x + 6);
                break;
            case D3DFMT_P8: {
                const PALETTEENTRY& e = image.palette[row[x]];
                r = e.peRed; g = e.peGreen; b = e.peBlue; a = e.peFlags;
                break;
            }
            default: *layoutOk = false; break;
            }
            out.insert(out.end(), {r, g, b, a});
        }
    }
    return out;
}

struct PngCase {
    const char* name;
    D3DFORMAT format;
    std::uint32_t bytesPerPixel;
    int tolerance;  // gamma: libpng's table and ours may round apart by one
};

const PngCase kPngCases[] = {
    {"grey1", D3DFMT_L8, 1, 0},
    {"grey2", D3DFMT_L8, 1, 0},
    {"grey4", D3DFMT_L8, 1, 0},
    {"grey8", D3DFMT_L8, 1, 0},
    {"grey16", D3DFMT_L16, 2, 0},
    {"grey1_trns", D3DFMT_A8L8, 2, 0},
    {"grey2_trns", D3DFMT_A8L8, 2, 0},
    {"grey4_trns", D3DFMT_A8L8, 2, 0},
    {"grey8_trns", D3DFMT_A8L8, 2, 0},
    {"grey16_trns", qv::FMT_A16L16, 4, 0},
    {"grey2_interlaced", D3DFMT_L8, 1, 0},
    {"greyalpha8", D3DFMT_A8L8, 2, 0},
    {"greyalpha16", qv::FMT_A16L16, 4, 0},
    {"rgb8", D3DFMT_X8R8G8B8, 4, 0},
    {"rgb8_trns", D3DFMT_A8R8G8B8, 4, 0},
    {"rgb8_interlaced", D3DFMT_X8R8G8B8, 4, 0},
    {"rgb8_gama", D3DFMT_X8R8G8B8, 4, 1},
    {"rgb8_srgb", D3DFMT_X8R8G8B8, 4, 0},
    {"rgb16", qv::FMT_R16G16B16, 6, 0},
    {"rgb16_trns", D3DFMT_A16B16G16R16, 8, 0},
    {"rgba8", D3DFMT_A8R8G8B8, 4, 0},
    {"rgba16", D3DFMT_A16B16G16R16, 8, 0},
    {"pal1", D3DFMT_P8, 1, 0},
    {"pal1_trns", D3DFMT_P8, 1, 0},
    {"pal2", D3DFMT_P8, 1, 0},
    {"pal2_trns", D3DFMT_P8, 1, 0},
    {"pal4", D3DFMT_P8, 1, 0},
    {"pal4_trns", D3DFMT_P8, 1, 0},
    {"pal8", D3DFMT_P8, 1, 0},
    {"pal8_trns", D3DFMT_P8, 1, 0},
    {"pal4_gama", D3DFMT_P8, 1, 0},
};

class PngFiles : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngFiles, DecodeLikeAnIndependentDecoder) {
    const PngCase& c = GetParam();
    const std::vector<std::uint8_t> file = ReadFile(PngPath(std::string(c.name) + ".png"));
    const Expected expected = ReadExpected(c.name);
    ASSERT_FALSE(file.empty());
    ASSERT_EQ(expected.rgba.size(), std::size_t{4} * expected.width * expected.height);

    DecodedImage image;
    qv::ImageInfo info{};
    ASSERT_EQ(qv::DecodeImageFile(&image, file.data(), static_cast<std::uint32_t>(file.size()), &info, true), S_OK);
    EXPECT_EQ(image.fileFormat, qv::ImageFileFormat::Png);
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(info.format, qv::ClosestExternalFormat(c.format));
    EXPECT_EQ(image.width, expected.width);
    EXPECT_EQ(image.height, expected.height);
    EXPECT_EQ(image.depth, 1u);
    EXPECT_EQ(image.rowPitch, expected.width * c.bytesPerPixel);
    EXPECT_EQ(image.slicePitch, 0u);
    EXPECT_TRUE(image.ownsPixels);
    EXPECT_EQ(image.palette != nullptr, c.format == D3DFMT_P8);
    EXPECT_EQ(image.ownsPalette, c.format == D3DFMT_P8);

    bool layoutOk = false;
    const std::vector<std::uint16_t> got = ToRgba(image, &layoutOk);
    EXPECT_TRUE(layoutOk) << "unexpected format or a filler byte other than 0xFF";
    ASSERT_EQ(got.size(), expected.rgba.size());
    int mismatches = 0;
    for (std::size_t i = 0; i < got.size() && mismatches < 5; ++i) {
        if (std::abs(int{got[i]} - int{expected.rgba[i]}) > c.tolerance) {
            ADD_FAILURE() << "pixel " << i / 4 << " channel " << i % 4 << ": got " << got[i] << ", want "
                          << expected.rgba[i];
            ++mismatches;
        }
    }
}

TEST_P(PngFiles, DescribeOnlyWithoutPixels) {
    const PngCase& c = GetParam();
    const std::vector<std::uint8_t> file = ReadFile(PngPath(std::string(c.name) + ".png"));
    DecodedImage image;
    image.decodePixels = false;
    ASSERT_EQ(qv::ReadPngImage(&image, file.data(), static_cast<std::uint32_t>(file.size())), S_OK);
    EXPECT_EQ(image.format, c.format);
    EXPECT_NE(image.width, 0u);
    EXPECT_EQ(image.rowPitch, image.width * c.bytesPerPixel);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllTypesAndDepths, PngFiles, ::testing::ValuesIn(kPngCases),
                         [](const ::testing::TestParamInfo<PngCase>& info) { return std::string(info.param.name); });

TEST(PngReader, PaletteEntriesBeyondThePaletteAreOpaqueWhite) {
    // pal2 has three colours; tRNS of pal2_trns covers the first one only.
    for (const char* name : {"pal2", "pal2_trns"}) {
        const std::vector<std::uint8_t> file = ReadFile(PngPath(std::string(name) + ".png"));
        DecodedImage image;
        image.decodePixels = true;
        ASSERT_EQ(qv::ReadPngImage(&image, file.data(), static_cast<std::uint32_t>(file.size())), S_OK);
        ASSERT_NE(image.palette, nullptr);
        for (int i = 3; i < 256; ++i) {
            const PALETTEENTRY& e = image.palette[i];
            ASSERT_TRUE(e.peRed == 255 && e.peGreen == 255 && e.peBlue == 255 && e.peFlags == 255) << name << " " << i;
        }
        EXPECT_EQ(image.palette[1].peFlags, 255) << name;
        // One index per byte, never beyond the colours present.
        const auto* indices = static_cast<const std::uint8_t*>(image.pixels);
        for (std::uint32_t i = 0; i < image.height * image.rowPitch; ++i) ASSERT_LT(indices[i], 3) << name;
    }
}

TEST(PngReader, PaletteGammaOnePointZeroMaps128To186) {
    const std::vector<std::uint8_t> file = ReadFile(PngPath("pal4_gama.png"));
    DecodedImage image;
    image.decodePixels = true;
    ASSERT_EQ(qv::ReadPngImage(&image, file.data(), static_cast<std::uint32_t>(file.size())), S_OK);
    // Entry 0 is stored as (128, 64, 255); corrected once, not twice.
    EXPECT_EQ(image.palette[0].peRed, 186);
    EXPECT_EQ(image.palette[0].peGreen, 136);
    EXPECT_EQ(image.palette[0].peBlue, 255);
}

// A minimal PNG stream built chunk by chunk, for headers no tool would write.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void AppendChunk(std::vector<std::uint8_t>* out, const char* type, const std::vector<std::uint8_t>& body) {
    auto put32 = [out](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out->push_back(static_cast<std::uint8_t>(v >> s));
    };
    put32(static_cast<std::uint32_t>(body.size()));
    std::vector<std::uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out->insert(out->end(), typed.begin(), typed.end());
    put32(Crc32(typed.data(), typed.size()));
}

std::vector<std::uint8_t> ForgedPng(std::uint32_t width, std::uint32_t height, std::uint8_t depth,
                                    std::uint8_t colorType) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    for (std::uint32_t v : {width, height})
        for (int s = 24; s >= 0; s -= 8) ihdr.push_back(static_cast<std::uint8_t>(v >> s));
    ihdr.insert(ihdr.end(), {depth, colorType, 0, 0, 0});
    AppendChunk(&png, "IHDR", ihdr);
    // A stored (uncompressed) deflate block of a few zero bytes.
    AppendChunk(&png, "IDAT", {0x78, 0x01, 0x01, 0x04, 0x00, 0xFB, 0xFF, 0, 0, 0, 0, 0x00, 0x04, 0x00, 0x01});
    AppendChunk(&png, "IEND", {});
    return png;
}

TEST(PngReader, RefusesBadAndForgedData) {
    const std::vector<std::uint8_t> good = ReadFile(PngPath("rgb8.png"));
    ASSERT_GT(good.size(), 60u);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint8_t> badCrc = good;
    badCrc[good.size() - 20] ^= 0x55;  // inside the image data
    const Case cases[] = {
        {"truncated inside the image data", std::vector<std::uint8_t>(good.begin(), good.end() - 30)},
        {"truncated inside the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 20)},
        {"signature only", std::vector<std::uint8_t>(good.begin(), good.begin() + 8)},
        {"part of the signature", std::vector<std::uint8_t>(good.begin(), good.begin() + 4)},
        {"damaged image data", badCrc},
        {"no signature", std::vector<std::uint8_t>(40, 'x')},
        // Headers whose pixel memory the file's few bytes cannot back.
        {"65535 x 65535, 16-bit RGBA", ForgedPng(65535, 65535, 16, 6)},
        {"40000 x 40000 grey", ForgedPng(40000, 40000, 8, 0)},
        {"wider than the limit", ForgedPng(1000000, 1, 8, 0)},
    };
    for (const Case& c : cases) {
        DecodedImage image;
        image.decodePixels = true;
        EXPECT_EQ(qv::ReadPngImage(&image, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())), E_FAIL)
            << c.what;
        image.Release();

        DecodedImage dispatched;
        EXPECT_EQ(qv::DecodeImageFile(&dispatched, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()),
                                      nullptr, true),
                  qv::QVERR_INVALIDDATA)
            << c.what;
        EXPECT_EQ(dispatched.pixels, nullptr) << c.what;
        EXPECT_EQ(dispatched.palette, nullptr) << c.what;
    }
}

TEST(PngReader, ForgedHugeHeaderStillDescribes) {
    // Describing needs no pixel memory, so the size alone does not refuse it.
    const std::vector<std::uint8_t> png = ForgedPng(40000, 40000, 8, 0);
    DecodedImage image;
    image.decodePixels = false;
    ASSERT_EQ(qv::ReadPngImage(&image, png.data(), static_cast<std::uint32_t>(png.size())), S_OK);
    EXPECT_EQ(image.width, 40000u);
    EXPECT_EQ(image.rowPitch, 40000u);
    EXPECT_EQ(image.pixels, nullptr);
}

}  // namespace
