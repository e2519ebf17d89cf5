// Entry points that load an image file into a surface.
#include "quorvane/surface/surface_loading.h"

#include "quorvane/surface/mapped_file.h"
#include "quorvane/surface/region_blit.h"
#include "quorvane/surface/surface_lock.h"

namespace qv {

HRESULT LoadSurfaceFromFile(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                            const char* fileName, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey,
                            ImageInfo* srcInfo) {
    // The decoded image may point into the mapped bytes, so the mapping
    // stays open until the transfer is over.
    MappedFile file;
    HRESULT result = file.Open(fileName);
    if (SUCCEEDED(result)) {
        result = LoadSurfaceFromFileInMemory(destSurface, destPalette, destRect, file.data, file.size, srcRect,
                                             filter, colorKey, srcInfo);
    }
    file.Close();
    return result;
}

HRESULT LoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                    const RECT* destRect, const void* srcData, UINT srcDataSize,
                                    const RECT* srcRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* srcInfo) {
    DecodedImage image;
    if (destSurface == nullptr || srcData == nullptr || srcDataSize == 0) return D3DERR_INVALIDCALL;

    HRESULT result = DecodeImageFile(&image, srcData, srcDataSize, srcInfo, true);
    if (FAILED(result)) return result;

    // Only the first record (level 0 of the first face) is transferred.
    RECT chosen{};
    if (srcRect != nullptr) {
        chosen = *srcRect;
        const std::int64_t width = image.width;
        const std::int64_t height = image.height;
        if (chosen.left < 0 || chosen.right > width || chosen.left > chosen.right || chosen.top < 0 ||
            chosen.bottom > height || chosen.top > chosen.bottom)
            return D3DERR_INVALIDCALL;
    } else {
        if (image.sourceBox.right > INT32_MAX || image.sourceBox.bottom > INT32_MAX) return E_FAIL;
        chosen = {static_cast<LONG>(image.sourceBox.left), static_cast<LONG>(image.sourceBox.top),
                  static_cast<LONG>(image.sourceBox.right), static_cast<LONG>(image.sourceBox.bottom)};
    }

    result = LoadSurfaceFromMemory(destSurface, destPalette, destRect, image.pixels, image.format, image.rowPitch,
                                   image.palette, &chosen, filter, colorKey);
    return SUCCEEDED(result) ? S_OK : result;
}

HRESULT LoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                              const void* srcMemory, D3DFORMAT srcFormat, UINT srcPitch,
                              const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter,
                              D3DCOLOR colorKey) {
    RegionBlit blit;
    SurfaceLock lock;
    if (destSurface == nullptr || srcMemory == nullptr || srcRect == nullptr) return D3DERR_INVALIDCALL;
    // A negative or inverted source rectangle would give a box of billions of
    // pixels; nothing sensible can be read from it.
    if (srcRect->left < 0 || srcRect->top < 0 || srcRect->left > srcRect->right || srcRect->top > srcRect->bottom)
        return D3DERR_INVALIDCALL;
    if (filter == FilterDefault) filter = FilterTriangle | FilterDither;

    PixelRegion destRegion;
    HRESULT result = lock.Lock(&destRegion, destSurface, destPalette, destRect);
    if (SUCCEEDED(result)) {
        PixelRegion srcRegion;
        srcRegion.bits = const_cast<void*>(srcMemory);
        srcRegion.format = srcFormat;
        srcRegion.rowPitch = srcPitch;
        srcRegion.slicePitch = 0;
        srcRegion.extent = {static_cast<std::uint32_t>(srcRect->left), static_cast<std::uint32_t>(srcRect->top),
                            static_cast<std::uint32_t>(srcRect->right), static_cast<std::uint32_t>(srcRect->bottom),
                            0, 1};
        srcRegion.box = srcRegion.extent;
        srcRegion.colorKey = colorKey;
        srcRegion.palette = srcPalette;
        result = blit.Blit(&destRegion, &srcRegion, filter);
        if (SUCCEEDED(result)) result = S_OK;
    }
    // Writes a temporary copy back into the destination, also after a failed
    // transfer.
    lock.Unlock();
    return result;
}

}  // namespace qv
