// Truevision TGA files: colour-mapped, true-colour and greyscale, raw or
// run-length encoded, in any of the four origins.
//
// TGA has no magic value, so the header is tested for plausibility only and
// the dispatch tries this reader after every format that has one. Raw files
// stored top row first and left to right stay in the file image; everything
// else is decoded whole pixels at a time into memory of the reader's own.
#include <cstdint>
#include <cstring>

#include "image/byte_cursor.h"
#include "image/readers.h"

namespace qv {
namespace {

constexpr std::uint8_t kRunLengthBit = 0x08;
constexpr std::uint8_t kTopDownBit = 0x20;
constexpr std::uint8_t kRightToLeftBit = 0x10;

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colorMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t firstEntry = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t entryBits = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelBits = 0;
    std::uint8_t descriptor = 0;
};

bool ReadHeader(ByteCursor& cursor, TgaHeader* h) {
    return cursor.ReadU8(&h->idLength) && cursor.ReadU8(&h->colorMapType) && cursor.ReadU8(&h->imageType) &&
           cursor.ReadU16(&h->firstEntry) && cursor.ReadU16(&h->mapLength) && cursor.ReadU8(&h->entryBits) &&
           cursor.Skip(4) && cursor.ReadU16(&h->width) && cursor.ReadU16(&h->height) &&
           cursor.ReadU8(&h->pixelBits) && cursor.ReadU8(&h->descriptor);
}

D3DFORMAT ChooseFormat(const TgaHeader& h) {
    switch (h.imageType & 3) {
    case 1:  // colour-mapped
        return h.colorMapType == 1 && h.pixelBits == 8 ? D3DFMT_P8 : D3DFMT_UNKNOWN;
    case 2:  // true colour
        switch (h.pixelBits) {
        case 15: return D3DFMT_X1R5G5B5;
        case 16: return D3DFMT_A1R5G5B5;
        case 24: return D3DFMT_R8G8B8;
        case 32: return D3DFMT_A8R8G8B8;
        default: return D3DFMT_UNKNOWN;
        }
    case 3:  // greyscale
        return h.pixelBits == 8 ? D3DFMT_L8 : D3DFMT_UNKNOWN;
    default: return D3DFMT_UNKNOWN;
    }
}

std::uint8_t Widen5(std::uint32_t v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }

void BuildPalette(const TgaHeader& h, const std::uint8_t* map, PALETTEENTRY* palette) {
    PALETTEENTRY* out = palette + h.firstEntry;
    const std::uint32_t entryBytes = (h.entryBits + 7u) / 8u;
    bool anyAlpha = false;
    for (std::uint32_t i = 0; i < h.mapLength; ++i, map += entryBytes) {
        PALETTEENTRY& e = out[i];
        if (h.entryBits == 24 || h.entryBits == 32) {
            e = {map[2], map[1], map[0], h.entryBits == 32 ? map[3] : std::uint8_t{255}};
        } else {
            const std::uint32_t word = map[0] | (map[1] << 8);
            e = {Widen5((word >> 10) & 31), Widen5((word >> 5) & 31), Widen5(word & 31), 255};
            if (h.entryBits == 16) e.peFlags = (word & 0x8000) != 0 ? 255 : 0;
        }
        anyAlpha = anyAlpha || e.peFlags != 0;
    }
    // A map whose alpha is empty throughout is an opaque map.
    if (!anyAlpha) {
        for (std::uint32_t i = 0; i < h.mapLength; ++i) out[i].peFlags = 255;
    }
}

// Writes `count` pixels from `position` on in the writing direction, the
// source stepping by `sourceStep` bytes (0 repeats one pixel). Pixels that
// would fall outside the pixel memory are dropped.
template <std::uint32_t Bpp>
void WritePixels(std::uint8_t* pixels, std::int64_t total, std::int64_t position, bool backwards,
                 std::uint32_t count, const std::uint8_t* source, std::uint32_t sourceStep) {
    std::int64_t inside = 0;
    if (!backwards) inside = position >= total ? 0 : (total - position) / Bpp;
    else inside = position < 0 ? 0 : position / Bpp + 1;
    if (count > inside) count = static_cast<std::uint32_t>(inside);
    if (count == 0) return;
    std::uint8_t* out = pixels + position;
    if (!backwards && sourceStep != 0) {
        std::memcpy(out, source, static_cast<std::size_t>(count) * Bpp);
        return;
    }
    if (sourceStep == 0) {
        std::uint8_t value[Bpp];
        std::memcpy(value, source, Bpp);
        if (!backwards) {
            for (std::uint32_t k = 0; k < count; ++k, out += Bpp) std::memcpy(out, value, Bpp);
        } else {
            for (std::uint32_t k = 0; k < count; ++k, out -= Bpp) std::memcpy(out, value, Bpp);
        }
        return;
    }
    for (std::uint32_t k = 0; k < count; ++k, out -= Bpp, source += Bpp) std::memcpy(out, source, Bpp);
}

template <std::uint32_t Bpp>
HRESULT DecodePixels(ByteCursor& cursor, const TgaHeader& h, std::uint8_t* pixels) {
    const std::uint32_t width = h.width;
    const std::uint32_t height = h.height;
    const std::int64_t rowPitch = static_cast<std::int64_t>(width) * Bpp;
    const std::int64_t total = rowPitch * height;
    const bool runLength = (h.imageType & kRunLengthBit) != 0;
    const bool topDown = (h.descriptor & kTopDownBit) != 0;
    const bool backwards = (h.descriptor & kRightToLeftBit) != 0;
    const std::int64_t step = backwards ? -static_cast<std::int64_t>(Bpp) : Bpp;

    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint32_t outRow = topDown ? row : height - 1 - row;
        std::int64_t position = outRow * rowPitch + (backwards ? rowPitch - Bpp : 0);
        std::uint32_t handled = 0;
        while (handled < width) {
            std::uint32_t count = width - handled;
            bool repeat = false;
            if (runLength) {
                std::uint8_t packet = 0;
                if (!cursor.ReadU8(&packet)) return E_FAIL;
                count = (packet & 0x7Fu) + 1;
                repeat = (packet & 0x80) != 0;
            }
            const std::uint8_t* source = cursor.Take(repeat ? Bpp : count * Bpp);
            if (source == nullptr) return E_FAIL;
            WritePixels<Bpp>(pixels, total, position, backwards, count, source, repeat ? 0 : Bpp);
            // A packet that runs past the row's end carries on beyond it in the
            // writing direction; the next row starts afresh.
            position += step * count;
            handled += count;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT ReadTgaImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    ByteCursor cursor(data, size);
    TgaHeader h;
    if (size < 18 || !ReadHeader(cursor, &h)) return E_FAIL;
    if (h.colorMapType > 1 || (h.imageType & ~0x0Bu) != 0 || h.width == 0 || h.height == 0) return E_FAIL;
    if (h.colorMapType == 1 && h.entryBits != 15 && h.entryBits != 16 && h.entryBits != 24 && h.entryBits != 32)
        return E_FAIL;
    const D3DFORMAT format = ChooseFormat(h);
    if (format == D3DFMT_UNKNOWN) return E_FAIL;

    // The colour map is skipped even when the file says it has none.
    const std::uint32_t mapBytes = h.mapLength * ((h.entryBits + 7u) / 8u);
    if (!cursor.Skip(h.idLength)) return E_FAIL;
    const std::uint8_t* map = cursor.Take(mapBytes);
    if (map == nullptr) return E_FAIL;

    if (image->decodePixels && format == D3DFMT_P8) {
        if (h.firstEntry + h.mapLength > 256) return E_FAIL;
        const HRESULT hr = AllocatePalette(image);
        if (FAILED(hr)) return hr;
        BuildPalette(h, map, image->palette);
    }

    const std::uint32_t bytesPerPixel = (h.pixelBits + 7u) / 8u;
    std::uint32_t pixelBytes = 0;
    if (!CheckedMultiply(h.width, h.height, bytesPerPixel, &pixelBytes)) return E_FAIL;

    image->format = format;
    image->width = h.width;
    image->height = h.height;
    image->depth = 1;
    image->rowPitch = h.width * bytesPerPixel;
    image->slicePitch = 0;
    if (!image->decodePixels) return S_OK;

    const bool runLength = (h.imageType & kRunLengthBit) != 0;
    if (!runLength && (h.descriptor & (kTopDownBit | kRightToLeftBit)) == kTopDownBit) {
        const std::uint8_t* stored = cursor.Take(pixelBytes);
        if (stored == nullptr) return E_FAIL;
        image->pixels = const_cast<std::uint8_t*>(stored);
        image->ownsPixels = false;
    } else {
        const HRESULT hr = AllocatePixels(image, pixelBytes);
        if (FAILED(hr)) return hr;
        auto* pixels = static_cast<std::uint8_t*>(image->pixels);
        HRESULT decoded = E_FAIL;
        switch (bytesPerPixel) {
        case 1: decoded = DecodePixels<1>(cursor, h, pixels); break;
        case 2: decoded = DecodePixels<2>(cursor, h, pixels); break;
        case 3: decoded = DecodePixels<3>(cursor, h, pixels); break;
        case 4: decoded = DecodePixels<4>(cursor, h, pixels); break;
        default: break;
        }
        if (FAILED(decoded)) return decoded;
    }

    // Drop an alpha channel that is empty throughout.
    const auto* pixels = static_cast<const std::uint8_t*>(image->pixels);
    const std::uint32_t count = h.width * h.height;
    if (format == D3DFMT_A8R8G8B8) {
        std::uint32_t i = 0;
        while (i < count && pixels[4 * static_cast<std::size_t>(i) + 3] == 0) ++i;
        if (i == count) image->format = D3DFMT_X8R8G8B8;
    } else if (format == D3DFMT_A1R5G5B5) {
        std::uint32_t i = 0;
        while (i < count && (pixels[2 * static_cast<std::size_t>(i) + 1] & 0x80) == 0) ++i;
        if (i == count) image->format = D3DFMT_X1R5G5B5;
    }
    return S_OK;
}

}  // namespace qv
