// Radiance HDR reader.
#include <gtest/gtest.h>

#include <cmath>

#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

Bytes Hdr(const std::string& resolution, const Bytes& scanlines,
          const std::string& header = "#?RADIANCE\n# made by hand\nFORMAT=32-bit_rle_rgbe\n\n") {
    return ByteWriter().Text(header).Text(resolution).Text("\n").Raw(scanlines).bytes;
}

// Flat pixels whose red mantissa is 1 + their index, exponent 136 (scale 1):
// red reads index + 1.5.
Bytes FlatPixels(int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) b.insert(b.end(), {std::uint8_t(i + 1), 0, 0, 136});
    return b;
}

std::vector<int> RedIndices(const qv::DecodedImage& image) {
    std::vector<int> out;
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x)
            out.push_back(static_cast<int>(PixelFloats(image, x, y)[0] - 1.5f));
    return out;
}

TEST(HdrReader, OrientationsPlaceScanlines) {
    struct Case {
        const char* resolution;
        std::vector<int> rows;  // pixel indices, top row first
    } cases[] = {
        {"-Y 2 +X 3", {0, 1, 2, 3, 4, 5}}, {"-Y 2 -X 3", {2, 1, 0, 5, 4, 3}},
        {"+Y 2 +X 3", {3, 4, 5, 0, 1, 2}}, {"+Y 2 -X 3", {5, 4, 3, 2, 1, 0}},
        {"+X 3 -Y 2", {0, 2, 4, 1, 3, 5}}, {"+X 3 +Y 2", {1, 3, 5, 0, 2, 4}},
        {"-X 3 -Y 2", {4, 2, 0, 5, 3, 1}}, {"-X 3 +Y 2", {5, 3, 1, 4, 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resolution);
        Result r = Decode(qv::ReadHdrImage, Hdr(c.resolution, FlatPixels(6)));
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.image->format, D3DFMT_A32B32G32R32F);
        EXPECT_EQ(r.image->width, 3u);
        EXPECT_EQ(r.image->height, 2u);
        EXPECT_EQ(r.image->rowPitch, 48u);
        EXPECT_EQ(RedIndices(*r.image), c.rows);
    }
}

TEST(HdrReader, PixelValuesAndExposure) {
    const Bytes pixel = {128, 64, 32, 129};
    Result r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 1", pixel));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0), (std::array<float, 4>{1.00390625f, 0.50390625f, 0.25390625f, 1.0f}));

    const std::string head = "#?RADIANCE\nFORMAT=32-bit_rle_xyze\nEXPOSURE= 2\n";
    r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 1", pixel, head + "\n"));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0)[0], 1.00390625f / 2);
    r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 1", pixel, head + "EXPOSURE=\t2.0\n\n"));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0)[1], 0.50390625f / 4);

    // Decoded whether or not pixels were asked for.
    r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 1", pixel), false);
    ASSERT_EQ(r.hr, S_OK);
    ASSERT_NE(r.image->pixels, nullptr);
    EXPECT_TRUE(r.image->ownsPixels);

    // An exponent of 0 is not special: 0.5 × 2^-136.
    r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 1", {0, 0, 0, 0}));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0)[0], std::ldexp(0.5f, -136));
}

