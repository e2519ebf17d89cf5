// Fuzzes LoadSurfaceFromFileInMemory into a small scratch surface on a
// NULLREF device: every reader and every conversion path behind it.
//
// The last three input bytes pick the surface format, the filter and whether
// a colour key is used; the bytes before them are the file image, copied into
// a buffer of exactly that size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "quorvane/platform/d3d9.h"
#include "quorvane/surface/surface_loading.h"

namespace {

constexpr D3DFORMAT kSurfaceFormats[] = {
    D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_A1R5G5B5,       D3DFMT_L8,
    D3DFMT_A8L8,     D3DFMT_P8,       D3DFMT_DXT1,     D3DFMT_DXT5,           D3DFMT_A16B16G16R16,
    D3DFMT_R8G8B8,   D3DFMT_V8U8,     D3DFMT_YUY2,     D3DFMT_A32B32G32R32F, D3DFMT_A2R10G10B10,
    D3DFMT_A4R4G4B4,
};

constexpr DWORD kFilters[] = {
    qv::FilterNone,
    qv::FilterPoint,
    qv::FilterLinear | qv::FilterDither,
    qv::FilterTriangle | qv::FilterDiffuse,
    qv::FilterBox | qv::FilterSrgbIn | qv::FilterSrgbOut,
    qv::FilterDefault,
};

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = [] {
        IDirect3DDevice9* created = nullptr;
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (d3d == nullptr) std::abort();
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 16;
        pp.BackBufferHeight = 16;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        if (d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                              &pp, &created) != S_OK)
            std::abort();
        return created;  // kept for the whole run, like the Direct3D object
    }();
    return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || size > (1u << 20)) return 0;
    const D3DFORMAT format = kSurfaceFormats[data[size - 3] % (sizeof(kSurfaceFormats) / sizeof(kSurfaceFormats[0]))];
    const DWORD filter = kFilters[data[size - 2] % (sizeof(kFilters) / sizeof(kFilters[0]))];
    const D3DCOLOR colorKey = (data[size - 1] & 1) != 0 ? 0xFF000000u : 0;
    const std::vector<std::uint8_t> file(data, data + size - 3);

    IDirect3DSurface9* surface = nullptr;
    if (Device()->CreateOffscreenPlainSurface(8, 8, format, D3DPOOL_SCRATCH, &surface, nullptr) != S_OK) return 0;
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 7), 255};
    qv::ImageInfo info{};
    qv::LoadSurfaceFromFileInMemory(surface, palette, nullptr, file.data(), static_cast<UINT>(file.size()), nullptr,
                                    filter, colorKey, &info);
    surface->Release();
    return 0;
}
