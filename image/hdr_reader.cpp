// Radiance HDR pictures (RGBE or XYZE, flat or run-length scanlines, any of
// the eight orientations) read into A32B32G32R32F pixels, top row first.
//
// Each scanline is decoded into a small buffer of RGBE quadruples that stays
// in cache, then turned into floats divided by the exposure and written once
// to its place in the output, stepping by ±16 bytes or ±rowPitch as the
// orientation says.
#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "image/byte_cursor.h"
#include "image/readers.h"

namespace qv {
namespace {

constexpr std::uint32_t kLineLimit = 256;

// Where scanlines go: the first pixel of the first scanline, the step from
// one pixel of a scanline to the next, and from one scanline to the next.
struct Walk {
    std::int64_t start = 0;
    std::int64_t pixelStep = 0;
    std::int64_t scanlineStep = 0;
    std::uint32_t scanlines = 0;
    std::uint32_t length = 0;
};

// Copies the text at the cursor up to the next line feed found within 256
// bytes into `line` and moves past that line feed.
bool TakeLine(ByteCursor& cursor, char (&line)[kLineLimit], std::uint32_t* length) {
    const std::int64_t lineFeed = cursor.Find('\n', kLineLimit);
    if (lineFeed < 0) return false;
    *length = static_cast<std::uint32_t>(lineFeed < 255 ? lineFeed : 255);
    std::memcpy(line, cursor.Position(), *length);
    line[*length] = '\0';
    cursor.Skip(static_cast<std::uint32_t>(lineFeed) + 1);
    return true;
}

void SkipBlanks(ByteCursor& cursor) {
    while (cursor.Peek() == ' ' || cursor.Peek() == '\t') {
        if (!cursor.Skip(1)) break;
    }
}

HRESULT ReadHeader(ByteCursor& cursor, float* exposure) {
    bool formatSeen = false;
    while (!cursor.AtEnd()) {
        if (cursor.Peek() == '\n') {
            cursor.Skip(1);
            break;
        }
        if (cursor.StartsWith("FORMAT=")) {
            cursor.Skip(7);
            SkipBlanks(cursor);
            if (cursor.AtEnd() || !cursor.Has(16)) return E_FAIL;
            if (!cursor.StartsWith("32-bit_rle_rgbe") && !cursor.StartsWith("32-bit_rle_xyze")) return E_FAIL;
            cursor.Skip(16);  // the value and its line feed
            formatSeen = true;
        } else if (cursor.StartsWith("EXPOSURE=")) {
            cursor.Skip(9);
            SkipBlanks(cursor);
            if (cursor.AtEnd()) return E_FAIL;
            char value[kLineLimit];
            char rest[kLineLimit];
            std::uint32_t length = 0;
            if (!TakeLine(cursor, value, &length) || length == 0) return E_FAIL;
            float factor = 0.0f;
            if (std::sscanf(value, "%f%255s", &factor, rest) != 1) return E_FAIL;
            *exposure *= factor;
        } else {
            const std::int64_t lineFeed = cursor.Find('\n', cursor.Remaining());
            cursor.Skip(lineFeed < 0 ? 1 : static_cast<std::uint32_t>(lineFeed) + 1);
        }
    }
    return formatSeen ? S_OK : E_FAIL;
}

// "-Y 480 +X 640" and its seven other orientations.
HRESULT ReadResolution(ByteCursor& cursor, DecodedImage* image, Walk* walk) {
    char line[kLineLimit];
    std::uint32_t length = 0;
    if (!TakeLine(cursor, line, &length) || length <= 2) return E_FAIL;
    const char firstAxis = line[1];
    const char firstSign = line[0];
    if ((firstAxis != 'X' && firstAxis != 'Y') || (firstSign != '-' && firstSign != '+')) return E_FAIL;
    unsigned firstCount = 0;
    if (std::sscanf(line + 2, "%u", &firstCount) != 1) return E_FAIL;
    const char* second = std::strpbrk(line + 2, "+-");
    if (second == nullptr || (second[1] != 'X' && second[1] != 'Y')) return E_FAIL;
    const char secondSign = second[0];
    unsigned secondCount = 0;
    if (std::sscanf(second + 2, "%u", &secondCount) != 1) return E_FAIL;

    // The second count always belongs to the axis not named first.
    const std::uint32_t width = firstAxis == 'Y' ? secondCount : firstCount;
    const std::uint32_t height = firstAxis == 'Y' ? firstCount : secondCount;
    std::uint32_t bytes = 0;
    if (width == 0 || height == 0 || !CheckedMultiply(width, height, 16, &bytes)) return E_FAIL;

    const std::int64_t rowPitch = static_cast<std::int64_t>(width) * 16;
    const std::int64_t lastRow = (static_cast<std::int64_t>(height) - 1) * rowPitch;
    const std::int64_t lastColumn = (static_cast<std::int64_t>(width) - 1) * 16;
    if (firstAxis == 'Y') {
        // Scanlines are rows: -Y from the top down, +Y from the bottom up;
        // +X left to right, -X right to left.
        walk->scanlines = height;
        walk->length = width;
        walk->start = (firstSign == '-' ? 0 : lastRow) + (secondSign == '+' ? 0 : lastColumn);
        walk->scanlineStep = firstSign == '-' ? rowPitch : -rowPitch;
        walk->pixelStep = secondSign == '+' ? 16 : -16;
    } else {
        // Scanlines are columns: +X from the left, -X from the right; -Y top
        // to bottom, +Y bottom to top.
        walk->scanlines = width;
        walk->length = height;
        walk->start = (firstSign == '+' ? 0 : lastColumn) + (secondSign == '-' ? 0 : lastRow);
        walk->scanlineStep = firstSign == '+' ? 16 : -16;
        walk->pixelStep = secondSign == '-' ? rowPitch : -rowPitch;
    }

    image->format = D3DFMT_A32B32G32R32F;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->rowPitch = width * 16;
    image->slicePitch = 0;
    return S_OK;
}

// Decodes one run-length scanline into `rgbe` (4 × length bytes).
bool DecodeRunLengthScanline(ByteCursor& cursor, std::uint8_t* rgbe, std::uint32_t length) {
    for (int component = 0; component < 4; ++component) {
        std::uint8_t* p = rgbe + component;  // pixel i's component is at p[4 i]
        std::uint32_t done = 0;
        while (done < length) {
            if (!cursor.Has(2)) return false;
            const std::uint8_t code = cursor.Peek();
            if (code > 128) {
                const std::uint32_t count = code - 128u;
                if (count > length - done) return false;
                const std::uint8_t value = cursor.Peek(1);
                cursor.Skip(2);
                for (std::uint32_t i = done; i < done + count; ++i) p[4 * static_cast<std::size_t>(i)] = value;
                done += count;
            } else {
                const std::uint32_t count = code;
                if (count > length - done) return false;
                cursor.Skip(1);
                const std::uint8_t* in = cursor.Take(count);
                if (in == nullptr) return false;
                for (std::uint32_t i = 0; i < count; ++i) p[4 * static_cast<std::size_t>(done + i)] = in[i];
                done += count;
            }
        }
    }
    return true;
}

// Decodes one flat scanline, whose first pixel is `first`, into `rgbe`.
bool DecodeFlatScanline(ByteCursor& cursor, const std::uint8_t* first, std::uint8_t* rgbe, std::uint32_t length) {
    std::memcpy(rgbe, first, 4);
    std::uint8_t* previous = rgbe;
    std::uint32_t done = 1;
    std::uint32_t shift = 0;
    while (done < length) {
        const std::uint8_t* group = cursor.Take(4);
        if (group == nullptr) return false;
        if (group[0] == 1 && group[1] == 1 && group[2] == 1) {
            // Repeat the previous pixel; consecutive repeat groups carry
            // higher digits of the count.
            std::uint64_t count = 0;
            if (shift < 32) count = static_cast<std::uint64_t>(group[3]) << shift;
            else if (group[3] != 0) return false;
            if (count > length - done) return false;
            std::uint8_t* p = previous;
            for (std::uint64_t i = 0; i < count; ++i) {
                p += 4;
                std::memcpy(p, previous, 4);
            }
            previous = p;
            done += static_cast<std::uint32_t>(count);
            shift += 8;
        } else {
            previous += 4;
            std::memcpy(previous, group, 4);
            ++done;
            shift = 0;
        }
    }
    return true;
}

// Per exponent byte: 2^(e - 136) / exposure, the reciprocal of the exposure
// taken in single precision. A mantissa m then gives (m + 0.5) × scale,
// computed exactly and rounded once to float.
struct ExponentScales {
    double scale[256];
    float singleScale[256];
    // Every scale is a float exactly (so with exposure 1 or any power of
    // two): the product (m + 0.5) × scale, m of 8 bits, rounds to float the
    // same way in single precision as in double, and four channels can be
    // computed at once.
    bool single = true;

