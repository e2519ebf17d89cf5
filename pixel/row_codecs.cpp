// The row codecs of the codec table. Each codec class is one instantiation of
// RowCodec on its layout, so each format gets its own loop with its fields,
// shifts and scales compiled in; the shapes (packed integer words, palette,
// floats) are chosen at compile time.
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#define QV_PIXEL_VECTORS 1
#else
#define QV_PIXEL_VECTORS 0
#endif

#include "pixel/codec_internal.h"
#include "pixel/codec_layouts.h"
#include "pixel/pixel_format_table.h"
#include "quorvane/math/math.h"

namespace qv::detail {

namespace {

static_assert(std::endian::native == std::endian::little, "pixel words are read as little-endian integers");

constexpr bool LayoutsAgreeWithFormatTable() {
    for (std::size_t i = 0; i < kCodecLayoutCount; ++i) {
        const CodecLayout& layout = kCodecLayouts[i];
        for (D3DFORMAT code : {layout.format, layout.alias}) {
            if (code == D3DFMT_UNKNOWN) continue;
            const std::size_t row = FindPixelFormat(code);
            if (row == kPixelFormatCount || kPixelFormatTable[row].bitsPerPixel != layout.bitsPerPixel) return false;
            if (FindCodecLayout(code) != i) return false;  // no format has two codecs
        }
    }
    return true;
}

static_assert(kCodecLayoutCount == 39, "the codec table has 39 codec classes");
static_assert(LayoutsAgreeWithFormatTable(), "a codec's pixel size differs from the pixel format table");

template <std::uint32_t Bytes>
using WordFor = std::conditional_t<Bytes == 1, std::uint8_t,
                                   std::conditional_t<Bytes == 2, std::uint16_t,
                                                      std::conditional_t<Bytes <= 4, std::uint32_t, std::uint64_t>>>;

template <int Place>
inline float& At(FloatPixel& p) {
    if constexpr (Place == 0) return p.r;
    if constexpr (Place == 1) return p.g;
    if constexpr (Place == 2) return p.b;
    if constexpr (Place == 3) return p.a;
}

// Largest stored value of a field: 2^n - 1, or 2^(n-1) - 1 when signed.
constexpr float FieldMax(const CodecField& f) {
    return static_cast<float>(f.isSigned ? (1u << (f.bits - 1)) - 1 : (1u << f.bits) - 1);
}

constexpr int FindField(const CodecLayout& layout, char channel) {
    for (std::uint32_t k = 0; k < layout.fieldCount; ++k)
        if (layout.fields[k].channel == channel) return static_cast<int>(k);
    return -1;
}

constexpr std::uint32_t kChunk = 128;  // pixels per step of the float converters

template <std::size_t Index>
class RowCodec final : public PixelCodec {
    static constexpr const CodecLayout& L = kCodecLayouts[Index];
    static constexpr std::uint32_t kBytes = L.bitsPerPixel / 8;
    static constexpr std::uint32_t kFields = L.fieldCount;
    static constexpr bool kCx = L.decoded[2] == 'C';
    static constexpr int kIndexField = FindField(L, 'I');
    using Word = WordFor<kBytes>;

public:
    explicit RowCodec(const PixelRegion& region) : PixelCodec(region, L.bitsPerPixel, L.range) {}

    void DecodeRow(std::uint32_t row, std::uint32_t slice, FloatPixel* out) override {
        if (row >= height || slice >= depth) return;
        const std::uint8_t* p = RowAddress(row, slice);
        if constexpr (L.shape == CodecShape::Float) {
            DecodeFloats(p, out);
        } else {
            DecodeWords(p, out);
        }
        if (colorKey != 0) ApplyColorKey(out, width);
        if (srgb) GammaDecodeRow(out, width);
    }

    void EncodeRow(std::uint32_t row, std::uint32_t slice, FloatPixel* in) override {
        if (row >= height || slice >= depth) return;
        FloatPixel* px = PrepareEncodeRow(in, width);
        std::uint8_t* p = RowAddress(row, slice);
        if constexpr (L.shape == CodecShape::Float) {
            EncodeFloats(p, px);
        } else if constexpr (L.format == D3DFMT_P8) {
            for (std::uint32_t x = 0; x < width; ++x)
                p[x] = static_cast<std::uint8_t>(NearestPaletteEntry(palette, px[x], true));
        } else {
            if constexpr (L.luminance) {
                for (std::uint32_t x = 0; x < width; ++x)
                    px[x].r = kLumaRed * px[x].r + kLumaGreen * px[x].g + kLumaBlue * px[x].b;
            }
            if (diffusionBuffer) {
                EncodeDiffused(p, px, row, slice);
            } else {
                EncodeOrdered(p, px, row, slice);
            }
        }
    }

private:
    // ---- integer words ----

