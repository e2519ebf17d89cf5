// Surface transfer: which path runs (straight copy, conversion, unscaled
// placement), what lands outside the source, filter values and colour keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quorvane/surface/surface_loading.h"
#include "surface/surface_test_util.h"

namespace {

using qv::test::Pattern;
using qv::test::Ref;

class SurfaceTransferTest : public qv::test::DeviceTest {
protected:
    // Loads `source` (width x height X8R8G8B8 words) into `surface`.
    HRESULT Load(IDirect3DSurface9* surface, const std::vector<std::uint32_t>& source, LONG width, LONG height,
                 DWORD filter, D3DCOLOR colorKey = 0, D3DFORMAT format = D3DFMT_X8R8G8B8) {
        const RECT rect{0, 0, width, height};
        return qv::LoadSurfaceFromMemory(surface, nullptr, nullptr, source.data(), format,
                                         static_cast<UINT>(width) * 4, nullptr, &rect, filter, colorKey);
    }
};

TEST_F(SurfaceTransferTest, EqualFormatsAndSizesAreCopiedAsBytes) {
    // A straight copy keeps the X byte; a conversion would write it as 0.
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(1024, 768, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr),
              S_OK);
    const std::vector<std::uint32_t> source = Pattern(1024 * 768, 11);
    for (DWORD filter : {qv::FilterNone, qv::FilterDefault, qv::FilterBox, qv::FilterPoint | qv::FilterDither}) {
        Fill(surface.get(), std::vector<std::uint32_t>(1024 * 768, 0));
        ASSERT_EQ(Load(surface.get(), source, 1024, 768, filter), S_OK) << filter;
        EXPECT_TRUE(Words(surface.get()) == source) << "filter " << filter;
    }
}

TEST_F(SurfaceTransferTest, ColorKeyForcesAConversion) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(16, 4, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    std::vector<std::uint32_t> source = Pattern(64, 5);
    // X8R8G8B8 decodes with alpha 1, so the key needs alpha 0xFF to match.
    const std::uint32_t key = 0xFF102030u;
    source[5] = 0x00102030u;
    source[40] = 0x77102030u;
    ASSERT_EQ(Load(surface.get(), source, 16, 4, qv::FilterNone, key), S_OK);
    const std::vector<std::uint32_t> got = Words(surface.get());
    for (std::size_t i = 0; i < source.size(); ++i) {
        const std::uint32_t rgb = source[i] & 0x00FFFFFFu;
        const std::uint32_t want = rgb == 0x102030u ? 0u : rgb;  // X written as 0
        ASSERT_EQ(got[i], want) << i;
    }
}

TEST_F(SurfaceTransferTest, FilterNonePlacesTheSourceAtTheTopLeft) {
    struct Case {
        LONG srcWidth, srcHeight;
    };
    for (const Case c : {Case{512, 384}, Case{2048, 1024}, Case{1024, 300}, Case{100, 768}}) {
        Ref<IDirect3DSurface9> surface;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(1024, 768, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr),
                  S_OK);
        Fill(surface.get(), std::vector<std::uint32_t>(1024 * 768, 0xFFFFFFFFu));
        const std::vector<std::uint32_t> source = Pattern(std::size_t(c.srcWidth) * c.srcHeight, 17);
        ASSERT_EQ(Load(surface.get(), source, c.srcWidth, c.srcHeight, qv::FilterNone), S_OK);
        const std::vector<std::uint32_t> got = Words(surface.get());
        for (LONG y = 0; y < 768; ++y) {
            for (LONG x = 0; x < 1024; ++x) {
                const bool inside = x < c.srcWidth && y < c.srcHeight;
                const std::uint32_t want = inside ? source[std::size_t(y) * c.srcWidth + x] & 0x00FFFFFFu : 0u;
                ASSERT_EQ(got[std::size_t(y) * 1024 + x], want) << c.srcWidth << "x" << c.srcHeight << " at " << x
                                                                << "," << y;
            }
        }
    }
}

