// Builds the field from the height map: one triangle strip per pair of
// neighbouring pixel rows.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "app/viewer.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/surface/surface_loading.h"

namespace qv::viewer {

namespace {

constexpr UINT kFieldRowBytes = kFieldWidth * sizeof(std::uint32_t);

// Why loading the height map failed, in words.
std::string DescribeLoadFailure(const char* fileName, HRESULT result) {
    if (result == QVERR_INVALIDDATA) {
        // Either the file could not be opened or no reader took it: look at
        // the file itself to tell which.
        errno = 0;
        if (std::FILE* file = std::fopen(fileName, "rb")) {
            std::fclose(file);
            return "not a picture in a format that can be read";
        }
        return errno != 0 ? std::strerror(errno) : "cannot be opened";
    }
    if (result == D3DERR_INVALIDCALL) return "the file is empty";
    if (result == E_OUTOFMEMORY) return "out of memory";
    if (result == E_FAIL) return "its pixels cannot be converted";
    char text[48];
    std::snprintf(text, sizeof(text), "error 0x%08X", static_cast<unsigned>(result));
    return text;
}

void WarnLoadFailure(const char* fileName, HRESULT result) {
    const std::string line = std::string("Quorvane: (WARN) cannot load \"") + fileName + "\": " +
                             DescribeLoadFailure(fileName, result) + "; the field stays flat\r\n";
    OutputDebugStringA(line.c_str());
}

// Fills one strip: vertex 2m from pixel (m, row j), vertex 2m + 1 from pixel
// (m, row j + 1).
void FillStrip(TerrainVertex* out, const std::uint32_t* upper, const std::uint32_t* lower,
               float upperZ, float lowerZ) {
    for (UINT m = 0; m < kFieldWidth; ++m) {
        const float x = static_cast<float>(m);
        const std::uint32_t a = upper[m];
        const std::uint32_t b = lower[m];
        out[2 * m] = {x, static_cast<float>((a >> 16) & 0xFFu) * kHeightScale, upperZ, a};
        out[2 * m + 1] = {x, static_cast<float>((b >> 16) & 0xFFu) * kHeightScale, lowerZ, b};
    }
}

}  // namespace

void BuildTerrain(const char* fileName) {
    g_device->CreateOffscreenPlainSurface(kFieldWidth, kFieldHeight, D3DFMT_X8R8G8B8,
                                          D3DPOOL_SCRATCH, &g_heightSurface, nullptr);

    // No filtering: the picture lands unscaled at the top-left corner.
    bool loaded = false;
    if (g_heightSurface) {
        const HRESULT result = LoadSurfaceFromFile(g_heightSurface, nullptr, nullptr, fileName,
                                                   nullptr, FilterNone, 0, nullptr);
        loaded = SUCCEEDED(result);
        if (!loaded) WarnLoadFailure(fileName, result);
    } else {
        WarnLoadFailure(fileName, E_OUTOFMEMORY);
    }

    // Rows are read at the pitch the lock reports (4096 bytes for this
    // surface). Without readable pixels, or when the picture could not be
    // loaded, every pixel counts as 0: a flat black field.
    const std::uint8_t* bits = nullptr;
    std::size_t pitch = kFieldRowBytes;
    D3DLOCKED_RECT locked = {};
    bool surfaceLocked = false;
    if (g_heightSurface && SUCCEEDED(g_heightSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        surfaceLocked = true;
        if (loaded && locked.pBits && locked.Pitch >= static_cast<INT>(kFieldRowBytes)) {
            bits = static_cast<const std::uint8_t*>(locked.pBits);
            pitch = static_cast<std::size_t>(locked.Pitch);
        }
    }
    static const std::uint32_t kFlatRow[kFieldWidth] = {};
    const auto row = [&](UINT r) {
        return bits ? reinterpret_cast<const std::uint32_t*>(bits + r * pitch) : kFlatRow;
    };

    g_rowBuffers = new (std::nothrow) IDirect3DVertexBuffer9*[kRowBufferCount]();
    if (g_rowBuffers) {
        for (UINT j = 0; j < kRowBufferCount; ++j) {
            IDirect3DVertexBuffer9* buffer = nullptr;
            if (FAILED(g_device->CreateVertexBuffer(kRowBufferBytes, D3DUSAGE_WRITEONLY,
                                                    kTerrainFvf, D3DPOOL_MANAGED, &buffer,
                                                    nullptr)))
                buffer = nullptr;
            g_rowBuffers[j] = buffer;
            if (!buffer) continue;
            void* vertices = nullptr;
            if (FAILED(buffer->Lock(0, 0, &vertices, D3DLOCK_NOSYSLOCK)) || !vertices) continue;
            FillStrip(static_cast<TerrainVertex*>(vertices), row(j), row(j + 1),
                      -static_cast<float>(j), -static_cast<float>(j + 1));
            buffer->Unlock();
        }
    }

    // Nothing reads the height surface afterwards.
    if (surfaceLocked) g_heightSurface->UnlockRect();
}

}  // namespace qv::viewer