    static Word Load(const std::uint8_t* p) {
        Word w = 0;
        std::memcpy(&w, p, kBytes);
        return w;
    }
    static void Store(std::uint8_t* p, Word w) { std::memcpy(p, &w, kBytes); }

    template <std::uint32_t K>
    static std::uint32_t RawField(Word w) {
        constexpr CodecField f = L.fields[K];
        return static_cast<std::uint32_t>(w >> f.shift) & ((1u << f.bits) - 1);
    }

    template <std::uint32_t K>
    static float FieldValue(Word w) {
        constexpr CodecField f = L.fields[K];
        constexpr float scale = 1.0f / FieldMax(f);
        const std::uint32_t raw = RawField<K>(w);
        if constexpr (f.isSigned) {
            // Two's complement; the most negative value reads as its neighbour.
            constexpr int half = 1 << (f.bits - 1);
            int v = static_cast<int>(raw) - ((raw & static_cast<std::uint32_t>(half)) ? 2 * half : 0);
            v = v > -half ? v : -half + 1;
            return static_cast<float>(v) * scale;
        } else {
            return static_cast<float>(raw) * scale;
        }
    }

    template <int Place>
    static float PlaceValue(Word w) {
        constexpr char c = L.decoded[Place];
        if constexpr (c == '0') {
            return 0.0f;
        } else if constexpr (c == '1' || c == 'C' || c == 'P') {
            return 1.0f;
        } else {
            constexpr int k = FindField(L, c);
            static_assert(k >= 0, "a decoded place names a channel without a field");
            return FieldValue<static_cast<std::uint32_t>(k)>(w);
        }
    }

    void DecodeWords(const std::uint8_t* p, FloatPixel* out) const {
        const std::uint32_t n = width;
        std::uint32_t x = 0;
#if QV_PIXEL_VECTORS
        if constexpr (kVector) {
            for (; x + 4 <= n; x += 4, p += 4 * kBytes) DecodeFour(p, out + x);
        }
#endif
        for (; x < n; ++x, p += kBytes) {
            const Word w = Load(p);
            FloatPixel v;
            if constexpr (L.shape == CodecShape::Palette) {
                v = palette[RawField<static_cast<std::uint32_t>(kIndexField)>(w)];
                if constexpr (L.decoded[3] != 'P') v.a = PlaceValue<3>(w);
            } else {
                v = {PlaceValue<0>(w), PlaceValue<1>(w), PlaceValue<2>(w), PlaceValue<3>(w)};
                if constexpr (kCx) {
                    const float t = 1.0f - v.r * v.r - v.g * v.g;
                    v.b = t > 0.0f ? std::sqrt(t) : 0.0f;
                }
            }
            out[x] = v;
        }
    }

    // One field of an undiffused pixel: trunc(v * m + d), clamped. Clamping
    // before the truncating conversion gives the same integer and keeps the
    // conversion defined for any input.
    template <std::uint32_t K>
    static Word QuantizeField(FloatPixel& v, float d) {
        constexpr CodecField f = L.fields[K];
        if constexpr (f.place < 0) {
            return 0;
        } else {
            constexpr float m = FieldMax(f);
            constexpr float lo = f.isSigned ? -m : 0.0f;
            float t = At<f.place>(v) * m + d;
            t = t >= lo ? t : lo;
            t = t <= m ? t : m;
            const auto q = static_cast<std::uint32_t>(static_cast<int>(t)) & ((1u << f.bits) - 1);
            return static_cast<Word>(static_cast<Word>(q) << f.shift);
        }
    }

    // One field with error diffusion: the error of the truncated (unclamped)
    // value goes 7/16 to the next pixel and 3/16, 5/16, 1/16 to the row below.
    template <std::uint32_t K>
    static Word QuantizeDiffused(FloatPixel& v, float d, FloatPixel& e, FloatPixel* below, int dir) {
        constexpr CodecField f = L.fields[K];
        if constexpr (f.place < 0) {
            return 0;
        } else {
            constexpr float m = FieldMax(f);
            constexpr float invM = 1.0f / m;
            constexpr float lo = f.isSigned ? -m : 0.0f;
            const float s = (At<f.place>(v) + At<f.place>(e)) * m;
            const float t = s + d;
            // Truncation toward zero; beyond 2^23 every float is whole.
            const float q = std::fabs(t) < 8388608.0f ? static_cast<float>(static_cast<int>(t)) : t;
            const float err = (s - q) * invM;
            At<f.place>(below[-dir]) += err * 0.1875f;
            At<f.place>(below[0]) += err * 0.3125f;
            At<f.place>(below[dir]) += err * 0.0625f;
            At<f.place>(e) = err * 0.4375f;
            float c = q >= lo ? q : lo;
            c = c <= m ? c : m;
            const auto bits = static_cast<std::uint32_t>(static_cast<int>(c)) & ((1u << f.bits) - 1);
            return static_cast<Word>(static_cast<Word>(bits) << f.shift);
        }
    }