TEST_F(SurfaceTransferTest, BadFilterValuesFailAfterTheLockIsReleased) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    const std::vector<std::uint32_t> source = Pattern(64, 1);
    for (DWORD filter : {DWORD{6}, DWORD{0}, DWORD{1 | 0x800000}, DWORD{0x80000001u}}) {
        EXPECT_EQ(Load(surface.get(), source, 8, 8, filter), D3DERR_INVALIDCALL) << filter;
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK) << "left locked after filter " << filter;
        surface->UnlockRect();
    }
}

TEST_F(SurfaceTransferTest, ScalingFiltersAreNotPartOfThisBuild) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    const std::vector<std::uint32_t> source = Pattern(16 * 16, 1);
    for (DWORD filter : {qv::FilterPoint, qv::FilterLinear, qv::FilterTriangle, qv::FilterBox, qv::FilterDefault}) {
        EXPECT_EQ(Load(surface.get(), source, 16, 16, filter), E_FAIL) << filter;
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
        surface->UnlockRect();
    }
}

TEST_F(SurfaceTransferTest, RefusesMissingArgumentsAndBadRectangles) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    const std::vector<std::uint32_t> source = Pattern(64, 1);
    const RECT whole{0, 0, 8, 8};
    EXPECT_EQ(qv::LoadSurfaceFromMemory(nullptr, nullptr, nullptr, source.data(), D3DFMT_X8R8G8B8, 32, nullptr, &whole,
                                        1, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(qv::LoadSurfaceFromMemory(surface.get(), nullptr, nullptr, nullptr, D3DFMT_X8R8G8B8, 32, nullptr, &whole,
                                        1, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(qv::LoadSurfaceFromMemory(surface.get(), nullptr, nullptr, source.data(), D3DFMT_X8R8G8B8, 32, nullptr,
                                        nullptr, 1, 0),
              D3DERR_INVALIDCALL);
    // Inverted or negative source rectangles would describe billions of pixels.
    for (const RECT& r : {RECT{4, 0, 2, 8}, RECT{0, 5, 8, 1}, RECT{-1, 0, 8, 8}}) {
        EXPECT_EQ(qv::LoadSurfaceFromMemory(surface.get(), nullptr, nullptr, source.data(), D3DFMT_X8R8G8B8, 32,
                                            nullptr, &r, 1, 0),
                  D3DERR_INVALIDCALL);
    }
    const RECT outside{0, 0, 9, 8};
    EXPECT_EQ(qv::LoadSurfaceFromMemory(surface.get(), nullptr, &outside, source.data(), D3DFMT_X8R8G8B8, 32, nullptr,
                                        &whole, 1, 0),
              D3DERR_INVALIDCALL);
    // No codec for a depth-stencil format.
    EXPECT_EQ(qv::LoadSurfaceFromMemory(surface.get(), nullptr, nullptr, source.data(), D3DFMT_D24S8, 32, nullptr,
                                        &whole, 1, 0),
              E_FAIL);
}

TEST_F(SurfaceTransferTest, WritesIntoADestinationRectangle) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(10, 6, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    const std::vector<std::uint32_t> before = Pattern(60, 9);
    Fill(surface.get(), before);
    const std::vector<std::uint32_t> source = Pattern(20 * 20, 4);
    const RECT srcRect{2, 3, 6, 5};   // 4 x 2 pixels from (2, 3)
    const RECT destRect{5, 1, 9, 3};  // the same size
    ASSERT_EQ(qv::LoadSurfaceFromMemory(surface.get(), nullptr, &destRect, source.data(), D3DFMT_X8R8G8B8, 80, nullptr,
                                        &srcRect, qv::FilterNone, 0),
              S_OK);
    const std::vector<std::uint32_t> got = Words(surface.get());
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 5 && x < 9 && y >= 1 && y < 3;
            const std::uint32_t want = inside ? source[std::size_t(y - 1 + 3) * 20 + (x - 5 + 2)] : before[y * 10 + x];
            ASSERT_EQ(got[y * 10 + x], want) << x << "," << y;
        }
    }
}

TEST_F(SurfaceTransferTest, PalettesThatDifferAreConvertedNotCopied) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 1, D3DFMT_P8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    PALETTEENTRY destPalette[256];
    for (int i = 0; i < 256; ++i)
        destPalette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i / 2), 255};
    PALETTEENTRY srcPalette[256];
    std::copy(destPalette, destPalette + 256, srcPalette);
    srcPalette[200] = destPalette[5];  // the one difference
    const std::uint8_t indices[4] = {200, 7, 200, 100};
    const RECT rect{0, 0, 4, 1};

    ASSERT_EQ(qv::LoadSurfaceFromMemory(surface.get(), destPalette, nullptr, indices, D3DFMT_P8, 4, srcPalette, &rect,
                                        qv::FilterNone, 0),
              S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    const auto* got = static_cast<const std::uint8_t*>(locked.pBits);
    EXPECT_EQ(got[0], 5);
    EXPECT_EQ(got[1], 7);
    EXPECT_EQ(got[2], 5);
    EXPECT_EQ(got[3], 100);
    surface->UnlockRect();

    // Identical palettes: the indices are copied as they are.
    ASSERT_EQ(qv::LoadSurfaceFromMemory(surface.get(), destPalette, nullptr, indices, D3DFMT_P8, 4, destPalette,
                                        &rect, qv::FilterNone, 0),
              S_OK);
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    got = static_cast<const std::uint8_t*>(locked.pBits);
    EXPECT_EQ(got[0], 200);
    EXPECT_EQ(got[2], 200);
    surface->UnlockRect();
}

