// TGA reader.
#include <gtest/gtest.h>

#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

struct TgaFields {
    Bytes id;
    std::uint8_t colorMapType = 0;
    std::uint8_t imageType = 2;
    std::uint16_t firstEntry = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t entryBits = 0;
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    std::uint8_t pixelBits = 24;
    std::uint8_t descriptor = 0;
    Bytes map;
    Bytes pixels;
};

Bytes MakeTga(const TgaFields& s) {
    ByteWriter w;
    w.U8(static_cast<std::uint32_t>(s.id.size())).U8(s.colorMapType).U8(s.imageType);
    w.U16(s.firstEntry).U16(s.mapLength).U8(s.entryBits).U32(0);
    w.U16(s.width).U16(s.height).U8(s.pixelBits).U8(s.descriptor);
    return w.Raw(s.id).Raw(s.map).Raw(s.pixels).bytes;
}

Bytes Rows(const qv::DecodedImage& image) {
    const auto* p = static_cast<const std::uint8_t*>(image.pixels);
    return Bytes(p, p + static_cast<std::size_t>(image.rowPitch) * image.height);
}

TEST(TgaReader, ToolFilesMatchStbImage) {
    struct Case {
        const char* file;
        D3DFORMAT format;
        bool inFile;
    } cases[] = {
        {"tga/rgb24.tga", D3DFMT_R8G8B8, false},
        {"tga/rgb24_rle.tga", D3DFMT_R8G8B8, false},
        {"tga/rgb24_topleft.tga", D3DFMT_R8G8B8, true},
        {"tga/argb32_rle.tga", D3DFMT_A8R8G8B8, false},
        {"tga/pil_argb32_rle.tga", D3DFMT_A8R8G8B8, false},
        {"tga/grey8.tga", D3DFMT_L8, false},
        {"tga/pal8.tga", D3DFMT_P8, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = ReadFixture(c.file);
        Result r = Decode(qv::ReadTgaImage, file);
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.image->format, c.format);
        EXPECT_EQ(PointsInto(*r.image, file), c.inFile);
        const StbPicture ref = StbDecode(file);
        ASSERT_EQ(r.image->width, static_cast<std::uint32_t>(ref.width));
        ASSERT_EQ(r.image->height, static_cast<std::uint32_t>(ref.height));
        EXPECT_EQ(r.image->rowPitch, r.image->width * (c.format == D3DFMT_R8G8B8 ? 3u : c.format == D3DFMT_A8R8G8B8 ? 4u : 1u));
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                const std::uint8_t* want = &ref.rgba[(static_cast<std::size_t>(y) * ref.width + x) * 4];
                ASSERT_EQ(PixelRgba(*r.image, x, y), (Rgba{want[0], want[1], want[2], want[3]})) << x << "," << y;
            }
        }
    }
}

TEST(TgaReader, EmptyAlphaIsDroppedAndOriginsAreHonoured) {
    // 32-bit raw, top-down, alpha bytes all 0: X8R8G8B8 in the file.
    TgaFields s;
    s.width = 2;
    s.height = 2;
    s.pixelBits = 32;
    s.descriptor = 0x20;
    s.pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
    const Bytes topDown = MakeTga(s);
    Result r = Decode(qv::ReadTgaImage, topDown);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(r.image->pixels, topDown.data() + 18);
    EXPECT_FALSE(r.image->ownsPixels);

    // Bottom-up: the reader's own memory, last stored row first.
    s.descriptor = 0;
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_X8R8G8B8);
    EXPECT_TRUE(r.image->ownsPixels);
    EXPECT_EQ(Rows(*r.image), (Bytes{7, 8, 9, 0, 10, 11, 12, 0, 1, 2, 3, 0, 4, 5, 6, 0}));

    // Right to left, bottom-up.
    s.descriptor = 0x10;
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(Rows(*r.image), (Bytes{10, 11, 12, 0, 7, 8, 9, 0, 4, 5, 6, 0, 1, 2, 3, 0}));

    // Described only: alpha is not looked at.
    r = Decode(qv::ReadTgaImage, MakeTga(s), false);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(r.image->pixels, nullptr);

    // 16 bits: one pixel with its top bit keeps the alpha format.
    TgaFields h;
    h.width = 2;
    h.pixelBits = 16;
    h.pixels = {0xFF, 0x7F, 0x00, 0x00};
    r = Decode(qv::ReadTgaImage, MakeTga(h));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_X1R5G5B5);
    h.pixels[3] = 0x80;
    r = Decode(qv::ReadTgaImage, MakeTga(h));
    EXPECT_EQ(r.image->format, D3DFMT_A1R5G5B5);
    h.pixelBits = 15;
    r = Decode(qv::ReadTgaImage, MakeTga(h));
    EXPECT_EQ(r.image->format, D3DFMT_X1R5G5B5);
}