    void PrepareChannels(FloatPixel& v) const {
        if constexpr (kCx) {
            Vec3 n{v.r, v.g, v.b};
            Vec3Normalize(&n, &n);
            v.r = n.x;
            v.g = n.y;
            v.b = n.z;
        }
    }

    Word PackPixel(FloatPixel& v, float d) const {
        PrepareChannels(v);
        Word w = [&]<std::uint32_t... K>(std::integer_sequence<std::uint32_t, K...>) {
            return static_cast<Word>((Word{0} | ... | QuantizeField<K>(v, d)));
        }(std::make_integer_sequence<std::uint32_t, kFields>());
        if constexpr (kIndexField >= 0) {
            constexpr CodecField f = L.fields[kIndexField];
            w = static_cast<Word>(w | (static_cast<Word>(NearestPaletteEntry(palette, v, false)) << f.shift));
        }
        return w;
    }

    // Without diffusion the pixels are independent: they are written left to
    // right, each with the dither value of its place in the processing order
    // (odd rows run from the right).
    void EncodeOrdered(std::uint8_t* p, FloatPixel* px, std::uint32_t row, std::uint32_t slice) const {
        const std::uint32_t n = width;
        const float* dt = ditherTable + (row & 3) * 8 + (slice & 3);
        float d[4];
        for (std::uint32_t j = 0; j < 4; ++j) d[j] = (row & 1) ? dt[(n - 1 - j) & 3] : dt[j];
        std::uint32_t x = 0;
#if QV_PIXEL_VECTORS
        if constexpr (kVector) {
            const __m128 dither = _mm_loadu_ps(d);
            for (; x + 4 <= n; x += 4) EncodeFour(p + x * kBytes, px + x, dither);
        }
#endif
        for (; x + 4 <= n; x += 4) {
            Store(p + (x + 0) * kBytes, PackPixel(px[x + 0], d[0]));
            Store(p + (x + 1) * kBytes, PackPixel(px[x + 1], d[1]));
            Store(p + (x + 2) * kBytes, PackPixel(px[x + 2], d[2]));
            Store(p + (x + 3) * kBytes, PackPixel(px[x + 3], d[3]));
        }
        for (; x < n; ++x) Store(p + x * kBytes, PackPixel(px[x], d[x & 3]));
    }

    void EncodeDiffused(std::uint8_t* p, FloatPixel* px, std::uint32_t row, std::uint32_t slice) const {
        const std::uint32_t n = width;
        FloatPixel* buffer = diffusionBuffer;
        for (std::uint32_t x = 0; x < n; ++x) {
            px[x].r += buffer[x + 1].r;
            px[x].g += buffer[x + 1].g;
            px[x].b += buffer[x + 1].b;
            px[x].a += buffer[x + 1].a;
        }
        std::memset(buffer, 0, (std::size_t{n} + 2) * sizeof(FloatPixel));

        const float* dt = ditherTable + (row & 3) * 8 + (slice & 3);
        const bool reverse = (row & 1) != 0;
        const int dir = reverse ? -1 : 1;
        FloatPixel e{0, 0, 0, 0};
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t x = reverse ? n - 1 - i : i;
            const float d = dt[i & 3];
            FloatPixel& v = px[x];
            PrepareChannels(v);
            FloatPixel* below = buffer + x + 1;
            Word w = [&]<std::uint32_t... K>(std::integer_sequence<std::uint32_t, K...>) {
                return static_cast<Word>((Word{0} | ... | QuantizeDiffused<K>(v, d, e, below, dir)));
            }(std::make_integer_sequence<std::uint32_t, kFields>());
            if constexpr (kIndexField >= 0) {
                constexpr CodecField f = L.fields[kIndexField];
                w = static_cast<Word>(w | (static_cast<Word>(NearestPaletteEntry(palette, v, false)) << f.shift));
            }
            Store(p + x * kBytes, w);
        }
    }

#if QV_PIXEL_VECTORS
    // ---- four pixels at a time, one channel per vector ----
    // Packed words of 1, 2 or 4 bytes: the fields of four pixels are taken
    // apart side by side and transposed into four FloatPixels (and back). The
    // arithmetic is the scalar one, lane by lane, so results are identical.

