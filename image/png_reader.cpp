// PNG reader over libpng. libpng does all the decoding; this reader picks the
// output format from the colour type and bit depth, asks libpng for exactly
// the transformations that give that format's memory layout, feeds it the
// bytes from memory and turns its errors into E_FAIL through a long jump.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <new>

#include "image/readers.h"
#include "quorvane/pixel/pixel_format.h"

namespace qv {
namespace {

// Largest width or height accepted, so a forged header is refused by libpng
// before it sizes anything.
constexpr png_uint_32 kMaxDimension = 65535;
// Largest ancillary chunk libpng may allocate (compressed or inflated).
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
// Deflate cannot expand data by more than about 1032:1, and no output format
// here takes more than 16 times the bytes of the stored samples (1-bit grey
// with a colour key becomes 16-bit grey and alpha). A header asking for more
// pixel memory than that bound cannot be backed by the file's bytes.
constexpr std::uint64_t kMaxInflateRatio = 1040;
constexpr std::uint64_t kMaxExpansion = 16;
constexpr std::uint64_t kPixelMemorySlack = 1u << 16;

struct MemorySource {
    const std::uint8_t* next;
    std::uint32_t left;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->left) png_error(png, "read error");
    std::memcpy(out, source->next, length);
    source->next += length;
    source->left -= static_cast<std::uint32_t>(length);
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void OnPngWarning(png_structp, png_const_charp) {}

// Everything that must survive a long jump lives here, in the frame of the
// caller of DecodePng, never in the frame that holds the jump point.
struct PngReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
    MemorySource source{};
    bool gammaRequested = false;
    double fileGamma = 0.0;
    double screenGamma = 0.0;
    // The palette as the file stores it, taken before libpng's own
    // transformations can touch it.
    png_color plte[256]{};
    int plteCount = 0;
};

std::uint32_t ChannelsOf(D3DFORMAT format) {
    switch (static_cast<std::uint32_t>(format)) {
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A16B16G16R16:
        return 4;
    case FMT_R16G16B16:
        return 3;
    case D3DFMT_A8L8:
    case FMT_A16L16:
        return 2;
    default:
        return 1;  // P8, L8, L16
    }
}

D3DFORMAT EightBitFormat(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return D3DFMT_L8;
    case PNG_COLOR_TYPE_RGB: return D3DFMT_R8G8B8;
    case PNG_COLOR_TYPE_PALETTE: return D3DFMT_P8;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return D3DFMT_A8L8;
    case PNG_COLOR_TYPE_RGB_ALPHA: return D3DFMT_A8R8G8B8;
    default: return D3DFMT_UNKNOWN;
    }
}

D3DFORMAT SixteenBitFormat(D3DFORMAT format) {
    switch (static_cast<std::uint32_t>(format)) {
    case D3DFMT_R8G8B8: return FMT_R16G16B16;
    case D3DFMT_A8R8G8B8: return D3DFMT_A16B16G16R16;
    case D3DFMT_L8: return D3DFMT_L16;
    case D3DFMT_A8L8: return FMT_A16L16;
    default: return format;
    }
}

D3DFORMAT WithAlpha(D3DFORMAT format) {
    switch (static_cast<std::uint32_t>(format)) {
    case D3DFMT_R8G8B8: return D3DFMT_A8R8G8B8;
    case D3DFMT_L8: return D3DFMT_A8L8;
    case D3DFMT_L16: return FMT_A16L16;
    case FMT_R16G16B16: return D3DFMT_A16B16G16R16;
    default: return format;
    }
}

HRESULT BuildPalette(PngReadState& state, DecodedImage* image) {
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (png_get_valid(state.png, state.info, PNG_INFO_tRNS) != 0)
        png_get_tRNS(state.png, state.info, &alpha, &alphaCount, nullptr);
    if (alpha == nullptr) alphaCount = 0;

    std::uint8_t gamma[256];
    const bool useTable = state.gammaRequested && state.fileGamma > 0.000001 && state.screenGamma > 0.000001;
    for (int i = 0; i < 256; ++i) {
        gamma[i] = useTable ? static_cast<std::uint8_t>(
                                  std::pow(i / 255.0, 1.0 / (state.fileGamma * state.screenGamma)) * 255.0 + 0.5)
                            : static_cast<std::uint8_t>(i);
    }

    auto* palette = new (std::nothrow) PALETTEENTRY[256];
    if (palette == nullptr) return E_OUTOFMEMORY;
    image->palette = palette;
    image->ownsPalette = true;

    for (int i = 0; i < 256; ++i) {
        if (i < state.plteCount) {
            palette[i].peRed = gamma[state.plte[i].red];
            palette[i].peGreen = gamma[state.plte[i].green];
            palette[i].peBlue = gamma[state.plte[i].blue];
            palette[i].peFlags = i < alphaCount ? alpha[i] : 255;
        } else {
            palette[i] = {255, 255, 255, 255};
        }
    }
    return S_OK;
}