TEST_F(SurfaceTransferTest, ConvertsBetweenFormatsIntoDefaultPoolSurfaces) {
    // A8R8G8B8 source into an X8R8G8B8 default-pool texture: converted, and
    // written through the temporary path.
    Ref<IDirect3DTexture9> texture;
    Ref<IDirect3DSurface9> target;
    ASSERT_EQ(device_->CreateTexture(4, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &target), S_OK);
    const std::vector<std::uint32_t> source = {0xFFFF0000u, 0x8000FF00u, 0x000000FFu, 0xFFFFFFFFu,
                                               0x12345678u, 0x9ABCDEF0u, 0u,          0xFF808080u};
    const RECT rect{0, 0, 4, 2};
    ASSERT_EQ(qv::LoadSurfaceFromMemory(target.get(), nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 16, nullptr,
                                        &rect, qv::FilterNone, 0),
              S_OK);
    const std::vector<std::uint32_t> got = ReadBack(target.get());
    ASSERT_EQ(got.size(), source.size());
    for (std::size_t i = 0; i < source.size(); ++i) EXPECT_EQ(got[i], source[i] & 0x00FFFFFFu) << i;
}

TEST_F(SurfaceTransferTest, BlankRowsWithErrorDiffusionStayBlank) {
    // A dark source row whose every pixel rounds down leaves its error to the
    // rows below the picture. Error diffusion carries that error once; it
    // must not pile up from blank row to blank row and paint them.
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 16, D3DFMT_R5G6B5, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    const std::vector<std::uint32_t> source(8, 0xFF030303u);
    const RECT rect{0, 0, 8, 1};
    ASSERT_EQ(qv::LoadSurfaceFromMemory(surface.get(), nullptr, nullptr, source.data(), D3DFMT_A8R8G8B8, 32, nullptr,
                                        &rect, qv::FilterNone | qv::FilterDiffuse, 0),
              S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    int lit = 0;
    for (int y = 1; y < 16; ++y) {
        const auto* row = reinterpret_cast<const std::uint16_t*>(static_cast<const std::uint8_t*>(locked.pBits) +
                                                                 y * locked.Pitch);
        for (int x = 0; x < 8; ++x) lit += row[x] != 0;
    }
    surface->UnlockRect();
    // The whole carried error is worth about three steps of one channel.
    EXPECT_LE(lit, 3);
}

}  // namespace