TEST(TgaReader, ColourMaps) {
    // First entry 16, 16 entries of 24 bits: palette entries 16 to 31.
    TgaFields s;
    s.colorMapType = 1;
    s.imageType = 1;
    s.firstEntry = 16;
    s.mapLength = 16;
    s.entryBits = 24;
    s.pixelBits = 8;
    s.id = {'h', 'i'};
    for (int i = 0; i < 16; ++i) s.map.insert(s.map.end(), {std::uint8_t(i), std::uint8_t(i + 1), std::uint8_t(i + 2)});
    s.pixels = {20};
    Result r = Decode(qv::ReadTgaImage, MakeTga(s));
    ASSERT_EQ(r.hr, S_OK);
    ASSERT_EQ(r.image->format, D3DFMT_P8);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{6, 5, 4, 255}));
    for (int i : {0, 15, 32, 255}) {
        const PALETTEENTRY& e = r.image->palette[i];
        EXPECT_EQ((Rgba{e.peRed, e.peGreen, e.peBlue, e.peFlags}), (Rgba{255, 255, 255, 255})) << i;
    }

    // 32-bit entries whose alpha is all 0 make an opaque map; one alpha
    // byte set keeps the map's alphas.
    s.firstEntry = 0;
    s.mapLength = 2;
    s.entryBits = 32;
    s.map = {1, 2, 3, 0, 4, 5, 6, 0};
    s.pixels = {1};
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{6, 5, 4, 255}));
    s.map[3] = 9;
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{6, 5, 4, 0}));

    // 15 and 16 bits: 5-bit channels widened by bit replication; bit 15 is alpha.
    s.entryBits = 16;
    s.map = {0x1F, 0x7C, 0xE0, 0x83};  // 0x7C1F, 0x83E0
    s.pixels = {0};
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{255, 0, 255, 0}));
    s.pixels = {1};
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{0, 255, 0, 255}));
    s.entryBits = 15;
    s.pixels = {0};
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{255, 0, 255, 255}));
    s.map = {0x10, 0x42, 0, 0};  // 0x4210: 16, 16, 16 -> 132
    r = Decode(qv::ReadTgaImage, MakeTga(s));
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{132, 132, 132, 255}));

    // A map reaching past entry 255 is refused.
    s.firstEntry = 200;
    s.mapLength = 100;
    s.entryBits = 24;
    s.map = Bytes(300, 0);
    EXPECT_EQ(Decode(qv::ReadTgaImage, MakeTga(s)).hr, E_FAIL);
}

