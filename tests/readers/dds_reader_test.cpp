// DDS reader.
#include <gtest/gtest.h>

#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

constexpr std::uint32_t kFourCCFlag = 0x4;
constexpr std::uint32_t kRgbFlag = 0x40;
constexpr std::uint32_t kAlphaPixelsFlag = 0x1;
constexpr std::uint32_t kPaletteFlag = 0x20;
constexpr std::uint32_t kDepthFlag = 0x800000;

struct DdsFields {
    std::uint32_t width = 4;
    std::uint32_t height = 4;
    std::uint32_t depth = 0;
    std::uint32_t headerFlags = 0x1007;
    std::uint32_t mips = 0;
    std::uint32_t pfSize = 32;
    std::uint32_t pfFlags = kFourCCFlag;
    std::uint32_t fourCC = MakeFourCC('D', 'X', 'T', '1');
    std::uint32_t bitCount = 0;
    std::array<std::uint32_t, 4> masks{};
    std::uint32_t caps2 = 0;
    std::size_t payload = 8;
};

Bytes MakeDds(const DdsFields& s) {
    ByteWriter w;
    w.Text("DDS ").U32(124).U32(s.headerFlags).U32(s.height).U32(s.width).U32(0).U32(s.depth).U32(s.mips);
    w.Fill(44, 0);
    w.U32(s.pfSize).U32(s.pfFlags).U32(s.fourCC).U32(s.bitCount);
    for (std::uint32_t m : s.masks) w.U32(m);
    w.U32(0x1000).U32(s.caps2).Fill(12, 0);
    // Payload bytes count up so each level's first byte is recognisable.
    for (std::size_t i = 0; i < s.payload; ++i) w.U8(static_cast<std::uint32_t>(i));
    return w.bytes;
}

struct Level {
    std::uint32_t width, height, depth, rowPitch, slicePitch, offset;
};

// The records along nextLevel from `face`, checked against `levels`.
void ExpectLevels(const qv::DecodedImage* face, const Bytes& file, D3DFORMAT format, const std::vector<Level>& levels) {
    std::size_t i = 0;
    for (const qv::DecodedImage* r = face; r != nullptr; r = r->nextLevel, ++i) {
        ASSERT_LT(i, levels.size());
        SCOPED_TRACE(i);
        const Level& l = levels[i];
        EXPECT_EQ(r->format, format);
        EXPECT_EQ((std::array<std::uint32_t, 5>{r->width, r->height, r->depth, r->rowPitch, r->slicePitch}),
                  (std::array<std::uint32_t, 5>{l.width, l.height, l.depth, l.rowPitch, l.slicePitch}));
        EXPECT_EQ(r->pixels, file.data() + l.offset);
        EXPECT_FALSE(r->ownsPixels);
    }
    EXPECT_EQ(i, levels.size());
}

TEST(DdsReader, NvcompressMipChains) {
    // 37 x 23 down to 1 x 1 in six levels; each level follows the last.
    const std::vector<Level> dxt1 = {{37, 23, 1, 80, 480, 128}, {18, 11, 1, 40, 120, 608}, {9, 5, 1, 24, 48, 728},
                                     {4, 2, 1, 8, 8, 776},      {2, 1, 1, 8, 8, 784},      {1, 1, 1, 8, 8, 792}};
    const Bytes file1 = ReadFixture("dds/dxt1_mips.dds");
    Result r = Decode(qv::ReadDdsImage, file1);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->resourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(r.image->nextFace, nullptr);
    ExpectLevels(r.image.get(), file1, D3DFMT_DXT1, dxt1);

    const Bytes file5 = ReadFixture("dds/dxt5_mips.dds");
    r = Decode(qv::ReadDdsImage, file5);
    ASSERT_EQ(r.hr, S_OK);
    ExpectLevels(r.image.get(), file5, D3DFMT_DXT5,
                 {{37, 23, 1, 160, 960, 128}, {18, 11, 1, 80, 240, 1088}, {9, 5, 1, 48, 96, 1328},
                  {4, 2, 1, 16, 16, 1424}, {2, 1, 1, 16, 16, 1440}, {1, 1, 1, 16, 16, 1456}});
}

