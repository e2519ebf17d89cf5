// Helpers shared by the viewer's tests: temporary folders, PNG files made
// on the spot, and a headless device.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/viewer.h"

namespace qv::viewer::testing {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-viewer-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data())) path_ = name.data();
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Writes an 8-bit RGB PNG whose pixel (column, row) is rgb(column, row) as
// 0xRRGGBB. Returns false when the file cannot be written.
inline bool WriteRgbPng(const std::string& path, std::uint32_t width, std::uint32_t height,
                        const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& rgb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<std::size_t>(width) * 3);
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::uint32_t r = 0; r < height; ++r) {
        for (std::uint32_t c = 0; c < width; ++c) {
            const std::uint32_t value = rgb(c, r);
            row[c * 3] = static_cast<png_byte>(value >> 16);
            row[c * 3 + 1] = static_cast<png_byte>(value >> 8);
            row[c * 3 + 2] = static_cast<png_byte>(value);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

// A full-size picture of one grey: a flat field.
inline bool WriteGreyHeightMap(const std::string& path, std::uint8_t grey) {
    const std::uint32_t value = grey * 0x010101u;
    return WriteRgbPng(path, kFieldWidth, kFieldHeight,
                       [value](std::uint32_t, std::uint32_t) { return value; });
}

// Makes `folder` the working directory for the lifetime of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }

private:
    std::filesystem::path previous_;
};

// Creates the Direct3D object and a device of `type` (windowless for
// NULLREF) into g_d3d and g_device; false when either cannot be had.
inline bool CreateViewerDevice(D3DDEVTYPE type, HWND window) {
    g_d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!g_d3d) return false;
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = kBackBufferWidth;
    parameters.BackBufferHeight = kBackBufferHeight;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(g_d3d->CreateDevice(0, type, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                   &parameters, &device)))
        return false;
    g_device = device;
    return g_device != nullptr;
}

// Releases everything the viewer's state holds and clears it, as the end of
// the viewer does, so that each test starts from the state at start-up.
inline void ResetViewerState() {
    ReleaseScene();
    if (g_device) g_device->Release();
    if (g_d3d) g_d3d->Release();
    g_device = nullptr;
    g_d3d = nullptr;
    g_windowed = false;
    g_elapsedSeconds = 0.0f;
    ResetFrameClock();
}

}  // namespace qv::viewer::testing
