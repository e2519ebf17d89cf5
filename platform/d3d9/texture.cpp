// Textures: a chain of level surfaces that count with the texture.
#include "platform/d3d9/objects.h"
#include "platform/platform_internal.h"

namespace qv::platform {

Texture::Texture(Device* device, DWORD usage, D3DPOOL pool) : device_(device), usage_(usage), pool_(pool) {
    device_->RetainChild();
}

Texture::~Texture() {
    for (Surface* level : levels_) delete level;
    device_->ReleaseChild();
}

HRESULT Texture::Build(UINT width, UINT height, UINT levels, const FormatLayout& layout, bool lockable) {
    UINT fullChain = 1;
    for (UINT w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1) ++fullChain;
    if (levels == 0) levels = fullChain;
    if (levels > fullChain) {
        Direct3DDebugLine("CreateTexture: %u levels asked of a %u x %u texture, which has at most %u", levels,
                          width, height, fullChain);
        return D3DERR_INVALIDCALL;
    }
    levels_.reserve(levels);
    for (UINT i = 0; i < levels; ++i) {
        D3DSURFACE_DESC desc{};
        desc.Format = layout.format;
        desc.Type = D3DRTYPE_SURFACE;
        desc.Usage = usage_;
        desc.Pool = pool_;
        desc.MultiSampleType = D3DMULTISAMPLE_NONE;
        desc.Width = width >> i ? width >> i : 1;
        desc.Height = height >> i ? height >> i : 1;
        auto* level = new Surface(device_, this, layout, desc, lockable);
        levels_.push_back(level);
        if (!level->Allocate()) return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Texture::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == IID_IDirect3DTexture9) {
        AddRef();
        *object = static_cast<IDirect3DTexture9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Texture::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG Texture::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT Texture::GetDevice(IDirect3DDevice9** device) {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    levels_[level]->AddRef();
    *surface = levels_[level];
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->LockRect(lockedRect, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockRect();
}

}  // namespace qv::platform
