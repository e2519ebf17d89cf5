// LoadSurfaceFromFile of a 1024 x 768 8-bit RGB PNG into a 1024 x 768
// X8R8G8B8 scratch surface, against libpng alone decoding the same file from
// memory into BGRX rows. Both run in this process; the ratio is printed at
// the end (goal: at most 1.10).
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "quorvane/platform/d3d9.h"
#include "quorvane/surface/surface_loading.h"

namespace {

constexpr std::uint32_t kWidth = 1024;
constexpr std::uint32_t kHeight = 768;

// A height-map-like picture: smooth hills with a little noise, the kind of
// file the viewer loads.
std::vector<std::uint8_t> MakePng() {
    std::vector<std::uint8_t> rgb(std::size_t{kWidth} * kHeight * 3);
    std::uint32_t seed = 12345;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double h = 127.5 + 60.0 * std::sin(x * 0.013) * std::cos(y * 0.021) + 40.0 * std::sin((x + y) * 0.005);
            const int noise = static_cast<int>(seed >> 29) - 4;
            const int v = std::min(255, std::max(0, static_cast<int>(h) + noise));
            std::uint8_t* p = &rgb[(std::size_t{y} * kWidth + x) * 3];
            p[0] = static_cast<std::uint8_t>(v);
            p[1] = static_cast<std::uint8_t>((v * 3 + x / 4) & 0xFF);
            p[2] = static_cast<std::uint8_t>(255 - v);
        }
    }
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* sink = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            sink->insert(sink->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::uint32_t y = 0; y < kHeight; ++y) png_write_row(png, &rgb[std::size_t{y} * kWidth * 3]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct Fixture {
    std::vector<std::uint8_t> bytes = MakePng();
    std::string path;
    Fixture() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-bench-heightmap-XXXXXX").string();
        char* name = pattern.data();
        const int fd = mkstemp(name);
        if (fd >= 0) {
            path = name;
            if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) path.clear();
            close(fd);
        }
    }
    ~Fixture() {
        if (!path.empty()) unlink(path.c_str());
    }
};

Fixture& File() {
    static Fixture fixture;
    return fixture;
}

struct MemoryReader {
    const std::uint8_t* next;
    std::size_t left;
};

// libpng alone: the same transformations the reader asks for (BGR order and
// a 0xFF filler), rows straight into the output.
bool DecodeWithLibpng(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>* bgrx,
                      std::vector<png_bytep>* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    MemoryReader reader{bytes.data(), bytes.size()};
    png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t length) {
        auto* r = static_cast<MemoryReader*>(png_get_io_ptr(p));
        if (length > r->left) png_error(p, "read error");
        std::memcpy(out, r->next, length);
        r->next += length;
        r->left -= length;
    });
    png_read_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    const png_size_t pitch = png_get_rowbytes(png, info);
    bgrx->resize(pitch * kHeight);
    rows->resize(kHeight);
    for (std::uint32_t y = 0; y < kHeight; ++y) (*rows)[y] = bgrx->data() + y * pitch;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

void BM_LibpngDecodeToBgrx(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = File().bytes;
    std::vector<std::uint8_t> bgrx;
    std::vector<png_bytep> rows;
    for (auto _ : state) {
        if (!DecodeWithLibpng(bytes, &bgrx, &rows)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(bgrx.data());
    }
}

void BM_LoadSurfaceFromFile(benchmark::State& state) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* surface = nullptr;
    if (d3d == nullptr ||
        FAILED(d3d->CreateDevice(0, D3DDEVTYPE_NULLREF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device)) ||
        FAILED(device->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface,
                                                   nullptr))) {
        state.SkipWithError("no NULLREF device or surface");
    } else {
        const std::string& path = File().path;
        for (auto _ : state) {
            if (FAILED(qv::LoadSurfaceFromFile(surface, nullptr, nullptr, path.c_str(), nullptr, qv::FilterNone, 0,
                                               nullptr)))
                state.SkipWithError("LoadSurfaceFromFile failed");
        }
    }
    if (surface != nullptr) surface->Release();
    if (device != nullptr) device->Release();
    if (d3d != nullptr) d3d->Release();
}

BENCHMARK(BM_LibpngDecodeToBgrx)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadSurfaceFromFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);

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
    double libpng = 0.0;
    double ours = 0.0;
    for (const auto& [name, time] : reporter.times) {
        if (name.rfind("BM_LibpngDecodeToBgrx", 0) == 0) libpng = time;
        if (name.rfind("BM_LoadSurfaceFromFile", 0) == 0) ours = time;
    }
    if (libpng > 0.0 && ours > 0.0)
        std::printf("LoadSurfaceFromFile / libpng decode to BGRX: %.3f (goal: at most 1.10)\n", ours / libpng);
    return 0;
}