TEST(TgaReader, RunLengthPackets) {
    // A packet of 128 repeats (0xFF) covers a whole 128-pixel row.
    TgaFields s;
    s.imageType = 11;
    s.pixelBits = 8;
    s.width = 128;
    s.descriptor = 0x20;
    s.pixels = {0xFF, 42};
    Result r = Decode(qv::ReadTgaImage, MakeTga(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(Rows(*r.image), Bytes(128, 42));

    // Raw and repeat packets mixed, 24 bits.
    TgaFields t;
    t.imageType = 10;
    t.width = 3;
    t.pixels = {0x01, 1, 2, 3, 4, 5, 6, 0x80, 7, 8, 9};
    r = Decode(qv::ReadTgaImage, MakeTga(t));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(Rows(*r.image), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // Data that runs out is refused.
    t.pixels.pop_back();
    EXPECT_EQ(Decode(qv::ReadTgaImage, MakeTga(t)).hr, E_FAIL);
    t.pixels = {0x01, 1, 2, 3};
    EXPECT_EQ(Decode(qv::ReadTgaImage, MakeTga(t)).hr, E_FAIL);
}

// A packet that runs past the end of its row carries on beyond it in the
// writing direction; the pixel memory is never left.
TEST(TgaReader, PacketsPastTheRowEndStayInsideThePixelMemory) {
    struct Case {
        const char* name;
        std::uint8_t descriptor;
        Bytes stream;
        Bytes expected;
    } cases[] = {
        // Bottom-up: the second stored row is memory row 0; its two extra
        // pixels land at the start of memory row 1.
        {"spills into the row below", 0x00, {0x82, 1, 0x84, 2}, {2, 2, 2, 2, 2, 1}},
        // Top-down: the last row's extras would fall past the end.
        {"clipped at the end", 0x20, {0x82, 1, 0x84, 2}, {1, 1, 1, 2, 2, 2}},
        // Right to left from the top: the first row's extras would fall
        // before the start.
        {"clipped at the start", 0x30, {0x84, 1, 0x00, 3, 0x81, 4}, {1, 1, 1, 4, 4, 3}},
        // Raw packets are clipped the same way and still consume their bytes.
        {"raw packet clipped", 0x20, {0x82, 1, 0x04, 5, 6, 7, 8, 9}, {1, 1, 1, 5, 6, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TgaFields s;
        s.imageType = 11;
        s.pixelBits = 8;
        s.width = 3;
        s.height = 2;
        s.descriptor = c.descriptor;
        s.pixels = c.stream;
        Result r = Decode(qv::ReadTgaImage, MakeTga(s));
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(Rows(*r.image), c.expected);
    }
}

TEST(TgaReader, RefusedHeaders) {
    EXPECT_EQ(Decode(qv::ReadTgaImage, Bytes(18, 0)).hr, E_FAIL);  // width 0
    TgaFields good;
    good.pixels = {1, 2, 3};
    ASSERT_EQ(Decode(qv::ReadTgaImage, MakeTga(good)).hr, S_OK);
    struct Case {
        const char* name;
        void (*edit)(TgaFields&);
    } cases[] = {
        {"colour map type 2", [](TgaFields& s) { s.colorMapType = 2; }},
        {"image type 4", [](TgaFields& s) { s.imageType = 4; }},
        {"image type 0", [](TgaFields& s) { s.imageType = 0; }},
        {"height 0", [](TgaFields& s) { s.height = 0; }},
        {"entry size 8 on a true-colour file",
         [](TgaFields& s) { s.colorMapType = 1; s.entryBits = 8; s.mapLength = 1; s.map = {0}; }},
        {"colour-mapped without a map", [](TgaFields& s) { s.imageType = 1; s.pixelBits = 8; }},
        {"greyscale of 16 bits", [](TgaFields& s) { s.imageType = 3; s.pixelBits = 16; }},
        {"true colour of 8 bits", [](TgaFields& s) { s.pixelBits = 8; }},
        {"pixels missing after the ID bytes", [](TgaFields& s) { s.id = Bytes(4, 0); s.pixels.clear(); }},
        {"colour map past the end", [](TgaFields& s) { s.mapLength = 9; s.entryBits = 24; }},
        {"pixels cut short", [](TgaFields& s) { s.width = 2; }},
        {"raw top-down pixels cut short", [](TgaFields& s) { s.width = 2; s.descriptor = 0x20; }},
        {"size overflows 32 bits", [](TgaFields& s) { s.width = 65535; s.height = 65535; s.pixelBits = 32; s.imageType = 10; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TgaFields s = good;
        c.edit(s);
        EXPECT_EQ(Decode(qv::ReadTgaImage, MakeTga(s)).hr, E_FAIL);
    }
}

}  // namespace
}  // namespace qvtest
