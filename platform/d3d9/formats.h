// Memory layout of every pixel format the Direct3D layer stores: how many
// bytes a pixel, a pair of pixels or a 4 x 4 block takes.
#pragma once

#include <cstdint>

#include "quorvane/platform/d3d9_types.h"

namespace qv::platform {

enum class FormatShape : std::uint8_t {
    Pixel,  // `bytes` per pixel
    Pair,   // two pixels share one 4-byte word
    Block,  // 4 x 4 pixels in `bytes`
};

struct FormatLayout {
    D3DFORMAT format;
    FormatShape shape;
    std::uint8_t bytes;
};

// The layout of `format`, or null for a format the layer does not store.
const FormatLayout* FindFormatLayout(D3DFORMAT format);

// Bytes of one row (of blocks, for block formats) of `width` pixels.
std::uint64_t RowPitch(const FormatLayout& layout, std::uint32_t width);
// Rows of memory that `height` pixel rows take (rows of blocks for block formats).
std::uint32_t MemoryRows(const FormatLayout& layout, std::uint32_t height);

}  // namespace qv::platform
