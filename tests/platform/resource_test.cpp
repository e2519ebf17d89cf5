// The Direct3D resource core on a NULLREF device: creation, pitches, locks,
// pool rules, copies, reference counts, and drawing calls that draw nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorvane/platform/d3d9.h"
#include "quorvane/platform/test_hooks.h"

namespace {

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                     &device_),
                  S_OK);
        qv::testing::CaptureDebugOutput(true);
    }
    void TearDown() override {
        qv::testing::CaptureDebugOutput(false);
        if (device_) {
            EXPECT_EQ(device_->Release(), 0u) << "every resource released before the device";
        }
        if (d3d_) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
    }

    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

TEST_F(ResourceTest, PitchOfEveryFormat) {
    // Typed from the pixel format table: bytes per pixel, two pixels per
    // 4 bytes for pair formats, 8 or 16 bytes per 4 x 4 block for DXT.
    struct Case {
        D3DFORMAT format;
        INT pitchOf7;  // pitch of a surface 7 pixels wide
    };
    const D3DFORMAT al16 = static_cast<D3DFORMAT>(MakeFourCC('A', 'L', '1', '6'));
    const D3DFORMAT r16 = static_cast<D3DFORMAT>(MakeFourCC(' ', 'R', '1', '6'));
    const Case cases[] = {
        {D3DFMT_R8G8B8, 21},        {D3DFMT_A8R8G8B8, 28},      {D3DFMT_X8R8G8B8, 28},
        {D3DFMT_R5G6B5, 14},        {D3DFMT_X1R5G5B5, 14},      {D3DFMT_A8P8, 14},
        {D3DFMT_P8, 7},             {D3DFMT_A1R5G5B5, 14},      {D3DFMT_A4R4G4B4, 14},
        {D3DFMT_R3G3B2, 7},         {D3DFMT_A8, 7},             {D3DFMT_A8R3G3B2, 14},
        {D3DFMT_X4R4G4B4, 14},      {D3DFMT_A2B10G10R10, 28},   {D3DFMT_A8B8G8R8, 28},
        {D3DFMT_X8B8G8R8, 28},      {D3DFMT_G16R16, 28},        {D3DFMT_A2R10G10B10, 28},
        {D3DFMT_A16B16G16R16, 56},  {D3DFMT_L8, 7},             {D3DFMT_A8L8, 14},
        {D3DFMT_A4L4, 7},           {D3DFMT_L16, 14},           {D3DFMT_V8U8, 14},
        {D3DFMT_L6V5U5, 14},        {D3DFMT_X8L8V8U8, 28},      {D3DFMT_Q8W8V8U8, 28},
        {D3DFMT_V16U16, 28},        {D3DFMT_A2W10V10U10, 28},   {D3DFMT_Q16W16V16U16, 56},
        {D3DFMT_CxV8U8, 14},        {D3DFMT_UYVY, 16},          {D3DFMT_R8G8_B8G8, 16},
        {D3DFMT_YUY2, 16},          {D3DFMT_G8R8_G8B8, 16},     {D3DFMT_DXT1, 16},
        {D3DFMT_DXT2, 32},          {D3DFMT_DXT3, 32},          {D3DFMT_DXT4, 32},
        {D3DFMT_DXT5, 32},          {D3DFMT_D16_LOCKABLE, 14},  {D3DFMT_D32F_LOCKABLE, 28},
        {D3DFMT_D32, 28},           {D3DFMT_D15S1, 14},         {D3DFMT_D24S8, 28},
        {D3DFMT_D16, 14},           {D3DFMT_D24X8, 28},         {D3DFMT_D24X4S4, 28},
        {D3DFMT_D24FS8, 28},        {D3DFMT_R16F, 14},          {D3DFMT_G16R16F, 28},
        {D3DFMT_A16B16G16R16F, 56}, {D3DFMT_R32F, 28},          {D3DFMT_G32R32F, 56},
        {D3DFMT_A32B32G32R32F, 112}, {al16, 28},                {r16, 42},
    };
    ASSERT_EQ(std::size(cases), 57u);
    for (const Case& c : cases) {
        for (D3DPOOL pool : {D3DPOOL_SCRATCH, D3DPOOL_SYSTEMMEM}) {
            IDirect3DSurface9* surface = nullptr;
            ASSERT_EQ(device_->CreateOffscreenPlainSurface(7, 5, c.format, pool, &surface, nullptr), S_OK)
                << std::hex << c.format;
            D3DLOCKED_RECT locked{};
            ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
            EXPECT_EQ(locked.Pitch, c.pitchOf7) << std::hex << c.format;
            // Every byte of the last row (of blocks: 5 rows are 2 of them)
            // is there to write.
            const bool block = c.format == D3DFMT_DXT1 || c.format == D3DFMT_DXT2 || c.format == D3DFMT_DXT3 ||
                               c.format == D3DFMT_DXT4 || c.format == D3DFMT_DXT5;
            const int rows = block ? 2 : 5;
            std::memset(locked.pBits, 0xAB, static_cast<std::size_t>(locked.Pitch) * rows);
            EXPECT_EQ(surface->UnlockRect(), S_OK);
            surface->Release();
        }
    }
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(7, 5, static_cast<D3DFORMAT>(12345), D3DPOOL_SCRATCH, &surface,
                                                   nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(surface, nullptr);
}

TEST_F(ResourceTest, RectangleLocksPointAtTheFirstPixel) {
    struct Case {
        D3DFORMAT format;
        RECT rect;
        std::ptrdiff_t offset;  // from the whole surface's first byte; -1: refused
    };
    // 16 x 16 surfaces: pitch 64 (A8R8G8B8), 32 (YUY2), 32 (DXT1), 64 (DXT5).
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, {0, 0, 10, 10}, 0},
        {D3DFMT_A8R8G8B8, {3, 2, 5, 4}, 2 * 64 + 3 * 4},
        {D3DFMT_A8R8G8B8, {5, 5, 5, 5}, 5 * 64 + 5 * 4},  // empty: allowed
        {D3DFMT_A8R8G8B8, {0, 0, 17, 1}, -1},
        {D3DFMT_A8R8G8B8, {4, 0, 3, 1}, -1},
        {D3DFMT_A8R8G8B8, {-1, 0, 3, 1}, -1},
        {D3DFMT_YUY2, {2, 1, 8, 2}, 1 * 32 + 1 * 4},
        {D3DFMT_YUY2, {3, 1, 8, 2}, -1},
        {D3DFMT_DXT1, {4, 8, 12, 16}, 2 * 32 + 1 * 8},
        {D3DFMT_DXT1, {5, 8, 12, 16}, -1},
        {D3DFMT_DXT5, {8, 4, 16, 8}, 1 * 64 + 2 * 16},
    };
    for (const Case& c : cases) {
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(device_->CreateOffscreenPlainSurface(16, 16, c.format, D3DPOOL_SYSTEMMEM, &surface, nullptr), S_OK);
        D3DLOCKED_RECT whole{}, part{};
        ASSERT_EQ(surface->LockRect(&whole, nullptr, 0), S_OK);
        ASSERT_EQ(surface->UnlockRect(), S_OK);
        const HRESULT hr = surface->LockRect(&part, &c.rect, 0);
        if (c.offset < 0) {
            EXPECT_EQ(hr, D3DERR_INVALIDCALL) << c.rect.left << "," << c.rect.top;
        } else {
            ASSERT_EQ(hr, S_OK);
            EXPECT_EQ(static_cast<std::uint8_t*>(part.pBits) - static_cast<std::uint8_t*>(whole.pBits), c.offset);
            EXPECT_EQ(part.Pitch, whole.Pitch);
            EXPECT_EQ(surface->UnlockRect(), S_OK);
        }
        surface->Release();
    }
}

