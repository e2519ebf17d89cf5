// The math library against GLM in the same process: matrix product and
// 3-vector normalisation through the dispatch table, the SSE2 set's
// Vec3TransformCoordArray over a million points, and the half-float arrays
// against plain scalar loops over the same rules. Prints the ratios at the
// end (goals: product at most 1.5 x GLM's time, normalisation at most 2 x,
// array transform at least 1.5 x GLM's throughput, half arrays at least as
// fast as the plain loops).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "math/half_float.h"
#include "math/math_test_hooks.h"
#include "quorvane/math/math.h"

namespace {

constexpr int kBatch = 1024;
constexpr std::uint32_t kPoints = 1000000;

std::mt19937 g_random(12345);
float Next() { return std::uniform_real_distribution<float>(-2.0f, 2.0f)(g_random); }

std::vector<qv::Matrix> Matrices(int n) {
    std::vector<qv::Matrix> m(n);
    for (auto& x : m)
        for (auto& row : x.m)
            for (float& e : row) e = Next();
    return m;
}

void BM_Ours_MatrixMultiply(benchmark::State& state) {
    const auto a = Matrices(kBatch), b = Matrices(kBatch);
    std::vector<qv::Matrix> out(kBatch);
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) qv::MatrixMultiply(&out[i], &a[i], &b[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_Glm_MatrixMultiply(benchmark::State& state) {
    std::vector<glm::mat4> a(kBatch), b(kBatch), out(kBatch);
    const auto qa = Matrices(kBatch), qb = Matrices(kBatch);
    for (int i = 0; i < kBatch; ++i) {
        a[i] = glm::make_mat4(&qa[i].m[0][0]);
        b[i] = glm::make_mat4(&qb[i].m[0][0]);
    }
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) out[i] = a[i] * b[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_Ours_Vec3Normalize(benchmark::State& state) {
    std::vector<qv::Vec3> in(kBatch), out(kBatch);
    for (auto& v : in) v = {Next(), Next(), Next()};
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) qv::Vec3Normalize(&out[i], &in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_Glm_Vec3Normalize(benchmark::State& state) {
    std::vector<glm::vec3> in(kBatch), out(kBatch);
    for (auto& v : in) v = {Next(), Next(), Next()};
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) out[i] = glm::normalize(in[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

std::vector<qv::Vec3> Points() {
    std::vector<qv::Vec3> p(kPoints);
    for (auto& v : p) v = {Next(), Next(), Next()};
    return p;
}

qv::Matrix Projection() {
    qv::Matrix m;
    qv::MatrixPerspectiveFovLH(&m, 1.0f, 1.333f, 0.5f, 100.0f);
    m.m[3][0] = 0.25f;
    m.m[3][2] += 5.0f;
    return m;
}

void BM_Ours_Vec3TransformCoordArray(benchmark::State& state) {
    const auto table = qv::math::FunctionsWrittenBy(qv::math::ImplementationSet::Sse2);
    if (!table.Vec3TransformCoordArray) {
        state.SkipWithError("no SSE2 set on this host");
        return;
    }
    const auto in = Points();
    std::vector<qv::Vec3> out(kPoints);
    const qv::Matrix m = Projection();
    for (auto _ : state) {
        table.Vec3TransformCoordArray(out.data(), sizeof(qv::Vec3), in.data(), sizeof(qv::Vec3), &m, kPoints);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_Glm_Vec3TransformCoordArray(benchmark::State& state) {
    const auto points = Points();
    std::vector<glm::vec3> in(kPoints), out(kPoints);
    for (std::uint32_t i = 0; i < kPoints; ++i) in[i] = {points[i].x, points[i].y, points[i].z};
    // Our matrices are for row vectors: as a column-major GLM matrix the same
    // floats act on column vectors the same way.
    const qv::Matrix q = Projection();
    const glm::mat4 m = glm::make_mat4(&q.m[0][0]);
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kPoints; ++i) {
            const glm::vec4 r = m * glm::vec4(in[i], 1.0f);
            out[i] = glm::vec3(r) / r.w;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

std::vector<float> Floats() {
    std::vector<float> f(kPoints);
    for (float& x : f) x = Next() * 1000.0f;
    return f;
}

void BM_Ours_FloatToHalfArray(benchmark::State& state) {
    const auto in = Floats();
    std::vector<std::uint16_t> out(kPoints);
    for (auto _ : state) {
        qv::FloatToHalfArray(out.data(), in.data(), kPoints);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_Plain_FloatToHalfArray(benchmark::State& state) {
    const auto in = Floats();
    std::vector<std::uint16_t> out(kPoints);
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kPoints; ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &in[i], 4);
            out[i] = qv::math::FloatBitsToHalf(bits);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

std::vector<std::uint16_t> Halves() {
    std::vector<std::uint16_t> h(kPoints);
    std::uint32_t x = 1;
    for (auto& v : h) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<std::uint16_t>(x >> 16);
    }
    return h;
}

void BM_Ours_HalfToFloatArray(benchmark::State& state) {
    const auto in = Halves();
    std::vector<float> out(kPoints);
    for (auto _ : state) {
        qv::HalfToFloatArray(out.data(), in.data(), kPoints);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_Plain_HalfToFloatArray(benchmark::State& state) {
    const auto in = Halves();
    std::vector<float> out(kPoints);
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < kPoints; ++i) {
            const std::uint32_t bits = qv::math::HalfToFloatBits(in[i]);
            std::memcpy(&out[i], &bits, 4);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

BENCHMARK(BM_Ours_MatrixMultiply);
BENCHMARK(BM_Glm_MatrixMultiply);
BENCHMARK(BM_Ours_Vec3Normalize);
BENCHMARK(BM_Glm_Vec3Normalize);
BENCHMARK(BM_Ours_Vec3TransformCoordArray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Glm_Vec3TransformCoordArray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_FloatToHalfArray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_FloatToHalfArray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_HalfToFloatArray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plain_HalfToFloatArray)->Unit(benchmark::kMillisecond);

// Keeps the processor time per iteration of every run for the ratios (the
// build machine is shared, so wall time says more about the neighbours).
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
    struct Ratio {
        const char* key;
        const char* peer;  // "Glm" or "Plain"
        const char* goal;
    };
    const Ratio ratios[] = {{"MatrixMultiply", "Glm", "time ratio ours / GLM, goal at most 1.5"},
                            {"Vec3Normalize", "Glm", "time ratio ours / GLM, goal at most 2.0"},
                            {"Vec3TransformCoordArray", "Glm", "throughput ratio ours / GLM, goal at least 1.5"},
                            {"FloatToHalfArray", "Plain", "throughput ratio ours / plain loop, goal at least 1.0"},
                            {"HalfToFloatArray", "Plain", "throughput ratio ours / plain loop, goal at least 1.0"}};
    for (const Ratio& r : ratios) {
        const auto ours = reporter.times.find(std::string("BM_Ours_") + r.key);
        const auto peer = reporter.times.find(std::string("BM_") + r.peer + "_" + r.key);
        if (ours == reporter.times.end() || peer == reporter.times.end() || ours->second <= 0) continue;
        const bool timeRatio = std::string(r.goal).rfind("time", 0) == 0;
        const double value = timeRatio ? ours->second / peer->second : peer->second / ours->second;
        std::printf("%-24s %.2f (%s)\n", r.key, value, r.goal);
    }
    return 0;
}
