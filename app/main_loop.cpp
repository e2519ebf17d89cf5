// The viewer's entry and main loop, its window procedure and shutdown.
#include <cstdio>
#include <new>

#include "app/viewer.h"

namespace qv::viewer {

bool g_windowed = false;
IDirect3D9* g_d3d = nullptr;
IDirect3DDevice9* g_device = nullptr;
Camera* g_camera = nullptr;
IDirect3DSurface9* g_heightSurface = nullptr;
IDirect3DVertexBuffer9** g_rowBuffers = nullptr;
float g_elapsedSeconds = 0.0f;

namespace {

void ReleaseDevice() {
    if (g_device) {
        g_device->Release();
        g_device = nullptr;
    }
    if (g_d3d) {
        g_d3d->Release();
        g_d3d = nullptr;
    }
}

}  // namespace

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SETCURSOR:
            // No cursor at all, over the frame and title bar too.
            SetCursor(LoadCursorA(nullptr, nullptr));
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateViewerWindow(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.lpszClassName = "D3DWindow";
    RegisterClassExA(&windowClass);

    // Created hidden: it is shown once the scene is ready.
    return CreateWindowExA(0, "D3DWindow", "Quorvane", WS_OVERLAPPEDWINDOW, 0, 0,
                           static_cast<int>(kBackBufferWidth), static_cast<int>(kBackBufferHeight),
                           GetDesktopWindow(), nullptr, instance, nullptr);
}

int RunViewer(HINSTANCE instance) {
    HWND window = CreateViewerWindow(instance);

    g_windowed = MessageBoxA(nullptr, "FullScreen?", "Quorvane", MB_YESNO) != IDYES;

    InitDirect3D(window);
    if (!g_device) {
        // Nothing can be drawn without a device: say so and stop cleanly
        // rather than call through a null device.
        std::fputs("Quorvane: cannot create a Direct3D device (no display or no OpenGL?); exiting\n",
                   stderr);
        ReleaseDevice();
        if (window) DestroyWindow(window);
        return 1;
    }
    SetupScene();
    ShowWindow(window, SW_SHOWDEFAULT);

    // Each pass removes at most one message, then always draws and updates
    // once; the pass that removes WM_QUIT still draws and updates.
    MSG message = {};
    message.message = 0;
    for (;;) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        RenderFrame();
        UpdateFrame();
        if (message.message == WM_QUIT) break;
    }

    ReleaseScene();
    ReleaseDevice();
    return 0;
}

void ReleaseScene() {
    if (g_heightSurface) {
        g_heightSurface->Release();
        g_heightSurface = nullptr;
    }
    if (g_camera) {
        delete g_camera;
        g_camera = nullptr;
    }
    if (g_rowBuffers) {
        for (UINT j = 0; j < kRowBufferCount; ++j) {
            if (g_rowBuffers[j]) {
                g_rowBuffers[j]->Release();
                g_rowBuffers[j] = nullptr;
            }
        }
        delete[] g_rowBuffers;
        g_rowBuffers = nullptr;
    }
}

}  // namespace qv::viewer
