// The reader dispatch: arguments, the release of what failing readers leave,
// the description record and the numeric locale around the readers.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <stdlib.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quorvane/image/decoded_image.h"
#include "quorvane/pixel/pixel_format.h"

namespace {

using qv::DecodedImage;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> Fixture(const char* name) {
    return ReadFile(std::string(QV_TEST_DATA_DIR) + "/image/png/" + name);
}

TEST(DecodeImageFile, RefusesMissingData) {
    const std::uint8_t byte = 0;
    DecodedImage image;
    qv::ImageInfo info{};
    EXPECT_EQ(qv::DecodeImageFile(&image, &byte, 0, &info, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(qv::DecodeImageFile(&image, nullptr, 10, &info, true), D3DERR_INVALIDCALL);
}

TEST(DecodeImageFile, NothingAskedNothingDone) {
    const std::vector<std::uint8_t> file = Fixture("rgb8.png");
    DecodedImage image;
    ASSERT_EQ(qv::DecodeImageFile(&image, file.data(), static_cast<std::uint32_t>(file.size()), nullptr, false), S_OK);
    EXPECT_EQ(image.format, D3DFMT_UNKNOWN);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0u);
    EXPECT_FALSE(image.decodePixels);
}

TEST(DecodeImageFile, UnknownBytesLeaveAnEmptyRecord) {
    const char text[] = "just some words in a text file, no picture here\n";
    DecodedImage image;
    qv::ImageInfo info{};
    info.width = 1234;
    EXPECT_EQ(qv::DecodeImageFile(&image, text, sizeof text - 1, &info, true), qv::QVERR_INVALIDDATA);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
    EXPECT_EQ(image.nextLevel, nullptr);
    EXPECT_EQ(image.nextFace, nullptr);
    EXPECT_FALSE(image.ownsPixels);
    EXPECT_FALSE(image.ownsPalette);
    EXPECT_EQ(info.width, 1234u) << "info is filled on success only";
}

TEST(DecodeImageFile, DescribesTheFirstRecordAndSetsSourceBoxes) {
    const std::vector<std::uint8_t> file = Fixture("greyalpha16.png");
    for (bool decode : {true, false}) {
        DecodedImage image;
        qv::ImageInfo info{};
        ASSERT_EQ(qv::DecodeImageFile(&image, file.data(), static_cast<std::uint32_t>(file.size()), &info, decode),
                  S_OK);
        EXPECT_EQ(image.format, qv::FMT_A16L16);
        EXPECT_EQ(info.format, D3DFMT_A8L8);
        EXPECT_EQ(info.width, 7u);
        EXPECT_EQ(info.height, 5u);
        EXPECT_EQ(info.depth, 1u);
        EXPECT_EQ(info.mipLevels, 1u);
        EXPECT_EQ(info.resourceType, D3DRTYPE_TEXTURE);
        EXPECT_EQ(info.fileFormat, qv::ImageFileFormat::Png);
        EXPECT_EQ(image.sourceBox.right, 7u);
        EXPECT_EQ(image.sourceBox.bottom, 5u);
        EXPECT_EQ(image.sourceBox.back, 1u);
        EXPECT_EQ(image.pixels != nullptr, decode);
    }
}

TEST(DecodeImageFile, ClosestExternalFormat) {
    EXPECT_EQ(qv::ClosestExternalFormat(qv::FMT_A16L16), D3DFMT_A8L8);
    EXPECT_EQ(qv::ClosestExternalFormat(qv::FMT_R16G16B16), D3DFMT_R8G8B8);
    EXPECT_EQ(qv::ClosestExternalFormat(D3DFMT_DXT1), D3DFMT_DXT1);
    EXPECT_EQ(qv::ClosestExternalFormat(D3DFMT_A16B16G16R16), D3DFMT_A16B16G16R16);
}

TEST(DecodedImage, ReleaseFreesLevelAndFaceChains) {
    // Two faces of three levels each, every record owning its memory; the
    // leak checker sees anything left behind.
    DecodedImage image;
    DecodedImage* face = &image;
    for (int f = 0; f < 2; ++f) {
        DecodedImage* level = face;
        for (int l = 0; l < 3; ++l) {
            level->pixels = new std::uint8_t[64];
            level->ownsPixels = true;
            if (l < 2) level = level->nextLevel = new DecodedImage;
        }
        if (f == 0) face = face->nextFace = new DecodedImage;
    }
    image.palette = new PALETTEENTRY[256];
    image.ownsPalette = true;
    image.Release();
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
    EXPECT_EQ(image.nextLevel, nullptr);
    EXPECT_EQ(image.nextFace, nullptr);
    EXPECT_FALSE(image.ownsPixels);

    // Memory the record does not own stays with its owner.
    std::uint8_t borrowed[4] = {1, 2, 3, 4};
    image.pixels = borrowed;
    image.Release();
    EXPECT_EQ(borrowed[3], 4);
}

// Runs the test body under a numeric locale whose decimal separator is a
// comma, and puts the locale the process had back afterwards.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current != nullptr ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"}) {
            if (std::setlocale(LC_NUMERIC, name) != nullptr) {
                comma_ = name;
                break;
            }
        }
        if (comma_.empty()) MakeCommaLocale();
        if (comma_.empty()) GTEST_SKIP() << "no comma-decimal locale is available and none could be generated";
        if (std::strcmp(std::localeconv()->decimal_point, ",") != 0) GTEST_SKIP() << comma_ << " has no decimal comma";
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, saved_.c_str()); }

    // Compiles de_DE.UTF-8 into a folder of the working directory (the build
    // tree) and points the C library there: needs the locale sources of the
    // "locales" package, not root. Later runs reuse the folder.
    void MakeCommaLocale() {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) == nullptr) return;
        const std::string folder = std::string(cwd) + "/qv-test-locales";
        // Generate before the first look-up: the C library remembers a name
        // it failed to find.
        if (access((folder + "/de_DE.UTF-8/LC_NUMERIC").c_str(), R_OK) != 0) {
            const std::string command =
                "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0) return;
        }
        setenv("LOCPATH", folder.c_str(), 1);
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
            unsetenv("LOCPATH");
            return;
        }
        comma_ = "de_DE.UTF-8";
    }

    void ExpectCommaLocaleInForce() {
        EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), comma_.c_str());
        EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    }

    std::string saved_;
    std::string comma_;
};