TEST(DdsReader, UncompressedFilesMatchTheSourcePicture) {
    const StbPicture source = StbDecode(ReadFixture("src/rgba.png"));
    const StbPicture sourceRgb = StbDecode(ReadFixture("src/rgb.png"));
    struct Case {
        const char* file;
        D3DFORMAT format;
        const StbPicture* source;
    } cases[] = {
        {"dds/argb32.dds", D3DFMT_A8R8G8B8, &source},  // nvcompress
        {"dds/im_rgb.dds", D3DFMT_R8G8B8, &sourceRgb},  // ImageMagick
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = ReadFixture(c.file);
        Result r = Decode(qv::ReadDdsImage, file, false);  // pixels are set all the same
        ASSERT_EQ(r.hr, S_OK);
        ASSERT_EQ(r.image->format, c.format);
        ASSERT_EQ(r.image->width, 37u);
        ASSERT_EQ(r.image->height, 23u);
        EXPECT_EQ(r.image->pixels, file.data() + 128);
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                const std::uint8_t* want = &c.source->rgba[(static_cast<std::size_t>(y) * 37 + x) * 4];
                ASSERT_EQ(PixelRgba(*r.image, x, y), (Rgba{want[0], want[1], want[2], want[3]})) << x << "," << y;
            }
        }
    }
}

TEST(DdsReader, CubeMaps) {
    const Bytes file = ReadFixture("dds/cube_dxt1.dds");
    Result r = Decode(qv::ReadDdsImage, file);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->resourceType, D3DRTYPE_CUBETEXTURE);
    // Six faces of 32 x 32 down to 1 x 1: 6 levels, 696 bytes a face.
    std::uint32_t faces = 0;
    for (const qv::DecodedImage* face = r.image.get(); face != nullptr; face = face->nextFace, ++faces) {
        SCOPED_TRACE(faces);
        const std::uint32_t base = 128 + faces * 696;
        ExpectLevels(face, file, D3DFMT_DXT1,
                     {{32, 32, 1, 64, 512, base}, {16, 16, 1, 32, 128, base + 512}, {8, 8, 1, 16, 32, base + 640},
                      {4, 4, 1, 8, 8, base + 672}, {2, 2, 1, 8, 8, base + 680}, {1, 1, 1, 8, 8, base + 688}});
        for (const qv::DecodedImage* level = face->nextLevel; level != nullptr; level = level->nextLevel)
            EXPECT_EQ(level->nextFace, nullptr);
    }
    EXPECT_EQ(faces, 6u);

    // Three levels of six faces made by hand: 18 records.
    DdsFields s;
    s.mips = 3;
    s.caps2 = 0xFE00;
    s.payload = 6 * 3 * 8;
    r = Decode(qv::ReadDdsImage, MakeDds(s));
    ASSERT_EQ(r.hr, S_OK);
    int records = 0;
    for (const qv::DecodedImage* face = r.image.get(); face != nullptr; face = face->nextFace)
        for (const qv::DecodedImage* level = face; level != nullptr; level = level->nextLevel) ++records;
    EXPECT_EQ(records, 18);

    // Only +X and -X: a partial cube map is refused.
    s.caps2 = 0x200 | 0x400 | 0x800;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(s)).hr, E_FAIL);
}

