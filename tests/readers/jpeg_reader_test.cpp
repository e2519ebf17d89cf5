// JPEG reader over libjpeg.
#include <gtest/gtest.h>

#include <cmath>

#include "quorvane/platform/test_hooks.h"
#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

// libjpeg-turbo and stb_image use different inverse transforms and chroma
// upsampling, so decoded samples differ a little: at most kMaxDifference in
// any channel and kMeanDifference on average.
constexpr int kMaxDifference = 12;
constexpr double kMeanDifference = 1.5;

TEST(JpegReader, FilesMatchStbImageWithinTolerance) {
    struct Case {
        const char* file;
        D3DFORMAT format;
    } cases[] = {
        {"jpeg/colour.jpg", D3DFMT_X8R8G8B8},
        {"jpeg/colour_444.jpg", D3DFMT_X8R8G8B8},
        {"jpeg/progressive.jpg", D3DFMT_X8R8G8B8},
        {"jpeg/grey.jpg", D3DFMT_L8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = ReadFixture(c.file);
        Result r = Decode(qv::ReadJpegImage, file);
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.image->format, c.format);
        EXPECT_TRUE(r.image->ownsPixels);
        EXPECT_EQ(r.image->rowPitch, r.image->width * (c.format == D3DFMT_L8 ? 1u : 4u));
        EXPECT_EQ(r.image->slicePitch, 0u);
        const StbPicture ref = StbDecode(file);
        ASSERT_EQ(r.image->width, static_cast<std::uint32_t>(ref.width));
        ASSERT_EQ(r.image->height, static_cast<std::uint32_t>(ref.height));
        int worst = 0;
        double sum = 0;
        for (int y = 0; y < ref.height; ++y) {
            const auto* row = static_cast<const std::uint8_t*>(r.image->pixels) + static_cast<std::size_t>(y) * r.image->rowPitch;
            for (int x = 0; x < ref.width; ++x) {
                // X8R8G8B8 from libjpeg has a zero top byte.
                if (c.format == D3DFMT_X8R8G8B8) {
                    ASSERT_EQ(row[4 * x + 3], 0) << x << "," << y;
                }
                const Rgba ours = PixelRgba(*r.image, x, y);
                for (int ch = 0; ch < 3; ++ch) {
                    const int d = std::abs(ours[ch] - ref.rgba[(static_cast<std::size_t>(y) * ref.width + x) * 4 + ch]);
                    worst = std::max(worst, d);
                    sum += d;
                }
            }
        }
        EXPECT_LE(worst, kMaxDifference);
        EXPECT_LE(sum / (3.0 * ref.width * ref.height), kMeanDifference);
    }
}

// Without MMX ("DisableMMX" set) the fast integer transform is chosen: the
// picture changes a little and stays within the tolerance.
TEST(JpegReader, FastTransformWithoutMmx) {
    const Bytes file = ReadFixture("jpeg/colour.jpg");
    Result accurate = Decode(qv::ReadJpegImage, file);
    qv::testing::SetRegistryDword("DisableMMX", 1);
    Result fast = Decode(qv::ReadJpegImage, file);
    qv::testing::ClearRegistryValue("DisableMMX");
    ASSERT_EQ(accurate.hr, S_OK);
    ASSERT_EQ(fast.hr, S_OK);
    const auto* a = static_cast<const std::uint8_t*>(accurate.image->pixels);
    const auto* f = static_cast<const std::uint8_t*>(fast.image->pixels);
    const std::size_t bytes = static_cast<std::size_t>(accurate.image->rowPitch) * accurate.image->height;
    int worst = 0;
    for (std::size_t i = 0; i < bytes; ++i) worst = std::max(worst, std::abs(a[i] - f[i]));
    EXPECT_GT(worst, 0);
    EXPECT_LE(worst, kMaxDifference);
}

TEST(JpegReader, DescribesWithoutDecoding) {
    const Bytes file = ReadFixture("jpeg/colour.jpg");
    Result r = Decode(qv::ReadJpegImage, file, false);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(r.image->width, 37u);
    EXPECT_EQ(r.image->height, 23u);
    EXPECT_EQ(r.image->rowPitch, 148u);
    EXPECT_EQ(r.image->pixels, nullptr);
}

TEST(JpegReader, RefusesWhatItCannotReturn) {
    // Four-component files, other formats, and files cut off before their
    // end (libjpeg asks for more input once the whole file was used: that
    // is an error, never a cue to read the file again from its first byte).
    for (const char* file : {"jpeg/cmyk.jpg", "jpeg/colour_cut.jpg", "jpeg/progressive_cut.jpg", "bmp/rgb24.bmp",
                             "ppm/rgb_p6.ppm"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(Decode(qv::ReadJpegImage, ReadFixture(file)).hr, E_FAIL);
    }
    // A marker whose length reaches past the end of the file ends the data.
    EXPECT_EQ(Decode(qv::ReadJpegImage, Bytes{0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 0, 0}).hr, E_FAIL);
    EXPECT_EQ(Decode(qv::ReadJpegImage, Bytes{0xFF}).hr, E_FAIL);
}

// A header whose pixel memory would pass 32 bits is refused before any
// decoding, described or not; the same file with a smaller size is described.
TEST(JpegReader, PixelMemoryBeyond32BitsIsRefused) {
    Bytes file = ReadFixture("jpeg/colour.jpg");
    std::size_t sof = 0;
    for (std::size_t i = 0; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    }
    ASSERT_NE(sof, 0u);
    auto setSize = [&](std::uint32_t width, std::uint32_t height) {
        file[sof + 5] = static_cast<std::uint8_t>(height >> 8);
        file[sof + 6] = static_cast<std::uint8_t>(height);
        file[sof + 7] = static_cast<std::uint8_t>(width >> 8);
        file[sof + 8] = static_cast<std::uint8_t>(width);
    };
    setSize(65000, 65000);  // 4 × 65000 × 65000 bytes
    EXPECT_EQ(Decode(qv::ReadJpegImage, file, false).hr, E_FAIL);
    EXPECT_EQ(Decode(qv::ReadJpegImage, file, true).hr, E_FAIL);
    setSize(30000, 30000);
    Result r = Decode(qv::ReadJpegImage, file, false);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->width, 30000u);
    EXPECT_EQ(r.image->rowPitch, 120000u);
}

}  // namespace
}  // namespace qvtest
