// BuildTerrain on the default height map (load into the scratch surface,
// fill and upload the 767 row buffers), against its floor measured in the
// same process: libpng alone decoding the same file, plus writing the same
// 25 MB of vertices into plain memory. Goal: at most 1.3 x.
//
// Uses the drawing device when a display is there, else the headless one.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <string>
#include <vector>

#include "app/viewer.h"

namespace {

using qv::viewer::TerrainVertex;
using namespace qv::viewer;

constexpr const char* kHeightMap = QV_DEFAULT_HEIGHT_MAP;

// libpng alone: the file into 0xXXRRGGBB words, top row first.
bool DecodeWithLibpng(const char* path, std::vector<std::uint32_t>* pixels, std::vector<png_bytep>* rows) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    if (png_get_image_width(png, info) != kFieldWidth || png_get_image_height(png, info) != kFieldHeight)
        png_error(png, "unexpected size");
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    pixels->resize(std::size_t{kFieldWidth} * kFieldHeight);
    rows->resize(kFieldHeight);
    for (UINT y = 0; y < kFieldHeight; ++y) (*rows)[y] = reinterpret_cast<png_bytep>(pixels->data() + y * kFieldWidth);
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

// The vertices of all 767 strips, written once each into plain memory.
void WriteVertices(const std::vector<std::uint32_t>& pixels, TerrainVertex* out) {
    for (UINT j = 0; j < kRowBufferCount; ++j) {
        const std::uint32_t* upper = &pixels[std::size_t{j} * kFieldWidth];
        const std::uint32_t* lower = upper + kFieldWidth;
        TerrainVertex* strip = out + std::size_t{j} * kVerticesPerRow;
        for (UINT m = 0; m < kFieldWidth; ++m) {
            const float x = static_cast<float>(m);
            strip[2 * m] = {x, static_cast<float>(upper[m] >> 16 & 0xFF) * 0.1f, -static_cast<float>(j), upper[m]};
            strip[2 * m + 1] = {x, static_cast<float>(lower[m] >> 16 & 0xFF) * 0.1f,
                                -static_cast<float>(j + 1), lower[m]};
        }
    }
}

// The device the viewer would draw with, or the headless one.
bool OpenDevice(HWND* window) {
    *window = nullptr;
    D3DDEVTYPE type = D3DDEVTYPE_NULLREF;
    if (std::getenv("DISPLAY")) {
        *window = CreateViewerWindow(nullptr);
        if (*window) type = D3DDEVTYPE_HAL;
    }
    g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!g_d3d) return false;
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = kBackBufferWidth;
    parameters.BackBufferHeight = kBackBufferHeight;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    return SUCCEEDED(g_d3d->CreateDevice(0, type, *window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                         &g_device)) &&
           g_device;
}

void CloseDevice(HWND window) {
    ReleaseScene();
    if (g_device) g_device->Release();
    if (g_d3d) g_d3d->Release();
    g_device = nullptr;
    g_d3d = nullptr;
    if (window) DestroyWindow(window);
}

// Both sides in turns, each iteration timing one of each, so that a change
// in the machine's load touches both alike. Reports the milliseconds of each
// side and their ratio.
void BM_BuildTerrainAgainstFloor(benchmark::State& state) {
    HWND window = nullptr;
    if (!OpenDevice(&window)) {
        state.SkipWithError("no Direct3D device");
        CloseDevice(window);
        return;
    }
    std::vector<std::uint32_t> pixels;
    std::vector<png_bytep> rows;
    std::vector<TerrainVertex> vertices(std::size_t{kRowBufferCount} * kVerticesPerRow);
    using Clock = std::chrono::steady_clock;
    double ours = 0.0, floor = 0.0;
    std::int64_t turns = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        if (!DecodeWithLibpng(kHeightMap, &pixels, &rows)) {
            state.SkipWithError("libpng cannot decode the height map");
            break;
        }
        WriteVertices(pixels, vertices.data());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::ClobberMemory();
        const Clock::time_point middle = Clock::now();
        BuildTerrain(kHeightMap);
        const Clock::time_point end = Clock::now();
        ReleaseScene();
        floor += std::chrono::duration<double>(middle - start).count();
        ours += std::chrono::duration<double>(end - middle).count();
        ++turns;
        state.SetIterationTime(std::chrono::duration<double>(end - middle).count());
    }
    if (turns > 0 && floor > 0.0) {
        state.counters["build_ms"] = ours * 1000.0 / static_cast<double>(turns);
        state.counters["floor_ms"] = floor * 1000.0 / static_cast<double>(turns);
        state.counters["ratio"] = ours / floor;
    }
    CloseDevice(window);
}

BENCHMARK(BM_BuildTerrainAgainstFloor)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(4.0);

}  // namespace

BENCHMARK_MAIN();
