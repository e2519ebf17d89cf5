// The viewer's camera: where it looks from and how it projects.
#pragma once

#include "quorvane/math/math.h"

namespace qv::viewer {

// A position, three angles and a speed, with the view and projection
// matrices built from them. Roll is stored and passed on but never turns
// the view.
class Camera {
public:
    Camera();
    ~Camera() = default;

    void SetPosition(float x, float y, float z);
    void SetAngles(float yaw, float pitch, float roll);
    // Sets the planes; the projection is rebuilt by the next GetProjection.
    void SetNearFar(float nearPlane, float farPlane);
    // Moves along the heading by speed x step (the viewer passes milliseconds).
    void Move(float step);
    // Rebuild the matrix and return its address, valid while the camera lives.
    const Matrix* GetProjection();
    const Matrix* GetView();
    void BuildView(float x, float y, float z, float yaw, float pitch, float roll);

    float speed;
    Matrix view;
    Vec3 position;
    float yaw;
    float pitch;
    float roll;
    Matrix projection;
    float fieldOfView;
    float aspect;
    float nearPlane;
    float farPlane;
};

}  // namespace qv::viewer