TEST(HdrReader, ScanlineEncodings) {
    // A flat pixel with red 2 and green 0 is a pixel, not a run-length header.
    Result r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 2", {2, 0, 5, 136, 3, 0, 0, 136}));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0)[2], 5.5f);
    EXPECT_EQ(PixelFloats(*r.image, 1, 0)[0], 3.5f);

    // Repeat groups: (1, 1, 1, 3) adds three copies; two in a row add 3 + 3 × 256.
    Bytes repeat = {7, 0, 0, 136, 1, 1, 1, 3};
    r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 4", repeat));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(RedIndices(*r.image), (std::vector<int>{6, 6, 6, 6}));
    repeat.insert(repeat.end(), {1, 1, 1, 3, 9, 0, 0, 136});
    r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 773", repeat));
    ASSERT_EQ(r.hr, S_OK);
    std::vector<int> expected(773, 6);
    expected.back() = 8;
    EXPECT_EQ(RedIndices(*r.image), expected);
    // A repeat past the scanline's end fails.
    EXPECT_EQ(Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 3", {7, 0, 0, 136, 1, 1, 1, 3})).hr, E_FAIL);
    // So do endless repeat groups whose count would leave 32 bits.
    Bytes shifts = {7, 0, 0, 136};
    for (int i = 0; i < 9; ++i) shifts.insert(shifts.end(), {1, 1, 1, 0});
    shifts.insert(shifts.end(), {1, 1, 1, 1});
    EXPECT_EQ(Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 9", shifts)).hr, E_FAIL);

    // Run-length form, 2 rows of 10: each component as runs (code > 128)
    // and literals; the second row is given as a run of 10 per component.
    Bytes rle = {2, 2, 0, 10, 130, 1, 8, 2, 3, 4, 5, 6, 7, 8, 9, 138, 0, 138, 0, 138, 136,
                 2, 2, 0, 10, 138, 50, 138, 0, 138, 0, 138, 136};
    r = Decode(qv::ReadHdrImage, Hdr("-Y 2 +X 10", rle));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(RedIndices(*r.image), (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 49, 49, 49, 49, 49, 49, 49, 49, 49, 49}));

    struct Bad {
        const char* name;
        Bytes scanlines;
    } bad[] = {
        {"length field disagrees", {2, 2, 0, 9, 138, 1, 138, 0, 138, 0, 138, 136}},
        {"run past the length", {2, 2, 0, 10, 139, 1}},
        {"literal past the length", {2, 2, 0, 10, 11, 1}},
        {"literal cut off", {2, 2, 0, 10, 10, 1, 2}},
        {"run cut off", {2, 2, 0, 10, 138}},
        {"flat pixels cut off", {1, 2, 3, 136, 1, 2}},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        r = Decode(qv::ReadHdrImage, Hdr("-Y 1 +X 10", b.scanlines));
        EXPECT_EQ(r.hr, E_FAIL);
        EXPECT_EQ(r.image->pixels, nullptr);
        EXPECT_FALSE(r.image->ownsPixels);
    }
}

TEST(HdrReader, RefusedHeaders) {
    const Bytes pixel = {1, 1, 1, 128};
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"#?RGBE", Hdr("-Y 1 +X 1", pixel, "#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n")},
        {"no format", Hdr("-Y 1 +X 1", pixel, "#?RADIANCE\n\n")},
        {"other format", Hdr("-Y 1 +X 1", pixel, "#?RADIANCE\nFORMAT=32-bit_rle_rgbx\n\n")},
        {"word after the exposure", Hdr("-Y 1 +X 1", pixel, "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=2 x\n\n")},
        {"empty exposure", Hdr("-Y 1 +X 1", pixel, "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=\n\n")},
        {"bad first axis", Hdr("-Z 1 +X 1", pixel)},
        {"bad first sign", Hdr("*Y 1 +X 1", pixel)},
        {"no second axis", Hdr("-Y 1 1", pixel)},
        {"bad second letter", Hdr("-Y 1 +Q 1", pixel)},
        {"no count", Hdr("-Y x +X 1", pixel)},
        {"zero width", Hdr("-Y 1 +X 0", pixel)},
        {"size beyond 32 bits", Hdr("-Y 65536 +X 65536", pixel)},
        {"no resolution line", ByteWriter().Text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1").bytes},
        {"short", ByteWriter().Text("#?RADIANCE").bytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(qv::ReadHdrImage, c.file).hr, E_FAIL);
    }
}

// Files written by ImageMagick, compared with stb_image. stb_image reads a
// mantissa m as m × 2^(e-136) where this reader (like Radiance) takes the
// middle of the step, (m + 0.5) × 2^(e-136); the brightest mantissa of a
// pixel is at least 128, so each channel may differ by 0.5/128 of the
// pixel's largest channel.
TEST(HdrReader, ImageMagickFilesMatchStbImage) {
    for (const char* name : {"hdr/rgb_rle.hdr", "hdr/rgb_flat.hdr"}) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFixture(name);
        Result r = Decode(qv::ReadHdrImage, file);
        ASSERT_EQ(r.hr, S_OK);
        const StbFloatPicture ref = StbDecodeFloat(file);
        ASSERT_EQ(r.image->width, static_cast<std::uint32_t>(ref.width));
        ASSERT_EQ(r.image->height, static_cast<std::uint32_t>(ref.height));
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                const float* want = &ref.rgb[(static_cast<std::size_t>(y) * ref.width + x) * 3];
                const std::array<float, 4> ours = PixelFloats(*r.image, x, y);
                const float brightest = std::max({want[0], want[1], want[2]});
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_NEAR(ours[ch], want[ch], brightest * (0.5f / 128.0f) + 1e-30f) << x << "," << y;
                ASSERT_EQ(ours[3], 1.0f);
            }
        }
    }
}

}  // namespace
}  // namespace qvtest
