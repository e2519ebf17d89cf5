// BMP and bare DIB reader.
#include <gtest/gtest.h>

#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

struct DibFields {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::array<std::uint32_t, 4> masks{};  // written when the header has room
    Bytes table;                           // colour table bytes as stored
    Bytes bits;
};

Bytes MakeDib(const DibFields& s) {
    ByteWriter w;
    w.U32(s.headerSize);
    if (s.headerSize == 12) {
        w.U16(static_cast<std::uint16_t>(s.width)).U16(static_cast<std::uint16_t>(s.height)).U16(1).U16(s.bitCount);
    } else {
        w.I32(s.width).I32(s.height).U16(1).U16(s.bitCount).U32(s.compression).U32(0).U32(2835).U32(2835);
        w.U32(s.colorsUsed).U32(0);
        for (std::uint32_t at = 40, i = 0; at + 4 <= s.headerSize && i < 4; at += 4, ++i) w.U32(s.masks[i]);
        while (w.bytes.size() < s.headerSize) w.U8(0);
    }
    return w.Raw(s.table).Raw(s.bits).bytes;
}

Bytes WithFileHeader(const Bytes& dib, std::uint32_t bitsOffset = 0) {
    ByteWriter w;
    w.Text("BM").U32(static_cast<std::uint32_t>(dib.size() + 14)).U32(0).U32(bitsOffset);
    return w.Raw(dib).bytes;
}

// Files written by ImageMagick and Pillow, compared pixel by pixel with
// stb_image's reading of the same file, or of the source picture where stb
// does not read the file (run-length BMPs). 16-bit channels may differ by one
// step of rounding when widened.
TEST(BmpReader, ToolFilesMatchStbImage) {
    struct Case {
        const char* file;
        D3DFORMAT format;
        bool inFile;
        int tolerance;
        const char* reference;
    } cases[] = {
        {"bmp/rgb24.bmp", D3DFMT_R8G8B8, false, 0, nullptr},
        {"bmp/pil_rgb24.bmp", D3DFMT_R8G8B8, false, 0, nullptr},
        {"bmp/rgb24_topdown.bmp", D3DFMT_R8G8B8, true, 0, nullptr},
        {"bmp/pal8.bmp", D3DFMT_P8, false, 0, nullptr},
        {"bmp/pal8_rle.bmp", D3DFMT_P8, false, 0, "src/many.png"},
        {"bmp/pal4.bmp", D3DFMT_P8, false, 0, nullptr},
        {"bmp/mono1.bmp", D3DFMT_P8, false, 0, nullptr},
        {"bmp/argb32_v5.bmp", D3DFMT_A8R8G8B8, false, 0, nullptr},
        {"bmp/rgb565.bmp", D3DFMT_R5G6B5, false, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = ReadFixture(c.file);
        const Bytes reference = c.reference != nullptr ? ReadFixture(c.reference) : file;
        Result r = Decode(qv::ReadBmpImage, file);
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.image->format, c.format);
        EXPECT_EQ(PointsInto(*r.image, file), c.inFile);
        EXPECT_EQ(r.image->ownsPixels, !c.inFile);
        EXPECT_EQ(r.image->depth, 1u);
        EXPECT_EQ(r.image->slicePitch, 0u);
        const StbPicture ref = StbDecode(reference);
        ASSERT_EQ(r.image->width, static_cast<std::uint32_t>(ref.width));
        ASSERT_EQ(r.image->height, static_cast<std::uint32_t>(ref.height));
        int worst = 0;
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                const Rgba ours = PixelRgba(*r.image, x, y);
                for (int ch = 0; ch < 4; ++ch)
                    worst = std::max(worst, std::abs(ours[ch] - ref.rgba[(static_cast<std::size_t>(y) * ref.width + x) * 4 + ch]));
            }
        }
        EXPECT_LE(worst, c.tolerance);
    }
}

