// PFM reader.
#include <gtest/gtest.h>

#include <cmath>

#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

using Floats = std::array<float, 4>;

Bytes BigEndianFloats(std::initializer_list<float> values) {
    ByteWriter w;
    for (float v : values) {
        std::uint32_t u = 0;
        std::memcpy(&u, &v, 4);
        w.U8(u >> 24).U8(u >> 16).U8(u >> 8).U8(u);
    }
    return w.bytes;
}

Bytes LittleEndianFloats(std::initializer_list<float> values) {
    ByteWriter w;
    for (float v : values) w.F32(v);
    return w.bytes;
}

// ImageMagick's files hold the source picture's 8-bit values divided by 255.
TEST(PfmReader, ImageMagickFilesMatchTheSourcePicture) {
    const StbPicture rgb = StbDecode(ReadFixture("src/rgb.png"));
    const StbPicture grey = StbDecode(ReadFixture("src/grey.png"));
    struct Case {
        const char* file;
        const StbPicture* source;
    } cases[] = {{"pfm/rgb.pfm", &rgb}, {"pfm/rgb_le.pfm", &rgb}, {"pfm/grey.pfm", &grey}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Result r = Decode(qv::ReadPfmImage, ReadFixture(c.file));
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.image->format, D3DFMT_A32B32G32R32F);
        EXPECT_EQ(r.image->rowPitch, 37u * 16);
        ASSERT_EQ(r.image->width, static_cast<std::uint32_t>(c.source->width));
        ASSERT_EQ(r.image->height, static_cast<std::uint32_t>(c.source->height));
        for (int y = 0; y < c.source->height; ++y) {
            for (int x = 0; x < c.source->width; ++x) {
                const std::uint8_t* want = &c.source->rgba[(static_cast<std::size_t>(y) * c.source->width + x) * 4];
                const Floats ours = PixelFloats(*r.image, x, y);
                for (int ch = 0; ch < 3; ++ch) ASSERT_NEAR(ours[ch], want[ch] / 255.0f, 1e-6f) << x << "," << y;
                ASSERT_EQ(ours[3], 1.0f);
            }
        }
    }
}

TEST(PfmReader, ByteOrderAndRows) {
    // Stored rows A then B come out as B over A.
    const Bytes colour = ByteWriter()
                             .Text("PF\n2 2\n-1.0\n")
                             .Raw(LittleEndianFloats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}))
                             .bytes;
    for (bool decode : {true, false}) {  // decoded either way
        Result r = Decode(qv::ReadPfmImage, colour, decode);
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(PixelFloats(*r.image, 0, 0), (Floats{7, 8, 9, 1}));
        EXPECT_EQ(PixelFloats(*r.image, 1, 0), (Floats{10, 11, 12, 1}));
        EXPECT_EQ(PixelFloats(*r.image, 0, 1), (Floats{1, 2, 3, 1}));
    }
    // Scale 1.0 or 0.0: big-endian. A carriage return before the size
    // line's line feed is read.
    for (const char* scale : {"1.0", "0.0", "0", "2.5"}) {
        SCOPED_TRACE(scale);
        const Bytes grey = ByteWriter()
                               .Text("Pf\n1 1\r\n")
                               .Text(scale)
                               .Text("\n")
                               .Raw(BigEndianFloats({0.25f}))
                               .bytes;
        Result r = Decode(qv::ReadPfmImage, grey);
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(PixelFloats(*r.image, 0, 0), (Floats{0.25f, 0.25f, 0.25f, 1.0f}));
    }
}

TEST(PfmReader, RefusedFiles) {
    const Bytes pixel = LittleEndianFloats({1, 2, 3});
    struct Case {
        const char* name;
        std::string header;
        std::size_t cut;  // bytes taken off the end
    } cases[] = {
        {"magic line ends in CR LF", "PF\r\n1 1\n-1\n", 0},
        {"grey magic of the wrong case", "pf\n1 1\n-1\n", 0},
        {"third number on the size line", "PF\n1 1 1\n-1\n", 0},
        {"one number on the size line", "PF\n1\n-1\n", 0},
        {"empty size line", "PF\n\n1 1\n-1\n", 0},
        {"word after the scale", "PF\n1 1\n-1 x\n", 0},
        {"no scale", "PF\n1 1\nx\n", 0},
        {"one byte short", "PF\n1 1\n-1\n", 1},
        {"zero width", "PF\n0 1\n-1\n", 0},
        {"byte count beyond 32 bits", "PF\n65536 65536\n-1\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = ByteWriter().Text(c.header).Raw(pixel).bytes;
        file.resize(file.size() - c.cut);
        EXPECT_EQ(Decode(qv::ReadPfmImage, file).hr, E_FAIL);
    }
    EXPECT_EQ(Decode(qv::ReadPfmImage, ByteWriter().Text("PF\n1 1\n").bytes).hr, E_FAIL);
    EXPECT_EQ(Decode(qv::ReadPfmImage, ByteWriter().Text("PF\n").Text(std::string(300, '1')).Text("\n").bytes).hr, E_FAIL);
}

}  // namespace
}  // namespace qvtest
