// The readers' output through LoadSurfaceFromFileInMemory into an A8R8G8B8
// scratch surface on a NULLREF device, compared with stb_image's decoding of
// the same file: the formats, palettes and row orders the readers hand over
// are the ones the pixel codecs expect.
#include <gtest/gtest.h>

#include <cstring>

#include "quorvane/platform/d3d9.h"
#include "quorvane/surface/surface_loading.h"
#include "readers/reader_test_support.h"
#include "surface/surface_test_util.h"

namespace qvtest {
namespace {

// The shared NULLREF device of the surface tests.
class ReadersIntoSurfaces : public qv::test::DeviceTest {};

TEST_F(ReadersIntoSurfaces, ToolFilesLoadLikeStbImageReadsThem) {
    struct Case {
        const char* file;
        int tolerance;  // 5- and 6-bit channels are widened by the codecs; JPEG decoders differ
    } cases[] = {
        {"bmp/rgb24.bmp", 0},         {"bmp/rgb24_topdown.bmp", 0}, {"bmp/pal8.bmp", 0},
        {"bmp/pal4.bmp", 0},          {"bmp/mono1.bmp", 0},         {"bmp/argb32_v5.bmp", 0},
        {"bmp/rgb565.bmp", 1},        {"tga/rgb24_rle.tga", 0},     {"tga/argb32_rle.tga", 0},
        {"tga/rgb24_topleft.tga", 0}, {"tga/grey8.tga", 0},         {"tga/pal8.tga", 0},
        {"ppm/rgb_p6.ppm", 0},        {"jpeg/colour.jpg", 12},      {"jpeg/grey.jpg", 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = ReadFixture(c.file);
        const StbPicture ref = StbDecode(file);
        ASSERT_FALSE(ref.rgba.empty());
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(ref.width, ref.height, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                                       &surface, nullptr),
                  S_OK);
        qv::ImageInfo info{};
        EXPECT_EQ(qv::LoadSurfaceFromFileInMemory(surface, nullptr, nullptr, file.data(),
                                                  static_cast<UINT>(file.size()), nullptr, qv::FilterNone, 0, &info),
                  S_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
        int worst = 0;
        for (int y = 0; y < ref.height; ++y) {
            const auto* row = static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::size_t>(y) * locked.Pitch;
            for (int x = 0; x < ref.width; ++x) {
                const std::uint8_t* want = &ref.rgba[(static_cast<std::size_t>(y) * ref.width + x) * 4];
                const std::uint8_t got[4] = {row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]};
                for (int ch = 0; ch < 4; ++ch) worst = std::max(worst, std::abs(got[ch] - want[ch]));
            }
        }
        surface->UnlockRect();
        surface->Release();
        EXPECT_LE(worst, c.tolerance);
    }
}

}  // namespace
}  // namespace qvtest
