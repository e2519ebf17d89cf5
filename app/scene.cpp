// Device set-up, scene set-up and the drawing of one frame.
#include <new>

#include "app/viewer.h"

namespace qv::viewer {

namespace {

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

}  // namespace

void InitDirect3D(HWND window) {
    g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!g_d3d) return;

    // An 800 x 600 32-bit back buffer with a 16-bit depth buffer, windowed or
    // as a full-screen mode of that size.
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = kBackBufferWidth;
    parameters.BackBufferHeight = kBackBufferHeight;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.BackBufferCount = 0;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.MultiSampleQuality = 0;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.hDeviceWindow = nullptr;  // the focus window serves
    parameters.Windowed = g_windowed ? TRUE : FALSE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.Flags = 0;
    parameters.FullScreen_RefreshRateInHz = 0;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

    if (!g_windowed) ShowCursor(FALSE);

    D3DCAPS9 caps = {};
    g_d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    const DWORD vertexProcessing = caps.DevCaps != 0 ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                     : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(g_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, vertexProcessing,
                                   &parameters, &device))) {
        if (device) device->Release();
        device = nullptr;
    }
    g_device = device;
}

void SetupScene() {
    g_device->SetTransform(D3DTS_WORLD, &kIdentity);

    g_camera = new (std::nothrow) Camera();
    if (g_camera) {
        g_camera->SetPosition(500.0f, 30.0f, -500.0f);
        g_camera->SetNearFar(1.0f, 1500.0f);
        g_device->SetTransform(D3DTS_PROJECTION, g_camera->GetProjection());
    }

    BuildTerrain("heightmap.png");

    g_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    g_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}

void RenderFrame() {
    g_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    g_device->BeginScene();
    g_device->SetFVF(kTerrainFvf);
    if (g_rowBuffers) {
        for (UINT j = 0; j < kDrawnRowCount; ++j) {
            if (!g_rowBuffers[j]) continue;  // a buffer that could not be created
            g_device->SetStreamSource(0, g_rowBuffers[j], 0, sizeof(TerrainVertex));
            g_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, kStripTriangles);
        }
    }
    g_device->EndScene();
    g_device->Present(nullptr, nullptr, nullptr, nullptr);
}

}  // namespace qv::viewer
