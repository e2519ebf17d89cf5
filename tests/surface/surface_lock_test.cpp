// Surface lock: direct locks, rounding to blocks and pairs, the temporary
// path for surfaces that cannot be locked, discard, and the debug mute.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/surface/surface_lock.h"
#include "surface/surface_test_util.h"

namespace {

using qv::test::Pattern;
using qv::test::Ref;

class SurfaceLockTest : public qv::test::DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        qv::testing::ClearRegistryValue("QuorvaneDoNotMute");
        qv::testing::SetDirect3DModuleLoaded(true);
        qv::ResetDebugMuteForTesting();
        qv::testing::TakeDebugSetMuteCalls();
    }
    void TearDown() override {
        qv::testing::ClearRegistryValue("QuorvaneDoNotMute");
        qv::ResetDebugMuteForTesting();
        DeviceTest::TearDown();
    }
};

bool BoxIs(const qv::PixelBox& box, std::uint32_t l, std::uint32_t t, std::uint32_t r, std::uint32_t b) {
    return box.left == l && box.top == t && box.right == r && box.bottom == b && box.front == 0 && box.back == 1;
}

TEST_F(SurfaceLockTest, RoundsToBlocksAndPairs) {
    struct Case {
        D3DFORMAT format;
        UINT width, height;
        RECT rect;
        RECT locked;          // what a LockRect of the same surface must cover
        qv::PixelBox box;     // relative to the locked rectangle
    };
    const Case cases[] = {
        {D3DFMT_X8R8G8B8, 64, 64, {0, 0, 10, 10}, {0, 0, 10, 10}, {0, 0, 10, 10, 0, 1}},
        {D3DFMT_X8R8G8B8, 64, 64, {3, 5, 9, 6}, {3, 5, 9, 6}, {0, 0, 6, 1, 0, 1}},
        {D3DFMT_DXT1, 64, 64, {5, 6, 9, 10}, {4, 4, 12, 12}, {1, 2, 5, 6, 0, 1}},
        {D3DFMT_DXT5, 6, 6, {1, 1, 5, 5}, {0, 0, 6, 6}, {1, 1, 5, 5, 0, 1}},  // rounds to the whole surface
        {D3DFMT_YUY2, 64, 4, {3, 1, 7, 2}, {2, 1, 8, 2}, {1, 0, 5, 1, 0, 1}},
        {D3DFMT_UYVY, 7, 4, {5, 0, 7, 4}, {4, 0, 7, 4}, {1, 0, 3, 4, 0, 1}},
    };
    for (const Case& c : cases) {
        Ref<IDirect3DSurface9> surface;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(c.width, c.height, c.format, D3DPOOL_SCRATCH, &surface, nullptr),
                  S_OK);
        // Where LockRect puts the first pixel of the rounded rectangle.
        D3DLOCKED_RECT expected{};
        ASSERT_EQ(surface->LockRect(&expected, &c.locked, 0), S_OK);
        surface->UnlockRect();

        qv::SurfaceLock lock;
        qv::PixelRegion region;
        ASSERT_EQ(lock.Lock(&region, surface.get(), nullptr, &c.rect), S_OK);
        EXPECT_EQ(lock.level, nullptr) << "a scratch surface is locked directly";
        EXPECT_EQ(region.bits, expected.pBits) << c.format;
        EXPECT_EQ(region.rowPitch, static_cast<std::uint32_t>(expected.Pitch));
        EXPECT_EQ(region.format, c.format);
        // Nothing beyond the locked rectangle is addressable from bits.
        EXPECT_TRUE(region.extent.left == 0 && region.extent.top == 0 &&
                    region.extent.right == static_cast<std::uint32_t>(c.locked.right - c.locked.left) &&
                    region.extent.bottom == static_cast<std::uint32_t>(c.locked.bottom - c.locked.top))
            << c.format;
        EXPECT_TRUE(BoxIs(region.box, c.box.left, c.box.top, c.box.right, c.box.bottom))
            << c.format << ": " << region.box.left << "," << region.box.top << "," << region.box.right << ","
            << region.box.bottom;
        lock.Unlock();
    }
}

