// Look-up in the pixel format table.
#include "quorvane/pixel/pixel_format.h"

#include "pixel/pixel_format_table.h"

namespace qv {

namespace {

constexpr bool CodesAreUnique() {
    for (std::size_t i = 0; i < detail::kPixelFormatCount; ++i)
        for (std::size_t j = i + 1; j < detail::kPixelFormatCount; ++j)
            if (detail::kPixelFormatTable[i].format == detail::kPixelFormatTable[j].format) return false;
    return true;
}

// A plain pixel is one integer word of 8, 16, 32 or 64 bits.
constexpr bool PlainWordsAreWords() {
    for (const PixelFormatInfo& info : detail::kPixelFormatTable) {
        const std::uint32_t bits = info.bitsPerPixel;
        if (info.plainWord && bits != 8 && bits != 16 && bits != 32 && bits != 64) return false;
    }
    return true;
}

static_assert(detail::kPixelFormatCount == 57, "the pixel format table has 57 rows");
static_assert(CodesAreUnique(), "a format code stands twice in the pixel format table");
static_assert(PlainWordsAreWords(), "a plain-word row is not 8, 16, 32 or 64 bits wide");

}  // namespace

const PixelFormatInfo kFallbackPixelFormat = {D3DFMT_UNKNOWN, PixelKind::Rgb, 32, 0, 8, 8, 8, 8, 0};

const PixelFormatInfo& LookUpPixelFormat(D3DFORMAT format) {
    for (const PixelFormatInfo& info : detail::kPixelFormatTable)
        if (info.format == format) return info;
    return kFallbackPixelFormat;
}

}  // namespace qv
