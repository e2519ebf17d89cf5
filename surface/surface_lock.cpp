// Surface lock: direct where the surface allows it, through a temporary
// texture level otherwise; and the debug-output mute around calls that are
// expected to fail.
#include "quorvane/surface/surface_lock.h"

#include <algorithm>
#include <cstring>

#include "quorvane/math/math.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_registry.h"

namespace qv {

bool IsBlockFormat(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

bool IsPairFormat(D3DFORMAT format) {
    return format == D3DFMT_YUY2 || format == D3DFMT_UYVY || format == D3DFMT_R8G8_B8G8 ||
           format == D3DFMT_G8R8_G8B8;
}

// ---------------------------------------------------------------------------
// Debug mute

namespace {

// "DebugSetMute" takes one 32-bit integer; its result is ignored.
using DebugSetMuteFunction = int (*)(int);

struct DebugMuteState {
    DebugSetMuteFunction release = nullptr;  // from "d3d9.dll"
    DebugSetMuteFunction debug = nullptr;    // from "d3d9d.dll"
    bool settingRead = false;
    bool doNotMute = false;
};

DebugMuteState g_debugMute;

DebugSetMuteFunction FindDebugSetMute(const char* moduleName) {
    // Only a runtime the process already uses is asked; none is loaded here.
    if (GetModuleHandleA(moduleName) == nullptr) return nullptr;
    HMODULE module = LoadLibraryA(moduleName);  // kept for the process's lifetime
    if (module == nullptr) return nullptr;
    // Through the generic function pointer type: the export's real type is
    // known only by its name.
    auto generic = reinterpret_cast<void (*)()>(GetProcAddress(module, "DebugSetMute"));
    return reinterpret_cast<DebugSetMuteFunction>(generic);
}

// Mutes the runtime for the lifetime of the object.
class ScopedMute {
public:
    ScopedMute() { SetDebugMute(1); }
    ~ScopedMute() { SetDebugMute(0); }
    ScopedMute(const ScopedMute&) = delete;
    ScopedMute& operator=(const ScopedMute&) = delete;
};

}  // namespace

void SetDebugMute(int mute) {
    DebugMuteState& state = g_debugMute;
    if (state.release == nullptr && state.debug == nullptr) {
        state.release = FindDebugSetMute("d3d9.dll");
        state.debug = FindDebugSetMute("d3d9d.dll");
    }
    if (!state.settingRead) {
        DWORD value = 0;
        const int read = ReadDirect3DRegistryValue(REG_DWORD, "QuorvaneDoNotMute", &value, sizeof(value));
        state.doNotMute = read != 0 && value != 0;
        state.settingRead = true;
    }
    if (state.doNotMute) return;
    if (state.release != nullptr) state.release(mute);
    if (state.debug != nullptr) state.debug(mute);
}

void ResetDebugMuteForTesting() { g_debugMute = DebugMuteState{}; }

// ---------------------------------------------------------------------------
// CopySurfaceRows

HRESULT CopySurfaceRows(IDirect3DSurface9* source, IDirect3DSurface9* destination) {
    if (source == nullptr || destination == nullptr) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    HRESULT hr = source->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    // Rows are copied by the source's count: a smaller or differently laid
    // out destination would be written past its end.
    D3DSURFACE_DESC destDesc{};
    hr = destination->GetDesc(&destDesc);
    if (FAILED(hr)) return hr;
    if (destDesc.Width != desc.Width || destDesc.Height != desc.Height || destDesc.Format != desc.Format)
        return D3DERR_INVALIDCALL;

    D3DLOCKED_RECT from{};
    hr = source->LockRect(&from, nullptr, 0);
    if (FAILED(hr)) return hr;
    D3DLOCKED_RECT to{};
    hr = destination->LockRect(&to, nullptr, 0);
    if (FAILED(hr)) {
        source->UnlockRect();
        return hr;
    }

    const UINT rows = IsBlockFormat(desc.Format) ? (desc.Height + 3) / 4 : desc.Height;
    if (from.Pitch > 0 && to.Pitch > 0) {
        const std::size_t bytes = static_cast<std::size_t>(std::min(from.Pitch, to.Pitch));
        const auto* in = static_cast<const std::uint8_t*>(from.pBits);
        auto* out = static_cast<std::uint8_t*>(to.pBits);
        for (UINT row = 0; row < rows; ++row) {
            std::memcpy(out, in, bytes);
            in += from.Pitch;
            out += to.Pitch;
        }
    } else {
        hr = E_FAIL;
    }
    destination->UnlockRect();
    source->UnlockRect();
    return hr;
}

// ---------------------------------------------------------------------------
// SurfaceLock

namespace {

template <typename T>
void ReleaseAndClear(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// The smallest k >= 1 for which both sides times 2^k are multiples of 4.
UINT BlockScaleShift(UINT width, UINT height) { return (width % 2 != 0 || height % 2 != 0) ? 2 : 1; }

}  // namespace

HRESULT SurfaceLock::Lock(PixelRegion* region, IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                          const RECT* destRect) {
    return Lock(region, destSurface, destPalette, destRect, false);
}

HRESULT SurfaceLock::Lock(PixelRegion* region, IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                          const RECT* destRect, bool temporary) {
    Unlock();
    if (region == nullptr || destSurface == nullptr) return D3DERR_INVALIDCALL;

    D3DSURFACE_DESC desc{};
    HRESULT hr = destSurface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    const std::int64_t surfaceWidth = desc.Width;
    const std::int64_t surfaceHeight = desc.Height;

    // The rectangle to write, R, in 64 bits so rounding cannot overflow.
    std::int64_t left = 0, top = 0, right = surfaceWidth, bottom = surfaceHeight;
    bool partial = false;
    if (destRect != nullptr) {
        left = destRect->left;
        top = destRect->top;
        right = destRect->right;
        bottom = destRect->bottom;
        if (left < 0 || right > surfaceWidth || left > right || top < 0 || bottom > surfaceHeight || top > bottom)
            return D3DERR_INVALIDCALL;
        partial = !(left == 0 && top == 0 && right == surfaceWidth && bottom == surfaceHeight);
    }
    const bool wholeWrite = !partial;

    IDirect3DSurface9* target = destSurface;
    if (temporary) {
        UINT shift = 0;
        if (IsBlockFormat(desc.Format) && (desc.Width % 4 != 0 || desc.Height % 4 != 0))
            shift = BlockScaleShift(desc.Width, desc.Height);
        if ((static_cast<std::uint64_t>(desc.Width) << shift) > UINT32_MAX ||
            (static_cast<std::uint64_t>(desc.Height) << shift) > UINT32_MAX)
            return E_FAIL;

        hr = destSurface->GetDevice(&device);
        if (SUCCEEDED(hr)) {
            const D3DPOOL pool = desc.Pool == D3DPOOL_SCRATCH ? D3DPOOL_SCRATCH : D3DPOOL_SYSTEMMEM;
            hr = device->CreateTexture(desc.Width << shift, desc.Height << shift, shift + 1, 0, desc.Format, pool,
                                       &texture, nullptr);
        }
        if (SUCCEEDED(hr)) hr = texture->GetSurfaceLevel(shift, &level);
        if (SUCCEEDED(hr) && !wholeWrite) {
            // Pixels outside the rectangle must survive the write-back, so the
            // temporary level starts as a copy of the destination.
            {
                ScopedMute mute;
                hr = CopySurfaceRows(destSurface, level);
            }
            if (FAILED(hr) && shift == 0) {
                IDirect3DSurface9* readable = nullptr;
                hr = device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                &readable, nullptr);
                if (SUCCEEDED(hr)) hr = device->StretchRect(destSurface, nullptr, readable, nullptr, D3DTEXF_NONE);
                if (SUCCEEDED(hr)) hr = CopySurfaceRows(readable, level);
                ReleaseAndClear(readable);
            }
        }
        if (FAILED(hr)) {
            ReleaseAndClear(level);
            ReleaseAndClear(texture);
            ReleaseAndClear(device);
            return hr;
        }
        target = level;
    }

    DWORD lockFlags = D3DLOCK_NOSYSLOCK;
    if (wholeWrite && !temporary && (desc.Usage & D3DUSAGE_DYNAMIC) != 0) {
        // A dynamic texture of one level written whole may drop its contents.
        ScopedMute mute;
        void* container = nullptr;
        if (SUCCEEDED(destSurface->GetContainer(IID_IDirect3DTexture9, &container)) && container != nullptr) {
            auto* owner = static_cast<IDirect3DTexture9*>(container);
            if (owner->GetLevelCount() == 1) lockFlags |= D3DLOCK_DISCARD;
            owner->Release();
        }
    }

    // The rectangle to lock, L: block formats lock whole 4 x 4 blocks, pair
    // formats whole pairs of pixels.
    std::int64_t lockLeft = left, lockTop = top, lockRight = right, lockBottom = bottom;
    if (partial) {
        if (IsBlockFormat(desc.Format)) {
            lockLeft = left & ~std::int64_t{3};
            lockTop = top & ~std::int64_t{3};
            lockRight = std::min((right + 3) & ~std::int64_t{3}, surfaceWidth);
            lockBottom = std::min((bottom + 3) & ~std::int64_t{3}, surfaceHeight);
        } else if (IsPairFormat(desc.Format)) {
            lockLeft = left & ~std::int64_t{1};
            lockRight = std::min((right + 1) & ~std::int64_t{1}, surfaceWidth);
        }
        if (lockLeft == 0 && lockTop == 0 && lockRight == surfaceWidth && lockBottom == surfaceHeight) partial = false;
    }
    if (!partial) {
        lockLeft = 0;
        lockTop = 0;
        lockRight = surfaceWidth;
        lockBottom = surfaceHeight;
    }
    const RECT lockRect{static_cast<LONG>(lockLeft), static_cast<LONG>(lockTop), static_cast<LONG>(lockRight),
                        static_cast<LONG>(lockBottom)};

    D3DLOCKED_RECT locked{};
    if (!temporary) {
        {
            ScopedMute mute;
            hr = target->LockRect(&locked, partial ? &lockRect : nullptr, lockFlags);
        }
        if (FAILED(hr)) return Lock(region, destSurface, destPalette, destRect, true);
    } else {
        hr = target->LockRect(&locked, partial ? &lockRect : nullptr, lockFlags);
        if (FAILED(hr)) return hr;  // the temporaries stay held until Unlock
    }

    // Everything below counts from the first locked pixel. The extent covers
    // the locked rectangle only: nothing outside it is addressable.
    region->bits = locked.pBits;
    region->format = desc.Format;
    region->rowPitch = static_cast<std::uint32_t>(locked.Pitch);
    region->slicePitch = 0;
    region->extent = {0, 0, static_cast<std::uint32_t>(lockRight - lockLeft),
                      static_cast<std::uint32_t>(lockBottom - lockTop), 0, 1};
    region->box = {static_cast<std::uint32_t>(left - lockLeft), static_cast<std::uint32_t>(top - lockTop),
                   static_cast<std::uint32_t>(right - lockLeft), static_cast<std::uint32_t>(bottom - lockTop), 0, 1};
    region->colorKey = 0;
    region->palette = destPalette;

    surface = destSurface;
    surface->AddRef();
    flags = 0;
    lockRectFlags = lockFlags;
    return S_OK;
}

HRESULT SurfaceLock::Unlock() {
    if (level != nullptr) {
        level->UnlockRect();
    } else if (surface != nullptr) {
        surface->UnlockRect();
    }
    if (surface != nullptr && level != nullptr && device != nullptr) {
        ScopedMute mute;
        if (FAILED(device->UpdateSurface(level, nullptr, surface, nullptr))) CopySurfaceRows(level, surface);
    }
    ReleaseAndClear(level);
    ReleaseAndClear(texture);
    ReleaseAndClear(device);
    ReleaseAndClear(surface);
    flags = 0;
    lockRectFlags = 0;
    return S_OK;
}

}  // namespace qv
