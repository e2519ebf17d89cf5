// The height map generator: the shipped assets/heightmap.png is what the
// tool makes with its default seed, and the picture has the shape the
// viewer wants.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/test_support.h"

namespace qv::viewer {
namespace {

struct RgbPicture {
    std::uint32_t width = 0, height = 0;
    int colorType = -1, bitDepth = 0;
    std::vector<std::uint8_t> rgb;
};

// Decodes a PNG as it is stored (no transformations).
bool ReadPng(const std::string& path, RgbPicture* picture) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    picture->width = png_get_image_width(png, info);
    picture->height = png_get_image_height(png, info);
    picture->colorType = png_get_color_type(png, info);
    picture->bitDepth = png_get_bit_depth(png, info);
    if (picture->colorType != PNG_COLOR_TYPE_RGB || picture->bitDepth != 8 || picture->width > 4096 ||
        picture->height > 4096)
        png_error(png, "not the expected kind of picture");
    picture->rgb.resize(std::size_t{picture->width} * picture->height * 3);
    for (std::uint32_t row = 0; row < picture->height; ++row)
        png_read_row(png, &picture->rgb[std::size_t{row} * picture->width * 3], nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

int RunGenerator(const std::string& output, const char* seed) {
    std::string command = std::string("'") + QV_HEIGHTMAP_TOOL + "' '" + output + "'";
    if (seed) command += std::string(" ") + seed;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HeightMapTool, DefaultSeedMakesTheShippedHeightMap) {
    testing::TempFolder folder;
    const std::string made = folder.File("made.png");
    ASSERT_EQ(RunGenerator(made, nullptr), 0);
    RgbPicture shipped, fresh;
    ASSERT_TRUE(ReadPng(QV_DEFAULT_HEIGHT_MAP, &shipped));
    ASSERT_TRUE(ReadPng(made, &fresh));
    EXPECT_EQ(shipped.width, kFieldWidth);
    EXPECT_EQ(shipped.height, kFieldHeight);
    EXPECT_EQ(fresh.width, shipped.width);
    EXPECT_EQ(fresh.height, shipped.height);
    EXPECT_TRUE(fresh.rgb == shipped.rgb) << "regenerate assets/heightmap.png with the tool";

    // Red, the height, spans the whole range: a field with lakes and peaks.
    std::uint8_t low = 255, high = 0;
    for (std::size_t i = 0; i < shipped.rgb.size(); i += 3) {
        low = std::min(low, shipped.rgb[i]);
        high = std::max(high, shipped.rgb[i]);
    }
    EXPECT_LE(low, 5);
    EXPECT_GE(high, 250);
}

TEST(HeightMapTool, SeedChangesTheFieldAndBadArgumentsAreRefused) {
    testing::TempFolder folder;
    RgbPicture first, second;
    ASSERT_EQ(RunGenerator(folder.File("a.png"), "7"), 0);
    ASSERT_EQ(RunGenerator(folder.File("b.png"), "8"), 0);
    ASSERT_TRUE(ReadPng(folder.File("a.png"), &first));
    ASSERT_TRUE(ReadPng(folder.File("b.png"), &second));
    EXPECT_FALSE(first.rgb == second.rgb);

    EXPECT_EQ(RunGenerator(folder.File("c.png"), "seven"), 2);
    EXPECT_NE(RunGenerator(folder.File("no-such-folder/d.png"), nullptr), 0);
}

}  // namespace
}  // namespace qv::viewer
