// The readers through the dispatch: recognition by content, rejections that
// leave the record empty, and the replay of every input that ever crashed a
// fuzzer.
#include <gtest/gtest.h>

#include <filesystem>

#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

TEST(ReaderDispatch, EachFormatIsRecognisedByContent) {
    struct Case {
        const char* file;
        qv::ImageFileFormat fileFormat;
        D3DFORMAT format;  // as ImageInfo shows it
        std::uint32_t mipLevels;
        D3DRESOURCETYPE type;
    } cases[] = {
        {"bmp/rgb24.bmp", qv::ImageFileFormat::Bmp, D3DFMT_R8G8B8, 1, D3DRTYPE_TEXTURE},
        {"jpeg/colour.jpg", qv::ImageFileFormat::Jpg, D3DFMT_X8R8G8B8, 1, D3DRTYPE_TEXTURE},
        {"tga/argb32_rle.tga", qv::ImageFileFormat::Tga, D3DFMT_A8R8G8B8, 1, D3DRTYPE_TEXTURE},
        {"dds/cube_dxt1.dds", qv::ImageFileFormat::Dds, D3DFMT_DXT1, 6, D3DRTYPE_CUBETEXTURE},
        {"ppm/rgb_p3.ppm", qv::ImageFileFormat::Ppm, D3DFMT_X8R8G8B8, 1, D3DRTYPE_TEXTURE},
        {"hdr/rgb_rle.hdr", qv::ImageFileFormat::Hdr, D3DFMT_A32B32G32R32F, 1, D3DRTYPE_TEXTURE},
        {"pfm/grey.pfm", qv::ImageFileFormat::Pfm, D3DFMT_A32B32G32R32F, 1, D3DRTYPE_TEXTURE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = ReadFixture(c.file);
        qv::DecodedImage image;
        qv::ImageInfo info{};
        ASSERT_EQ(qv::DecodeImageFile(&image, file.data(), static_cast<std::uint32_t>(file.size()), &info, true), S_OK);
        EXPECT_EQ(info.fileFormat, c.fileFormat);
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.mipLevels, c.mipLevels);
        EXPECT_EQ(info.resourceType, c.type);
        EXPECT_EQ(info.width, c.fileFormat == qv::ImageFileFormat::Dds && c.mipLevels == 6 ? 32u : 37u);
    }

    // The same DIB with and without the "BM" file header.
    const Bytes bmp = ReadFixture("bmp/pal8.bmp");
    const Bytes dib(bmp.begin() + 14, bmp.end());
    for (const auto& [bytes, code] : {std::pair{&bmp, qv::ImageFileFormat::Bmp}, std::pair{&dib, qv::ImageFileFormat::Dib}}) {
        qv::DecodedImage image;
        qv::ImageInfo info{};
        ASSERT_EQ(qv::DecodeImageFile(&image, bytes->data(), static_cast<std::uint32_t>(bytes->size()), &info, true), S_OK);
        EXPECT_EQ(info.fileFormat, code);
        EXPECT_EQ(info.format, D3DFMT_P8);
        EXPECT_NE(image.palette, nullptr);
    }
}

TEST(ReaderDispatch, RejectedFilesLeaveTheRecordEmpty) {
    Bytes bitfields40 = ReadFixture("bmp/rgb24.bmp");
    bitfields40[14 + 16] = 3;  // BI_BITFIELDS behind a 40-byte header
    struct Case {
        const char* name;
        Bytes file;
        bool describedWithoutPixels;  // the header alone is sound
    } cases[] = {
        {"bitfields behind a 40-byte header", bitfields40, false},
        {"CMYK JPEG", ReadFixture("jpeg/cmyk.jpg"), false},
        {"cut-off JPEG", ReadFixture("jpeg/colour_cut.jpg"), true},
        {"binary PPM of maximum 1000", ReadFixture("ppm/rgb_p6_max1000.ppm"), false},
        {"text", ByteWriter().Text("just some text, no picture\n").bytes, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes& file = c.file;
        for (bool decode : {true, false}) {
            if (!decode && c.describedWithoutPixels) continue;
            qv::DecodedImage image;
            qv::ImageInfo info{};
            EXPECT_EQ(qv::DecodeImageFile(&image, file.data(), static_cast<std::uint32_t>(file.size()), &info, decode),
                      qv::QVERR_INVALIDDATA);
            EXPECT_EQ(image.pixels, nullptr);
            EXPECT_EQ(image.palette, nullptr);
            EXPECT_EQ(image.nextLevel, nullptr);
            EXPECT_EQ(image.nextFace, nullptr);
            EXPECT_FALSE(image.ownsPixels);
            EXPECT_FALSE(image.ownsPalette);
        }
    }
}

// Every input that ever crashed, leaked or tripped a sanitizer in a fuzzer
// is kept in crashes/ and replayed here, with and without pixels.
TEST(ReaderDispatch, ReplaysFuzzerFindings) {
    const std::filesystem::path folder = std::filesystem::path(QV_TEST_DATA_DIR) / "readers" / "crashes";
    if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no findings kept";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes file = ReadFixture("crashes/" + entry.path().filename().string());
        if (file.empty()) continue;
        for (bool decode : {true, false}) {
            qv::DecodedImage image;
            qv::ImageInfo info{};
            const HRESULT hr = qv::DecodeImageFile(&image, file.data(), static_cast<std::uint32_t>(file.size()), &info, decode);
            EXPECT_TRUE(hr == S_OK || hr == qv::QVERR_INVALIDDATA);
        }
    }
}

}  // namespace
}  // namespace qvtest
