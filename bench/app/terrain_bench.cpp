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
#include <map>
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

void BM_DecodeAndWriteVertices(benchmark::State& state) {
    std::vector<std::uint32_t> pixels;
    std::vector<png_bytep> rows;
    std::vector<TerrainVertex> vertices(std::size_t{kRowBufferCount} * kVerticesPerRow);
    for (auto _ : state) {
        if (!DecodeWithLibpng(kHeightMap, &pixels, &rows)) {
            state.SkipWithError("libpng cannot decode the height map");
            break;
        }
        WriteVertices(pixels, vertices.data());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::ClobberMemory();
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

void BM_BuildTerrain(benchmark::State& state) {
    HWND window = nullptr;
    if (!OpenDevice(&window)) {
        state.SkipWithError("no Direct3D device");
        CloseDevice(window);
        return;
    }
    for (auto _ : state) {
        BuildTerrain(kHeightMap);
        state.PauseTiming();
        ReleaseScene();
        state.ResumeTiming();
    }
    CloseDevice(window);
}

BENCHMARK(BM_DecodeAndWriteVertices)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BuildTerrain)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps the time per iteration of every run for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double floor = 0.0, ours = 0.0;
    for (const auto& [name, time] : reporter.times) {
        if (name.rfind("BM_DecodeAndWriteVertices", 0) == 0) floor = time;
        if (name.rfind("BM_BuildTerrain", 0) == 0) ours = time;
    }
    if (floor > 0.0 && ours > 0.0)
        std::printf("BuildTerrain / (libpng decode + writing the vertices): %.3f (goal: at most 1.30)\n",
                    ours / floor);
    return 0;
}