TEST(DdsReader, LevelSizes) {
    // 256 x 256 DXT1 with 9 levels needs 128 + 43,704 bytes.
    DdsFields s;
    s.width = 256;
    s.height = 256;
    s.mips = 9;
    s.payload = 43704;
    Result r = Decode(qv::ReadDdsImage, MakeDds(s));
    ASSERT_EQ(r.hr, S_OK);
    const qv::DecodedImage* last = r.image.get();
    int count = 1;
    for (; last->nextLevel != nullptr; last = last->nextLevel) ++count;
    EXPECT_EQ(count, 9);
    EXPECT_EQ((std::array<std::uint32_t, 4>{last->width, last->height, last->rowPitch, last->slicePitch}),
              (std::array<std::uint32_t, 4>{1, 1, 8, 8}));
    s.payload -= 1;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(s)).hr, E_FAIL);

    // A 1 x 1 DXT5 level still takes a 16-byte block; more levels than the
    // size allows go on at 1 x 1 while the data lasts.
    DdsFields t;
    t.width = 1;
    t.height = 1;
    t.fourCC = MakeFourCC('D', 'X', 'T', '5');
    t.mips = 4;
    t.payload = 64;
    const Bytes file = MakeDds(t);
    r = Decode(qv::ReadDdsImage, file);
    ASSERT_EQ(r.hr, S_OK);
    ExpectLevels(r.image.get(), file, D3DFMT_DXT5,
                 {{1, 1, 1, 16, 16, 128}, {1, 1, 1, 16, 16, 144}, {1, 1, 1, 16, 16, 160}, {1, 1, 1, 16, 16, 176}});

    // Level counts are limited to 64 a face: more is refused, however much
    // data follows, so a forged count cannot chain millions of records.
    t.fourCC = MakeFourCC('D', 'X', 'T', '1');
    t.mips = 64;
    t.payload = 65 * 8;
    r = Decode(qv::ReadDdsImage, MakeDds(t));
    ASSERT_EQ(r.hr, S_OK);
    t.mips = 65;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(t)).hr, E_FAIL);

    // A volume of 64 x 64 x 16 A8R8G8B8 with three levels.
    DdsFields v;
    v.width = 64;
    v.height = 64;
    v.depth = 16;
    v.headerFlags |= kDepthFlag;
    v.mips = 3;
    v.pfFlags = kAlphaPixelsFlag | kRgbFlag;
    v.fourCC = 0;
    v.bitCount = 32;
    v.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    v.payload = 16384 * 16 + 4096 * 8 + 1024 * 4;
    const Bytes volume = MakeDds(v);
    r = Decode(qv::ReadDdsImage, volume);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->resourceType, D3DRTYPE_VOLUMETEXTURE);
    ExpectLevels(r.image.get(), volume, D3DFMT_A8R8G8B8,
                 {{64, 64, 16, 256, 16384, 128}, {32, 32, 8, 128, 4096, 128 + 262144},
                  {16, 16, 4, 64, 1024, 128 + 262144 + 32768}});

    // DDSD_DEPTH with depth 1 still makes a volume; without the flag the
    // depth field is not read.
    v.depth = 1;
    v.mips = 1;
    r = Decode(qv::ReadDdsImage, MakeDds(v));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->resourceType, D3DRTYPE_VOLUMETEXTURE);
    v.headerFlags &= ~kDepthFlag;
    v.depth = 16;
    r = Decode(qv::ReadDdsImage, MakeDds(v));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->depth, 1u);
    EXPECT_EQ(r.image->resourceType, D3DRTYPE_TEXTURE);
}

