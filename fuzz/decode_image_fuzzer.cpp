// Fuzzes DecodeImageFile over every reader.
//
// The last input byte picks the options (bit 0: decode pixels, bit 1: pass no
// ImageInfo); the bytes before it are the file image, copied into a buffer of
// exactly that size so a read one byte past its end is caught. After each
// call the invariants of the reader contract are checked: a failure leaves no
// owned memory, no chain and the numeric locale as it was; a success
// describes pixel memory that can be read in full.
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorvane/image/decoded_image.h"
#include "quorvane/pixel/pixel_format.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

volatile std::uint32_t g_sink;

// Bytes of one row of pixels as the surface transfer reads them.
std::uint64_t RowBytes(const qv::DecodedImage& image) {
    switch (static_cast<std::uint32_t>(image.format)) {
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8: return image.rowPitch;
    default: return (static_cast<std::uint64_t>(image.width) * qv::LookUpPixelFormat(image.format).bitsPerPixel + 7) / 8;
    }
}

std::uint64_t RowCount(const qv::DecodedImage& image) {
    switch (static_cast<std::uint32_t>(image.format)) {
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return (image.height + 3ull) / 4;
    default: return image.height;
    }
}

// Reads every byte the record describes; AddressSanitizer reports any that
// lies outside the pixel memory or the file image.
void TouchPixels(const qv::DecodedImage& image) {
    Check(image.width != 0 && image.height != 0 && image.depth != 0);
    if (image.palette != nullptr) {
        std::uint32_t sum = 0;
        for (int i = 0; i < 256; ++i) sum += image.palette[i].peRed + image.palette[i].peFlags;
        g_sink = sum;
    }
    if (image.pixels == nullptr) return;
    const std::uint64_t rowBytes = RowBytes(image);
    Check(rowBytes <= image.rowPitch);
    const auto* base = static_cast<const std::uint8_t*>(image.pixels);
    std::uint32_t sum = 0;
    for (std::uint32_t z = 0; z < image.depth; ++z) {
        for (std::uint64_t y = 0; y < RowCount(image); ++y) {
            const std::uint8_t* row = base + z * static_cast<std::uint64_t>(image.slicePitch) + y * image.rowPitch;
            for (std::uint64_t x = 0; x < rowBytes; ++x) sum += row[x];
        }
    }
    g_sink = sum;
}

std::string NumericLocale() {
    const char* name = std::setlocale(LC_NUMERIC, nullptr);
    return name != nullptr ? name : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > (1u << 20)) return 0;
    const std::uint8_t options = data[size - 1];
    const bool decodePixels = (options & 1) != 0;
    const bool withInfo = (options & 2) == 0;
    const std::vector<std::uint8_t> file(data, data + size - 1);

    const std::string localeBefore = NumericLocale();
    qv::DecodedImage image;
    qv::ImageInfo info{};
    const HRESULT hr = qv::DecodeImageFile(&image, file.data(), static_cast<std::uint32_t>(file.size()),
                                           withInfo ? &info : nullptr, decodePixels);
    Check(NumericLocale() == localeBefore);

    if (FAILED(hr)) {
        Check(hr == qv::QVERR_INVALIDDATA);
        Check(image.pixels == nullptr && image.palette == nullptr);
        Check(image.nextLevel == nullptr && image.nextFace == nullptr);
        Check(!image.ownsPixels && !image.ownsPalette);
        return 0;
    }
    if (!withInfo && !decodePixels) return 0;  // nothing was asked for
    if (withInfo) {
        Check(info.width == image.width && info.height == image.height && info.depth == image.depth);
        Check(info.mipLevels >= 1);
    }
    for (const qv::DecodedImage* face = &image; face != nullptr; face = face->nextFace) {
        for (const qv::DecodedImage* level = face; level != nullptr; level = level->nextLevel) {
            Check(level->sourceBox.right == level->width && level->sourceBox.bottom == level->height);
            if (decodePixels) Check(level->pixels != nullptr);
            TouchPixels(*level);
        }
    }
    return 0;
}
