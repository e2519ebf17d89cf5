// The HAL device draws real pixels through OpenGL: known triangles under
// known transforms, read back from the last presented frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorvane/platform/d3d9.h"
#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_user.h"

namespace {

struct Vertex {
    float x, y, z;
    D3DCOLOR color;
};

D3DMATRIX Identity() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

constexpr UINT kWidth = 800, kHeight = 600;

class DrawTest : public ::testing::Test {
protected:
    virtual BOOL Windowed() const { return TRUE; }

    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kWidth;
        pp.BackBufferHeight = kHeight;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = Windowed();
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_),
                  S_OK);
        ASSERT_EQ(device_->SetRenderState(D3DRS_LIGHTING, FALSE), S_OK);
        ASSERT_EQ(device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), S_OK);
    }
    void TearDown() override {
        for (IDirect3DVertexBuffer9* buffer : buffers_) buffer->Release();
        if (device_) device_->Release();
        if (d3d_) d3d_->Release();
    }

    IDirect3DVertexBuffer9* Buffer(const std::vector<Vertex>& vertices) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(Vertex));
        EXPECT_EQ(device_->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                              D3DPOOL_MANAGED, &buffer, nullptr),
                  S_OK);
        void* data = nullptr;
        EXPECT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_NOSYSLOCK), S_OK);
        std::memcpy(data, vertices.data(), bytes);
        EXPECT_EQ(buffer->Unlock(), S_OK);
        buffers_.push_back(buffer);
        return buffer;
    }

    // A square strip covering x0..x1, y0..y1 (clip units) at depth z.
    IDirect3DVertexBuffer9* Quad(float x0, float y0, float x1, float y1, float z, D3DCOLOR color) {
        return Buffer({{x0, y0, z, color}, {x0, y1, z, color}, {x1, y0, z, color}, {x1, y1, z, color}});
    }

    void DrawStrip(IDirect3DVertexBuffer9* buffer, UINT triangles = 2) {
        ASSERT_EQ(device_->SetStreamSource(0, buffer, 0, sizeof(Vertex)), S_OK);
        ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, triangles), S_OK);
    }

    qv::testing::PresentedFrame Present() {
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
        qv::testing::PresentedFrame frame;
        EXPECT_TRUE(qv::testing::ReadLastPresentedFrame(&frame));
        EXPECT_EQ(frame.width, kWidth);
        EXPECT_EQ(frame.height, kHeight);
        return frame;
    }

    static std::uint32_t At(const qv::testing::PresentedFrame& frame, UINT x, UINT y) {
        return frame.pixels.at(std::size_t{y} * frame.width + x);
    }

    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    std::vector<IDirect3DVertexBuffer9*> buffers_;
};

TEST_F(DrawTest, ClearColourFillsTheFrame) {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699u, 1.0f, 0), S_OK);
    const auto frame = Present();
    EXPECT_EQ(At(frame, 0, 0), 0x336699u);
    EXPECT_EQ(At(frame, 799, 599), 0x336699u);

    // A rectangle clears only its pixels, counted from the top row.
    const D3DRECT rect{10, 20, 30, 40};
    ASSERT_EQ(device_->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), S_OK);
    const auto second = Present();
    EXPECT_EQ(At(second, 10, 20), 0xFF0000u);
    EXPECT_EQ(At(second, 29, 39), 0xFF0000u);
    EXPECT_EQ(At(second, 30, 39), 0x336699u);
    EXPECT_EQ(At(second, 10, 19), 0x336699u);
}

TEST_F(DrawTest, StripUnderKnownTransformsLandsWhereTheMathSays) {
    // World: scale by 0.5; view: move right by 0.5; projection: identity.
    // The quad -1..1 becomes clip x 0..1, y -0.5..0.5: the right half of
    // the frame's middle band.
    D3DMATRIX world = Identity(), view = Identity();
    world.m[0][0] = world.m[1][1] = 0.5f;
    view.m[3][0] = 0.5f;  // translation in row 3, for row vectors
    ASSERT_EQ(device_->SetTransform(D3DTS_WORLD, &world), S_OK);
    ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &view), S_OK);
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
    IDirect3DVertexBuffer9* quad = Quad(-1, -1, 1, 1, 0.5f, 0xFF00FF00u);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    DrawStrip(quad);
    ASSERT_EQ(device_->EndScene(), S_OK);
    const auto frame = Present();
    EXPECT_EQ(At(frame, 600, 300), 0x00FF00u);
    EXPECT_EQ(At(frame, 405, 160), 0x00FF00u);  // near the top-left corner of the quad
    EXPECT_EQ(At(frame, 395, 300), 0u) << "left of x = 0";
    EXPECT_EQ(At(frame, 600, 140), 0u) << "above y = 0.5 (row 150)";
    EXPECT_EQ(At(frame, 600, 460), 0u) << "below y = -0.5 (row 450)";
}

