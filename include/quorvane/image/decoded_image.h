// The decoded picture of an image file, the file's description, and the
// dispatch that picks a reader by content.
#pragma once

#include <cstdint>

#include "quorvane/platform/d3d9_types.h"
#include "quorvane/platform/win_types.h"

namespace qv {

// Malformed or unrecognised image data.
inline constexpr HRESULT QVERR_INVALIDDATA = MakeResultCode(0x88760B59u);

enum class ImageFileFormat : std::uint32_t {
    Bmp = 0,
    Jpg = 1,
    Tga = 2,
    Png = 3,
    Dds = 4,
    Ppm = 5,
    Dib = 6,
    Hdr = 7,
    Pfm = 8,
};

struct ImageBox {
    std::uint32_t left;
    std::uint32_t top;
    std::uint32_t right;
    std::uint32_t bottom;
    std::uint32_t front;
    std::uint32_t back;
};

// One image, mip level or cube face. Chained records (nextLevel, nextFace)
// are heap objects owned by the record pointing to them.
struct DecodedImage {
    DecodedImage() = default;
    ~DecodedImage();
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;

    // Frees owned memory and chains and returns the record to its empty state.
    void Release();

    D3DFORMAT format = D3DFMT_UNKNOWN;
    void* pixels = nullptr;          // top row of the first slice
    PALETTEENTRY* palette = nullptr; // 256 entries for P8 and A8P8
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0;
    ImageBox sourceBox{};
    std::uint32_t rowPitch = 0;      // for DXT: per row of 4 x 4 blocks
    std::uint32_t slicePitch = 0;
    bool ownsPixels = false;         // pixels allocated with operator new[] (std::uint8_t)
    bool ownsPalette = false;        // palette allocated with new PALETTEENTRY[256]
    bool decodePixels = false;
    D3DRESOURCETYPE resourceType = D3DRTYPE_TEXTURE;
    ImageFileFormat fileFormat = ImageFileFormat::Bmp;
    DecodedImage* nextLevel = nullptr;
    DecodedImage* nextFace = nullptr;
};

struct ImageInfo {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t depth;
    std::uint32_t mipLevels;
    D3DFORMAT format;
    D3DRESOURCETYPE resourceType;
    ImageFileFormat fileFormat;
};

// Maps the internal 16-bit formats to the nearest Direct3D format.
D3DFORMAT ClosestExternalFormat(D3DFORMAT format);

// Decodes the file image `data` (`size` bytes) into `image`, which must be
// freshly constructed. `info` may be null. S_OK, D3DERR_INVALIDCALL for no
// data, QVERR_INVALIDDATA when no reader accepts the bytes.
HRESULT DecodeImageFile(DecodedImage* image, const void* data, std::uint32_t size,
                        ImageInfo* info, bool decodePixels);

}  // namespace qv
