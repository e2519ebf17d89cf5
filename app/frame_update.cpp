// Advances time and camera once per pass of the main loop.
#include "app/viewer.h"
#include "quorvane/platform/win_kernel.h"

namespace qv::viewer {

namespace {

// The tick of the previous call, taken on the first call.
bool g_clockStarted = false;
DWORD g_lastTick = 0;

}  // namespace

void ResetFrameClock() {
    g_clockStarted = false;
    g_lastTick = 0;
}

void UpdateFrame() {
    if (!g_clockStarted) {
        g_lastTick = GetTickCount();
        g_clockStarted = true;
    }
    const DWORD now = GetTickCount();
    // Unsigned difference: a wrap of the tick counter still gives the true step.
    const float stepMs = static_cast<float>(static_cast<DWORD>(now - g_lastTick));
    g_lastTick = now;
    g_elapsedSeconds = g_elapsedSeconds + stepMs * 0.001f;

    if (g_camera) {
        // One radian per second; the move uses this step's heading.
        g_camera->SetAngles(g_elapsedSeconds, 0.0f, 0.0f);
        g_camera->Move(stepMs);
    }

    if (GetAsyncKeyState(VK_ESCAPE) & 0x8000) PostQuitMessage(0);

    if (g_camera) {
        g_device->SetTransform(D3DTS_PROJECTION, g_camera->GetProjection());
        g_device->SetTransform(D3DTS_VIEW, g_camera->GetView());
    }
}

}  // namespace qv::viewer