TEST(BmpReader, BottomUpRowsAreTurnedAndTopDownRowsStayInTheFile) {
    // Two rows of one 24-bit pixel: stored row 0 is blue, row 1 red.
    DibFields s;
    s.height = 2;
    s.bits = {0xFF, 0, 0, 0, 0, 0, 0xFF, 0};
    const Bytes bottomUp = MakeDib(s);
    Result r = Decode(qv::ReadDibImage, bottomUp);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_TRUE(r.image->ownsPixels);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{255, 0, 0, 255}));  // last stored row first
    EXPECT_EQ(PixelRgba(*r.image, 0, 1), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(r.image->rowPitch, 4u);

    s.height = -2;
    const Bytes topDown = MakeDib(s);
    r = Decode(qv::ReadDibImage, topDown);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_FALSE(r.image->ownsPixels);
    EXPECT_EQ(r.image->pixels, topDown.data() + 40);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{0, 0, 255, 255}));
}

TEST(BmpReader, ThirtyTwoBitAlphaOnlyWhenAFourthByteIsSet) {
    DibFields s;
    s.width = 2;
    s.height = 2;
    s.bitCount = 32;
    s.bits = Bytes(16, 0x40);
    for (int i = 3; i < 16; i += 4) s.bits[i] = 0;
    Result r = Decode(qv::ReadDibImage, MakeDib(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_X8R8G8B8);
    s.bits[15] = 1;
    r = Decode(qv::ReadDibImage, MakeDib(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_A8R8G8B8);
    // Described only: the format is decided all the same, no pixels.
    r = Decode(qv::ReadDibImage, MakeDib(s), false);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(r.image->pixels, nullptr);
    EXPECT_EQ(r.image->rowPitch, 8u);
}

TEST(BmpReader, PaletteFromLongAndCoreTables) {
    // 4 bits, colours used 0: a 16-entry table; entries 16 to 255 are white.
    DibFields s;
    s.width = 3;
    s.bitCount = 4;
    for (int i = 0; i < 16; ++i) s.table.insert(s.table.end(), {std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(3 * i), 0});
    s.bits = {0x1F, 0x20, 0, 0};
    Result r = Decode(qv::ReadDibImage, MakeDib(s));
    ASSERT_EQ(r.hr, S_OK);
    ASSERT_EQ(r.image->format, D3DFMT_P8);
    ASSERT_NE(r.image->palette, nullptr);
    EXPECT_TRUE(r.image->ownsPalette);
    const auto* idx = static_cast<const std::uint8_t*>(r.image->pixels);
    EXPECT_EQ(idx[0], 1);
    EXPECT_EQ(idx[1], 15);
    EXPECT_EQ(idx[2], 2);
    EXPECT_EQ(r.image->rowPitch, 4u);
    const PALETTEENTRY& e15 = r.image->palette[15];
    EXPECT_EQ((Rgba{e15.peRed, e15.peGreen, e15.peBlue, e15.peFlags}), (Rgba{45, 30, 15, 255}));
    for (int i = 16; i < 256; ++i) {
        const PALETTEENTRY& e = r.image->palette[i];
        ASSERT_EQ((Rgba{e.peRed, e.peGreen, e.peBlue, e.peFlags}), (Rgba{255, 255, 255, 255})) << i;
    }

    // Core header: 3-byte entries, 16-bit size fields; 1 bit, most significant first.
    DibFields core;
    core.headerSize = 12;
    core.width = 10;
    core.bitCount = 1;
    core.table = {10, 20, 30, 40, 50, 60};
    core.bits = {0xA0, 0x40, 0, 0};
    r = Decode(qv::ReadDibImage, MakeDib(core));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->width, 10u);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{60, 50, 40, 255}));
    EXPECT_EQ(PixelRgba(*r.image, 1, 0), (Rgba{30, 20, 10, 255}));
    EXPECT_EQ(PixelRgba(*r.image, 9, 0), (Rgba{60, 50, 40, 255}));
}

