// Vertex buffers: system-memory contents, and on a drawing device a GPU
// buffer object that is refilled whenever the last lock is released.
#include <new>

#include "platform/d3d9/objects.h"
#include "platform/platform_internal.h"

namespace qv::platform {

VertexBuffer::VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool) : device_(device) {
    desc_.Format = D3DFMT_VERTEXDATA;
    desc_.Type = D3DRTYPE_VERTEXBUFFER;
    desc_.Usage = usage;
    desc_.Pool = pool;
    desc_.Size = length;
    desc_.FVF = fvf;
    device_->RetainChild();
}

VertexBuffer::~VertexBuffer() {
    if (bufferObject_ != 0 && device_->renderer() != nullptr) device_->renderer()->DeleteBufferObject(bufferObject_);
    device_->ReleaseChild();
}

bool VertexBuffer::Allocate() {
    try {
        memory_.assign(desc_.Size, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The GPU copy is filled on the first unlock (buffers are written before
    // they are drawn), or on a draw that comes first.
    if (Renderer* renderer = device_->renderer()) bufferObject_ = renderer->CreateBufferObject();
    return true;
}

std::uint32_t VertexBuffer::DrawableBufferObject() {
    if (bufferObject_ != 0 && !uploaded_) {
        device_->renderer()->UploadBufferObject(bufferObject_, memory_.data(), memory_.size());
        uploaded_ = true;
    }
    return bufferObject_;
}

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DVertexBuffer9) {
        AddRef();
        *object = static_cast<IDirect3DVertexBuffer9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG VertexBuffer::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG VertexBuffer::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT VertexBuffer::GetDevice(IDirect3DDevice9** device) {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

HRESULT VertexBuffer::Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD /*flags*/) {
    if (data == nullptr) return D3DERR_INVALIDCALL;
    *data = nullptr;
    const std::uint64_t size = sizeToLock == 0 ? std::uint64_t{desc_.Size} - offsetToLock : sizeToLock;
    if (offsetToLock > desc_.Size || std::uint64_t{offsetToLock} + size > desc_.Size) {
        Direct3DDebugLine("Lock: bytes %u to %llu asked of a vertex buffer of %u bytes", offsetToLock,
                          static_cast<unsigned long long>(offsetToLock + size), desc_.Size);
        return D3DERR_INVALIDCALL;
    }
    ++lockCount_;
    *data = memory_.data() + offsetToLock;
    return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
    if (lockCount_ == 0) {
        Direct3DDebugLine("Unlock: the vertex buffer is not locked");
        return D3DERR_INVALIDCALL;
    }
    if (--lockCount_ == 0 && bufferObject_ != 0) {
        device_->renderer()->UploadBufferObject(bufferObject_, memory_.data(), memory_.size());
        uploaded_ = true;
    }
    return D3D_OK;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

}  // namespace qv::platform
