// PPM reader.
#include <gtest/gtest.h>

#include "readers/reader_test_support.h"

namespace qvtest {
namespace {

Bytes Text(const std::string& s) { return ByteWriter().Text(s).bytes; }

std::vector<std::uint32_t> Words(const qv::DecodedImage& image) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(image.width) * image.height);
    std::memcpy(out.data(), image.pixels, out.size() * 4);
    return out;
}

TEST(PpmReader, NetpbmFiles) {
    // Binary, maximum 255: stb_image's reading, with 0xFF in the top byte.
    const Bytes p6 = ReadFixture("ppm/rgb_p6.ppm");
    Result binary = Decode(qv::ReadPpmImage, p6);
    ASSERT_EQ(binary.hr, S_OK);
    EXPECT_EQ(binary.image->format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(binary.image->rowPitch, 37u * 4);
    const StbPicture ref = StbDecode(p6);
    ASSERT_EQ(binary.image->width, static_cast<std::uint32_t>(ref.width));
    ASSERT_EQ(binary.image->height, static_cast<std::uint32_t>(ref.height));
    const std::vector<std::uint32_t> words = Words(*binary.image);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::uint8_t* want = &ref.rgba[i * 4];
        ASSERT_EQ(words[i], 0xFF000000u | (want[0] << 16) | (want[1] << 8) | want[2]) << i;
    }
    // The same picture as text.
    Result text = Decode(qv::ReadPpmImage, ReadFixture("ppm/rgb_p3.ppm"));
    ASSERT_EQ(text.hr, S_OK);
    EXPECT_EQ(Words(*text.image), words);
    // Maximum 15, text and binary alike.
    Result text15 = Decode(qv::ReadPpmImage, ReadFixture("ppm/rgb_p3_max15.ppm"));
    Result binary15 = Decode(qv::ReadPpmImage, ReadFixture("ppm/rgb_p6_max15.ppm"));
    ASSERT_EQ(text15.hr, S_OK);
    ASSERT_EQ(binary15.hr, S_OK);
    EXPECT_EQ(Words(*text15.image), Words(*binary15.image));
    // Maximum 1000: text is read (within a step of the 255 picture), binary
    // is refused.
    Result text1000 = Decode(qv::ReadPpmImage, ReadFixture("ppm/rgb_p3_max1000.ppm"));
    ASSERT_EQ(text1000.hr, S_OK);
    const std::vector<std::uint32_t> words1000 = Words(*text1000.image);
    for (std::size_t i = 0; i < words.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            const int a = (words[i] >> shift) & 0xFF;
            const int b = (words1000[i] >> shift) & 0xFF;
            ASSERT_LE(std::abs(a - b), 1) << i;
        }
    }
    EXPECT_EQ(Decode(qv::ReadPpmImage, ReadFixture("ppm/rgb_p6_max1000.ppm")).hr, E_FAIL);
}

TEST(PpmReader, HandMadeFiles) {
    struct Case {
        const char* name;
        Bytes file;
        std::vector<std::uint32_t> words;
    } cases[] = {
        {"maximum 15 scales 15 to 255 and 7 to 119", Text("P3 1 1 15 15 7 0"), {0xFFFF7700}},
        {"comments between values", Text("P3\n# size\n2 1 # two\n255\n1 2 # red green\n3\n4 5 6\n"), {0xFF010203, 0xFF040506}},
        {"binary with a CR LF separator", ByteWriter().Text("P6\n1 1\n255\r\n").Raw({10, 20, 30}).bytes, {0xFF0A141E}},
        {"binary with maximum 1", ByteWriter().Text("P6 2 1 1 ").Raw({1, 0, 1, 0, 1, 0, 9}).bytes, {0xFFFF00FF, 0xFF00FF00}},
        // A value above the maximum is clamped to 255, not spilled into
        // the neighbouring channel.
        {"text values above the maximum are clamped", Text("P3 1 1 15 16 0 300"), {0xFFFF00FF}},
        {"huge maximum", Text("P3 1 1 4000000000 4000000000 2000000000 0"), {0xFFFF7F00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool decode : {true, false}) {  // decoded either way
            Result r = Decode(qv::ReadPpmImage, c.file, decode);
            ASSERT_EQ(r.hr, S_OK);
            EXPECT_EQ(Words(*r.image), c.words);
        }
    }
}

TEST(PpmReader, RefusedFiles) {
    const char* cases[] = {
        "P5 1 1 255 0",          // grey maps are not read
        "P3",                    // nothing after the magic
        "P3 0 1 255 1 2 3",      // zero width
        "P3 1 0 255 1 2 3",      // zero height
        "P3 1 1 0 1 2 3",        // zero maximum
        "P3 1x 1 255 1 2 3",     // letter after digits
        "P3 1 1 255 1 2",        // data ends inside a pixel
        "P3 2 1 255 1 2 3 4 5",  // data ends before the last pixel
        "P3 65536 65536 255 1",  // pixel memory beyond 32 bits
        "P3 10000 10000 255 1 2 3",  // far more pixels than the file can hold
        "P6 1 1 255",            // no separator, no pixels
        "P6 2 1 255 abcde",      // cut in the middle of a pixel
        "P6 1 1 256 abc",        // binary maximum above 255
    };
    for (const char* c : cases) {
        SCOPED_TRACE(c);
        EXPECT_EQ(Decode(qv::ReadPpmImage, Text(c)).hr, E_FAIL);
    }
}

}  // namespace
}  // namespace qvtest
