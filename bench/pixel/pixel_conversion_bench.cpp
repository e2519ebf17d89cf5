// Conversion throughput of the row codecs (decode a row into FloatPixels,
// encode it into the destination format) against plain scalar loops that do
// the same conversion through four floats a pixel. Both run in this process;
// the ratios (codecs / plain loop, in megapixels per second; goal: at least
// 1.0) are printed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "quorvane/pixel/pixel_codec.h"

namespace {

constexpr std::uint32_t kWidth = 1024;
constexpr std::uint32_t kHeight = 768;
constexpr double kMegapixels = kWidth * kHeight / 1e6;

struct Picture {
    std::uint32_t bytesPerPixel;
    std::vector<std::uint8_t> bytes;
    Picture(std::uint32_t bpp) : bytesPerPixel(bpp), bytes(std::size_t{kWidth} * kHeight * bpp) {}
    std::uint32_t Pitch() const { return kWidth * bytesPerPixel; }
};

// A smooth picture with some noise, alpha included.
Picture MakeArgb() {
    Picture p(4);
    std::uint32_t seed = 2024;
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const std::uint32_t v = ((x + y) & 0xFF) << 16 | (x * 3 & 0xFF) << 8 | (y & 0xFF) | (seed & 0xFF000000u);
            std::memcpy(&p.bytes[(std::size_t{y} * kWidth + x) * 4], &v, 4);
        }
    return p;
}

// Halves in 0..1 with some above 1 and a few negative, as rendered HDR would be.
Picture MakeHalfRgba() {
    Picture p(8);
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight * 4; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const std::uint16_t h = static_cast<std::uint16_t>(0x3000 + (seed >> 20) % 0x1000) | ((seed & 0x1F) == 0 ? 0x8000 : 0);
        std::memcpy(&p.bytes[i * 2], &h, 2);
    }
    return p;
}

const Picture& Argb() {
    static const Picture p = MakeArgb();
    return p;
}

const Picture& HalfRgba() {
    static const Picture p = MakeHalfRgba();
    return p;
}

// ---- the codecs ----

qv::PixelRegion Region(const Picture& picture, D3DFORMAT format, bool dither) {
    qv::PixelRegion region;
    region.bits = const_cast<std::uint8_t*>(picture.bytes.data());
    region.format = format;
    region.rowPitch = picture.Pitch();
    region.slicePitch = region.rowPitch * kHeight;
    region.extent = region.box = qv::PixelBox{0, 0, kWidth, kHeight, 0, 1};
    region.dither = dither ? 1 : 0;
    return region;
}

bool ConvertWithCodecs(const Picture& source, D3DFORMAT sourceFormat, Picture& dest, D3DFORMAT destFormat, bool dither,
                       std::vector<qv::FloatPixel>& row) {
    std::unique_ptr<qv::PixelCodec> to(qv::CreatePixelCodec(Region(dest, destFormat, dither)));
    std::unique_ptr<qv::PixelCodec> from(qv::CreatePixelCodec(Region(source, sourceFormat, false)));
    if (!to || !from || qv::LinkSource(to.get(), from.get()) < 0) return false;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        from->DecodeRow(y, 0, row.data());
        to->EncodeRow(y, 0, row.data());
    }
    return true;
}

void RunCodecs(benchmark::State& state, const Picture& source, D3DFORMAT sourceFormat, std::uint32_t destBytes,
               D3DFORMAT destFormat, bool dither) {
    Picture dest(destBytes);
    std::vector<qv::FloatPixel> row(kWidth);
    for (auto _ : state) {
        if (!ConvertWithCodecs(source, sourceFormat, dest, destFormat, dither, row)) state.SkipWithError("no codec");
        benchmark::DoNotOptimize(dest.bytes.data());
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

// ---- plain scalar loops ----

struct Pixel {
    float r, g, b, a;
};

inline Pixel UnpackArgb(std::uint32_t v) {
    const float s = 1.0f / 255.0f;
    return {static_cast<float>((v >> 16) & 0xFF) * s, static_cast<float>((v >> 8) & 0xFF) * s,
            static_cast<float>(v & 0xFF) * s, static_cast<float>(v >> 24) * s};
}

inline std::uint32_t Quantize(float v, float max, float offset) {
    return static_cast<std::uint32_t>(std::clamp(v * max + offset, 0.0f, max));
}

inline float HalfToFloat(std::uint16_t h) {
    const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000) << 16;
    std::uint32_t exponent = (h >> 10) & 0x1F;
    std::uint32_t mantissa = h & 0x3FF;
    std::uint32_t bits;
    if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else {
        exponent = 113;
        while ((mantissa & 0x400) == 0) {
            mantissa <<= 1;
            --exponent;
        }
        bits = sign | (exponent << 23) | ((mantissa & 0x3FF) << 13);
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

const float kDither[4][4] = {{31 / 32.f, 15 / 32.f, 27 / 32.f, 11 / 32.f},
                             {7 / 32.f, 23 / 32.f, 3 / 32.f, 19 / 32.f},
                             {25 / 32.f, 9 / 32.f, 29 / 32.f, 13 / 32.f},
                             {1 / 32.f, 17 / 32.f, 5 / 32.f, 21 / 32.f}};

void PlainArgbToXrgb(const Picture& source, Picture& dest) {
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        const std::uint8_t* in = source.bytes.data() + std::size_t{y} * source.Pitch();
        std::uint8_t* out = dest.bytes.data() + std::size_t{y} * dest.Pitch();
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint32_t v;
            std::memcpy(&v, in + x * 4, 4);
            const Pixel p = UnpackArgb(v);
            const std::uint32_t w = Quantize(p.r, 255, 0.5f) << 16 | Quantize(p.g, 255, 0.5f) << 8 |
                                    Quantize(p.b, 255, 0.5f);
            std::memcpy(out + x * 4, &w, 4);
        }
    }
}

void PlainArgbTo565Dithered(const Picture& source, Picture& dest) {
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        const std::uint8_t* in = source.bytes.data() + std::size_t{y} * source.Pitch();
        std::uint8_t* out = dest.bytes.data() + std::size_t{y} * dest.Pitch();
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint32_t v;
            std::memcpy(&v, in + x * 4, 4);
            const Pixel p = UnpackArgb(v);
            const float d = kDither[y & 3][x & 3];
            const auto w = static_cast<std::uint16_t>(Quantize(p.r, 31, d) << 11 | Quantize(p.g, 63, d) << 5 |
                                                      Quantize(p.b, 31, d));
            std::memcpy(out + x * 2, &w, 2);
        }
    }
}

