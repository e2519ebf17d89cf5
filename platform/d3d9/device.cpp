// The device: resource creation and copies, shared by both device types,
// and the drawing state that a HAL device hands to its renderer.
#include <cstring>

#include "platform/d3d9/objects.h"
#include "platform/platform_internal.h"

namespace qv::platform {

namespace {

constexpr UINT kMaxTextureSize = 16384;
constexpr DWORD kDrawableFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
constexpr UINT kDrawableStride = 16;  // float x, y, z; D3DCOLOR diffuse

D3DMATRIX Identity() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] +
                          a.m[r][3] * b.m[3][c];
    return out;
}

Surface* OurSurface(IDirect3DSurface9* surface) { return dynamic_cast<Surface*>(surface); }

// The memory rectangle of `rect` in a surface of `layout`: columns in
// bytes, rows in memory rows. False when the rectangle does not lie on the
// format's block or pair edges (an edge of the surface counts as one).
struct ByteRect {
    std::size_t offset;  // from the first byte of the surface
    std::size_t bytesPerRow;
    std::uint32_t rows;
};

bool ToByteRect(const Surface& surface, const RECT& rect, ByteRect* out) {
    const FormatLayout& layout = surface.layout();
    const D3DSURFACE_DESC& desc = surface.desc();
    const auto left = static_cast<UINT>(rect.left), top = static_cast<UINT>(rect.top);
    const auto right = static_cast<UINT>(rect.right), bottom = static_cast<UINT>(rect.bottom);
    UINT columnUnit = 1, rowUnit = 1;
    if (layout.shape == FormatShape::Block) columnUnit = rowUnit = 4;
    if (layout.shape == FormatShape::Pair) columnUnit = 2;
    if (left % columnUnit || top % rowUnit || (right % columnUnit && right != desc.Width) ||
        (bottom % rowUnit && bottom != desc.Height))
        return false;
    const std::size_t unitBytes = layout.shape == FormatShape::Pixel ? layout.bytes : layout.bytes;
    out->offset = std::size_t{top / rowUnit} * surface.pitch() + std::size_t{left / columnUnit} * unitBytes;
    out->bytesPerRow = std::size_t{(right - left + columnUnit - 1) / columnUnit} * unitBytes;
    out->rows = (bottom - top + rowUnit - 1) / rowUnit;
    return true;
}

void CopyRows(Surface& source, const ByteRect& from, Surface& dest, const ByteRect& to) {
    const std::uint8_t* src = source.bits() + from.offset;
    std::uint8_t* dst = dest.bits() + to.offset;
    for (std::uint32_t row = 0; row < from.rows; ++row)
        std::memcpy(dst + row * dest.pitch(), src + row * source.pitch(), from.bytesPerRow);
}

}  // namespace

Device::Device(Direct3D* d3d, D3DDEVTYPE type, const D3DPRESENT_PARAMETERS& parameters,
               std::unique_ptr<Renderer> renderer)
    : d3d_(d3d), type_(type), parameters_(parameters), renderer_(std::move(renderer)) {
    d3d_->AddRef();
    world_ = view_ = projection_ = Identity();
    // With an automatic depth buffer depth testing starts on, less-or-equal.
    zEnable_ = parameters_.EnableAutoDepthStencil ? TRUE : FALSE;
    if (renderer_) {
        renderer_->SetCullMode(cullMode_);
        renderer_->SetLighting(lighting_ != FALSE);
        ApplyDepthState();
        ApplyTransform();
    }
}

Device::~Device() {
    if (stream_ != nullptr) stream_->Release();
    renderer_.reset();
    d3d_->Release();
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        AddRef();
        *object = static_cast<IDirect3DDevice9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG Device::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        children_.fetch_add(1, std::memory_order_relaxed);  // stay alive while unbinding
        if (stream_ != nullptr) {
            VertexBuffer* bound = stream_;
            stream_ = nullptr;
            bound->Release();
        }
        ReleaseChild();
    }
    return left;
}

void Device::ReleaseChild() {
    if (children_.fetch_sub(1, std::memory_order_acq_rel) == 1) DestroyIfUnused();
}

void Device::DestroyIfUnused() {
    if (refs_.load(std::memory_order_acquire) == 0 && children_.load(std::memory_order_acquire) == 0) delete this;
}