TEST_F(DrawTest, DepthOrderFollowsZWhateverTheDrawOrder) {
    // Red near (z 0.2) drawn first, blue far (z 0.8) second: red stays in
    // front where they overlap, with the default less-or-equal depth test.
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
    IDirect3DVertexBuffer9* nearQuad = Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.2f, 0xFFFF0000u);
    IDirect3DVertexBuffer9* farQuad = Quad(0.0f, -1.0f, 1.0f, 1.0f, 0.8f, 0xFF0000FFu);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    DrawStrip(nearQuad);
    DrawStrip(farQuad);
    ASSERT_EQ(device_->EndScene(), S_OK);
    const auto frame = Present();
    EXPECT_EQ(At(frame, 450, 300), 0xFF0000u) << "overlap: the nearer red wins";
    EXPECT_EQ(At(frame, 700, 300), 0x0000FFu) << "blue alone";
    EXPECT_EQ(At(frame, 300, 300), 0xFF0000u) << "red alone";

    // Depth 1.1 is beyond the far plane: clipped away.
    IDirect3DVertexBuffer9* beyond = Quad(-1, -1, 1, 1, 1.1f, 0xFFFFFFFFu);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    DrawStrip(beyond);
    ASSERT_EQ(device_->EndScene(), S_OK);
    EXPECT_EQ(At(Present(), 100, 100), 0u);
}

TEST_F(DrawTest, CullModeDecidesWhichWindingIsDrawn) {
    // One triangle of each winding, as seen on the screen.
    IDirect3DVertexBuffer9* clockwise = Buffer({{-1, 0, 0.5f, 0xFFFFFFFFu}, {-1, 1, 0.5f, 0xFFFFFFFFu},
                                                {0, 0, 0.5f, 0xFFFFFFFFu}});  // left: on screen clockwise
    IDirect3DVertexBuffer9* counter = Buffer({{0, 0, 0.5f, 0xFFFFFFFFu}, {1, 1, 0.5f, 0xFFFFFFFFu},
                                              {0, 1, 0.5f, 0xFFFFFFFFu}});  // right: counter-clockwise
    struct Case {
        DWORD cull;
        bool clockwiseShown, counterShown;
    };
    const Case cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}};
    for (const Case& c : cases) {
        ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, c.cull), S_OK);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), S_OK);
        ASSERT_EQ(device_->BeginScene(), S_OK);
        DrawStrip(clockwise, 1);
        DrawStrip(counter, 1);
        ASSERT_EQ(device_->EndScene(), S_OK);
        const auto frame = Present();
        EXPECT_EQ(At(frame, 150, 250), c.clockwiseShown ? 0xFFFFFFu : 0u) << "cull " << c.cull;
        EXPECT_EQ(At(frame, 450, 100), c.counterShown ? 0xFFFFFFu : 0u) << "cull " << c.cull;
    }
}

TEST_F(DrawTest, LightingWithoutLightsDrawsBlack) {
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
    IDirect3DVertexBuffer9* quad = Quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFFu);
    ASSERT_EQ(device_->SetRenderState(D3DRS_LIGHTING, TRUE), S_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF808080u, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    DrawStrip(quad);
    ASSERT_EQ(device_->EndScene(), S_OK);
    EXPECT_EQ(At(Present(), 400, 300), 0u);
}

TEST_F(DrawTest, RelockedManagedBufferIsDrawnWithItsNewContents) {
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
    IDirect3DVertexBuffer9* quad = Quad(-1, -1, 1, 1, 0.5f, 0xFF00FF00u);
    Vertex* vertices = nullptr;
    ASSERT_EQ(quad->Lock(0, 0, reinterpret_cast<void**>(&vertices), 0), S_OK);
    for (int i = 0; i < 4; ++i) vertices[i].color = 0xFFFFFF00u;
    ASSERT_EQ(quad->Unlock(), S_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    DrawStrip(quad);
    // Reading past the buffer's end is refused, not drawn.
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3), D3DERR_INVALIDCALL);
    ASSERT_EQ(device_->EndScene(), S_OK);
    EXPECT_EQ(At(Present(), 400, 300), 0xFFFF00u);
}

TEST_F(DrawTest, TheLastFrameSurvivesTheDevice) {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456u, 1.0f, 0), S_OK);
    Present();
    device_->Release();
    device_ = nullptr;
    qv::testing::PresentedFrame frame;
    ASSERT_TRUE(qv::testing::ReadLastPresentedFrame(&frame));
    EXPECT_EQ(frame.pixels.at(0), 0x123456u);
}

// Full screen: an 800 x 600 mode, or (as on a display without one) a
// full-screen window showing the back buffer scaled. Either way the frame
// is the 800 x 600 back buffer.
class FullScreenDrawTest : public DrawTest {
protected:
    BOOL Windowed() const override { return FALSE; }
};

TEST_F(FullScreenDrawTest, DrawsTheBackBufferAndShowsIt) {
    ASSERT_EQ(device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
    IDirect3DVertexBuffer9* quad = Quad(0, 0, 1, 1, 0.5f, 0xFF00FF00u);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FFu, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    DrawStrip(quad);
    ASSERT_EQ(device_->EndScene(), S_OK);
    const auto frame = Present();
    EXPECT_EQ(At(frame, 100, 500), 0x0000FFu);
    EXPECT_EQ(At(frame, 700, 100), 0x00FF00u) << "the top-right quarter";
}

}  // namespace