void PlainArgbToFloat(const Picture& source, Picture& dest) {
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        const std::uint8_t* in = source.bytes.data() + std::size_t{y} * source.Pitch();
        std::uint8_t* out = dest.bytes.data() + std::size_t{y} * dest.Pitch();
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint32_t v;
            std::memcpy(&v, in + x * 4, 4);
            const Pixel p = UnpackArgb(v);
            std::memcpy(out + x * 16, &p, 16);
        }
    }
}

void PlainHalfToArgb(const Picture& source, Picture& dest) {
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        const std::uint8_t* in = source.bytes.data() + std::size_t{y} * source.Pitch();
        std::uint8_t* out = dest.bytes.data() + std::size_t{y} * dest.Pitch();
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint16_t h[4];
            std::memcpy(h, in + x * 8, 8);
            const Pixel p{HalfToFloat(h[0]), HalfToFloat(h[1]), HalfToFloat(h[2]), HalfToFloat(h[3])};
            const std::uint32_t w = Quantize(p.a, 255, 0.5f) << 24 | Quantize(p.r, 255, 0.5f) << 16 |
                                    Quantize(p.g, 255, 0.5f) << 8 | Quantize(p.b, 255, 0.5f);
            std::memcpy(out + x * 4, &w, 4);
        }
    }
}

template <void (*Convert)(const Picture&, Picture&)>
void RunPlain(benchmark::State& state, const Picture& source, std::uint32_t destBytes) {
    Picture dest(destBytes);
    for (auto _ : state) {
        Convert(source, dest);
        benchmark::DoNotOptimize(dest.bytes.data());
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Codecs_ArgbToXrgb(benchmark::State& s) { RunCodecs(s, Argb(), D3DFMT_A8R8G8B8, 4, D3DFMT_X8R8G8B8, false); }
void BM_Plain_ArgbToXrgb(benchmark::State& s) { RunPlain<PlainArgbToXrgb>(s, Argb(), 4); }
void BM_Codecs_ArgbTo565Dither(benchmark::State& s) { RunCodecs(s, Argb(), D3DFMT_A8R8G8B8, 2, D3DFMT_R5G6B5, true); }
void BM_Plain_ArgbTo565Dither(benchmark::State& s) { RunPlain<PlainArgbTo565Dithered>(s, Argb(), 2); }
void BM_Codecs_ArgbToFloat(benchmark::State& s) {
    RunCodecs(s, Argb(), D3DFMT_A8R8G8B8, 16, D3DFMT_A32B32G32R32F, false);
}
void BM_Plain_ArgbToFloat(benchmark::State& s) { RunPlain<PlainArgbToFloat>(s, Argb(), 16); }
void BM_Codecs_HalfToArgb(benchmark::State& s) {
    RunCodecs(s, HalfRgba(), D3DFMT_A16B16G16R16F, 4, D3DFMT_A8R8G8B8, false);
}
void BM_Plain_HalfToArgb(benchmark::State& s) { RunPlain<PlainHalfToArgb>(s, HalfRgba(), 4); }

// Each pair runs back to back so that both sides see the same machine state.
BENCHMARK(BM_Plain_ArgbToXrgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Codecs_ArgbToXrgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_ArgbTo565Dither)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Codecs_ArgbTo565Dither)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_ArgbToFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Codecs_ArgbToFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_HalfToArgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Codecs_HalfToArgb)->Unit(benchmark::kMillisecond);

// Keeps the processor time per iteration of every run for the ratios (the
// machine may be shared; both sides run on one thread).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedCPUTime();
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
    const char* conversions[][2] = {{"ArgbToXrgb", "A8R8G8B8 -> X8R8G8B8"},
                                    {"ArgbTo565Dither", "A8R8G8B8 -> R5G6B5, dithered"},
                                    {"ArgbToFloat", "A8R8G8B8 -> A32B32G32R32F"},
                                    {"HalfToArgb", "A16B16G16R16F -> A8R8G8B8"}};
    for (const auto& [key, label] : conversions) {
        const auto plain = reporter.times.find(std::string("BM_Plain_") + key);
        const auto codecs = reporter.times.find(std::string("BM_Codecs_") + key);
        if (plain == reporter.times.end() || codecs == reporter.times.end() || codecs->second <= 0) continue;
        // Throughput ratio = plain time / codec time.
        std::printf("%-32s codecs / plain loop throughput: %.2f (goal: at least 1.0)\n", label,
                    plain->second / codecs->second);
    }
    return 0;
}