HRESULT Device::GetDirect3D(IDirect3D9** d3d) {
    if (d3d == nullptr) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *d3d = d3d_;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    if (caps == nullptr) return D3DERR_INVALIDCALL;
    FillCaps(type_, caps);
    return D3D_OK;
}

// ---- Resources ----

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatLayout* layout = FindFormatLayout(format);
    if (sharedHandle != nullptr || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize) {
        Direct3DDebugLine("CreateTexture: %u x %u is not a texture size (1 to %u)", width, height, kMaxTextureSize);
        return D3DERR_INVALIDCALL;
    }
    if (layout == nullptr) {
        Direct3DDebugLine("CreateTexture: format 0x%08X is not supported", static_cast<unsigned>(format));
        return D3DERR_INVALIDCALL;
    }
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) {
        Direct3DDebugLine("CreateTexture: D3DUSAGE_DYNAMIC textures cannot be in D3DPOOL_MANAGED");
        return D3DERR_INVALIDCALL;
    }
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) && pool != D3DPOOL_DEFAULT) {
        Direct3DDebugLine("CreateTexture: render-target and depth textures must be in D3DPOOL_DEFAULT");
        return D3DERR_INVALIDCALL;
    }
    const bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC) != 0;
    auto* created = new Texture(this, usage, pool);
    const HRESULT hr = created->Build(width, height, levels, *layout, lockable);
    if (FAILED(hr)) {
        created->Release();
        return hr;
    }
    *texture = created;
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* sharedHandle) {
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatLayout* layout = FindFormatLayout(format);
    if (sharedHandle != nullptr || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (pool == D3DPOOL_MANAGED) {
        Direct3DDebugLine("CreateOffscreenPlainSurface: offscreen plain surfaces cannot be in D3DPOOL_MANAGED");
        return D3DERR_INVALIDCALL;
    }
    if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize || layout == nullptr) {
        Direct3DDebugLine("CreateOffscreenPlainSurface: %u x %u of format 0x%08X cannot be created", width, height,
                          static_cast<unsigned>(format));
        return D3DERR_INVALIDCALL;
    }
    D3DSURFACE_DESC desc{};
    desc.Format = format;
    desc.Type = D3DRTYPE_SURFACE;
    desc.Pool = pool;
    desc.Width = width;
    desc.Height = height;
    auto* created = new Surface(this, nullptr, *layout, desc, pool != D3DPOOL_DEFAULT);
    if (!created->Allocate()) {
        created->Release();
        return E_OUTOFMEMORY;
    }
    *surface = created;
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                                   HANDLE* sharedHandle) {
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatLayout* layout = FindFormatLayout(format);
    if (sharedHandle != nullptr) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize || layout == nullptr ||
        layout->shape != FormatShape::Pixel) {
        Direct3DDebugLine("CreateRenderTarget: %u x %u of format 0x%08X cannot be a render target", width, height,
                          static_cast<unsigned>(format));
        return D3DERR_INVALIDCALL;
    }
    if (multiSample != D3DMULTISAMPLE_NONE && lockable) {
        Direct3DDebugLine("CreateRenderTarget: a multisampled render target cannot be lockable");
        return D3DERR_INVALIDCALL;
    }
    D3DSURFACE_DESC desc{};
    desc.Format = format;
    desc.Type = D3DRTYPE_SURFACE;
    desc.Usage = D3DUSAGE_RENDERTARGET;
    desc.Pool = D3DPOOL_DEFAULT;
    desc.MultiSampleType = multiSample;
    desc.MultiSampleQuality = multisampleQuality;
    desc.Width = width;
    desc.Height = height;
    auto* created = new Surface(this, nullptr, *layout, desc, lockable != FALSE);
    if (!created->Allocate()) {
        created->Release();
        return E_OUTOFMEMORY;
    }
    *surface = created;
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) {
    if (buffer == nullptr) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (sharedHandle != nullptr || length == 0 || pool > D3DPOOL_SYSTEMMEM) {
        Direct3DDebugLine("CreateVertexBuffer: %u bytes in pool %u cannot be created (scratch buffers do not exist)",
                          length, static_cast<unsigned>(pool));
        return D3DERR_INVALIDCALL;
    }
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) {
        Direct3DDebugLine("CreateVertexBuffer: D3DUSAGE_DYNAMIC buffers cannot be in D3DPOOL_MANAGED");
        return D3DERR_INVALIDCALL;
    }
    auto* created = new VertexBuffer(this, length, usage, fvf, pool);
    if (!created->Allocate()) {
        created->Release();
        return E_OUTOFMEMORY;
    }
    *buffer = created;
    return D3D_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                              IDirect3DSurface9* destSurface, const POINT* destPoint) {
    Surface* source = OurSurface(sourceSurface);
    Surface* dest = OurSurface(destSurface);
    if (source == nullptr || dest == nullptr || source->device() != this || dest->device() != this) {
        return D3DERR_INVALIDCALL;
    }
    if (source->desc().Pool != D3DPOOL_SYSTEMMEM || dest->desc().Pool != D3DPOOL_DEFAULT) {
        Direct3DDebugLine("UpdateSurface: copies only from D3DPOOL_SYSTEMMEM to D3DPOOL_DEFAULT");
        return D3DERR_INVALIDCALL;
    }
    if (source->desc().Format != dest->desc().Format || source->locked() || dest->locked()) {
        Direct3DDebugLine("UpdateSurface: both surfaces must have one format and be unlocked");
        return D3DERR_INVALIDCALL;
    }
    const RECT from = sourceRect ? *sourceRect
                                 : RECT{0, 0, static_cast<LONG>(source->desc().Width),
                                        static_cast<LONG>(source->desc().Height)};
    if (!RectInside(&from, source->desc().Width, source->desc().Height)) return D3DERR_INVALIDCALL;
    const POINT at = destPoint ? *destPoint : POINT{0, 0};
    const std::int64_t right = std::int64_t{at.x} + (from.right - from.left);
    const std::int64_t bottom = std::int64_t{at.y} + (from.bottom - from.top);
    if (at.x < 0 || at.y < 0 || right > dest->desc().Width || bottom > dest->desc().Height) {
        Direct3DDebugLine("UpdateSurface: the copy does not fit into the destination");
        return D3DERR_INVALIDCALL;
    }
    const RECT to{at.x, at.y, static_cast<LONG>(right), static_cast<LONG>(bottom)};
    ByteRect fromBytes{}, toBytes{};
    if (!ToByteRect(*source, from, &fromBytes) || !ToByteRect(*dest, to, &toBytes) ||
        fromBytes.rows != toBytes.rows || fromBytes.bytesPerRow != toBytes.bytesPerRow) {
        Direct3DDebugLine("UpdateSurface: rectangles of block and pair formats must lie on their edges");
        return D3DERR_INVALIDCALL;
    }
    CopyRows(*source, fromBytes, *dest, toBytes);
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect, IDirect3DSurface9* destSurface,
                            const RECT* destRect, D3DTEXTUREFILTERTYPE filter) {
    Surface* source = OurSurface(sourceSurface);
    Surface* dest = OurSurface(destSurface);
    if (source == nullptr || dest == nullptr || source == dest || source->device() != this ||
        dest->device() != this || filter > D3DTEXF_LINEAR)
        return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC& sd = source->desc();
    const D3DSURFACE_DESC& dd = dest->desc();
    if (sd.Pool != D3DPOOL_DEFAULT || dd.Pool != D3DPOOL_DEFAULT) {
        Direct3DDebugLine("StretchRect: both surfaces must be in D3DPOOL_DEFAULT");
        return D3DERR_INVALIDCALL;
    }
    if (sd.Format != dd.Format || source->locked() || dest->locked()) {
        Direct3DDebugLine("StretchRect: both surfaces must have one format and be unlocked");
        return D3DERR_INVALIDCALL;
    }
    const RECT from = sourceRect ? *sourceRect : RECT{0, 0, static_cast<LONG>(sd.Width), static_cast<LONG>(sd.Height)};
    const RECT to = destRect ? *destRect : RECT{0, 0, static_cast<LONG>(dd.Width), static_cast<LONG>(dd.Height)};
    if (!RectInside(&from, sd.Width, sd.Height) || !RectInside(&to, dd.Width, dd.Height))
        return D3DERR_INVALIDCALL;
    const LONG fromW = from.right - from.left, fromH = from.bottom - from.top;
    const LONG toW = to.right - to.left, toH = to.bottom - to.top;
    if (fromW == toW && fromH == toH) {
        ByteRect fromBytes{}, toBytes{};
        if (!ToByteRect(*source, from, &fromBytes) || !ToByteRect(*dest, to, &toBytes) ||
            fromBytes.bytesPerRow != toBytes.bytesPerRow || fromBytes.rows != toBytes.rows)
            return D3DERR_INVALIDCALL;
        CopyRows(*source, fromBytes, *dest, toBytes);
        return D3D_OK;
    }
    // Scaling: nearest pixel, for formats with one pixel per unit of memory.
    if (source->layout().shape != FormatShape::Pixel || fromW == 0 || fromH == 0) {
        Direct3DDebugLine("StretchRect: block and pair formats can only be copied, not scaled");
        return D3DERR_INVALIDCALL;
    }
    const std::size_t bytes = source->layout().bytes;
    for (LONG y = 0; y < toH; ++y) {
        const LONG sy = from.top + static_cast<LONG>((std::int64_t{y} * fromH + fromH / 2) / toH);
        const std::uint8_t* srcRow = source->bits() + std::size_t(sy) * source->pitch();
        std::uint8_t* dstRow = dest->bits() + std::size_t(to.top + y) * dest->pitch();
        for (LONG x = 0; x < toW; ++x) {
            const LONG sx = from.left + static_cast<LONG>((std::int64_t{x} * fromW + fromW / 2) / toW);
            std::memcpy(dstRow + std::size_t(to.left + x) * bytes, srcRow + std::size_t(sx) * bytes, bytes);
        }
    }
    return D3D_OK;
}

