// Loading files into surfaces: by name and from memory, source rectangles,
// the description record, and files that cannot be used.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "quorvane/surface/surface_loading.h"
#include "surface/surface_test_util.h"

namespace {

using qv::test::Ref;

std::string Fixture(const char* name) { return std::string(QV_TEST_DATA_DIR) + "/image/png/" + name; }

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SurfaceLoadingTest : public qv::test::DeviceTest {};

// rgb8.png is 7 x 5; its expected pixels are in rgb8.expect.
std::vector<std::uint32_t> ExpectedRgb8() {
    const std::vector<std::uint8_t> e = ReadFile(Fixture("rgb8.expect"));
    std::vector<std::uint32_t> out;
    for (std::size_t i = 16; i + 8 <= e.size(); i += 8)
        out.push_back((std::uint32_t{e[i]} << 16) | (std::uint32_t{e[i + 2]} << 8) | e[i + 4] | 0xFF000000u);
    return out;
}

TEST_F(SurfaceLoadingTest, LoadsAFileByContentWhateverItsName) {
    const std::vector<std::uint8_t> bytes = ReadFile(Fixture("rgb8.png"));
    const std::string renamed = ::testing::TempDir() + "qv_heightmap.dat";
    {
        std::ofstream out(renamed, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const std::vector<std::uint32_t> want = ExpectedRgb8();
    ASSERT_EQ(want.size(), 35u);
    for (const std::string& path : {Fixture("rgb8.png"), renamed}) {
        Ref<IDirect3DSurface9> surface;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(7, 5, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
        qv::ImageInfo info{};
        ASSERT_EQ(qv::LoadSurfaceFromFile(surface.get(), nullptr, nullptr, path.c_str(), nullptr, qv::FilterNone, 0,
                                          &info),
                  S_OK);
        EXPECT_EQ(info.width, 7u);
        EXPECT_EQ(info.height, 5u);
        EXPECT_EQ(info.format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(info.fileFormat, qv::ImageFileFormat::Png);
        EXPECT_EQ(Words(surface.get()), want) << path;
    }
    unlink(renamed.c_str());
}

TEST_F(SurfaceLoadingTest, SixteenBitFilesConvertIntoEightBitSurfaces) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(7, 5, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    qv::ImageInfo info{};
    ASSERT_EQ(qv::LoadSurfaceFromFile(surface.get(), nullptr, nullptr, Fixture("rgb16.png").c_str(), nullptr,
                                      qv::FilterNone, 0, &info),
              S_OK);
    EXPECT_EQ(info.format, D3DFMT_R8G8B8);
    const std::vector<std::uint8_t> e = ReadFile(Fixture("rgb16.expect"));
    const std::vector<std::uint32_t> got = Words(surface.get());
    ASSERT_EQ(got.size(), 35u);
    for (std::size_t p = 0; p < 35; ++p) {
        for (int c = 0; c < 3; ++c) {
            const std::size_t at = 16 + 8 * p + 2 * c;
            const double v = (e[at] | (e[at + 1] << 8)) / 65535.0;
            const int want = static_cast<int>(v * 255.0 + 0.5);
            const int have = static_cast<int>((got[p] >> (16 - 8 * c)) & 0xFF);
            EXPECT_NEAR(have, want, 1) << p << " " << c;
        }
        EXPECT_EQ(got[p] >> 24, 0xFFu);
    }
}

TEST_F(SurfaceLoadingTest, SourceRectangles) {
    const std::vector<std::uint8_t> bytes = ReadFile(Fixture("rgb8.png"));
    const std::vector<std::uint32_t> want = ExpectedRgb8();
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(3, 2, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);

    const RECT part{4, 3, 7, 5};
    ASSERT_EQ(qv::LoadSurfaceFromFileInMemory(surface.get(), nullptr, nullptr, bytes.data(),
                                              static_cast<UINT>(bytes.size()), &part, qv::FilterNone, 0, nullptr),
              S_OK);
    const std::vector<std::uint32_t> got = Words(surface.get());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(got[y * 3 + x], want[(y + 3) * 7 + x + 4]);  // copied, filler kept

    // An empty rectangle is accepted: the whole surface becomes (0, 0, 0, 0).
    const RECT empty{0, 0, 0, 0};
    EXPECT_EQ(qv::LoadSurfaceFromFileInMemory(surface.get(), nullptr, nullptr, bytes.data(),
                                              static_cast<UINT>(bytes.size()), &empty, qv::FilterNone, 0, nullptr),
              S_OK);
    EXPECT_EQ(Words(surface.get()), std::vector<std::uint32_t>(6, 0u));

    // Outside the picture: refused, but the description is filled.
    for (const RECT& bad : {RECT{0, 0, 8, 5}, RECT{0, 0, 7, 6}, RECT{3, 0, 2, 5}, RECT{0, -1, 7, 5}}) {
        qv::ImageInfo info{};
        EXPECT_EQ(qv::LoadSurfaceFromFileInMemory(surface.get(), nullptr, nullptr, bytes.data(),
                                                  static_cast<UINT>(bytes.size()), &bad, qv::FilterNone, 0, &info),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(info.width, 7u);
    }
}

TEST_F(SurfaceLoadingTest, FilesThatCannotBeUsed) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);

    qv::ImageInfo info{};
    info.width = 99;
    const std::string missing = ::testing::TempDir() + "qv_missing_heightmap.png";
    EXPECT_EQ(qv::LoadSurfaceFromFile(surface.get(), nullptr, nullptr, missing.c_str(), nullptr, 1, 0, &info),
              qv::QVERR_INVALIDDATA);
    EXPECT_EQ(info.width, 99u) << "srcInfo untouched";

    const std::string empty = ::testing::TempDir() + "qv_empty.png";
    std::fclose(std::fopen(empty.c_str(), "wb"));
    EXPECT_EQ(qv::LoadSurfaceFromFile(surface.get(), nullptr, nullptr, empty.c_str(), nullptr, 1, 0, &info),
              D3DERR_INVALIDCALL);
    unlink(empty.c_str());

    const std::string text = ::testing::TempDir() + "qv_text.png";
    {
        std::ofstream out(text);
        out << "this is not a picture at all\n";
    }
    EXPECT_EQ(qv::LoadSurfaceFromFile(surface.get(), nullptr, nullptr, text.c_str(), nullptr, 1, 0, nullptr),
              qv::QVERR_INVALIDDATA);
    unlink(text.c_str());

    EXPECT_EQ(qv::LoadSurfaceFromFile(surface.get(), nullptr, nullptr, nullptr, nullptr, 1, 0, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(qv::LoadSurfaceFromFile(nullptr, nullptr, nullptr, Fixture("rgb8.png").c_str(), nullptr, 1, 0, nullptr),
              D3DERR_INVALIDCALL);
    const std::uint8_t byte = 0;
    EXPECT_EQ(qv::LoadSurfaceFromFileInMemory(surface.get(), nullptr, nullptr, &byte, 0, nullptr, 1, 0, nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(SurfaceLoadingTest, DdsWithMipLevelsLoadsItsLargestLevel) {
    const std::string path = std::string(QV_TEST_DATA_DIR) + "/surface/mips.dds";
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    qv::ImageInfo info{};
    ASSERT_EQ(qv::LoadSurfaceFromFile(surface.get(), nullptr, nullptr, path.c_str(), nullptr, qv::FilterNone, 0, &info),
              S_OK);
    EXPECT_EQ(info.fileFormat, qv::ImageFileFormat::Dds);
    EXPECT_EQ(info.width, 8u);
    EXPECT_EQ(info.height, 8u);
    EXPECT_EQ(info.mipLevels, 4u);
    const std::vector<std::uint32_t> got = Words(surface.get());
    ASSERT_EQ(got.size(), 64u);
    for (std::uint32_t y = 0; y < 8; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) {
            const std::uint32_t v = (x * 30 + y * 7) & 0xFF;
            EXPECT_EQ(got[y * 8 + x], v * 0x01010101u) << x << "," << y;
        }
    }
}

}  // namespace
