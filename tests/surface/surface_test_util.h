// A NULLREF device and small helpers for the surface tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "quorvane/platform/d3d9.h"

namespace qv::test {

template <typename T>
void SafeRelease(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// Owns a counted reference.
template <typename T>
class Ref {
public:
    Ref() = default;
    ~Ref() { SafeRelease(p_); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T** operator&() { SafeRelease(p_); return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 64;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        ASSERT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_NULLREF, nullptr,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_),
                  S_OK);
    }
    void TearDown() override {
        SafeRelease(device_);
        SafeRelease(d3d_);
    }

    IDirect3DSurface9* Scratch(UINT width, UINT height, D3DFORMAT format) {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(width, height, format, D3DPOOL_SCRATCH, &surface, nullptr),
                  S_OK);
        return surface;
    }

    // A level-0 surface of a texture in `pool`; the caller releases both.
    IDirect3DSurface9* TextureLevel(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DTexture9** texture) {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(device_->CreateTexture(width, height, levels, usage, format, pool, texture, nullptr), S_OK);
        if (*texture != nullptr) {
            EXPECT_EQ((*texture)->GetSurfaceLevel(0, &surface), S_OK);
        }
        return surface;
    }

    // Every 32-bit word of a 32-bit surface, rows packed.
    static std::vector<std::uint32_t> Words(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        std::vector<std::uint32_t> out(std::size_t{desc.Width} * desc.Height);
        D3DLOCKED_RECT locked{};
        if (FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            ADD_FAILURE() << "cannot lock the surface to read it";
            return {};
        }
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(&out[std::size_t{y} * desc.Width], static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch,
                        std::size_t{desc.Width} * 4);
        surface->UnlockRect();
        return out;
    }

    static void Fill(IDirect3DSurface9* surface, const std::vector<std::uint32_t>& words) {
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, &words[std::size_t{y} * desc.Width],
                        std::size_t{desc.Width} * 4);
        surface->UnlockRect();
    }

    // Reads a surface that cannot be locked (default pool) through a lockable
    // render target.
    std::vector<std::uint32_t> ReadBack(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        Ref<IDirect3DSurface9> target;
        EXPECT_EQ(device_->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                              &target, nullptr),
                  S_OK);
        if (!target) return {};
        EXPECT_EQ(device_->StretchRect(surface, nullptr, target.get(), nullptr, D3DTEXF_NONE), S_OK);
        return Words(target.get());
    }

    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

// Pseudo-random 32-bit words.
inline std::vector<std::uint32_t> Pattern(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint32_t> out(count);
    for (auto& w : out) {
        seed = seed * 1664525u + 1013904223u;
        w = seed;
    }
    return out;
}

}  // namespace qv::test