TEST_F(SurfaceLockTest, RefusesRectanglesOutsideTheSurface) {
    Ref<IDirect3DSurface9> surface;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(16, 8, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    const RECT bad[] = {{-1, 0, 4, 4}, {0, 0, 17, 4}, {5, 0, 4, 4}, {0, -1, 4, 4}, {0, 0, 4, 9}, {0, 5, 4, 4}};
    for (const RECT& r : bad) {
        qv::SurfaceLock lock;
        qv::PixelRegion region;
        EXPECT_EQ(lock.Lock(&region, surface.get(), nullptr, &r), D3DERR_INVALIDCALL);
        EXPECT_EQ(lock.surface, nullptr);
    }
    // Nothing stayed locked.
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
    surface->UnlockRect();
}

TEST_F(SurfaceLockTest, DefaultPoolPartialWriteKeepsPixelsOutsideTheRectangle) {
    const UINT w = 16, h = 12;
    Ref<IDirect3DTexture9> texture;
    Ref<IDirect3DSurface9> target;
    ASSERT_EQ(device_->CreateTexture(w, h, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &target), S_OK);
    D3DLOCKED_RECT probe{};
    ASSERT_LT(target->LockRect(&probe, nullptr, 0), 0) << "the platform should refuse locks on default-pool surfaces";

    // Present contents, brought in through a system-memory surface.
    std::vector<std::uint32_t> before = Pattern(std::size_t{w} * h, 7);
    for (auto& v : before) v |= 0xFF000000u;
    {
        Ref<IDirect3DTexture9> upload;
        Ref<IDirect3DSurface9> level;
        ASSERT_EQ(device_->CreateTexture(w, h, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &upload, nullptr), S_OK);
        ASSERT_EQ(upload->GetSurfaceLevel(0, &level), S_OK);
        Fill(level.get(), before);
        ASSERT_EQ(device_->UpdateSurface(level.get(), nullptr, target.get(), nullptr), S_OK);
    }

    const RECT rect{3, 2, 9, 7};
    qv::SurfaceLock lock;
    qv::PixelRegion region;
    ASSERT_EQ(lock.Lock(&region, target.get(), nullptr, &rect), S_OK);
    ASSERT_NE(lock.level, nullptr) << "locked through a temporary level";
    ASSERT_NE(lock.texture, nullptr);
    ASSERT_NE(lock.device, nullptr);
    D3DSURFACE_DESC desc{};
    lock.level->GetDesc(&desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_TRUE(BoxIs(region.box, 0, 0, 6, 5));
    for (std::uint32_t y = region.box.top; y < region.box.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(region.bits) + y * region.rowPitch);
        for (std::uint32_t x = region.box.left; x < region.box.right; ++x) row[x] = 0x00ABCDEFu + x + 16 * y;
    }
    EXPECT_EQ(lock.Unlock(), S_OK);
    EXPECT_EQ(lock.level, nullptr);
    EXPECT_EQ(lock.surface, nullptr);
    EXPECT_EQ(lock.Unlock(), S_OK) << "a second Unlock does nothing";

    const std::vector<std::uint32_t> after = ReadBack(target.get());
    ASSERT_EQ(after.size(), before.size());
    for (UINT y = 0; y < h; ++y) {
        for (UINT x = 0; x < w; ++x) {
            const bool inside = x >= 3 && x < 9 && y >= 2 && y < 7;
            const std::uint32_t want = inside ? 0x00ABCDEFu + (x - 3) + 16 * (y - 2) : before[y * w + x];
            ASSERT_EQ(after[y * w + x], want) << x << "," << y;
        }
    }
}

TEST_F(SurfaceLockTest, SmallBlockSurfaceGetsALargerTemporaryTexture) {
    Ref<IDirect3DTexture9> texture;
    Ref<IDirect3DSurface9> target;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_DXT1, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &target), S_OK);
    qv::SurfaceLock lock;
    qv::PixelRegion region;
    ASSERT_EQ(lock.Lock(&region, target.get(), nullptr, nullptr), S_OK);
    ASSERT_NE(lock.texture, nullptr);
    EXPECT_EQ(lock.texture->GetLevelCount(), 2u);
    D3DSURFACE_DESC top{}, locked{};
    lock.texture->GetLevelDesc(0, &top);
    lock.level->GetDesc(&locked);
    EXPECT_EQ(top.Width, 4u);
    EXPECT_EQ(top.Height, 4u);
    EXPECT_EQ(locked.Width, 2u);
    EXPECT_EQ(locked.Height, 2u);
    EXPECT_TRUE(BoxIs(region.box, 0, 0, 2, 2));
}

TEST_F(SurfaceLockTest, DiscardOnlyForWholeWritesOfSingleLevelDynamicTextures) {
    struct Case {
        UINT levels;
        DWORD usage;
        bool partial;
        DWORD flags;
    };
    const Case cases[] = {
        {1, D3DUSAGE_DYNAMIC, false, D3DLOCK_NOSYSLOCK | D3DLOCK_DISCARD},
        {2, D3DUSAGE_DYNAMIC, false, D3DLOCK_NOSYSLOCK},
        {1, D3DUSAGE_DYNAMIC, true, D3DLOCK_NOSYSLOCK},
        {1, 0, false, D3DLOCK_NOSYSLOCK},
    };
    for (const Case& c : cases) {
        Ref<IDirect3DTexture9> texture;
        Ref<IDirect3DSurface9> target;
        const D3DPOOL pool = c.usage != 0 ? D3DPOOL_DEFAULT : D3DPOOL_SYSTEMMEM;
        ASSERT_EQ(device_->CreateTexture(8, 8, c.levels, c.usage, D3DFMT_A8R8G8B8, pool, &texture, nullptr), S_OK);
        ASSERT_EQ(texture->GetSurfaceLevel(0, &target), S_OK);
        const RECT rect{1, 1, 4, 4};
        qv::SurfaceLock lock;
        qv::PixelRegion region;
        ASSERT_EQ(lock.Lock(&region, target.get(), nullptr, c.partial ? &rect : nullptr), S_OK);
        EXPECT_EQ(lock.level, nullptr) << "locked directly";
        EXPECT_EQ(lock.lockRectFlags, c.flags) << c.levels << " levels, partial " << c.partial;
    }
}