// Holds the jump point. No object with a destructor lives in this frame: a
// long jump back here must not skip any clean-up.
HRESULT DecodePng(PngReadState& state, DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (setjmp(png_jmpbuf(state.png)) != 0) return E_FAIL;

    png_set_user_limits(state.png, kMaxDimension, kMaxDimension);
    png_set_chunk_malloc_max(state.png, kMaxChunkBytes);
    state.source = {data, size};
    png_set_read_fn(state.png, &state.source, ReadFromMemory);
    png_read_info(state.png, state.info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(state.png, state.info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);

    D3DFORMAT format = EightBitFormat(colorType);
    if (format == D3DFMT_UNKNOWN) return E_FAIL;
    if (bitDepth == 16) {
        png_set_swap(state.png);
        format = SixteenBitFormat(format);
    }
    if (bitDepth < 8) png_set_packing(state.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand(state.png);

    int intent = 0;
    double fileGamma = 0.0;
    if (png_get_sRGB(state.png, state.info, &intent) != 0) {
        png_set_sRGB(state.png, state.info, intent);
    } else if (png_get_gAMA(state.png, state.info, &fileGamma) != 0) {
        png_set_gamma(state.png, 2.2, fileGamma);
        state.gammaRequested = true;
        state.fileGamma = fileGamma;
        state.screenGamma = 2.2;
    }

    if (format != D3DFMT_P8 && png_get_valid(state.png, state.info, PNG_INFO_tRNS) != 0) {
        png_set_expand(state.png);
        format = WithAlpha(format);
    }
    if (format == D3DFMT_R8G8B8 || format == FMT_R16G16B16 || format == D3DFMT_A8R8G8B8) png_set_bgr(state.png);
    if (format == D3DFMT_R8G8B8) {
        png_set_filler(state.png, 0xFF, PNG_FILLER_AFTER);
        format = D3DFMT_X8R8G8B8;
    }

    if (format == D3DFMT_P8) {
        png_colorp colors = nullptr;
        int count = 0;
        if (png_get_valid(state.png, state.info, PNG_INFO_PLTE) != 0 &&
            png_get_PLTE(state.png, state.info, &colors, &count) != 0 && colors != nullptr) {
            state.plteCount = count < 0 ? 0 : (count > 256 ? 256 : count);
            std::memcpy(state.plte, colors, sizeof(png_color) * static_cast<std::size_t>(state.plteCount));
        }
    }

    // Interlaced files are de-interlaced by png_read_image; the passes must be
    // known before the update so the row bookkeeping covers all seven.
    png_set_interlace_handling(state.png);
    png_read_update_info(state.png, state.info);

    if (png_get_channels(state.png, state.info) != ChannelsOf(format)) return E_FAIL;

    const std::uint64_t rowBytes = png_get_rowbytes(state.png, state.info);
    const std::uint64_t totalBytes = rowBytes * height;
    if (rowBytes > UINT32_MAX || totalBytes > UINT32_MAX) return E_FAIL;

    image->format = format;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->rowPitch = static_cast<std::uint32_t>(rowBytes);
    image->slicePitch = 0;
    if (!image->decodePixels) return S_OK;

    if (totalBytes > kMaxInflateRatio * kMaxExpansion * size + kPixelMemorySlack) return E_FAIL;

    auto* pixels = new (std::nothrow) std::uint8_t[totalBytes == 0 ? 1 : totalBytes];
    if (pixels == nullptr) return E_OUTOFMEMORY;
    image->pixels = pixels;
    image->ownsPixels = true;
    state.rows = new (std::nothrow) png_bytep[height == 0 ? 1 : height];
    if (state.rows == nullptr) return E_OUTOFMEMORY;
    for (png_uint_32 y = 0; y < height; ++y) state.rows[y] = pixels + y * rowBytes;

    png_read_image(state.png, state.rows);

    if (format == D3DFMT_P8) return BuildPalette(state, image);
    return S_OK;
}

}  // namespace

HRESULT ReadPngImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (image == nullptr || data == nullptr) return E_FAIL;
    if (png_sig_cmp(data, 0, size) != 0) return E_FAIL;

    PngReadState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (state.png == nullptr) return E_OUTOFMEMORY;
    state.info = png_create_info_struct(state.png);
    HRESULT result = E_OUTOFMEMORY;
    if (state.info != nullptr) result = DecodePng(state, image, data, size);

    png_destroy_read_struct(&state.png, state.info != nullptr ? &state.info : nullptr, nullptr);
    delete[] state.rows;
    return result;
}

}  // namespace qv
