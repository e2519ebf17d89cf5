// Direct3D 9 style object interfaces: the Direct3D object, the device,
// surfaces, textures and vertex buffers. Every object is a counted reference.
//
// platform/ implements them twice over one resource core: a HAL device that
// draws through OpenGL into an SDL window, and a NULLREF device with no
// window and no GL at all, on which every resource operation works and
// drawing does nothing (for headless tools, tests and other programs).
#pragma once

#include "quorvane/platform/d3d9_types.h"
#include "quorvane/platform/win_types.h"

// Interface identifiers used with QueryInterface and GetContainer.
inline constexpr IID IID_IUnknown = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x00}};
inline constexpr IID IID_IDirect3D9 = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x01}};
inline constexpr IID IID_IDirect3DDevice9 = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x02}};
inline constexpr IID IID_IDirect3DResource9 = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x03}};
inline constexpr IID IID_IDirect3DSurface9 = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x04}};
inline constexpr IID IID_IDirect3DBaseTexture9 = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x05}};
inline constexpr IID IID_IDirect3DTexture9 = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x06}};
inline constexpr IID IID_IDirect3DVertexBuffer9 = {0x51a0c1e0u, 0x3f2b, 0x4b7e, {0x9a, 0x11, 0x7c, 0x2d, 0x40, 0x01, 0x00, 0x07}};

class IDirect3DDevice9;
class IDirect3DSurface9;
class IDirect3DTexture9;
class IDirect3DVertexBuffer9;

class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

class IDirect3D9 : public IUnknown {
public:
    virtual UINT GetAdapterCount() = 0;
    virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) = 0;
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                 DWORD behaviorFlags, D3DPRESENT_PARAMETERS* presentationParameters,
                                 IDirect3DDevice9** device) = 0;

protected:
    ~IDirect3D9() = default;
};

class IDirect3DDevice9 : public IUnknown {
public:
    virtual HRESULT GetDirect3D(IDirect3D9** d3d) = 0;
    virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion) = 0;
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                  HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) = 0;
    virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality,
                                       BOOL lockable, IDirect3DSurface9** surface,
                                       HANDLE* sharedHandle) = 0;
    virtual HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                                  IDirect3DSurface9* destSurface, const POINT* destPoint) = 0;
    virtual HRESULT StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                                IDirect3DSurface9* destSurface, const RECT* destRect,
                                D3DTEXTUREFILTERTYPE filter) = 0;
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                D3DPOOL pool, IDirect3DSurface9** surface,
                                                HANDLE* sharedHandle) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                  UINT primitiveCount) = 0;
    virtual HRESULT SetFVF(DWORD fvf) = 0;
    virtual HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                                    UINT offsetInBytes, UINT stride) = 0;

protected:
    ~IDirect3DDevice9() = default;
};

class IDirect3DResource9 : public IUnknown {
public:
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    virtual D3DRESOURCETYPE GetType() = 0;

protected:
    ~IDirect3DResource9() = default;
};

class IDirect3DSurface9 : public IDirect3DResource9 {
public:
    virtual HRESULT GetContainer(REFIID riid, void** container) = 0;
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;

protected:
    ~IDirect3DSurface9() = default;
};

class IDirect3DBaseTexture9 : public IDirect3DResource9 {
public:
    virtual DWORD GetLevelCount() = 0;

protected:
    ~IDirect3DBaseTexture9() = default;
};

class IDirect3DTexture9 : public IDirect3DBaseTexture9 {
public:
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                             DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;

protected:
    ~IDirect3DTexture9() = default;
};

class IDirect3DVertexBuffer9 : public IDirect3DResource9 {
public:
    virtual HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;

protected:
    ~IDirect3DVertexBuffer9() = default;
};

// Creates the Direct3D object. `sdkVersion` must be D3D_SDK_VERSION (31);
// returns null otherwise.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
