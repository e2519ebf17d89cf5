// Surfaces: stand-alone (offscreen plain surfaces, render targets) or the
// levels of a texture. Pixels live in system memory on every device.
#include <cstring>
#include <new>

#include "platform/d3d9/objects.h"
#include "platform/platform_internal.h"

namespace qv::platform {

namespace {

// Larger resources are refused as out of memory rather than attempted.
constexpr std::uint64_t kMaxResourceBytes = std::uint64_t{1} << 30;

const char* PoolName(D3DPOOL pool) {
    switch (pool) {
        case D3DPOOL_DEFAULT: return "D3DPOOL_DEFAULT";
        case D3DPOOL_MANAGED: return "D3DPOOL_MANAGED";
        case D3DPOOL_SYSTEMMEM: return "D3DPOOL_SYSTEMMEM";
        case D3DPOOL_SCRATCH: return "D3DPOOL_SCRATCH";
    }
    return "an unknown pool";
}

}  // namespace

bool RectInside(const RECT* rect, UINT width, UINT height) {
    if (rect == nullptr) return true;
    return rect->left >= 0 && rect->top >= 0 && rect->left <= rect->right && rect->top <= rect->bottom &&
           static_cast<std::uint64_t>(rect->right) <= width && static_cast<std::uint64_t>(rect->bottom) <= height;
}

Surface::Surface(Device* device, Texture* container, const FormatLayout& layout, const D3DSURFACE_DESC& desc,
                 bool lockable)
    : device_(device), container_(container), layout_(&layout), desc_(desc), lockable_(lockable) {
    if (container_ == nullptr) device_->RetainChild();
}

Surface::~Surface() {
    if (container_ == nullptr) device_->ReleaseChild();
}

bool Surface::Allocate() {
    const std::uint64_t pitch = RowPitch(*layout_, desc_.Width);
    const std::uint64_t bytes = pitch * MemoryRows(*layout_, desc_.Height);
    if (bytes > kMaxResourceBytes) return false;
    try {
        memory_.assign(static_cast<std::size_t>(bytes), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    pitch_ = static_cast<std::size_t>(pitch);
    return true;
}

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
        AddRef();
        *object = static_cast<IDirect3DSurface9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// A level counts with its texture: holding a level keeps the texture alive.
ULONG Surface::AddRef() {
    if (container_ != nullptr) return container_->AddRef();
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG Surface::Release() {
    if (container_ != nullptr) return container_->Release();
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT Surface::GetDevice(IDirect3DDevice9** device) {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

HRESULT Surface::GetContainer(REFIID riid, void** container) {
    if (container == nullptr) return D3DERR_INVALIDCALL;
    *container = nullptr;
    if (container_ != nullptr) return container_->QueryInterface(riid, container);
    // A stand-alone surface's container is its device.
    return device_->QueryInterface(riid, container);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD /*flags*/) {
    if (lockedRect == nullptr) return D3DERR_INVALIDCALL;
    if (!lockable_) {
        Direct3DDebugLine("LockRect: a surface in %s cannot be locked (only lockable render targets and "
                          "D3DUSAGE_DYNAMIC textures can)",
                          PoolName(desc_.Pool));
        return D3DERR_INVALIDCALL;
    }
    if (locked_) {
        Direct3DDebugLine("LockRect: the surface is already locked");
        return D3DERR_INVALIDCALL;
    }
    if (!RectInside(rect, desc_.Width, desc_.Height)) {
        Direct3DDebugLine("LockRect: the rectangle lies outside the surface or is inverted");
        return D3DERR_INVALIDCALL;
    }
    std::size_t offset = 0;
    if (rect != nullptr) {
        const auto left = static_cast<UINT>(rect->left), top = static_cast<UINT>(rect->top);
        const auto right = static_cast<UINT>(rect->right), bottom = static_cast<UINT>(rect->bottom);
        switch (layout_->shape) {
            case FormatShape::Block:
                // Whole blocks only; the last block column and row may be cut
                // by the surface's edge.
                if (left % 4 || top % 4 || (right % 4 && right != desc_.Width) ||
                    (bottom % 4 && bottom != desc_.Height)) {
                    Direct3DDebugLine("LockRect: a rectangle of a DXT surface must lie on 4 x 4 block edges");
                    return D3DERR_INVALIDCALL;
                }
                offset = top / 4 * pitch_ + std::size_t{left} / 4 * layout_->bytes;
                break;
            case FormatShape::Pair:
                if (left % 2 || (right % 2 && right != desc_.Width)) {
                    Direct3DDebugLine("LockRect: a rectangle of a pair format must start and end on even columns");
                    return D3DERR_INVALIDCALL;
                }
                offset = top * pitch_ + std::size_t{left} / 2 * layout_->bytes;
                break;
            case FormatShape::Pixel:
                offset = top * pitch_ + std::size_t{left} * layout_->bytes;
                break;
        }
    }
    locked_ = true;
    lockedRect->Pitch = static_cast<INT>(pitch_);
    lockedRect->pBits = memory_.data() + offset;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    if (!locked_) {
        Direct3DDebugLine("UnlockRect: the surface is not locked");
        return D3DERR_INVALIDCALL;
    }
    locked_ = false;
    return D3D_OK;
}

}  // namespace qv::platform
