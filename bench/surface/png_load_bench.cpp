// LoadSurfaceFromFile of a 1024 x 768 8-bit RGB PNG into a 1024 x 768
// X8R8G8B8 scratch surface, against libpng alone decoding the same file from
// memory into BGRX rows. Both run in this process; the ratios are printed at
// the end (goal: at most 1.10): from the fastest of five repetitions of each
// side, and from the medians of a run that alternates the two.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
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

// A PNG file on disk and its bytes in memory.
struct PngFile {
    std::string label;
    std::vector<std::uint8_t> bytes;
    std::string path;
    bool temporary = false;

    ~PngFile() {
        if (temporary && !path.empty()) unlink(path.c_str());
    }
};

bool WriteTemporary(PngFile* file) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-bench-heightmap-XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return false;
    const bool ok = write(fd, file->bytes.data(), file->bytes.size()) == static_cast<ssize_t>(file->bytes.size());
    close(fd);
    file->path = pattern;
    file->temporary = true;
    return ok;
}

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[65536];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
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

void BM_LibpngDecodeToBgrx(benchmark::State& state, const PngFile* file) {
    std::vector<std::uint8_t> bgrx;
    std::vector<png_bytep> rows;
    for (auto _ : state) {
        if (!DecodeWithLibpng(file->bytes, &bgrx, &rows)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(bgrx.data());
    }
}

void BM_LoadSurfaceFromFile(benchmark::State& state, const PngFile* file) {
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
        for (auto _ : state) {
            if (FAILED(qv::LoadSurfaceFromFile(surface, nullptr, nullptr, file->path.c_str(), nullptr, qv::FilterNone,
                                               0, nullptr)))
                state.SkipWithError("LoadSurfaceFromFile failed");
        }
    }
    if (surface != nullptr) surface->Release();
    if (device != nullptr) device->Release();
    if (d3d != nullptr) d3d->Release();
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double WallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Both sides in turn within one loop, so that whatever else runs on the
// machine disturbs them alike; the ratio of the medians is reported as the
// counters "ratio_real" and "ratio_cpu".
void BM_Interleaved(benchmark::State& state, const PngFile* file) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* surface = nullptr;
    std::vector<double> libpngReal, libpngCpu, oursReal, oursCpu;
    std::vector<std::uint8_t> bgrx;
    std::vector<png_bytep> rows;
    if (d3d == nullptr ||
        FAILED(d3d->CreateDevice(0, D3DDEVTYPE_NULLREF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device)) ||
        FAILED(device->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH, &surface,
                                                   nullptr))) {
        state.SkipWithError("no NULLREF device or surface");
    } else {
        for (auto _ : state) {
            double wall = WallSeconds();
            double cpu = ThreadSeconds();
            if (!DecodeWithLibpng(file->bytes, &bgrx, &rows)) state.SkipWithError("libpng failed");
            libpngReal.push_back(WallSeconds() - wall);
            libpngCpu.push_back(ThreadSeconds() - cpu);
            wall = WallSeconds();
            cpu = ThreadSeconds();
            if (FAILED(qv::LoadSurfaceFromFile(surface, nullptr, nullptr, file->path.c_str(), nullptr, qv::FilterNone,
                                               0, nullptr)))
                state.SkipWithError("LoadSurfaceFromFile failed");
            oursReal.push_back(WallSeconds() - wall);
            oursCpu.push_back(ThreadSeconds() - cpu);
        }
        state.counters["ratio_real"] = Median(oursReal) / Median(libpngReal);
        state.counters["ratio_cpu"] = Median(oursCpu) / Median(libpngCpu);
    }
    if (surface != nullptr) surface->Release();
    if (device != nullptr) device->Release();
    if (d3d != nullptr) d3d->Release();
}

// Keeps the fastest time per iteration (real and CPU) of each benchmark over
// its repetitions: the least disturbed by other processes.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Best {
        double real = 0.0;
        double cpu = 0.0;
    };
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            const auto real = run.counters.find("ratio_real");
            const auto cpu = run.counters.find("ratio_cpu");
            if (real != run.counters.end() && cpu != run.counters.end()) {
                ratios[run.run_name.function_name] = {real->second.value, cpu->second.value};
                continue;
            }
            Best& best = times[run.run_name.function_name];
            const double realTime = run.GetAdjustedRealTime();
            const double cpuTime = run.GetAdjustedCPUTime();
            if (best.real == 0.0 || realTime < best.real) best.real = realTime;
            if (best.cpu == 0.0 || cpuTime < best.cpu) best.cpu = cpuTime;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Best> times;
    std::map<std::string, std::pair<double, double>> ratios;  // interleaved: real, CPU
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    // The viewer's own height map when the source tree is at hand, and a
    // noisier synthetic one, whose larger file costs more to map.
    std::vector<PngFile> files(2);
    files[0].label = "heightmap";
    files[0].path = QV_HEIGHTMAP_PNG;
    files[0].bytes = ReadWhole(files[0].path);
    files[1].label = "synthetic";
    files[1].bytes = MakePng();
    if (files[1].bytes.empty() || !WriteTemporary(&files[1])) files[1].bytes.clear();
    for (const PngFile& file : files) {
        if (file.bytes.empty()) continue;
        benchmark::RegisterBenchmark(("LibpngDecodeToBgrx/" + file.label).c_str(), BM_LibpngDecodeToBgrx, &file)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(false);
        benchmark::RegisterBenchmark(("LoadSurfaceFromFile/" + file.label).c_str(), BM_LoadSurfaceFromFile, &file)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(false);
        benchmark::RegisterBenchmark(("Interleaved/" + file.label).c_str(), BM_Interleaved, &file)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(3.0);
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const PngFile& file : files) {
        const auto libpng = reporter.times.find("LibpngDecodeToBgrx/" + file.label);
        const auto ours = reporter.times.find("LoadSurfaceFromFile/" + file.label);
        if (libpng == reporter.times.end() || ours == reporter.times.end() || libpng->second.real <= 0.0) continue;
        std::printf("%s (%zu bytes): LoadSurfaceFromFile / libpng decode to BGRX = %.3f real, %.3f CPU "
                    "(goal: at most 1.10)\n",
                    file.label.c_str(), file.bytes.size(), ours->second.real / libpng->second.real,
                    ours->second.cpu / libpng->second.cpu);
        const auto interleaved = reporter.ratios.find("Interleaved/" + file.label);
        if (interleaved != reporter.ratios.end())
            std::printf("%s, interleaved, medians: %.3f real, %.3f CPU\n", file.label.c_str(),
                        interleaved->second.first, interleaved->second.second);
    }
    return 0;
}