    static constexpr bool kVector =
        L.shape == CodecShape::Packed && !kCx && (kBytes == 1 || kBytes == 2 || kBytes == 4);

    static __m128i LoadFour(const std::uint8_t* p) {
        const __m128i zero = _mm_setzero_si128();
        if constexpr (kBytes == 4) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        } else if constexpr (kBytes == 2) {
            return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
        } else {
            std::int32_t bytes;
            std::memcpy(&bytes, p, 4);
            return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), zero), zero);
        }
    }

    static void StoreFour(std::uint8_t* p, __m128i w) {
        if constexpr (kBytes == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), w);
        } else if constexpr (kBytes == 2) {
            // Sign-extend the low halves so that the saturating pack keeps them.
            w = _mm_srai_epi32(_mm_slli_epi32(w, 16), 16);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(w, w));
        } else {
            w = _mm_packs_epi32(w, w);
            const std::int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(w, w));
            std::memcpy(p, &bytes, 4);
        }
    }

    template <std::uint32_t K>
    static __m128i FieldLanes(__m128i w) {
        constexpr CodecField f = L.fields[K];
        if constexpr (f.isSigned) {
            const __m128i v = _mm_srai_epi32(_mm_slli_epi32(w, 32 - f.shift - f.bits), 32 - f.bits);
            // The most negative value reads as its neighbour: add 1 where equal.
            return _mm_sub_epi32(v, _mm_cmpeq_epi32(v, _mm_set1_epi32(-(1 << (f.bits - 1)))));
        } else {
            const __m128i v = _mm_srli_epi32(w, f.shift);
            if constexpr (f.shift + f.bits < 32) return _mm_and_si128(v, _mm_set1_epi32((1 << f.bits) - 1));
            return v;
        }
    }

    template <int Place>
    static __m128 PlaceLanes(__m128i w) {
        constexpr char c = L.decoded[Place];
        if constexpr (c == '0') {
            return _mm_setzero_ps();
        } else if constexpr (c == '1') {
            return _mm_set1_ps(1.0f);
        } else {
            constexpr auto k = static_cast<std::uint32_t>(FindField(L, c));
            return _mm_mul_ps(_mm_cvtepi32_ps(FieldLanes<k>(w)), _mm_set1_ps(1.0f / FieldMax(L.fields[k])));
        }
    }

    static void DecodeFour(const std::uint8_t* p, FloatPixel* out) {
        const __m128i w = LoadFour(p);
        __m128 r = PlaceLanes<0>(w), g = PlaceLanes<1>(w), b = PlaceLanes<2>(w), a = PlaceLanes<3>(w);
        _MM_TRANSPOSE4_PS(r, g, b, a);
        _mm_storeu_ps(&out[0].r, r);
        _mm_storeu_ps(&out[1].r, g);
        _mm_storeu_ps(&out[2].r, b);
        _mm_storeu_ps(&out[3].r, a);
    }

    template <std::uint32_t K>
    static __m128i QuantizeLanes(const __m128 (&place)[4], __m128 dither) {
        constexpr CodecField f = L.fields[K];
        if constexpr (f.place < 0) {
            return _mm_setzero_si128();
        } else {
            constexpr float m = FieldMax(f);
            constexpr float lo = f.isSigned ? -m : 0.0f;
            __m128 t = _mm_add_ps(_mm_mul_ps(place[f.place], _mm_set1_ps(m)), dither);
            t = _mm_min_ps(_mm_max_ps(t, _mm_set1_ps(lo)), _mm_set1_ps(m));  // a NaN becomes lo
            __m128i q = _mm_cvttps_epi32(t);
            if constexpr (f.isSigned) q = _mm_and_si128(q, _mm_set1_epi32((1 << f.bits) - 1));
            return _mm_slli_epi32(q, f.shift);
        }
    }

    static void EncodeFour(std::uint8_t* p, const FloatPixel* px, __m128 dither) {
        __m128 place[4] = {_mm_loadu_ps(&px[0].r), _mm_loadu_ps(&px[1].r), _mm_loadu_ps(&px[2].r),
                           _mm_loadu_ps(&px[3].r)};
        _MM_TRANSPOSE4_PS(place[0], place[1], place[2], place[3]);
        const __m128i w = [&]<std::uint32_t... K>(std::integer_sequence<std::uint32_t, K...>) {
            return (_mm_setzero_si128() | ... | QuantizeLanes<K>(place, dither));
        }(std::make_integer_sequence<std::uint32_t, kFields>());
        StoreFour(p, w);
    }
