// The codec base: construction from a region, the shared passes (colour key,
// gamma, range conversion), the colour-key round trip, the factory and the
// link between a source and a destination codec.
#include "quorvane/pixel/pixel_codec.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "pixel/codec_internal.h"
#include "quorvane/math/math.h"

namespace qv {

namespace detail {

constexpr float Dither32(int k) { return static_cast<float>(k) / 32.0f; }

const float kOrderedDitherTable[32] = {
    Dither32(31), Dither32(15), Dither32(27), Dither32(11), Dither32(31), Dither32(15), Dither32(27), Dither32(11),
    Dither32(7),  Dither32(23), Dither32(3),  Dither32(19), Dither32(7),  Dither32(23), Dither32(3),  Dither32(19),
    Dither32(25), Dither32(9),  Dither32(29), Dither32(13), Dither32(25), Dither32(9),  Dither32(29), Dither32(13),
    Dither32(1),  Dither32(17), Dither32(5),  Dither32(21), Dither32(1),  Dither32(17), Dither32(5),  Dither32(21),
};

const float kFlatDitherTable[32] = {
    0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
    0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
};

namespace {

// Gamma 2.2 as a power of 1/1.1 (encode) or 1.1 (decode) over 254 steps,
// indexed through a square root or a square; entry 255 lets x = 1 read one
// past entry 254.
struct GammaTables {
    float encode[256];
    float decode[256];
    GammaTables() {
        for (int k = 0; k < 255; ++k) {
            encode[k] = static_cast<float>(std::pow(k / 254.0, 1.0 / 1.1));
            decode[k] = static_cast<float>(std::pow(k / 254.0, 1.1));
        }
        encode[255] = 1.0f;
        decode[255] = 1.0f;
    }
};

const GammaTables& Gamma() {
    static const GammaTables tables;
    return tables;
}

// Interpolates table[u] for u in table steps. Values outside the table (inputs
// outside 0..1, or not numbers) read its first or last step.
inline float InterpolateGamma(const float* table, float u) {
    u = u >= 0.0f ? u : 0.0f;
    u = u <= 254.0f ? u : 254.0f;
    const int k = static_cast<int>(u);
    return table[k] + (table[k + 1] - table[k]) * (u - static_cast<float>(k));
}

// x^(1/2) with the table-driven reciprocal square root; 0 (and anything not
// above 0) maps to 0.
inline float SquareRoot(float x) { return x > 0.0f ? x * FastInvSqrt(x) : 0.0f; }

inline float GammaEncode(float x, bool both, const float* table) {
    if (both) return SquareRoot(x);
    // Every input from 1 up reads the table's last step.
    return InterpolateGamma(table, SquareRoot(x <= 1.0f ? x : 1.0f) * 254.0f);
}

inline float GammaDecode(float x, bool both, const float* table) {
    if (both) return x * x;
    return InterpolateGamma(table, x * x * 254.0f);
}

inline float Clamp(float v, float lo, float hi) {
    v = v >= lo ? v : lo;
    return v <= hi ? v : hi;
}

}  // namespace

void ConvertRange(const FloatPixel* in, FloatPixel* out, std::uint32_t count, ChannelRange from, ChannelRange to) {
    const auto half = [](float v) { return (v + 1.0f) * 0.5f; };
    const auto twice = [](float v) { return v * 2.0f - 1.0f; };
    for (std::uint32_t x = 0; x < count; ++x) {
        FloatPixel p = in[x];
        if (from == to) {
        } else if (to == ChannelRange::Unsigned) {
            if (from == ChannelRange::SignedXyz) {
                p = {half(p.r), half(p.g), half(p.b), p.a};
            } else if (from == ChannelRange::Signed) {
                p = {half(p.r), half(p.g), half(p.b), half(p.a)};
            } else if (from == ChannelRange::Float) {
                p = {Clamp(p.r, 0, 1), Clamp(p.g, 0, 1), Clamp(p.b, 0, 1), Clamp(p.a, 0, 1)};
            }
        } else if (to == ChannelRange::SignedXyz) {
            if (from == ChannelRange::Unsigned) {
                p = {twice(p.r), twice(p.g), twice(p.b), p.a};
            } else if (from == ChannelRange::Signed) {
                p.a = half(p.a);
            } else if (from == ChannelRange::Float) {
                p = {Clamp(p.r, -1, 1), Clamp(p.g, -1, 1), Clamp(p.b, -1, 1), Clamp(p.a, 0, 1)};
            }
        } else if (to == ChannelRange::Signed) {
            if (from == ChannelRange::Unsigned) {
                p = {twice(p.r), twice(p.g), twice(p.b), twice(p.a)};
            } else if (from == ChannelRange::SignedXyz) {
                p.a = twice(p.a);
            } else if (from == ChannelRange::Float) {
                p = {Clamp(p.r, -1, 1), Clamp(p.g, -1, 1), Clamp(p.b, -1, 1), Clamp(p.a, -1, 1)};
            }
        }
        out[x] = p;
    }
}

std::uint32_t NearestPaletteEntry(const FloatPixel* palette, const FloatPixel& pixel, bool withAlpha) {
    float best = FLT_MAX;
    std::uint32_t bestIndex = 0;
    for (std::uint32_t i = 0; i < 256; ++i) {
        const float dr = pixel.r - palette[i].r;
        const float dg = pixel.g - palette[i].g;
        const float db = pixel.b - palette[i].b;
        float distance = dr * dr + dg * dg + db * db;
        if (withAlpha) {
            const float da = pixel.a - palette[i].a;
            distance += da * da;
        }
        if (distance < best) {
            best = distance;
            bestIndex = i;
        }
    }
    return bestIndex;
}

}  // namespace detail

PixelCodec::PixelCodec(const PixelRegion& region, std::uint32_t bitsPerPixel, ChannelRange codecRange) {
    format = region.format;
    range = codecRange;
    rowPitch = region.rowPitch;
    slicePitch = region.slicePitch;
    box = region.box;
    colorKey = region.colorKey;
    bytesPerPixel = bitsPerPixel / 8;
    hasPixelSize = bitsPerPixel != 0;
    isPalettized = format == D3DFMT_P8 || format == D3DFMT_A8P8;
    ditherTable = region.dither ? detail::kOrderedDitherTable : detail::kFlatDitherTable;

    // Signed channels carry no gamma; the L channel of L6V5U5 is the exception.
    srgb = region.srgb != 0;
    if (range == ChannelRange::Signed || (range == ChannelRange::SignedXyz && format != D3DFMT_L6V5U5))
        srgb = false;

    if (colorKey != 0) {
        const float scale = 1.0f / 255.0f;
        keyColor = {static_cast<float>((colorKey >> 16) & 0xFF) * scale,
                    static_cast<float>((colorKey >> 8) & 0xFF) * scale, static_cast<float>(colorKey & 0xFF) * scale,
                    static_cast<float>(colorKey >> 24) * scale};
    }

    width = box.right - box.left;
    height = box.bottom - box.top;
    depth = box.back - box.front;
    rowBytes = width * bytesPerPixel;

    if (hasPixelSize) {
        origin = static_cast<std::uint8_t*>(region.bits) + std::size_t{bytesPerPixel} * box.left +
                 std::size_t{rowPitch} * box.top + std::size_t{slicePitch} * box.front;
        box = PixelBox{0, 0, width, height, 0, depth};
    } else {
        origin = static_cast<std::uint8_t*>(region.bits);
    }

    if (region.diffuse) {
        diffusionBuffer = new (std::nothrow) FloatPixel[std::size_t{width} + 2];
        if (diffusionBuffer) std::memset(diffusionBuffer, 0, (std::size_t{width} + 2) * sizeof(FloatPixel));
    }
}

PixelCodec::~PixelCodec() {
    delete[] palette;
    delete[] convertBuffer;
    delete[] diffusionBuffer;
}

void PixelCodec::DecodeRow(std::uint32_t, std::uint32_t, FloatPixel*) {}

void PixelCodec::EncodeRow(std::uint32_t, std::uint32_t, FloatPixel*) {}

std::uint8_t* PixelCodec::RowAddress(std::uint32_t row, std::uint32_t slice) const {
    return origin + std::size_t{row} * rowPitch + std::size_t{slice} * slicePitch;
}

void PixelCodec::ApplyColorKey(FloatPixel* row, std::uint32_t count) const {
    const FloatPixel key = keyColor;
    for (std::uint32_t x = 0; x < count; ++x) {
        const FloatPixel& p = row[x];
        if (p.r == key.r && p.g == key.g && p.b == key.b && p.a == key.a) row[x] = FloatPixel{0, 0, 0, 0};
    }
}

void PixelCodec::GammaDecodeRow(FloatPixel* row, std::uint32_t count) const {
    if (!srgb) return;
    const float* table = detail::Gamma().decode;
    const bool both = bothSrgb;
    if (range == ChannelRange::Unsigned || range == ChannelRange::Float) {
        for (std::uint32_t x = 0; x < count; ++x) {
            row[x].r = detail::GammaDecode(row[x].r, both, table);
            row[x].g = detail::GammaDecode(row[x].g, both, table);
            row[x].b = detail::GammaDecode(row[x].b, both, table);
        }
    } else {
        for (std::uint32_t x = 0; x < count; ++x) row[x].a = detail::GammaDecode(row[x].a, both, table);
    }
}

FloatPixel* PixelCodec::PrepareEncodeRow(FloatPixel* in, std::uint32_t count) {
    // Without a conversion row (no LinkSource yet) the steps work in place,
    // which the row's owner allows.
    FloatPixel* row = in;
    if (sourceRange != 0) {
        FloatPixel* out = convertBuffer ? convertBuffer : row;
        detail::ConvertRange(row, out, count, static_cast<ChannelRange>(sourceRange), range);
        row = out;
    }
    if (srgb) {
        FloatPixel* out = convertBuffer ? convertBuffer : row;
        const float* table = detail::Gamma().encode;
        const bool both = bothSrgb;
        if (range == ChannelRange::Unsigned || range == ChannelRange::Float) {
            for (std::uint32_t x = 0; x < count; ++x)
                out[x] = {detail::GammaEncode(row[x].r, both, table), detail::GammaEncode(row[x].g, both, table),
                          detail::GammaEncode(row[x].b, both, table), row[x].a};
        } else {
            for (std::uint32_t x = 0; x < count; ++x)
                out[x] = {row[x].r, row[x].g, row[x].b, detail::GammaEncode(row[x].a, both, table)};
        }
        row = out;
    }
    return row;
}

void PixelCodec::QuantizeColorKey() {
    // Store the key into a scratch pixel and read it back, undithered, with no
    // key test and without touching the diffusion row of the real rows. The
    // key is compared with pixels as stored, before their gamma is undone, so
    // the round trip runs without gamma.
    std::uint8_t* const savedOrigin = origin;
    const float* const savedDither = ditherTable;
    const std::uint32_t savedKey = colorKey;
    const std::uint32_t savedWidth = width, savedHeight = height, savedDepth = depth, savedRowBytes = rowBytes;
    const std::uint32_t savedSourceRange = sourceRange;
    const bool savedSrgb = srgb;
    FloatPixel* const savedConvert = convertBuffer;
    FloatPixel* const savedDiffusion = diffusionBuffer;

    alignas(16) std::uint8_t scratch[16] = {};
    FloatPixel scratchRow{};  // the conversion row of a one-pixel row (gamma)
    origin = scratch;
    width = height = depth = 1;
    rowBytes = bytesPerPixel;
    colorKey = 0;
    ditherTable = detail::kFlatDitherTable;
    sourceRange = 0;
    srgb = false;
    if (!convertBuffer) convertBuffer = &scratchRow;
    diffusionBuffer = nullptr;

    if (range == ChannelRange::SignedXyz || range == ChannelRange::Signed)
        detail::ConvertRange(&keyColor, &keyColor, 1, ChannelRange::Unsigned, range);
    FloatPixel key = keyColor;
    EncodeRow(0, 0, &key);
    DecodeRow(0, 0, &keyColor);

    origin = savedOrigin;
    ditherTable = savedDither;
    colorKey = savedKey;
    width = savedWidth;
    height = savedHeight;
    depth = savedDepth;
    rowBytes = savedRowBytes;
    sourceRange = savedSourceRange;
    srgb = savedSrgb;
    convertBuffer = savedConvert;
    diffusionBuffer = savedDiffusion;
}

PixelCodec* CreatePixelCodec(const PixelRegion& region) {
    const PixelBox& b = region.box;
    if (region.bits == nullptr || b.right < b.left || b.bottom < b.top || b.back < b.front) return nullptr;
    // Rows of FloatPixels and row byte counts must stay within 32-bit sizes.
    if (b.right - b.left > std::numeric_limits<std::uint32_t>::max() / sizeof(FloatPixel) - 2) return nullptr;

    PixelCodec* codec = detail::CreateRowCodec(region);
    if (!codec) return nullptr;

    // Diffusion was asked for: without its row the codec would dither
    // differently from what the caller chose, so it is not made at all.
    if (region.diffuse && !codec->diffusionBuffer) {
        delete codec;
        return nullptr;
    }
    if (codec->isPalettized) {
        codec->palette = new (std::nothrow) FloatPixel[256];
        if (!codec->palette) {
            delete codec;
            return nullptr;
        }
        const float scale = 1.0f / 255.0f;
        for (int i = 0; i < 256; ++i) {
            if (region.palette) {
                const PALETTEENTRY& e = region.palette[i];
                codec->palette[i] = {static_cast<float>(e.peRed) * scale, static_cast<float>(e.peGreen) * scale,
                                     static_cast<float>(e.peBlue) * scale, static_cast<float>(e.peFlags) * scale};
            } else {
                codec->palette[i] = {1.0f, 1.0f, 1.0f, 1.0f};
            }
        }
    }
    if (codec->colorKey != 0) codec->QuantizeColorKey();
    return codec;
}

HRESULT LinkSource(PixelCodec* destination, PixelCodec* source) {
    if (!destination || !source) return D3DERR_INVALIDCALL;
    if (source->range != destination->range && destination->range != ChannelRange::Float)
        destination->sourceRange = static_cast<std::uint32_t>(source->range);
    if (destination->sourceRange == 0 && !destination->srgb) return S_OK;
    if (!destination->convertBuffer) {
        destination->convertBuffer = new (std::nothrow) FloatPixel[destination->width];
        if (!destination->convertBuffer) return E_OUTOFMEMORY;
    }
    if (destination->srgb && source->srgb) {
        destination->bothSrgb = true;
        source->bothSrgb = true;
    }
    return S_OK;
}

}  // namespace qv