TEST(BmpReader, ColourTableOfMoreThan256Entries) {
    // 300 entries: the first 256 make the palette, the bits follow all 300.
    DibFields s;
    s.bitCount = 8;
    s.colorsUsed = 300;
    for (int i = 0; i < 300; ++i) s.table.insert(s.table.end(), {std::uint8_t(i), 0, 0, 0});
    s.bits = {255, 0, 0, 0};
    Result r = Decode(qv::ReadDibImage, MakeDib(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{0, 0, 255, 255}));
    // The table must still lie within the data.
    s.colorsUsed = 100000;
    EXPECT_EQ(Decode(qv::ReadDibImage, MakeDib(s)).hr, E_FAIL);
    s.colorsUsed = 0x40000001;  // entry count × 4 leaves 32 bits
    EXPECT_EQ(Decode(qv::ReadDibImage, MakeDib(s)).hr, E_FAIL);
}

TEST(BmpReader, BitFieldMasks) {
    struct Case {
        std::uint32_t headerSize;
        std::uint16_t bits;
        std::array<std::uint32_t, 4> masks;
        D3DFORMAT format;
    } cases[] = {
        {56, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_A1R5G5B5},
        {52, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_X1R5G5B5},  // no room for the alpha mask
        {56, 16, {0xF800, 0x7E0, 0x1F, 0}, D3DFMT_R5G6B5},
        {56, 16, {0xE0, 0x1C, 0x03, 0xFF00}, D3DFMT_A8R3G3B2},
        {56, 16, {0xFF, 0xFF, 0xFF, 0xFF00}, D3DFMT_A8L8},
        {56, 16, {0xFFFF, 0xFFFF, 0xFFFF, 0}, D3DFMT_L16},
        {56, 24, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_R8G8B8},
        {108, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, D3DFMT_A2R10G10B10},
        {108, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2B10G10R10},
        {124, 32, {0xFF, 0xFF00, 0xFF0000, 0}, D3DFMT_X8B8G8R8},
        {124, 32, {0xFFFF, 0xFFFF0000, 0, 0}, D3DFMT_G16R16},
        {56, 32, {0xFF00, 0xFF, 0xFF0000, 0}, D3DFMT_A32B32G32R32F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        DibFields s;
        s.headerSize = c.headerSize;
        s.bitCount = c.bits;
        s.compression = 3;
        s.masks = c.masks;
        s.bits = Bytes(4, 0);
        Result r = Decode(qv::ReadDibImage, MakeDib(s));
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.image->format, c.format);
    }
    // Masks are read from the header only: a 40-byte header is refused, and
    // so are bit counts other than 16, 24 and 32.
    DibFields s;
    s.compression = 3;
    s.table = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    s.bits = Bytes(4, 0);
    EXPECT_EQ(Decode(qv::ReadDibImage, MakeDib(s)).hr, E_FAIL);
    s.headerSize = 56;
    s.bitCount = 8;
    s.table.clear();
    s.colorsUsed = 1;
    s.table = Bytes(4, 0);
    EXPECT_EQ(Decode(qv::ReadDibImage, MakeDib(s)).hr, E_FAIL);
}

