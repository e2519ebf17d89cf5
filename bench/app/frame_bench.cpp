// Frames per second of the viewer's own frame loop (one pass of the main
// loop: a message, RenderFrame, UpdateFrame) at 800 x 600 over the default
// height map, against the same scene drawn with raw OpenGL in the same
// process: the same 767 strips of vertices, the same camera poses. 300
// frames each, in interleaved rounds so both meet the same machine load.
// Goal: viewer / raw frame rate at least 0.95. Needs a display (run under
// xvfb-run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/viewer.h"
#include "bench/platform/raw_gl_scene.h"

namespace {

using namespace qv::viewer;

// The viewer as WinMain sets it up, windowed, in the folder of the default
// height map.
class ViewerScene {
public:
    ViewerScene() {
        if (!std::getenv("DISPLAY")) return;
        const std::filesystem::path previous = std::filesystem::current_path();
        std::filesystem::current_path(std::filesystem::path(QV_DEFAULT_HEIGHT_MAP).parent_path());
        window_ = CreateViewerWindow(nullptr);
        g_windowed = true;
        InitDirect3D(window_);
        if (g_device) {
            SetupScene();
            ShowWindow(window_, SW_SHOWDEFAULT);
        }
        std::filesystem::current_path(previous);
    }
    ~ViewerScene() {
        ReleaseScene();
        if (g_device) g_device->Release();
        if (g_d3d) g_d3d->Release();
        g_device = nullptr;
        g_d3d = nullptr;
        if (window_) DestroyWindow(window_);
    }
    ViewerScene(const ViewerScene&) = delete;
    ViewerScene& operator=(const ViewerScene&) = delete;

    bool ok() const { return g_device != nullptr; }

    // One pass of the main loop.
    static void Pass() {
        MSG message = {};
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        RenderFrame();
        UpdateFrame();
    }

private:
    HWND window_ = nullptr;
};

constexpr int kRounds = 10;
constexpr int kFramesPerRound = 30;  // 300 frames a side

// The viewer's vertices, read back from its row buffers.
std::vector<qv::bench::SceneVertex> ViewerVertices() {
    std::vector<qv::bench::SceneVertex> vertices(std::size_t{kRowBufferCount} * kVerticesPerRow);
    for (UINT j = 0; j < kRowBufferCount; ++j) {
        void* data = nullptr;
        if (!g_rowBuffers || !g_rowBuffers[j] || FAILED(g_rowBuffers[j]->Lock(0, 0, &data, D3DLOCK_READONLY)) || !data)
            return {};
        std::memcpy(&vertices[std::size_t{j} * kVerticesPerRow], data, kRowBufferBytes);
        g_rowBuffers[j]->Unlock();
    }
    return vertices;
}

// The product of the view and projection that the viewer's last
// UpdateFrame set: what the raw scene draws the same frame with.
qv::bench::SceneMatrix CurrentTransform() {
    D3DMATRIX view = {}, projection = {};
    g_device->GetTransform(D3DTS_VIEW, &view);
    g_device->GetTransform(D3DTS_PROJECTION, &projection);
    qv::Matrix v, p, product;
    std::memcpy(&v, &view, sizeof(v));
    std::memcpy(&p, &projection, sizeof(p));
    qv::MatrixMultiply(&product, &v, &p);
    qv::bench::SceneMatrix out;
    std::memcpy(out.m, &product, sizeof(out.m));
    return out;
}

void BM_ViewerFrameLoopAgainstRawGl(benchmark::State& state) {
    ViewerScene scene;
    if (!scene.ok()) {
        state.SkipWithError("no Direct3D device (no display?)");
        return;
    }
    const std::vector<qv::bench::SceneVertex> vertices = ViewerVertices();
    qv::bench::RawGlScene raw;
    std::string why;
    if (vertices.empty() || !raw.Open(vertices, &why)) {
        state.SkipWithError(("no raw OpenGL scene: " + why).c_str());
        return;
    }
    using Clock = std::chrono::steady_clock;
    double viewerSeconds = 0.0, rawSeconds = 0.0;
    ViewerScene::Pass();  // warm up: first frame, first update
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            // The raw scene draws the same frames: each with the transform
            // the viewer drew its frame with.
            std::vector<qv::bench::SceneMatrix> transforms;
            Clock::time_point start = Clock::now();
            for (int frame = 0; frame < kFramesPerRound; ++frame) {
                transforms.push_back(CurrentTransform());
                ViewerScene::Pass();
                glFinish();  // as the raw scene does: the frame is done
            }
            viewerSeconds += std::chrono::duration<double>(Clock::now() - start).count();

            raw.MakeCurrent();
            start = Clock::now();
            for (const qv::bench::SceneMatrix& transform : transforms) raw.DrawFrame(transform);
            rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        }
        state.SetIterationTime(viewerSeconds);
    }
    const double frames = static_cast<double>(state.iterations()) * kRounds * kFramesPerRound;
    if (viewerSeconds > 0.0 && rawSeconds > 0.0) {
        state.counters["viewer_fps"] = frames / viewerSeconds;
        state.counters["raw_gl_fps"] = frames / rawSeconds;
        state.counters["ratio"] = rawSeconds / viewerSeconds;  // viewer fps / raw fps
    }
}

BENCHMARK(BM_ViewerFrameLoopAgainstRawGl)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
