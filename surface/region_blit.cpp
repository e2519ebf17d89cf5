// Surface transfer: the choice of transfer path and the paths that need no
// filter (byte copy, block copy, same-size conversion, unscaled placement).
#include "quorvane/surface/region_blit.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "quorvane/surface/surface_loading.h"

namespace qv {
namespace {

std::uint8_t* RowAddress(const PixelCodec& codec, std::uint32_t row, std::uint32_t slice) {
    return codec.origin + static_cast<std::size_t>(slice) * codec.slicePitch +
           static_cast<std::size_t>(row) * codec.rowPitch;
}

bool SameSize(const PixelCodec& a, const PixelCodec& b) {
    return a.width == b.width && a.height == b.height && a.depth == b.depth;
}

bool SamePalette(const PixelCodec& a, const PixelCodec& b) {
    if (a.palette == b.palette) return true;
    if (a.palette == nullptr || b.palette == nullptr) return false;
    for (int i = 0; i < 256; ++i) {
        const FloatPixel& p = a.palette[i];
        const FloatPixel& q = b.palette[i];
        if (p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a) return false;
    }
    return true;
}

std::uint32_t DxtBlockBytes(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_DXT1: return 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return 16;
    default: return 0;
    }
}

// A row of FloatPixels, all channels zero; null when it cannot be allocated.
FloatPixel* NewZeroRow(std::uint32_t count) {
    auto* row = new (std::nothrow) FloatPixel[count == 0 ? 1 : count];
    if (row != nullptr) std::fill_n(row, count == 0 ? 1 : count, FloatPixel{0.0f, 0.0f, 0.0f, 0.0f});
    return row;
}

// Encodes a row of (0, 0, 0, 0). The encoder may change the row in place
// (error diffusion adds the carried error to it), so it is cleared each time:
// every blank pixel starts from zero, not from the previous row's sum.
void EncodeBlankRow(PixelCodec& codec, std::uint32_t row, std::uint32_t slice, FloatPixel* blank) {
    std::fill_n(blank, codec.width, FloatPixel{0.0f, 0.0f, 0.0f, 0.0f});
    codec.EncodeRow(row, slice, blank);
}

}  // namespace

RegionBlit::~RegionBlit() { DestroyCodecs(); }

void RegionBlit::DestroyCodecs() {
    // Destination first: pair and block codecs write their last rows when
    // they are destroyed, and the source memory must still be there.
    delete destCodec;
    destCodec = nullptr;
    delete sourceCodec;
    sourceCodec = nullptr;
}

HRESULT RegionBlit::Blit(PixelRegion* destRegion, PixelRegion* srcRegion, DWORD filterValue) {
    DestroyCodecs();
    filter = filterValue;
    if (destRegion == nullptr || srcRegion == nullptr) return D3DERR_INVALIDCALL;
    const DWORD kind = filter & FilterKindMask;
    if (kind < FilterNone || kind > FilterBox || (filter & FilterReservedMask) != 0) return D3DERR_INVALIDCALL;

    srcRegion->srgb = (filter & FilterSrgbIn) != 0;
    destRegion->srgb = (filter & FilterSrgbOut) != 0;
    destRegion->dither = (filter & FilterDither) != 0;
    destRegion->diffuse = (filter & FilterDiffuse) != 0;

    HRESULT result = E_FAIL;
    destCodec = CreatePixelCodec(*destRegion);
    sourceCodec = CreatePixelCodec(*srcRegion);
    if (destCodec != nullptr && sourceCodec != nullptr) {
        result = LinkSource(destCodec, sourceCodec);
        if (SUCCEEDED(result)) {
            // The first path that applies does the transfer. The filter paths
            // (point, box, linear, triangle) are not part of this build: a
            // transfer that needs scaling by one of them fails here.
            using Path = HRESULT (RegionBlit::*)();
            constexpr Path kPaths[] = {&RegionBlit::BlitCopy, &RegionBlit::BlitConvert, &RegionBlit::BlitNone};
            result = E_FAIL;
            for (Path path : kPaths) {
                if (SUCCEEDED((this->*path)())) {
                    result = S_OK;
                    break;
                }
            }
        }
    }
    DestroyCodecs();
    return result;
}

