// The drawing backend behind a device. The device keeps all state and calls
// its renderer only when something changes, so a backend sees no redundant
// calls. A NULLREF device has no renderer at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "quorvane/platform/d3d9.h"

namespace qv::platform {

class Renderer {
public:
    virtual ~Renderer() = default;

    // Clears the whole target, or only `rects` (in back-buffer pixels, top
    // row 0) when count is not zero.
    virtual void Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z) = 0;
    // The product world x view x projection, row-major for row vectors.
    virtual void SetTransform(const D3DMATRIX& worldViewProjection) = 0;
    virtual void SetCullMode(DWORD cullMode) = 0;
    // Lighting with no lights set: every vertex comes out black.
    virtual void SetLighting(bool enabled) = 0;
    virtual void SetDepthTest(bool enabled, DWORD compare, bool write) = 0;

    // GPU copies of vertex buffers: a buffer object per vertex buffer,
    // filled on Unlock and drawn from there.
    virtual std::uint32_t CreateBufferObject() = 0;
    virtual void UploadBufferObject(std::uint32_t buffer, const void* data, std::size_t bytes) = 0;
    virtual void DeleteBufferObject(std::uint32_t buffer) = 0;

    // Draws from a buffer object whose layout is XYZ | DIFFUSE (16 bytes).
    virtual void Draw(D3DPRIMITIVETYPE type, std::uint32_t buffer, std::size_t offsetBytes,
                      std::uint32_t stride, std::uint32_t startVertex, std::uint32_t vertexCount) = 0;
    virtual void Present(bool waitForRefresh) = 0;
};

// Creates the OpenGL renderer in the SDL window behind `focusWindow` (or in a
// window of its own). Null with the reason in *why when it cannot.
std::unique_ptr<Renderer> CreateOpenGLRenderer(HWND focusWindow, const D3DPRESENT_PARAMETERS& parameters,
                                               std::string* why);

}  // namespace qv::platform