// ---- Drawing ----

void Device::ApplyDepthState() {
    if (renderer_) renderer_->SetDepthTest(zEnable_ != FALSE, zFunc_, zWriteEnable_ != FALSE);
}

void Device::ApplyTransform() {
    if (renderer_) renderer_->SetTransform(Multiply(Multiply(world_, view_), projection_));
    transformDirty_ = false;
}

HRESULT Device::BeginScene() {
    if (inScene_) {
        Direct3DDebugLine("BeginScene: already inside a scene");
        return D3DERR_INVALIDCALL;
    }
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) {
        Direct3DDebugLine("EndScene: no scene was begun");
        return D3DERR_INVALIDCALL;
    }
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD /*stencil*/) {
    if ((count != 0 && rects == nullptr) || flags == 0 ||
        (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0)
        return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !parameters_.EnableAutoDepthStencil) {
        Direct3DDebugLine("Clear: the device has no depth buffer to clear");
        return D3DERR_INVALIDCALL;
    }
    if (z < 0.0f || z > 1.0f) return D3DERR_INVALIDCALL;
    if (renderer_) renderer_->Clear(count, rects, flags, color, z);
    return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: world_ = *matrix; break;
        case D3DTS_VIEW: view_ = *matrix; break;
        case D3DTS_PROJECTION: projection_ = *matrix; break;
        default: return D3DERR_INVALIDCALL;
    }
    transformDirty_ = true;  // the product is formed once, at the next draw
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: *matrix = world_; return D3D_OK;
        case D3DTS_VIEW: *matrix = view_; return D3D_OK;
        case D3DTS_PROJECTION: *matrix = projection_; return D3D_OK;
        default: return D3DERR_INVALIDCALL;
    }
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    switch (state) {
        case D3DRS_LIGHTING:
            value = value ? TRUE : FALSE;
            if (value != lighting_ && renderer_) renderer_->SetLighting(value != FALSE);
            lighting_ = value;
            return D3D_OK;
        case D3DRS_CULLMODE:
            if (value < D3DCULL_NONE || value > D3DCULL_CCW) return D3DERR_INVALIDCALL;
            if (value != cullMode_ && renderer_) renderer_->SetCullMode(value);
            cullMode_ = value;
            return D3D_OK;
        case D3DRS_ZENABLE:
        case D3DRS_ZWRITEENABLE:
        case D3DRS_ZFUNC: {
            if (state == D3DRS_ZFUNC && (value < D3DCMP_NEVER || value > D3DCMP_ALWAYS)) return D3DERR_INVALIDCALL;
            DWORD& slot = state == D3DRS_ZENABLE ? zEnable_ : state == D3DRS_ZWRITEENABLE ? zWriteEnable_ : zFunc_;
            if (state != D3DRS_ZFUNC) value = value ? TRUE : FALSE;
            if (slot == value) return D3D_OK;
            slot = value;
            ApplyDepthState();
            return D3D_OK;
        }
    }
    Direct3DDebugLine("SetRenderState: render state %u is not supported", static_cast<unsigned>(state));
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (value == nullptr) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DRS_LIGHTING: *value = lighting_; return D3D_OK;
        case D3DRS_CULLMODE: *value = cullMode_; return D3D_OK;
        case D3DRS_ZENABLE: *value = zEnable_; return D3D_OK;
        case D3DRS_ZWRITEENABLE: *value = zWriteEnable_; return D3D_OK;
        case D3DRS_ZFUNC: *value = zFunc_; return D3D_OK;
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetFVF(DWORD fvf) {
    fvf_ = fvf;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData, UINT offsetInBytes,
                                UINT stride) {
    if (streamNumber != 0) return D3DERR_INVALIDCALL;  // one stream is all the layer draws from
    VertexBuffer* buffer = nullptr;
    if (streamData != nullptr) {
        buffer = dynamic_cast<VertexBuffer*>(streamData);
        IDirect3DDevice9* owner = nullptr;
        if (buffer == nullptr || FAILED(buffer->GetDevice(&owner))) return D3DERR_INVALIDCALL;
        owner->Release();
        if (owner != this) return D3DERR_INVALIDCALL;
        buffer->AddRef();
    }
    if (stream_ != nullptr) stream_->Release();
    stream_ = buffer;
    streamOffset_ = offsetInBytes;
    streamStride_ = stride;
    return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex, UINT primitiveCount) {
    if (!inScene_) {
        Direct3DDebugLine("DrawPrimitive: called outside BeginScene and EndScene");
        return D3DERR_INVALIDCALL;
    }
    std::uint64_t vertices = 0;
    const std::uint64_t count = primitiveCount;
    switch (primitiveType) {
        case D3DPT_POINTLIST: vertices = count; break;
        case D3DPT_LINELIST: vertices = count * 2; break;
        case D3DPT_LINESTRIP: vertices = count + 1; break;
        case D3DPT_TRIANGLELIST: vertices = count * 3; break;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: vertices = count + 2; break;
        default: return D3DERR_INVALIDCALL;
    }
    if (primitiveCount == 0 || stream_ == nullptr) return D3DERR_INVALIDCALL;
    if (fvf_ != kDrawableFvf || streamStride_ < kDrawableStride) {
        Direct3DDebugLine("DrawPrimitive: only D3DFVF_XYZ | D3DFVF_DIFFUSE vertices of 16 bytes or more are drawn");
        return D3DERR_INVALIDCALL;
    }
    // Every vertex read must lie inside the buffer.
    const std::uint64_t end = streamOffset_ + (std::uint64_t{startVertex} + vertices - 1) * streamStride_ +
                              kDrawableStride;
    if (end > stream_->length() || stream_->locked()) {
        Direct3DDebugLine("DrawPrimitive: the vertices lie outside the stream's buffer, or it is locked");
        return D3DERR_INVALIDCALL;
    }
    if (!renderer_) return D3D_OK;  // NULLREF: nothing is drawn
    if (transformDirty_) ApplyTransform();
    renderer_->Draw(primitiveType, stream_->DrawableBufferObject(), streamOffset_, streamStride_, startVertex,
                    static_cast<std::uint32_t>(vertices));
    return D3D_OK;
}

HRESULT Device::Present(const RECT* /*sourceRect*/, const RECT* /*destRect*/, HWND /*destWindowOverride*/,
                        const RGNDATA* /*dirtyRegion*/) {
    if (inScene_) {
        Direct3DDebugLine("Present: called between BeginScene and EndScene");
        return D3DERR_INVALIDCALL;
    }
    if (renderer_) renderer_->Present(parameters_.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE);
    return D3D_OK;
}

}  // namespace qv::platform
