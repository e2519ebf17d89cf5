// The terrain viewer's parts and its state, shared by the viewer's sources,
// the executable and the tests.
#pragma once

#include <cstdint>

#include "app/camera.h"
#include "quorvane/platform/d3d9.h"
#include "quorvane/platform/win_user.h"

namespace qv::viewer {

// The height map and the field built from it.
inline constexpr UINT kFieldWidth = 1024;
inline constexpr UINT kFieldHeight = 768;
// One triangle strip per pair of neighbouring pixel rows.
inline constexpr UINT kRowBufferCount = kFieldHeight - 1;  // 767
inline constexpr UINT kVerticesPerRow = 2 * kFieldWidth;    // 2048
// Drawn each frame: strips 0 to 764, columns 0 to 765 of each.
inline constexpr UINT kDrawnRowCount = 765;
inline constexpr UINT kStripTriangles = 1530;
inline constexpr DWORD kTerrainFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
inline constexpr float kHeightScale = 0.1f;  // world height per unit of red
inline constexpr UINT kBackBufferWidth = 800;
inline constexpr UINT kBackBufferHeight = 600;

struct TerrainVertex {
    float x;          // pixel column
    float y;          // red channel x 0.1
    float z;          // minus the pixel row
    D3DCOLOR diffuse; // the pixel word unchanged
};
static_assert(sizeof(TerrainVertex) == 16);
inline constexpr UINT kRowBufferBytes = kVerticesPerRow * sizeof(TerrainVertex);  // 32768

// The viewer's state: one instance each, zero or null at start. Every
// Direct3D object here is owned by the viewer and released exactly once.
extern bool g_windowed;
extern IDirect3D9* g_d3d;
extern IDirect3DDevice9* g_device;
extern Camera* g_camera;
extern IDirect3DSurface9* g_heightSurface;
extern IDirect3DVertexBuffer9** g_rowBuffers;  // kRowBufferCount slots
extern float g_elapsedSeconds;

// The whole viewer: window, question, device, scene, loop, shutdown.
// Returns the process's exit status: 0, or 1 when no Direct3D device could
// be created (after one line on standard error).
int RunViewer(HINSTANCE instance);

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers the window class "D3DWindow" and creates the viewer's hidden
// 800 x 600 window titled "Quorvane".
HWND CreateViewerWindow(HINSTANCE instance);

// Device set-up, scene set-up and one frame.
void InitDirect3D(HWND window);
void SetupScene();
void RenderFrame();

// Loads the height map `fileName` and fills the row buffers from it. When the
// picture cannot be loaded it says so on the debug output and builds a flat
// field.
void BuildTerrain(const char* fileName);

// Advances time and camera by the milliseconds since the last call, posts
// the quit message while Escape is down, and sets projection and view.
void UpdateFrame();
// Forgets the tick of the last UpdateFrame, so the next call starts timing
// afresh (the viewer itself never needs this; tests do).
void ResetFrameClock();

// Releases the height surface, the camera and the row buffers.
void ReleaseScene();

}  // namespace qv::viewer