TEST(DdsReader, PixelFormatMatching) {
    struct Case {
        const char* name;
        std::uint32_t flags;
        std::uint32_t fourCC;
        std::uint32_t bitCount;
        std::array<std::uint32_t, 4> masks;
        D3DFORMAT format;  // D3DFMT_UNKNOWN: refused
    } cases[] = {
        {"R8G8B8", kRgbFlag, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_R8G8B8},
        {"X8R8G8B8", kRgbFlag, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_X8R8G8B8},
        {"red 0x3FF00000 is A2B10G10R10", kRgbFlag | kAlphaPixelsFlag, 0, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, D3DFMT_A2B10G10R10},
        {"red 0x3FF is A2R10G10B10", kRgbFlag | kAlphaPixelsFlag, 0, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2R10G10B10},
        {"alpha masks are compared with ALPHAPIXELS", kRgbFlag | kAlphaPixelsFlag, 0, 16, {0x7C00, 0x3E0, 0x1F, 0x4000}, D3DFMT_UNKNOWN},
        {"A8", 0x2, 0, 8, {0, 0, 0, 0xFF}, D3DFMT_A8},
        {"L8 ignores the green mask", 0x20000, 0, 8, {0xFF, 0x1234, 0, 0}, D3DFMT_L8},
        {"A4L4", 0x20000 | kAlphaPixelsFlag, 0, 8, {0xF, 0, 0, 0xF0}, D3DFMT_A4L4},
        {"V8U8", 0x80000, 0, 16, {0xFF, 0xFF00, 0, 0}, D3DFMT_V8U8},
        {"L6V5U5", 0x40000, 0, 16, {0x1F, 0x3E0, 0xFC00, 0}, D3DFMT_L6V5U5},
        {"D16_LOCKABLE", 0x400, 0, 16, {0, 0xFFFF, 0, 0}, D3DFMT_D16_LOCKABLE},
        {"FourCC with other flags", kFourCCFlag | kRgbFlag | kAlphaPixelsFlag, MakeFourCC('D', 'X', 'T', '3'), 99, {1, 2, 3, 4}, D3DFMT_DXT3},
        {"YUY2", kFourCCFlag, MakeFourCC('Y', 'U', 'Y', '2'), 0, {}, D3DFMT_YUY2},
        {"numeric FourCC 113", kFourCCFlag, 113, 0, {}, D3DFMT_A16B16G16R16F},
        {"numeric FourCC 117", kFourCCFlag, 117, 0, {}, D3DFMT_CxV8U8},
        {"unknown FourCC", kFourCCFlag, MakeFourCC('D', 'X', 'T', '6'), 0, {}, D3DFMT_UNKNOWN},
        {"lower-case FourCC", kFourCCFlag, MakeFourCC('d', 'x', 't', '1'), 0, {}, D3DFMT_UNKNOWN},
        {"unknown masks", kRgbFlag, 0, 32, {0xFF, 0xFF, 0xFF, 0}, D3DFMT_UNKNOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DdsFields s;
        s.pfFlags = c.flags;
        s.fourCC = c.fourCC;
        s.bitCount = c.bitCount;
        s.masks = c.masks;
        s.payload = 4 * 4 * 16;
        Result r = Decode(qv::ReadDdsImage, MakeDds(s));
        if (c.format == D3DFMT_UNKNOWN) {
            EXPECT_EQ(r.hr, E_FAIL);
        } else {
            ASSERT_EQ(r.hr, S_OK);
            EXPECT_EQ(r.image->format, c.format);
        }
    }
    DdsFields s;
    s.pfSize = 24;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(s)).hr, E_FAIL);

    // YUY2 rows are 4 bytes per pair of pixels; 16-bit formats take the
    // table's bits per pixel.
    s = DdsFields{};
    s.width = 5;
    s.fourCC = MakeFourCC('U', 'Y', 'V', 'Y');
    s.payload = 12 * 4;
    Result r = Decode(qv::ReadDdsImage, MakeDds(s));
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->rowPitch, 12u);
    EXPECT_EQ(r.image->slicePitch, 48u);
}

TEST(DdsReader, PalettesFollowTheHeader) {
    DdsFields s;
    s.width = 2;
    s.height = 2;
    s.pfFlags = kPaletteFlag;
    s.fourCC = 0;
    s.bitCount = 8;
    s.payload = 1024 + 4;
    const Bytes file = MakeDds(s);
    Result r = Decode(qv::ReadDdsImage, file);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.image->format, D3DFMT_P8);
    EXPECT_EQ(static_cast<const void*>(r.image->palette), file.data() + 128);
    EXPECT_FALSE(r.image->ownsPalette);
    EXPECT_EQ(r.image->pixels, file.data() + 1152);
    s.payload = 1023;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(s)).hr, E_FAIL);
}

TEST(DdsReader, RefusedFiles) {
    DdsFields s;
    Bytes file = MakeDds(s);
    ASSERT_EQ(Decode(qv::ReadDdsImage, file).hr, S_OK);
    EXPECT_EQ(Decode(qv::ReadDdsImage, Bytes(file.begin(), file.begin() + 127)).hr, E_FAIL);
    file[3] = 'X';
    EXPECT_EQ(Decode(qv::ReadDdsImage, file).hr, E_FAIL);
    EXPECT_EQ(Decode(qv::ReadDdsImage, Bytes{'D', 'D', 'S'}).hr, E_FAIL);
    // An empty top level, and level sizes beyond 32 bits.
    s.width = 0;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(s)).hr, E_FAIL);
    s.width = 0xFFFFFFF0;
    s.height = 0xFFFFFFF0;
    s.mips = 0xFFFFFFFF;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(s)).hr, E_FAIL);
    s.fourCC = 116;  // A32B32G32R32F: 16 bytes a pixel
    s.width = 0x10000000;
    s.height = 1;
    EXPECT_EQ(Decode(qv::ReadDdsImage, MakeDds(s)).hr, E_FAIL);
}

}  // namespace
}  // namespace qvtest
