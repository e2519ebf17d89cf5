// Shared constants and steps of the pixel codecs, for the codec sources only.
#pragma once

#include <cstdint>

#include "quorvane/pixel/pixel_codec.h"

namespace qv::detail {

// Ordered dither: a 4 x 4 matrix, each row written twice so that a column
// index up to 6 needs no wrap. The flat table (0.5 everywhere) rounds.
extern const float kOrderedDitherTable[32];
extern const float kFlatDitherTable[32];

inline constexpr float kLumaRed = 0.2125f;
inline constexpr float kLumaGreen = 0.7154f;
inline constexpr float kLumaBlue = 0.0721f;

// Rewrites `count` pixels from one range into another (from == to: a copy).
// `in` and `out` may be the same row.
void ConvertRange(const FloatPixel* in, FloatPixel* out, std::uint32_t count, ChannelRange from, ChannelRange to);

// Index of the palette entry nearest to `pixel`: squared distance over r, g, b
// (and a when `withAlpha`), the lowest index winning ties.
std::uint32_t NearestPaletteEntry(const FloatPixel* palette, const FloatPixel& pixel, bool withAlpha);

// A row codec of the codec table for the region's format, or null when the
// format has none or memory runs out. The caller finishes the set-up.
PixelCodec* CreateRowCodec(const PixelRegion& region);

}  // namespace qv::detail