HRESULT RegionBlit::BlitCopy() {
    PixelCodec& src = *sourceCodec;
    PixelCodec& dst = *destCodec;
    if (src.format != dst.format || src.colorKey != 0 || !SameSize(src, dst) || src.srgb != dst.srgb) return E_FAIL;
    if (!dst.hasPixelSize) return BlitCopyBlocks();
    if (dst.isPalettized && !SamePalette(src, dst)) return E_FAIL;

    src.srgb = false;
    dst.srgb = false;
    for (std::uint32_t slice = 0; slice < dst.depth; ++slice) {
        for (std::uint32_t row = 0; row < dst.height; ++row)
            std::memcpy(RowAddress(dst, row, slice), RowAddress(src, row, slice), dst.rowBytes);
    }
    return S_OK;
}

HRESULT RegionBlit::BlitCopyBlocks() {
    PixelCodec& src = *sourceCodec;
    PixelCodec& dst = *destCodec;
    for (const PixelCodec* codec : {&src, &dst}) {
        const PixelBox& b = codec->box;
        if (b.left % 4 != 0 || b.top % 4 != 0 || b.right % 4 != 0 || b.bottom % 4 != 0) return E_FAIL;
    }
    const std::uint32_t blockBytes = DxtBlockBytes(dst.format);
    if (blockBytes == 0) return E_FAIL;  // pair formats: BlitConvert takes over

    auto start = [blockBytes](const PixelCodec& codec) {
        return codec.origin + static_cast<std::size_t>(codec.box.top / 4) * codec.rowPitch +
               static_cast<std::size_t>(codec.box.front) * codec.slicePitch +
               static_cast<std::size_t>(blockBytes) * (codec.box.left / 4);
    };
    const std::size_t bytes = static_cast<std::size_t>(blockBytes) * (dst.width / 4);
    std::uint8_t* srcSlice = start(src);
    std::uint8_t* dstSlice = start(dst);
    for (std::uint32_t slice = 0; slice < dst.depth; ++slice) {
        const std::uint8_t* in = srcSlice;
        std::uint8_t* out = dstSlice;
        for (std::uint32_t row = 0; row < dst.height; row += 4) {
            std::memcpy(out, in, bytes);
            in += src.rowPitch;
            out += dst.rowPitch;
        }
        srcSlice += src.slicePitch;
        dstSlice += dst.slicePitch;
    }
    return S_OK;
}

HRESULT RegionBlit::BlitConvert() {
    PixelCodec& src = *sourceCodec;
    PixelCodec& dst = *destCodec;
    if (!SameSize(src, dst)) return E_FAIL;
    FloatPixel* row = NewZeroRow(dst.width);
    if (row == nullptr) return E_FAIL;
    if (src.srgb && dst.srgb) {
        src.srgb = false;
        dst.srgb = false;
    }
    for (std::uint32_t slice = 0; slice < dst.depth; ++slice) {
        for (std::uint32_t r = 0; r < dst.height; ++r) {
            src.DecodeRow(r, slice, row);
            dst.EncodeRow(r, slice, row);
        }
    }
    delete[] row;
    return S_OK;
}

HRESULT RegionBlit::BlitNone() {
    PixelCodec& src = *sourceCodec;
    PixelCodec& dst = *destCodec;
    if ((filter & FilterKindMask) != FilterNone) return E_FAIL;
    const std::uint32_t wide = std::max(src.width, dst.width);
    const std::uint32_t rows = std::min(src.height, dst.height);
    const std::uint32_t slices = std::min(src.depth, dst.depth);

    FloatPixel* picture = NewZeroRow(wide);
    FloatPixel* blank = NewZeroRow(dst.width);
    if (picture == nullptr || blank == nullptr) {
        delete[] picture;
        delete[] blank;
        return E_FAIL;
    }
    if (src.srgb && dst.srgb) {
        src.srgb = false;
        dst.srgb = false;
    }
    // The source lands at the top-left front corner, one pixel for one pixel;
    // destination pixels beyond it get (0, 0, 0, 0). The picture row is
    // cleared once only: entries past the source's width keep whatever the
    // destination's encoder left in them.
    for (std::uint32_t s = 0; s < slices; ++s) {
        for (std::uint32_t r = 0; r < rows; ++r) {
            src.DecodeRow(r, s, picture);
            dst.EncodeRow(r, s, picture);
        }
        for (std::uint32_t r = rows; r < dst.height; ++r) EncodeBlankRow(dst, r, s, blank);
    }
    for (std::uint32_t s = slices; s < dst.depth; ++s) {
        for (std::uint32_t r = 0; r < dst.height; ++r) EncodeBlankRow(dst, r, s, blank);
    }
    delete[] picture;
    delete[] blank;
    return S_OK;
}

}  // namespace qv
