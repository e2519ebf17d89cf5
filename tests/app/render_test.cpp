// What the user sees: frames drawn by the viewer's own scene on a real
// device under X, read back after Present and compared with where the
// projection puts the terrain.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"
#include "tests/app/test_support.h"

namespace qv::viewer {
namespace {

constexpr float kGroundHeight = 12.8f;  // grey 128 x 0.1

enum class Seen { Sky, Ground, Unsure };

// What the pixel (px, py) of an 800 x 600 frame shows for a camera at `eye`
// with heading `yaw` over the flat grey field: the drawn part of the field is
// columns 0 to 765 and rows 0 to 765 at height 12.8; everything else is sky.
Seen Predict(const Vec3& eye, float yaw, float px, float py) {
    const float ndcX = px / 400.0f - 1.0f, ndcY = 1.0f - py / 300.0f;
    // The view ray for z = 1 in view space (c = 1, aspect 1.333), turned into
    // world space by the inverse of the yaw rotation.
    const float vx = ndcX / (1.0f / 1.333f), vy = ndcY;
    const float c = std::cos(yaw), s = std::sin(yaw);
    const float wx = vx * c - s, wz = vx * s + c;
    if (vy >= 0.0f) return Seen::Sky;
    const float t = (kGroundHeight - eye.y) / vy;  // view depth of the hit
    if (t > 1499.0f) return Seen::Sky;
    const float x = eye.x + t * wx, z = eye.z + t * wz;
    return x >= 0.0f && x <= 765.0f && z <= 0.0f && z >= -765.0f ? Seen::Ground : Seen::Sky;
}

// The prediction at the pixel's centre when its four corners agree, else
// Unsure: pixels on an edge of the field or on the horizon are not judged.
Seen PredictPixel(const Vec3& eye, float yaw, int px, int py) {
    Seen corners[4];
    int i = 0;
    for (float dx : {-0.5f, 1.5f})
        for (float dy : {-0.5f, 1.5f}) corners[i++] = Predict(eye, yaw, px + dx, py + dy);
    for (Seen corner : corners)
        if (corner != corners[0]) return Seen::Unsure;
    return corners[0];
}

bool IsGrey(std::uint32_t rgb) {
    for (int shift : {16, 8, 0}) {
        const int channel = static_cast<int>(rgb >> shift & 0xFF);
        if (std::abs(channel - 0x80) > 2) return false;
    }
    return true;
}

class ViewerFrames : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        testing::ResetViewerState();
        ASSERT_TRUE(testing::WriteGreyHeightMap(folder_.File("heightmap.png"), 128));
        window_ = CreateViewerWindow(nullptr);
        ASSERT_NE(window_, nullptr);
        g_windowed = true;
        InitDirect3D(window_);
        ASSERT_NE(g_device, nullptr) << "no Direct3D device on this display";
        {
            testing::WorkingDirectory cwd(folder_.path());
            SetupScene();
        }
        ShowWindow(window_, SW_SHOWDEFAULT);
    }
    void TearDown() override {
        qv::testing::ResetTickCount();
        testing::ResetViewerState();
        if (window_) DestroyWindow(window_);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    static qv::testing::PresentedFrame Draw() {
        RenderFrame();
        qv::testing::PresentedFrame frame;
        EXPECT_TRUE(qv::testing::ReadLastPresentedFrame(&frame));
        EXPECT_EQ(frame.width, 800u);
        EXPECT_EQ(frame.height, 600u);
        EXPECT_EQ(frame.pixels.size(), std::size_t{800} * 600);
        return frame;
    }

    // Checks every pixel whose content the projection decides; returns how
    // many ground pixels it checked.
    static int ExpectFrameMatchesCamera(const qv::testing::PresentedFrame& frame) {
        const Vec3 eye = g_camera->position;
        const float yaw = g_camera->yaw;
        int ground = 0, wrong = 0;
        for (int py = 0; py < 600; ++py) {
            for (int px = 0; px < 800; ++px) {
                const Seen seen = PredictPixel(eye, yaw, px, py);
                if (seen == Seen::Unsure) continue;
                const std::uint32_t rgb = frame.pixels[static_cast<std::size_t>(py) * 800 + px] & 0xFFFFFFu;
                const bool ok = seen == Seen::Ground ? IsGrey(rgb) : rgb == 0;
                if (seen == Seen::Ground) ++ground;
                if (!ok && ++wrong <= 5)
                    ADD_FAILURE() << "pixel (" << px << ", " << py << ") is 0x" << std::hex << rgb
                                  << std::dec << ", expected " << (seen == Seen::Ground ? "ground" : "sky");
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels that differ from the projection";
        return ground;
    }

    testing::TempFolder folder_;
    HWND window_ = nullptr;
};

TEST_F(ViewerFrames, FirstFrameUsesTheIdentityViewThenTheCameraFlies) {
    // Before any UpdateFrame the eye is at the origin looking along +z, and
    // the whole field lies behind it: nothing but black.
    const qv::testing::PresentedFrame first = Draw();
    std::size_t lit = 0;
    for (std::uint32_t pixel : first.pixels) lit += (pixel & 0xFFFFFFu) != 0;
    EXPECT_EQ(lit, 0u);

    // From the second frame on, the camera at (500, 30, -500) looks along +z
    // over the field: ground below the horizon, black sky above.
    qv::testing::OverrideTickCount(10000);
    UpdateFrame();
    const qv::testing::PresentedFrame second = Draw();
    EXPECT_GT(ExpectFrameMatchesCamera(second), 100000);
    for (int px : {100, 400, 700}) {
        EXPECT_EQ(second.pixels[50 * 800 + px] & 0xFFFFFFu, 0u) << "sky at the top";
        EXPECT_TRUE(IsGrey(second.pixels[590 * 800 + px])) << "ground at the bottom";
    }

    // A second and a half later it has turned and moved: another picture,
    // again where the projection puts it.
    qv::testing::OverrideTickCount(11500);
    UpdateFrame();
    const qv::testing::PresentedFrame third = Draw();
    EXPECT_GT(ExpectFrameMatchesCamera(third), 50000);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < third.pixels.size(); ++i)
        changed += (third.pixels[i] & 0xFFFFFFu) != (second.pixels[i] & 0xFFFFFFu);
    EXPECT_GT(changed, 1000u) << "the frame changes as the camera flies";
}

}  // namespace
}  // namespace qv::viewer
