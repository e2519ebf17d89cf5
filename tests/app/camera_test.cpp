// The camera: its projection, its view and how it moves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "app/camera.h"

namespace qv::viewer {
namespace {

void ExpectMatrixNear(const Matrix& actual, const float (&expected)[4][4], float tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual.m[r][c], expected[r][c], tolerance) << "element (" << r << ", " << c << ")";
}

// Transforms the point (x, y, z, 1) as a row vector.
Vec3 TransformPoint(const Matrix& m, const Vec3& p) {
    Vec3 out;
    out.x = p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0];
    out.y = p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1];
    out.z = p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2];
    return out;
}

TEST(Camera, StartsWithItsInitialFieldsAndProjection) {
    Camera camera;
    EXPECT_FLOAT_EQ(camera.speed, 0.1f);
    EXPECT_EQ(camera.fieldOfView, 1.5707964f);
    EXPECT_EQ(camera.aspect, 1.333f);  // not 4/3
    EXPECT_EQ(camera.nearPlane, 1.0f);
    EXPECT_EQ(camera.farPlane, 1000.0f);
    EXPECT_EQ(camera.position.x, 0.0f);
    EXPECT_EQ(camera.position.y, 0.0f);
    EXPECT_EQ(camera.position.z, 0.0f);
    const float expected[4][4] = {{0.7501875f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.001001f, 1}, {0, 0, -1.001001f, 0}};
    ExpectMatrixNear(camera.projection, expected, 1e-4f);
    ExpectMatrixNear(*camera.GetProjection(), expected, 1e-4f);
}

TEST(Camera, NewPlanesApplyAtTheNextGetProjection) {
    Camera camera;
    camera.SetNearFar(1.0f, 1500.0f);
    EXPECT_NEAR(camera.projection.m[2][2], 1.001001f, 1e-6f) << "SetNearFar must not rebuild";
    const Matrix* projection = camera.GetProjection();
    EXPECT_EQ(projection, &camera.projection);
    const float expected[4][4] = {{0.7501875f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.000667f, 1}, {0, 0, -1.000667f, 0}};
    ExpectMatrixNear(*projection, expected, 1e-5f);
}

TEST(Camera, ViewAtTheStartPositionIsATranslation) {
    Camera camera;
    camera.SetPosition(500.0f, 30.0f, -500.0f);
    const Matrix* view = camera.GetView();
    EXPECT_EQ(view, &camera.view);
    const float expected[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-500, -30, 500, 1}};
    ExpectMatrixNear(*view, expected, 1e-6f);
}

TEST(Camera, LooksWhereItMoves) {
    // A point ahead on the heading lands on the view's +z axis, and a point
    // above the eye on its +y axis, whatever the yaw.
    for (float yaw : {0.0f, 0.7f, 2.5f, -1.2f, 7.0f}) {
        Camera camera;
        camera.SetPosition(500.0f, 30.0f, -500.0f);
        camera.SetAngles(yaw, 0.0f, 0.0f);
        const Matrix view = *camera.GetView();
        camera.Move(100.0f);  // 10 units along the heading
        const Vec3 ahead = TransformPoint(view, camera.position);
        EXPECT_NEAR(ahead.x, 0.0f, 1e-3f) << "yaw " << yaw;
        EXPECT_NEAR(ahead.y, 0.0f, 1e-3f) << "yaw " << yaw;
        EXPECT_NEAR(ahead.z, 10.0f, 1e-3f) << "yaw " << yaw;
        const Vec3 above = TransformPoint(view, {500.0f, 35.0f, -500.0f});
        EXPECT_NEAR(above.x, 0.0f, 1e-3f);
        EXPECT_NEAR(above.y, 5.0f, 1e-3f);
        EXPECT_NEAR(above.z, 0.0f, 1e-3f);
    }
}

TEST(Camera, MovesAlongTheHeadingBySpeedTimesStep) {
    constexpr float kHalfPi = std::numbers::pi_v<float> / 2;
    struct Case {
        float yaw, pitch, step;
        float dx, dy, dz;
    };
    const Case cases[] = {
        {0, 0, 10, 0, 0, 1},           // heading +z
        {kHalfPi, 0, 10, -1, 0, 0},    // yaw turns it towards -x
        {-kHalfPi, 0, 10, 1, 0, 0},
        {0, kHalfPi, 10, 0, 1, 1},     // pitch lifts; the horizontal part does not shrink
        {0, 0, 0, 0, 0, 0},
        {0, 0, -20, 0, 0, -2},
    };
    for (const Case& c : cases) {
        Camera camera;
        camera.SetPosition(500.0f, 30.0f, -500.0f);
        camera.SetAngles(c.yaw, c.pitch, 0.0f);
        camera.Move(c.step);
        EXPECT_NEAR(camera.position.x, 500.0f + c.dx, 1e-4f) << "yaw " << c.yaw << " pitch " << c.pitch;
        EXPECT_NEAR(camera.position.y, 30.0f + c.dy, 1e-4f) << "yaw " << c.yaw << " pitch " << c.pitch;
        EXPECT_NEAR(camera.position.z, -500.0f + c.dz, 1e-4f) << "yaw " << c.yaw << " pitch " << c.pitch;
    }
}

TEST(Camera, RollChangesNothingInTheView) {
    Camera camera;
    camera.SetPosition(12.0f, 30.0f, -40.0f);
    camera.SetAngles(0.8f, 0.3f, 0.0f);
    const Matrix without = *camera.GetView();
    camera.SetAngles(0.8f, 0.3f, 1.2f);
    EXPECT_EQ(camera.roll, 1.2f);
    const Matrix with = *camera.GetView();
    EXPECT_EQ(std::memcmp(&without, &with, sizeof(Matrix)), 0);
}

}  // namespace
}  // namespace qv::viewer
