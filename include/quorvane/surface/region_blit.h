// Transfers the box of one pixel region into the box of another, through a
// pair of row codecs, by the first transfer path that applies.
#pragma once

#include <cstdint>

#include "quorvane/pixel/pixel_codec.h"

namespace qv {

class RegionBlit {
public:
    RegionBlit() = default;
    ~RegionBlit();
    RegionBlit(const RegionBlit&) = delete;
    RegionBlit& operator=(const RegionBlit&) = delete;

    // D3DERR_INVALIDCALL for a bad filter value, E_FAIL when a format has no
    // codec or no path applies, E_OUTOFMEMORY when the conversion row cannot
    // be allocated. Sets the regions' dither, diffuse and srgb from `filter`.
    HRESULT Blit(PixelRegion* destRegion, PixelRegion* srcRegion, DWORD filter);

    // The transfer paths, in the order tried. Each refuses (E_FAIL) before it
    // writes anything when it does not apply.
    HRESULT BlitCopy();
    HRESULT BlitCopyBlocks();
    HRESULT BlitConvert();
    HRESULT BlitNone();

    PixelCodec* sourceCodec = nullptr;
    PixelCodec* destCodec = nullptr;
    DWORD filter = 0;

private:
    void DestroyCodecs();
};

}  // namespace qv