TEST_F(ResourceTest, PoolRulesForLocks) {
    qv::testing::TakeDebugOutput();
    struct Case {
        const char* what;
        D3DPOOL pool;
        DWORD usage;
        bool lockable;
    };
    const Case textures[] = {
        {"scratch", D3DPOOL_SCRATCH, 0, true},
        {"system memory", D3DPOOL_SYSTEMMEM, 0, true},
        {"managed", D3DPOOL_MANAGED, 0, true},
        {"default", D3DPOOL_DEFAULT, 0, false},
        {"default dynamic", D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, true},
        {"default render target", D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, false},
    };
    for (const Case& c : textures) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(8, 8, 1, c.usage, D3DFMT_A8R8G8B8, c.pool, &texture, nullptr), S_OK) << c.what;
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0)), c.lockable) << c.what;
        if (c.lockable) {
            EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "locked twice";
            EXPECT_EQ(texture->UnlockRect(0), S_OK);
        }
        EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL) << "not locked";
        texture->Release();
    }
    // A refused lock says why on the debug output, unless muted.
    int refusals = 0;
    for (const std::string& line : qv::testing::TakeDebugOutput()) {
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        if (line.find("D3DPOOL_DEFAULT cannot be locked") != std::string::npos) ++refusals;
    }
    EXPECT_EQ(refusals, 2) << "the default-pool texture and render-target texture";

    HMODULE d3d9 = GetModuleHandleA("d3d9.dll");
    ASSERT_NE(d3d9, nullptr) << "creating the Direct3D object loads the module";
    auto mute = reinterpret_cast<int (*)(int)>(reinterpret_cast<void (*)()>(GetProcAddress(d3d9, "DebugSetMute")));
    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &plain, nullptr), S_OK);
    D3DLOCKED_RECT locked{};
    mute(1);
    EXPECT_EQ(plain->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    mute(0);
    EXPECT_TRUE(qv::testing::TakeDebugOutput().empty());
    plain->Release();

    // Render targets lock only when created lockable.
    for (BOOL lockable : {FALSE, TRUE}) {
        IDirect3DSurface9* target = nullptr;
        ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, lockable, &target, nullptr),
                  S_OK);
        EXPECT_EQ(SUCCEEDED(target->LockRect(&locked, nullptr, 0)), lockable != FALSE);
        if (lockable) target->UnlockRect();
        target->Release();
    }

    // Creation rules.
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateTexture(8, 8, 5, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &texture, nullptr),
              D3DERR_INVALIDCALL) << "8 x 8 has four levels";
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &plain, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(100000, 8, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &plain, nullptr),
              D3DERR_INVALIDCALL);
    qv::testing::TakeDebugOutput();
}

