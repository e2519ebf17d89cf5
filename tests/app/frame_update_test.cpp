// The frame update: tick arithmetic, the camera's flight, Escape, and the
// transforms handed to the device. Runs on a headless device with an
// injected tick count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"
#include "tests/app/test_support.h"

namespace qv::viewer {
namespace {

class FrameUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ResetViewerState();
        ASSERT_TRUE(testing::CreateViewerDevice(D3DDEVTYPE_NULLREF, nullptr));
        // The camera as the scene sets it up.
        g_camera = new Camera();
        g_camera->SetPosition(500.0f, 30.0f, -500.0f);
        g_camera->SetNearFar(1.0f, 1500.0f);
        qv::testing::ResetKeyStates();
    }
    void TearDown() override {
        qv::testing::ResetTickCount();
        qv::testing::ResetKeyStates();
        DrainMessages();
        testing::ResetViewerState();
    }

    // Calls UpdateFrame at each of the given ticks.
    void UpdateAt(std::initializer_list<DWORD> ticks) {
        for (DWORD tick : ticks) {
            qv::testing::OverrideTickCount(tick);
            UpdateFrame();
        }
    }

    // True when a quit message was waiting; removes every waiting message.
    static bool DrainMessages() {
        bool quit = false;
        MSG message = {};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            if (message.message == WM_QUIT) quit = true;
        return quit;
    }
};

TEST_F(FrameUpdate, FirstCallMeasuresNoTimeAndSetsBothTransforms) {
    UpdateAt({123456});
    EXPECT_EQ(g_elapsedSeconds, 0.0f);
    EXPECT_EQ(g_camera->position.x, 500.0f);
    EXPECT_EQ(g_camera->position.y, 30.0f);
    EXPECT_EQ(g_camera->position.z, -500.0f);

    D3DMATRIX view = {}, projection = {};
    ASSERT_TRUE(SUCCEEDED(g_device->GetTransform(D3DTS_VIEW, &view)));
    ASSERT_TRUE(SUCCEEDED(g_device->GetTransform(D3DTS_PROJECTION, &projection)));
    const float expectedView[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-500, -30, 500, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(view.m[r][c], expectedView[r][c], 1e-5f);
    EXPECT_NEAR(projection.m[2][2], 1.000667f, 1e-5f);
    EXPECT_NEAR(projection.m[3][2], -1.000667f, 1e-5f);
    EXPECT_NEAR(projection.m[0][0], 0.7501875f, 1e-4f);
}

TEST_F(FrameUpdate, CameraFliesACircleOfRadius100) {
    // 16 ms frames for about a quarter turn (pi/2 seconds).
    DWORD tick = 5000;
    UpdateAt({tick});
    while (g_elapsedSeconds < std::numbers::pi_v<float> / 2) UpdateAt({tick += 16});
    EXPECT_NEAR(g_elapsedSeconds, std::numbers::pi_v<float> / 2, 0.017f);
    EXPECT_NEAR(g_camera->position.x, 400.0f, 3.0f);
    EXPECT_NEAR(g_camera->position.z, -400.0f, 3.0f);
    EXPECT_EQ(g_camera->position.y, 30.0f) << "the height never changes";
    EXPECT_EQ(g_camera->yaw, g_elapsedSeconds);
    EXPECT_EQ(g_camera->pitch, 0.0f);
    EXPECT_EQ(g_camera->roll, 0.0f);

    // The view set on the device is the camera's at its new place.
    D3DMATRIX view = {};
    ASSERT_TRUE(SUCCEEDED(g_device->GetTransform(D3DTS_VIEW, &view)));
    EXPECT_EQ(std::memcmp(&view, g_camera->GetView(), sizeof(view)), 0);

    // Keep going for the rest of the turn: every point of the path within a
    // step (1.6) of the circle's point at the angle of the running time.
    while (g_elapsedSeconds < 2 * std::numbers::pi_v<float>) {
        UpdateAt({tick += 16});
        const float angle = g_elapsedSeconds;
        const float dx = g_camera->position.x - (400.0f + 100.0f * std::cos(angle));
        const float dz = g_camera->position.z - (-500.0f + 100.0f * std::sin(angle));
        ASSERT_LT(std::sqrt(dx * dx + dz * dz), 1.7f) << "at " << angle << " s";
    }
    EXPECT_NEAR(g_camera->position.x, 500.0f, 3.0f);
    EXPECT_NEAR(g_camera->position.z, -500.0f, 3.0f);
}

TEST_F(FrameUpdate, TickStepsAreUnsignedDifferences) {
    struct Case {
        DWORD first, second;
        float seconds;
    };
    const Case cases[] = {
        {1000, 1016, 0.016f},
        {0xFFFFFFF0u, 0x00000010u, 0.032f},  // the counter wraps after 49.7 days
        {0xFFFFFFFFu, 0x00000000u, 0.001f},
        {7, 7, 0.0f},
    };
    for (const Case& c : cases) {
        testing::ResetViewerState();
        ASSERT_TRUE(testing::CreateViewerDevice(D3DDEVTYPE_NULLREF, nullptr));
        g_camera = new Camera();
        g_camera->SetPosition(500.0f, 30.0f, -500.0f);
        UpdateAt({c.first, c.second});
        EXPECT_NEAR(g_elapsedSeconds, c.seconds, 1e-6f) << c.first << " -> " << c.second;
        // One step at the yaw of that step: speed 0.1 per millisecond.
        const float distance = c.seconds * 1000.0f * 0.1f;
        EXPECT_NEAR(g_camera->position.x, 500.0f - std::sin(c.seconds) * distance, 1e-3f);
        EXPECT_NEAR(g_camera->position.z, -500.0f + std::cos(c.seconds) * distance, 1e-3f);
    }
}

TEST_F(FrameUpdate, StallGivesOneLargeStep) {
    UpdateAt({1000, 1016, 6016});  // 16 ms, then a 5-second stall
    const float yaw = g_elapsedSeconds;
    EXPECT_NEAR(yaw, 5.016f, 1e-4f);
    // The first step moved 1.6 units at yaw 0.016; the stall 500 at yaw 5.016.
    const float x = 500.0f - std::sin(0.016f) * 1.6f - std::sin(yaw) * 500.0f;
    const float z = -500.0f + std::cos(0.016f) * 1.6f + std::cos(yaw) * 500.0f;
    EXPECT_NEAR(g_camera->position.x, x, 1e-2f);
    EXPECT_NEAR(g_camera->position.z, z, 1e-2f);
}

TEST_F(FrameUpdate, EscapeHeldPostsQuitOnEveryCall) {
    UpdateAt({100});
    EXPECT_FALSE(DrainMessages()) << "no quit without Escape";

    qv::testing::OverrideKeyState(VK_ESCAPE, true);
    UpdateAt({116});
    EXPECT_TRUE(DrainMessages());
    UpdateAt({132});
    EXPECT_TRUE(DrainMessages()) << "held Escape posts again";

    qv::testing::OverrideKeyState(VK_ESCAPE, false);
    UpdateAt({148});
    EXPECT_FALSE(DrainMessages());
}

TEST_F(FrameUpdate, WithoutACameraOnlyTimeAdvances) {
    delete g_camera;
    g_camera = nullptr;
    UpdateAt({10, 510});
    EXPECT_NEAR(g_elapsedSeconds, 0.5f, 1e-6f);
}

}  // namespace
}  // namespace qv::viewer