TEST_F(SurfaceLockTest, MutesAroundExpectedFailuresUnlessTheRegistrySaysNot) {
    auto lockDefaultPool = [this]() {
        Ref<IDirect3DTexture9> texture;
        Ref<IDirect3DSurface9> target;
        ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
        ASSERT_EQ(texture->GetSurfaceLevel(0, &target), S_OK);
        const RECT rect{0, 0, 4, 4};
        qv::SurfaceLock lock;
        qv::PixelRegion region;
        ASSERT_EQ(lock.Lock(&region, target.get(), nullptr, &rect), S_OK);
        lock.Unlock();
    };

    lockDefaultPool();
    std::vector<int> calls = qv::testing::TakeDebugSetMuteCalls();
    ASSERT_FALSE(calls.empty()) << "the refused direct lock runs muted";
    ASSERT_EQ(calls.size() % 2, 0u);
    for (std::size_t i = 0; i < calls.size(); i += 2) {
        EXPECT_EQ(calls[i], 1);
        EXPECT_EQ(calls[i + 1], 0);
    }

    for (std::uint32_t value : {1u, 7u}) {
        qv::testing::SetRegistryDword("QuorvaneDoNotMute", value);
        qv::ResetDebugMuteForTesting();
        lockDefaultPool();
        EXPECT_TRUE(qv::testing::TakeDebugSetMuteCalls().empty()) << value;
    }

    // Zero, or a value of another type, counts as absent.
    qv::testing::SetRegistryDword("QuorvaneDoNotMute", 0);
    qv::ResetDebugMuteForTesting();
    lockDefaultPool();
    EXPECT_FALSE(qv::testing::TakeDebugSetMuteCalls().empty());
    qv::testing::SetRegistryString("QuorvaneDoNotMute", "1");
    qv::ResetDebugMuteForTesting();
    lockDefaultPool();
    EXPECT_FALSE(qv::testing::TakeDebugSetMuteCalls().empty());
}

TEST_F(SurfaceLockTest, NothingIsLoadedOrCalledWithoutARuntime) {
    qv::testing::SetDirect3DModuleLoaded(false);
    qv::ResetDebugMuteForTesting();
    qv::SetDebugMute(1);
    qv::SetDebugMute(0);
    EXPECT_TRUE(qv::testing::TakeDebugSetMuteCalls().empty());
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr) << "SetDebugMute must not load the runtime";

    // The search runs again on a later call and finds it once it is there.
    qv::testing::SetDirect3DModuleLoaded(true);
    qv::SetDebugMute(1);
    EXPECT_EQ(qv::testing::TakeDebugSetMuteCalls(), std::vector<int>{1});
}

TEST_F(SurfaceLockTest, CopySurfaceRowsCopiesEveryRow) {
    Ref<IDirect3DSurface9> from;
    Ref<IDirect3DSurface9> to;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(9, 5, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &from, nullptr), S_OK);
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(9, 5, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &to, nullptr), S_OK);
    const std::vector<std::uint32_t> words = Pattern(45, 3);
    Fill(from.get(), words);
    ASSERT_EQ(qv::CopySurfaceRows(from.get(), to.get()), S_OK);
    EXPECT_EQ(Words(to.get()), words);
}

TEST_F(SurfaceLockTest, CopySurfaceRowsRefusesSurfacesOfAnotherSizeOrFormat) {
    Ref<IDirect3DSurface9> from;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(9, 5, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &from, nullptr), S_OK);
    struct Case {
        UINT width, height;
        D3DFORMAT format;
    };
    for (const Case c : {Case{9, 4, D3DFMT_A8R8G8B8}, Case{8, 5, D3DFMT_A8R8G8B8}, Case{9, 5, D3DFMT_R5G6B5}}) {
        Ref<IDirect3DSurface9> to;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(c.width, c.height, c.format, D3DPOOL_SCRATCH, &to, nullptr),
                  S_OK);
        EXPECT_EQ(qv::CopySurfaceRows(from.get(), to.get()), D3DERR_INVALIDCALL) << c.width << "x" << c.height;
    }
}

}  // namespace
