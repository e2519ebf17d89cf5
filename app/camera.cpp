#include "app/camera.h"

#include <cmath>

namespace qv::viewer {

namespace {

constexpr Matrix kIdentity = {{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}};

}  // namespace

Camera::Camera()
    : speed(0.1f),
      view(kIdentity),
      position{0.0f, 0.0f, 0.0f},
      yaw(0.0f),
      pitch(0.0f),
      roll(0.0f),
      projection(kIdentity),
      fieldOfView(1.5707964f),
      aspect(1.333f),
      nearPlane(1.0f),
      farPlane(1000.0f) {
    MatrixPerspectiveFovLH(&projection, fieldOfView, aspect, nearPlane, farPlane);
}

void Camera::SetPosition(float x, float y, float z) { position = {x, y, z}; }

void Camera::SetAngles(float newYaw, float newPitch, float newRoll) {
    yaw = newYaw;
    pitch = newPitch;
    roll = newRoll;
}

void Camera::SetNearFar(float newNear, float newFar) {
    nearPlane = newNear;
    farPlane = newFar;
}

// The heading at yaw 0 is +z; yaw turns it towards -x and pitch lifts it.
// The horizontal part does not shrink with the pitch.
void Camera::Move(float step) {
    const float distance = speed * step;
    position.x -= std::sin(yaw) * distance;
    position.y += std::sin(pitch) * distance;
    position.z += std::cos(yaw) * distance;
}

const Matrix* Camera::GetProjection() {
    MatrixPerspectiveFovLH(&projection, fieldOfView, aspect, nearPlane, farPlane);
    return &projection;
}

const Matrix* Camera::GetView() {
    BuildView(position.x, position.y, position.z, yaw, pitch, roll);
    return &view;
}

// view = T(-position) x R(pitch about the horizontal axis across the
// heading) x R(yaw about +y): the heading becomes +z in view space.
void Camera::BuildView(float x, float y, float z, float viewYaw, float viewPitch, float /*roll*/) {
    const Vec3 up = {0.0f, 1.0f, 0.0f};
    const Vec3 across = {std::cos(viewYaw), 0.0f, std::sin(viewYaw)};
    Matrix turn, tilt, rotation, translation;
    MatrixRotationAxis(&turn, &up, viewYaw);
    MatrixRotationAxis(&tilt, &across, viewPitch);
    MatrixMultiply(&rotation, &tilt, &turn);
    MatrixTranslation(&translation, -x, -y, -z);
    MatrixMultiply(&view, &translation, &rotation);
}

}  // namespace qv::viewer
