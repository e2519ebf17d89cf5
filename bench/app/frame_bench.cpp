// Frames per second of the viewer's own frame loop (one pass of the main
// loop: a message, RenderFrame, UpdateFrame) at 800 x 600 over the default
// height map, 300 frames an iteration. Needs a display (run under xvfb-run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "app/viewer.h"

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

constexpr int kFrames = 300;

void BM_ViewerFrameLoop(benchmark::State& state) {
    ViewerScene scene;
    if (!scene.ok()) {
        state.SkipWithError("no Direct3D device (no display?)");
        return;
    }
    ViewerScene::Pass();  // warm up: first frame, first update
    for (auto _ : state)
        for (int frame = 0; frame < kFrames; ++frame) ViewerScene::Pass();
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                                               benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ViewerFrameLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
