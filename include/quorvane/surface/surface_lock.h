// Locks any surface for writing: directly when the surface allows it, else
// through a temporary texture level in system memory (or the scratch pool)
// that is written back on Unlock.
#pragma once

#include <cstdint>

#include "quorvane/pixel/pixel_codec.h"
#include "quorvane/platform/d3d9.h"

namespace qv {

class SurfaceLock {
public:
    SurfaceLock() = default;
    ~SurfaceLock() { Unlock(); }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;

    // Locks `destRect` of `destSurface` (null: the whole surface) and
    // describes the locked memory in `region`: bits at the first locked
    // pixel, box relative to it. D3DERR_INVALIDCALL for a rectangle outside
    // the surface or inverted; a Direct3D code when neither the surface nor a
    // temporary copy can be locked.
    HRESULT Lock(PixelRegion* region, IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                 const RECT* destRect);
    // Unlocks, writes a temporary copy back and drops every reference. Safe
    // at any time and repeatedly.
    HRESULT Unlock();

    DWORD flags = 0;                       // flags of the lock in force
    IDirect3DSurface9* surface = nullptr;  // the destination, referenced while locked
    IDirect3DSurface9* level = nullptr;    // temporary level locked instead, or null
    IDirect3DTexture9* texture = nullptr;  // the temporary texture, or null
    IDirect3DDevice9* device = nullptr;    // the destination's device on the temporary path
    DWORD lockRectFlags = 0;               // the flags LockRect was given

private:
    HRESULT Lock(PixelRegion* region, IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                 const RECT* destRect, bool temporary);
};

// Copies every row of `source` into `destination`, which must have the same
// size and format, by locking both.
HRESULT CopySurfaceRows(IDirect3DSurface9* source, IDirect3DSurface9* destination);

// 1 mutes, 0 unmutes the Direct3D runtime's debug messages, unless the
// registry value "QuorvaneDoNotMute" is set.
void SetDebugMute(int mute);
// Forgets the functions found and the registry setting read by SetDebugMute,
// so a test can change either and see the effect in the same process.
void ResetDebugMuteForTesting();

// The block and pair formats that locks round to.
bool IsBlockFormat(D3DFORMAT format);
bool IsPairFormat(D3DFORMAT format);

}  // namespace qv