TEST_F(CommaLocale, RestoredAfterSuccessAndFailure) {
    const std::vector<std::uint8_t> png = Fixture("rgb8.png");
    DecodedImage image;
    ASSERT_EQ(qv::DecodeImageFile(&image, png.data(), static_cast<std::uint32_t>(png.size()), nullptr, true), S_OK);
    ExpectCommaLocaleInForce();

    const char text[] = "not a picture";
    DecodedImage nothing;
    ASSERT_EQ(qv::DecodeImageFile(&nothing, text, sizeof text - 1, nullptr, true), qv::QVERR_INVALIDDATA);
    ExpectCommaLocaleInForce();
}

TEST_F(CommaLocale, DecimalNumbersInFilesReadAsUnderC) {
    // A PFM whose scale is written with a decimal point, and an HDR with an
    // exposure: whatever the readers make of them, they must make the same
    // under the comma locale as under "C".
    std::string pfm = "PF\n2 1\n-0.5\n";
    const float samples[6] = {0.25f, 0.5f, 1.0f, 2.0f, 4.0f, 8.0f};
    pfm.append(reinterpret_cast<const char*>(samples), sizeof samples);
    std::string hdr = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=0.5\n\n-Y 1 +X 2\n";
    hdr.append("\x80\x80\x80\x81\x80\x80\x80\x81", 8);

    for (const std::string* file : {&pfm, &hdr}) {
        auto decode = [&](std::vector<std::uint8_t>* pixels, qv::ImageInfo* info) {
            DecodedImage image;
            const HRESULT hr = qv::DecodeImageFile(&image, file->data(), static_cast<std::uint32_t>(file->size()),
                                                   info, true);
            if (SUCCEEDED(hr) && image.pixels != nullptr) {
                const auto* p = static_cast<const std::uint8_t*>(image.pixels);
                pixels->assign(p, p + std::size_t{image.rowPitch} * image.height);
            }
            return hr;
        };
        std::vector<std::uint8_t> withComma, withC;
        qv::ImageInfo infoComma{}, infoC{};
        const HRESULT hrComma = decode(&withComma, &infoComma);
        ExpectCommaLocaleInForce();
        std::setlocale(LC_NUMERIC, "C");
        const HRESULT hrC = decode(&withC, &infoC);
        std::setlocale(LC_NUMERIC, comma_.c_str());
        EXPECT_EQ(hrComma, hrC);
        EXPECT_EQ(withComma, withC);
        EXPECT_EQ(infoComma.format, infoC.format);
    }
}

}  // namespace