TEST_F(ResourceTest, TextureLevelsAndContainers) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(16, 4, 0, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetLevelCount(), 5u) << "16x4, 8x2, 4x1, 2x1, 1x1";
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(texture->GetLevelDesc(3, &desc), S_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(desc.Format, D3DFMT_DXT1);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(texture->GetLevelDesc(5, &desc), D3DERR_INVALIDCALL);

    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(3, &level), S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(level->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(locked.Pitch, 8) << "a level smaller than a block still takes one";
    level->UnlockRect();

    IDirect3DTexture9* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), S_OK);
    EXPECT_EQ(container, texture);
    container->Release();
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(level->GetDevice(&owner), S_OK);
    EXPECT_EQ(owner, device_);
    owner->Release();

    // The level keeps the texture alive: they count together.
    EXPECT_EQ(texture->Release(), 1u);
    EXPECT_EQ(level->Release(), 0u);

    IDirect3DSurface9* plain = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &plain, nullptr), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_TRUE(FAILED(plain->GetContainer(IID_IDirect3DTexture9, &none)));
    EXPECT_EQ(none, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(plain->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(plain->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&unknown)), E_NOINTERFACE);
    EXPECT_EQ(plain->Release(), 0u);
}

TEST_F(ResourceTest, ResourcesHoldTheirDevice) {
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    EXPECT_EQ(device_->AddRef(), 2u);
    EXPECT_EQ(device_->Release(), 1u);
    // Released in the wrong order, the device stays until the surface goes.
    EXPECT_EQ(device_->Release(), 0u);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
    surface->UnlockRect();
    EXPECT_EQ(surface->Release(), 0u);
    device_ = nullptr;
}

// Fills a 32-bit surface (lockable) with value(x, y).
template <typename F>
void Fill(IDirect3DSurface9* surface, F value) {
    D3DSURFACE_DESC desc{};
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
    for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x)
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                value(x, y);
    surface->UnlockRect();
}

std::uint32_t Pixel(IDirect3DSurface9* surface, UINT x, UINT y) {
    D3DLOCKED_RECT locked{};
    if (FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return 0xDEADBEEFu;
    const std::uint32_t value =
        reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch)[x];
    surface->UnlockRect();
    return value;
}