TEST(BmpReader, MaskConversionToFloats) {
    // 5-6-5 with a one-bit alpha mask in bit 0: odd values have alpha 1.0.
    DibFields s;
    s.headerSize = 56;
    s.width = 2;
    s.bitCount = 16;
    s.compression = 3;
    s.masks = {0xF800, 0x7E0, 0x1F, 0x1};
    s.bits = {0x00, 0xF8, 0x3F, 0x00};  // 0xF800 and 0x003F
    Result r = Decode(qv::ReadDibImage, MakeDib(s));
    ASSERT_EQ(r.hr, S_OK);
    ASSERT_EQ(r.image->format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(r.image->rowPitch, 32u);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0), (std::array<float, 4>{1.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(PixelFloats(*r.image, 1, 0), (std::array<float, 4>{0.0f, 1.0f / 63.0f, 31.0f * (1.0f / 31.0f), 1.0f}));

    // No colour masks at all: colours read 0.0; alpha without a mask reads 1.0.
    s.masks = {0, 0, 0, 0x8000};
    s.bits = {0xFF, 0xFF, 0xFF, 0x7F};
    r = Decode(qv::ReadDibImage, MakeDib(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(PixelFloats(*r.image, 1, 0), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 0.0f}));
    s.masks = {0xF800, 0x7E0, 0x1E, 0};
    r = Decode(qv::ReadDibImage, MakeDib(s));
    ASSERT_EQ(r.image->format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(PixelFloats(*r.image, 0, 0)[3], 1.0f);
}

TEST(BmpReader, ShiftedMasksReadOneByteLater) {
    // Blue, green, red in the upper three bytes. Top-down: the record points
    // one byte into the bits, and the size test counts that extra byte.
    DibFields s;
    s.headerSize = 56;
    s.width = 2;
    s.height = -1;
    s.bitCount = 32;
    s.compression = 3;
    s.masks = {0xFF000000, 0xFF0000, 0xFF00, 0};
    s.bits = {0x00, 0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x99};
    const Bytes dib = MakeDib(s);
    Result r = Decode(qv::ReadDibImage, dib);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(r.image->pixels, dib.data() + 57);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{0x30, 0x20, 0x10, 255}));
    EXPECT_EQ(PixelRgba(*r.image, 1, 0), (Rgba{0x60, 0x50, 0x40, 255}));
    Bytes cut = dib;
    cut.pop_back();
    EXPECT_EQ(Decode(qv::ReadDibImage, cut).hr, E_FAIL);
}

// Run-length streams. Bottom-up 4 × 2 unless said otherwise; the expected
// rows are listed top row first.
struct RleCase {
    const char* name;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::int32_t width;
    std::int32_t height;
    Bytes stream;
    HRESULT hr;
    Bytes expected;  // output bytes, rowPitch apart
};

TEST(BmpReader, RunLengthStreams) {
    const RleCase cases[] = {
        {"rle8 runs and end of line", 8, 1, 4, 2, {4, 7, 0, 0, 2, 8, 2, 9, 0, 1}, S_OK, {8, 8, 9, 9, 7, 7, 7, 7}},
        // An absolute run of 3 bytes is padded to 4.
        {"rle8 absolute run and pad", 8, 1, 4, 2, {0, 3, 1, 2, 3, 0xEE, 1, 4, 0, 1}, S_OK, {0, 0, 0, 0, 1, 2, 3, 4}},
        // An absolute run of 5 pixels takes 3 bytes and one pad byte.
        {"rle4 absolute run of 5", 4, 2, 6, 1, {0, 5, 0x12, 0x34, 0x50, 0xEE, 1, 0x70, 0, 1}, S_OK, {1, 2, 3, 4, 5, 7, 0, 0}},
        {"rle4 runs alternate halves", 4, 2, 5, 1, {5, 0xAB, 0, 1}, S_OK, {0xA, 0xB, 0xA, 0xB, 0xA, 0, 0, 0}},
        // Delta: two on and one row up (bottom-up); the next end of line goes
        // to the row after the current row start.
        {"delta", 8, 1, 4, 2, {0, 2, 2, 1, 1, 5, 0, 0, 1, 6, 0, 1}, S_OK, {6, 0, 5, 0, 0, 0, 0, 0}},
        {"early end of bitmap", 8, 1, 4, 2, {2, 3, 0, 1}, S_OK, {0, 0, 0, 0, 3, 3, 0, 0}},
        {"every row filled, no end mark", 8, 1, 4, 2, {4, 1, 0, 0, 4, 2, 0, 0}, S_OK, {2, 2, 2, 2, 1, 1, 1, 1}},
        {"stops in the middle", 8, 1, 4, 2, {4, 1, 0, 0}, E_FAIL, {}},
        {"run past the rows", 8, 1, 4, 1, {5, 1, 0, 1}, E_FAIL, {}},
        {"absolute run cut off", 8, 1, 4, 1, {0, 4, 1, 2}, E_FAIL, {}},
        {"delta cut off", 8, 1, 4, 1, {0, 2, 1}, E_FAIL, {}},
        {"delta before the first row", 8, 1, 4, 2, {0, 2, 0, 2, 1, 1, 0, 1}, E_FAIL, {}},
        // Top-down: rows go forward.
        {"top-down", 8, 1, 4, -2, {4, 1, 0, 0, 4, 2, 0, 1}, S_OK, {1, 1, 1, 1, 2, 2, 2, 2}},
    };
    for (const RleCase& c : cases) {
        SCOPED_TRACE(c.name);
        DibFields s;
        s.width = c.width;
        s.height = c.height;
        s.bitCount = c.bitCount;
        s.compression = c.compression;
        s.colorsUsed = 16;
        s.table = Bytes(64, 0);
        s.bits = c.stream;
        Result r = Decode(qv::ReadDibImage, MakeDib(s));
        ASSERT_EQ(r.hr, c.hr);
        if (c.hr != S_OK) continue;
        ASSERT_EQ(r.image->rowPitch * r.image->height, c.expected.size());
        const auto* p = static_cast<const std::uint8_t*>(r.image->pixels);
        EXPECT_EQ(Bytes(p, p + c.expected.size()), c.expected);
    }
}

TEST(BmpReader, RefusedHeaders) {
    DibFields good;
    good.width = 2;
    good.height = 2;
    good.bits = Bytes(16, 0);
    ASSERT_EQ(Decode(qv::ReadDibImage, MakeDib(good)).hr, S_OK);

    struct Case {
        const char* name;
        DibFields fields;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, auto edit) {
        DibFields s = good;
        edit(s);
        cases.push_back({name, s});
    };
    add("header size 20", [](DibFields& s) { s.headerSize = 20; });
    add("negative width", [](DibFields& s) { s.width = -2; });
    add("zero height", [](DibFields& s) { s.height = 0; });
    add("bit count 2", [](DibFields& s) { s.bitCount = 2; });
    add("compression 4", [](DibFields& s) { s.compression = 4; });
    add("bits cut short", [](DibFields& s) { s.bits.resize(13); });
    add("row size overflows 32 bits", [](DibFields& s) { s.width = 0x7FFFFFFF; s.bitCount = 32; });
    add("buffer size overflows 32 bits", [](DibFields& s) { s.width = 0x10000; s.height = -0x10000; });
    add("float buffer overflows 32 bits", [](DibFields& s) {
        s.headerSize = 56; s.compression = 3; s.bitCount = 16; s.masks = {1, 2, 4, 8};
        s.width = 0x10000000; s.height = 1; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(qv::ReadDibImage, MakeDib(c.fields)).hr, E_FAIL);
    }
    Bytes planes = MakeDib(good);
    planes[12] = 2;
    EXPECT_EQ(Decode(qv::ReadDibImage, planes).hr, E_FAIL);
    EXPECT_EQ(Decode(qv::ReadDibImage, Bytes{40, 0, 0}).hr, E_FAIL);
    Bytes huge = MakeDib(good);
    huge[0] = 0xFF;  // header larger than the data
    EXPECT_EQ(Decode(qv::ReadDibImage, huge).hr, E_FAIL);
}

TEST(BmpReader, FileHeader) {
    DibFields s;
    s.bits = {1, 2, 3, 0};
    const Bytes dib = MakeDib(s);
    // The bits offset is not used: the bits follow the colour table.
    Result r = Decode(qv::ReadBmpImage, WithFileHeader(dib, 9999));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(PixelRgba(*r.image, 0, 0), (Rgba{3, 2, 1, 255}));

    Bytes wrongType = WithFileHeader(dib);
    wrongType[1] = 'A';
    EXPECT_EQ(Decode(qv::ReadBmpImage, wrongType).hr, E_FAIL);
    Bytes sizeBeyond = WithFileHeader(dib);
    sizeBeyond[2] += 1;
    EXPECT_EQ(Decode(qv::ReadBmpImage, sizeBeyond).hr, E_FAIL);
    EXPECT_EQ(Decode(qv::ReadBmpImage, Bytes{'B', 'M', 0, 0, 0, 0}).hr, E_FAIL);
}

}  // namespace
}  // namespace qvtest
