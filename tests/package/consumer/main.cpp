// Uses the library headless: a NULLREF device, a scratch surface, a pixel
// format look-up and a dispatched math call.
#include <quorvane/quorvane.h>

#include <cstdio>

int main() {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return 1;
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 4;
    pp.BackBufferHeight = 4;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_NULLREF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &pp, &device))) {
        d3d->Release();
        return 2;
    }
    IDirect3DSurface9* surface = nullptr;
    const HRESULT hr = device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                                           &surface, nullptr);
    qv::Matrix a{}, b{}, product{};
    for (int i = 0; i < 4; ++i) a.m[i][i] = b.m[i][i] = 2.0f;
    qv::MatrixMultiply(&product, &a, &b);
    const bool ok = SUCCEEDED(hr) && product.m[3][3] == 4.0f &&
                    qv::LookUpPixelFormat(D3DFMT_P8).bitsPerPixel == 8;
    if (surface) surface->Release();
    device->Release();
    d3d->Release();
    std::puts(ok ? "consumer ok" : "consumer failed");
    return ok ? 0 : 3;
}