TEST_F(ResourceTest, UpdateSurfaceAndStretchRectCopyExactly) {
    // System memory -> default-pool level -> lockable render target: the
    // way a surface in the default pool is read and written.
    IDirect3DSurface9* system = nullptr;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DSurface9* level = nullptr;
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(6, 5, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), S_OK);
    ASSERT_EQ(device_->CreateTexture(6, 5, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), S_OK);
    ASSERT_EQ(device_->CreateRenderTarget(6, 5, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &target, nullptr),
              S_OK);
    Fill(system, [](UINT x, UINT y) { return 0x10000u * y + x; });
    ASSERT_EQ(device_->UpdateSurface(system, nullptr, level, nullptr), S_OK);
    ASSERT_EQ(device_->StretchRect(level, nullptr, target, nullptr, D3DTEXF_NONE), S_OK);
    for (UINT y = 0; y < 5; ++y)
        for (UINT x = 0; x < 6; ++x) ASSERT_EQ(Pixel(target, x, y), 0x10000u * y + x);

    // A part at a point.
    const RECT part{1, 1, 3, 2};
    const POINT at{4, 3};
    ASSERT_EQ(device_->UpdateSurface(system, &part, level, &at), S_OK);
    ASSERT_EQ(device_->StretchRect(level, nullptr, target, nullptr, D3DTEXF_NONE), S_OK);
    EXPECT_EQ(Pixel(target, 4, 3), 0x10001u);
    EXPECT_EQ(Pixel(target, 5, 3), 0x10002u);
    EXPECT_EQ(Pixel(target, 3, 3), 0x30003u);

    // Pool and shape rules.
    const POINT outside{5, 0};
    EXPECT_EQ(device_->UpdateSurface(system, &part, level, &outside), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->UpdateSurface(level, nullptr, system, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device_->StretchRect(system, nullptr, target, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    IDirect3DSurface9* other = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(6, 5, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &other, nullptr), S_OK);
    EXPECT_EQ(device_->StretchRect(level, nullptr, other, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL)
        << "no format conversion";
    qv::testing::TakeDebugOutput();
    for (IUnknown* object : std::initializer_list<IUnknown*>{other, target, level, texture, system}) object->Release();
}

TEST_F(ResourceTest, VertexBuffersAndDrawingCallsOnNullRef) {
    struct Case {
        D3DPOOL pool;
        DWORD usage;
        HRESULT expected;
    };
    const Case cases[] = {{D3DPOOL_MANAGED, D3DUSAGE_WRITEONLY, S_OK},
                          {D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, S_OK},
                          {D3DPOOL_SYSTEMMEM, 0, S_OK},
                          {D3DPOOL_SCRATCH, 0, D3DERR_INVALIDCALL},
                          {D3DPOOL_MANAGED, D3DUSAGE_DYNAMIC, D3DERR_INVALIDCALL}};
    for (const Case& c : cases) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        EXPECT_EQ(device_->CreateVertexBuffer(64, c.usage, D3DFVF_XYZ | D3DFVF_DIFFUSE, c.pool, &buffer, nullptr),
                  c.expected);
        if (buffer) buffer->Release();
    }
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_MANAGED,
                                          &buffer, nullptr),
              S_OK);
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Size, 64u);
    EXPECT_EQ(desc.FVF, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    void* data = nullptr;
    EXPECT_EQ(buffer->Lock(60, 8, &data, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(buffer->Lock(16, 0, &data, D3DLOCK_NOSYSLOCK), S_OK);  // 0: to the end
    std::memset(data, 0, 48);
    ASSERT_EQ(buffer->Unlock(), S_OK);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);

    // Drawing validates and draws nothing.
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL) << "outside a scene";
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    ASSERT_EQ(device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), S_OK);
    ASSERT_EQ(device_->SetStreamSource(0, buffer, 0, 16), S_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3), D3DERR_INVALIDCALL) << "five vertices of four";
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), S_OK);
    ASSERT_EQ(device_->EndScene(), S_OK);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), S_OK);

    // The device keeps its states, with the defaults of a device that has a
    // depth buffer.
    DWORD value = 0;
    ASSERT_EQ(device_->GetRenderState(D3DRS_ZENABLE, &value), S_OK);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    ASSERT_EQ(device_->GetRenderState(D3DRS_ZFUNC, &value), S_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCMP_LESSEQUAL));
    ASSERT_EQ(device_->GetRenderState(D3DRS_CULLMODE, &value), S_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CCW));
    D3DMATRIX view{};
    view.m[3][0] = 5.0f;
    ASSERT_EQ(device_->SetTransform(D3DTS_VIEW, &view), S_OK);
    D3DMATRIX back{};
    ASSERT_EQ(device_->GetTransform(D3DTS_VIEW, &back), S_OK);
    EXPECT_EQ(back.m[3][0], 5.0f);

    // The stream holds the buffer until it is replaced, or the device goes
    // (TearDown checks that the device then really goes).
    EXPECT_EQ(buffer->Release(), 1u);
    qv::testing::TakeDebugOutput();
}

TEST_F(ResourceTest, DeviceCreationFailuresSayWhy) {
    D3DCAPS9 caps{};
    ASSERT_EQ(d3d_->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), S_OK);
    EXPECT_NE(caps.DevCaps, 0u);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION + 1), nullptr);

    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_X8R8G8B8;  // not a depth format
    IDirect3DDevice9* device = nullptr;
    qv::testing::TakeDebugOutput();
    EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_NULLREF, nullptr, 0, &pp, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(qv::testing::TakeDebugOutput().size(), 1u);

    // Without a display a HAL device cannot be had: one line says so.
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    EXPECT_TRUE(FAILED(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device)));
    EXPECT_EQ(device, nullptr);
    const auto lines = qv::testing::TakeDebugOutput();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("display"), std::string::npos) << lines[0];
    if (display) setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
