// The viewer's scene drawn through the Direct3D layer (HAL device) and
// through raw OpenGL in the same process, frame for frame: prints both frame
// times and the layer's cost as a ratio. Goal: at most 1.05.
//
// Needs a display (run under xvfb-run); says so and exits 0 without one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/platform/raw_gl_scene.h"
#include "quorvane/platform/d3d9.h"

namespace {

using qv::bench::SceneVertex;

class LayerScene {
public:
    ~LayerScene() {
        for (IDirect3DVertexBuffer9* buffer : buffers_) buffer->Release();
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
    }

    bool Open(const std::vector<SceneVertex>& vertices) {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = qv::bench::kSceneWidth;
        pp.BackBufferHeight = qv::bench::kSceneHeight;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;  // measure drawing, not the display
        if (!d3d_ || FAILED(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                              &device_)))
            return false;
        const UINT bytes = qv::bench::kSceneVerticesPerBuffer * sizeof(SceneVertex);
        for (int j = 0; j < qv::bench::kSceneBuffers; ++j) {
            IDirect3DVertexBuffer9* buffer = nullptr;
            if (FAILED(device_->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                                   D3DPOOL_MANAGED, &buffer, nullptr)))
                return false;
            buffers_.push_back(buffer);
            void* data = nullptr;
            buffer->Lock(0, 0, &data, D3DLOCK_NOSYSLOCK);
            std::memcpy(data, vertices.data() + static_cast<std::size_t>(j) * qv::bench::kSceneVerticesPerBuffer, bytes);
            buffer->Unlock();
        }
        D3DMATRIX identity{};
        for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
        device_->SetTransform(D3DTS_WORLD, &identity);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        return true;
    }

    // One frame as the viewer draws it, with the view and projection set
    // per frame as the viewer sets them; returns when the GL has finished.
    void DrawFrame(const qv::bench::SceneMatrix& view, const qv::bench::SceneMatrix& projection) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        device_->BeginScene();
        device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        for (int j = 0; j < qv::bench::kSceneDrawnStrips; ++j) {
            device_->SetStreamSource(0, buffers_[j], 0, sizeof(SceneVertex));
            device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, qv::bench::kSceneStripVertices - 2);
        }
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
        device_->SetTransform(D3DTS_PROJECTION, reinterpret_cast<const D3DMATRIX*>(&projection));
        device_->SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(&view));
        glFinish();
    }

private:
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    std::vector<IDirect3DVertexBuffer9*> buffers_;
};

struct Scenes {
    LayerScene layer;
    qv::bench::RawGlScene raw;
    qv::bench::SceneMatrix view{}, projection{}, product{};
    bool open = false;
};

Scenes* g_scenes = nullptr;

double SecondsOf(const std::chrono::steady_clock::duration& d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::vector<SceneVertex> vertices = qv::bench::SyntheticScene();
    const float eye[3] = {500.0f, 30.0f, -500.0f}, at[3] = {500.0f, 30.0f, -499.0f};
    Scenes scenes;
    scenes.view = qv::bench::SceneLookAt(eye, at);
    scenes.projection = qv::bench::ScenePerspective(3.14159265f / 4, 4.0f / 3.0f, 1.0f, 1500.0f);
    scenes.product = qv::bench::SceneMultiply(scenes.view, scenes.projection);
    std::string why;
    if (!scenes.raw.Open(vertices, &why) || !scenes.layer.Open(vertices)) {
        std::printf("qv_platform_bench: no display or OpenGL (%s); nothing measured\n", why.c_str());
        return 0;
    }
    g_scenes = &scenes;

    // Interleaved rounds, so both paths meet the same machine load; the
    // median frame of each path is reported.
    constexpr int kRounds = 7, kFramesPerRound = 3;
    std::vector<double> layerFrames, rawFrames;
    for (int round = 0; round < kRounds; ++round) {
        for (int frame = 0; frame < kFramesPerRound; ++frame) {
            scenes.raw.MakeCurrent();
            auto start = std::chrono::steady_clock::now();
            scenes.raw.DrawFrame(scenes.product);
            rawFrames.push_back(SecondsOf(std::chrono::steady_clock::now() - start));
        }
        for (int frame = 0; frame < kFramesPerRound; ++frame) {
            auto start = std::chrono::steady_clock::now();
            scenes.layer.DrawFrame(scenes.view, scenes.projection);
            layerFrames.push_back(SecondsOf(std::chrono::steady_clock::now() - start));
        }
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double layer = median(layerFrames), raw = median(rawFrames);
    std::printf("viewer scene, 765 strips of 1532 vertices, 800x600, 16-bit depth (median of %d frames)\n",
                kRounds * kFramesPerRound);
    std::printf("  raw OpenGL:      %8.2f ms/frame\n", raw * 1e3);
    std::printf("  Direct3D layer:  %8.2f ms/frame\n", layer * 1e3);
    std::printf("  layer / raw:     %8.3f (goal: at most 1.05)\n", layer / raw);
    benchmark::Shutdown();
    return 0;
}