#endif

    // ---- floats ----

    static constexpr std::uint32_t kChannels = L.fieldCount;
    static constexpr bool kHalf = L.fields[0].bits == 16;

    // Four-channel rows convert in one call, straight between the memory and
    // the FloatPixels (which are four floats each) when the memory is aligned
    // for its elements; other rows go through a small aligned chunk.
    bool AlignedForElements(const std::uint8_t* p) const {
        return reinterpret_cast<std::uintptr_t>(p) % (kHalf ? alignof(std::uint16_t) : alignof(float)) == 0;
    }

    void DecodeFloats(const std::uint8_t* p, FloatPixel* out) const {
        const std::uint32_t n = width;
        if constexpr (kChannels == 4) {
            if (!kHalf) {
                std::memcpy(out, p, std::size_t{n} * sizeof(FloatPixel));
                return;
            }
            if (AlignedForElements(p)) {
                HalfToFloatArray(&out[0].r, reinterpret_cast<const std::uint16_t*>(p), n * 4);
                return;
            }
        }
        for (std::uint32_t x = 0; x < n; x += kChunk) {
            const std::uint32_t count = n - x < kChunk ? n - x : kChunk;
            float f[kChunk * 4];
            if constexpr (kHalf) {
                std::uint16_t h[kChunk * 4];
                std::memcpy(h, p + std::size_t{x} * kBytes, std::size_t{count} * kBytes);
                HalfToFloatArray(f, h, count * kChannels);
            } else {
                std::memcpy(f, p + std::size_t{x} * kBytes, std::size_t{count} * kBytes);
            }
            if constexpr (kChannels == 4) {
                std::memcpy(out + x, f, std::size_t{count} * sizeof(FloatPixel));
            } else {
                for (std::uint32_t j = 0; j < count; ++j) {
                    FloatPixel v{f[j * kChannels], 1.0f, 1.0f, 1.0f};
                    if constexpr (kChannels > 1) v.g = f[j * kChannels + 1];
                    out[x + j] = v;
                }
            }
        }
    }

    void EncodeFloats(std::uint8_t* p, const FloatPixel* px) const {
        const std::uint32_t n = width;
        if constexpr (kChannels == 4) {
            if (!kHalf) {
                std::memcpy(p, px, std::size_t{n} * sizeof(FloatPixel));
                return;
            }
            if (AlignedForElements(p)) {
                FloatToHalfArray(reinterpret_cast<std::uint16_t*>(p), &px[0].r, n * 4);
                return;
            }
        }
        for (std::uint32_t x = 0; x < n; x += kChunk) {
            const std::uint32_t count = n - x < kChunk ? n - x : kChunk;
            float f[kChunk * 4];
            if constexpr (kChannels == 4) {
                std::memcpy(f, px + x, std::size_t{count} * sizeof(FloatPixel));
            } else {
                for (std::uint32_t j = 0; j < count; ++j) {
                    f[j * kChannels] = px[x + j].r;
                    if constexpr (kChannels > 1) f[j * kChannels + 1] = px[x + j].g;
                }
            }
            if constexpr (kHalf) {
                std::uint16_t h[kChunk * 4];
                FloatToHalfArray(h, f, count * kChannels);
                std::memcpy(p + std::size_t{x} * kBytes, h, std::size_t{count} * kBytes);
            } else {
                std::memcpy(p + std::size_t{x} * kBytes, f, std::size_t{count} * kBytes);
            }
        }
    }
};

using Creator = PixelCodec* (*)(const PixelRegion&);

template <std::size_t Index>
PixelCodec* Create(const PixelRegion& region) {
    return new (std::nothrow) RowCodec<Index>(region);
}

template <std::size_t... Index>
constexpr std::array<Creator, sizeof...(Index)> MakeCreators(std::index_sequence<Index...>) {
    return {&Create<Index>...};
}

constexpr auto kCreators = MakeCreators(std::make_index_sequence<kCodecLayoutCount>());

}  // namespace

PixelCodec* CreateRowCodec(const PixelRegion& region) {
    const std::size_t index = FindCodecLayout(region.format);
    return index < kCodecLayoutCount ? kCreators[index](region) : nullptr;
}

}  // namespace qv::detail
