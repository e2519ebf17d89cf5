// Loading image files into surfaces.
//
// The file's content alone picks the reader (PNG, BMP and bare DIB, TGA, JPEG,
// DDS, Radiance HDR, PPM, PFM); the pixels are converted into the surface's
// format on the way. Every function returns an HRESULT: S_OK, or a negative
// code (D3DERR_INVALIDCALL for bad arguments, QVERR_INVALIDDATA for a file
// that cannot be read or recognised, E_FAIL when no conversion exists,
// E_OUTOFMEMORY, or a Direct3D code when the surface cannot be locked).
#pragma once

#include <cstdint>

#include "quorvane/image/decoded_image.h"
#include "quorvane/platform/d3d9.h"

namespace qv {

// Filter value: the low 16 bits pick the filter kind, bits 16 to 22 add
// modifiers, bits 23 to 31 must be zero.
inline constexpr DWORD FilterNone = 1;
inline constexpr DWORD FilterPoint = 2;
inline constexpr DWORD FilterLinear = 3;
inline constexpr DWORD FilterTriangle = 4;
inline constexpr DWORD FilterBox = 5;
inline constexpr DWORD FilterKindMask = 0xFFFFu;
inline constexpr DWORD FilterClampU = 1u << 16;   // linear and triangle: stay inside across the width
inline constexpr DWORD FilterClampV = 1u << 17;   // ... across the height
inline constexpr DWORD FilterClampW = 1u << 18;   // ... across the depth
inline constexpr DWORD FilterDither = 1u << 19;   // ordered dither when encoding
inline constexpr DWORD FilterDiffuse = 1u << 20;  // error diffusion when encoding
inline constexpr DWORD FilterSrgbIn = 1u << 21;   // source pixels are gamma 2.2 encoded
inline constexpr DWORD FilterSrgbOut = 1u << 22;  // destination pixels are gamma 2.2 encoded
inline constexpr DWORD FilterReservedMask = 0xFF800000u;
// All bits set: the default, FilterTriangle | FilterDither.
inline constexpr DWORD FilterDefault = 0xFFFFFFFFu;

// Loads the image file `fileName` into `destRect` of `destSurface` (null: the
// whole surface). `srcRect` picks part of the picture (null: all of it);
// `filter` says how to scale when the rectangles differ in size; `colorKey`
// (A8R8G8B8, 0 for none) is a source colour that becomes transparent black;
// `srcInfo`, when given, receives the file's description. `destPalette` is the
// palette of a palettized destination (256 entries) or null.
HRESULT LoadSurfaceFromFile(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                            const RECT* destRect, const char* fileName, const RECT* srcRect,
                            DWORD filter, D3DCOLOR colorKey, ImageInfo* srcInfo);

// The same for a file image already in memory (`srcDataSize` bytes).
HRESULT LoadSurfaceFromFileInMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                                    const RECT* destRect, const void* srcData, UINT srcDataSize,
                                    const RECT* srcRect, DWORD filter, D3DCOLOR colorKey,
                                    ImageInfo* srcInfo);

// Writes `srcRect` of the pixels at `srcMemory` (pixel (0, 0) there, rows
// `srcPitch` bytes apart, in `srcFormat`, with `srcPalette` for palettized
// formats) into `destRect` of `destSurface`.
HRESULT LoadSurfaceFromMemory(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette,
                              const RECT* destRect, const void* srcMemory, D3DFORMAT srcFormat,
                              UINT srcPitch, const PALETTEENTRY* srcPalette, const RECT* srcRect,
                              DWORD filter, D3DCOLOR colorKey);

}  // namespace qv