    explicit ExponentScales(float exposure) {
        const double reciprocal = 1.0f / exposure;
        for (int e = 0; e < 256; ++e) {
            scale[e] = std::ldexp(1.0, e - 136) * reciprocal;
            singleScale[e] = static_cast<float>(scale[e]);
            single = single && static_cast<double>(singleScale[e]) == scale[e];
        }
    }
};

void StoreScanline(const std::uint8_t* rgbe, std::uint8_t* out, std::int64_t step, std::uint32_t length,
                   const ExponentScales& scales) {
    if (scales.single) {
        const __m128i zero = _mm_setzero_si128();
        const __m128 half = _mm_set_ps(0.0f, 0.5f, 0.5f, 0.5f);
        const __m128 colourMask = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
        const __m128 alpha = _mm_set_ps(1.0f, 0.0f, 0.0f, 0.0f);
        // Rows written left to right into aligned memory bypass the cache:
        // the picture is far larger than it and is not read again here.
        const bool stream = step == 16 && (reinterpret_cast<std::uintptr_t>(out) & 15) == 0;
        for (std::uint32_t i = 0; i < length; ++i, rgbe += 4) {
            std::int32_t word = 0;
            std::memcpy(&word, rgbe, 4);
            const __m128i bytes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
            const __m128 mantissas = _mm_add_ps(_mm_cvtepi32_ps(bytes), half);
            const __m128 colour = _mm_mul_ps(mantissas, _mm_set1_ps(scales.singleScale[rgbe[3]]));
            const __m128 pixel = _mm_or_ps(_mm_and_ps(colour, colourMask), alpha);
            float* at = reinterpret_cast<float*>(out + i * step);
            if (stream) _mm_stream_ps(at, pixel);
            else _mm_storeu_ps(at, pixel);
        }
        if (stream) _mm_sfence();
        return;
    }
    for (std::uint32_t i = 0; i < length; ++i, rgbe += 4) {
        const double s = scales.scale[rgbe[3]];
        const float pixel[4] = {static_cast<float>((rgbe[0] + 0.5) * s), static_cast<float>((rgbe[1] + 0.5) * s),
                                static_cast<float>((rgbe[2] + 0.5) * s), 1.0f};
        std::memcpy(out + i * step, pixel, 16);
    }
}

void DropPixels(DecodedImage* image) {
    if (image->ownsPixels) delete[] static_cast<std::uint8_t*>(image->pixels);
    image->pixels = nullptr;
    image->ownsPixels = false;
}

}  // namespace

HRESULT ReadHdrImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr || size <= 10 || std::memcmp(data, "#?RADIANCE", 10) != 0) return E_FAIL;
    ByteCursor cursor(data, size);
    float exposure = 1.0f;
    HRESULT hr = ReadHeader(cursor, &exposure);
    if (FAILED(hr)) return hr;
    Walk walk;
    hr = ReadResolution(cursor, image, &walk);
    if (FAILED(hr)) return hr;
    // Every scanline takes at least four bytes.
    if (static_cast<std::uint64_t>(walk.scanlines) * 4 > cursor.Remaining()) return E_FAIL;
    hr = AllocatePixels(image, image->rowPitch * image->height);
    if (FAILED(hr)) return hr;

    auto* pixels = static_cast<std::uint8_t*>(image->pixels);
    const ExponentScales scales(exposure);
    std::uint8_t* rgbe = new (std::nothrow) std::uint8_t[4 * static_cast<std::size_t>(walk.length)];
    if (rgbe == nullptr) {
        DropPixels(image);
        return E_OUTOFMEMORY;
    }
    for (std::uint32_t s = 0; s < walk.scanlines; ++s) {
        const std::uint8_t* head = cursor.Take(4);
        bool ok = head != nullptr;
        if (ok && head[0] == 2 && head[1] == 2 && head[2] < 128) {
            ok = static_cast<std::uint32_t>(head[2] * 256 + head[3]) == walk.length &&
                 DecodeRunLengthScanline(cursor, rgbe, walk.length);
        } else if (ok) {
            ok = DecodeFlatScanline(cursor, head, rgbe, walk.length);
        }
        if (!ok) {
            delete[] rgbe;
            DropPixels(image);
            return E_FAIL;
        }
        StoreScanline(rgbe, pixels + walk.start + walk.scanlineStep * s, walk.pixelStep, walk.length, scales);
    }
    delete[] rgbe;
    return S_OK;
}

}  // namespace qv
