// The Direct3D objects of the layer: one resource core shared by the HAL
// device (which draws through a Renderer) and the NULLREF device (which has
// none and draws nothing).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/d3d9/formats.h"
#include "platform/d3d9/renderer.h"
#include "quorvane/platform/d3d9.h"

namespace qv::platform {

class Device;
class Texture;

class Direct3D final : public IDirect3D9 {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* presentationParameters, IDirect3DDevice9** device) override;

private:
    std::atomic<ULONG> refs_{1};
};

// Fills the capabilities of a device of `type`.
void FillCaps(D3DDEVTYPE type, D3DCAPS9* caps);

class Device final : public IDirect3DDevice9 {
public:
    Device(Direct3D* d3d, D3DDEVTYPE type, const D3DPRESENT_PARAMETERS& parameters,
           std::unique_ptr<Renderer> renderer);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDirect3D(IDirect3D9** d3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* sharedHandle) override;
    HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                          IDirect3DSurface9* destSurface, const POINT* destPoint) override;
    HRESULT StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect, IDirect3DSurface9* destSurface,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData, UINT offsetInBytes,
                            UINT stride) override;

    Renderer* renderer() const { return renderer_.get(); }

    // Resources keep their device alive through a count of their own, so
    // that the device's hold on its bound stream makes no cycle: when the
    // caller's last reference goes, the device lets go of its bindings and
    // is destroyed once its last resource is.
    void RetainChild() { children_.fetch_add(1, std::memory_order_relaxed); }
    void ReleaseChild();

private:
    ~Device();
    void DestroyIfUnused();
    void ApplyDepthState();
    void ApplyTransform();

    std::atomic<ULONG> refs_{1};
    std::atomic<ULONG> children_{0};
    Direct3D* d3d_;
    D3DDEVTYPE type_;
    D3DPRESENT_PARAMETERS parameters_;
    std::unique_ptr<Renderer> renderer_;

    // State, as set by the caller; the renderer only hears of changes.
    D3DMATRIX world_{}, view_{}, projection_{};
    bool transformDirty_ = true;
    DWORD lighting_ = TRUE;
    DWORD cullMode_ = D3DCULL_CCW;
    DWORD zEnable_ = FALSE;
    DWORD zWriteEnable_ = TRUE;
    DWORD zFunc_ = D3DCMP_LESSEQUAL;
    DWORD fvf_ = 0;
    class VertexBuffer* stream_ = nullptr;  // holds a reference
    UINT streamOffset_ = 0;
    UINT streamStride_ = 0;
    bool inScene_ = false;
};

// A block of pixel memory with its lock state: a stand-alone surface or one
// level of a texture.
class Surface final : public IDirect3DSurface9 {
public:
    // `container` null: a stand-alone surface holding its own count and a
    // reference to the device. Otherwise a level that lives and counts with
    // its texture.
    Surface(Device* device, Texture* container, const FormatLayout& layout, const D3DSURFACE_DESC& desc,
            bool lockable);
    bool Allocate();  // false: out of memory

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    const D3DSURFACE_DESC& desc() const { return desc_; }
    const FormatLayout& layout() const { return *layout_; }
    std::uint8_t* bits() { return memory_.data(); }
    std::size_t pitch() const { return pitch_; }
    std::uint32_t rows() const { return MemoryRows(*layout_, desc_.Height); }
    bool locked() const { return locked_; }
    Device* device() const { return device_; }

private:
    friend class Texture;
    ~Surface();

    std::atomic<ULONG> refs_{1};
    Device* device_;
    Texture* container_;
    const FormatLayout* layout_;
    D3DSURFACE_DESC desc_;
    bool lockable_;
    bool locked_ = false;
    std::size_t pitch_ = 0;
    std::vector<std::uint8_t> memory_;
};

class Texture final : public IDirect3DTexture9 {
public:
    Texture(Device* device, DWORD usage, D3DPOOL pool);
    // Creates the levels; an HRESULT failure leaves the texture to be released.
    HRESULT Build(UINT width, UINT height, UINT levels, const FormatLayout& layout, bool lockable);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

private:
    ~Texture();

    std::atomic<ULONG> refs_{1};
    Device* device_;
    DWORD usage_;
    D3DPOOL pool_;
    std::vector<Surface*> levels_;
};

class VertexBuffer final : public IDirect3DVertexBuffer9 {
public:
    VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    bool Allocate();

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    UINT length() const { return desc_.Size; }
    bool locked() const { return lockCount_ > 0; }
    // The GPU copy drawn from, 0 on a device without a renderer or for a
    // system-memory buffer. A buffer drawn before its first unlock gets its
    // (zeroed) contents uploaded here.
    std::uint32_t DrawableBufferObject();

private:
    ~VertexBuffer();

    std::atomic<ULONG> refs_{1};
    Device* device_;
    D3DVERTEXBUFFER_DESC desc_;
    std::vector<std::uint8_t> memory_;
    int lockCount_ = 0;
    std::uint32_t bufferObject_ = 0;
    bool uploaded_ = false;  // the GPU copy holds the contents
};

// Checks that `rect` (null: the whole surface) lies inside a surface of
// width x height and is not inverted.
bool RectInside(const RECT* rect, UINT width, UINT height);

}  // namespace qv::platform
