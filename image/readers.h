// The nine image readers, in the order the dispatch tries them.
//
// Contract: each reads image->decodePixels and fills the record. On success it
// returns a value >= 0 and has set format, width, height, depth, rowPitch and
// slicePitch, and when decoding, pixels (and palette for P8/A8P8) with their
// owns flags. On bytes it does not recognise or finds malformed it returns a
// negative code (E_OUTOFMEMORY when an allocation fails) and may leave owned
// memory behind for the dispatch to release. A reader never reads outside
// data .. data + size.
#pragma once

#include <cstdint>

#include "quorvane/image/decoded_image.h"

namespace qv {

HRESULT ReadBmpImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadPpmImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadDdsImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadJpegImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadPngImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadPfmImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadHdrImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadTgaImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);
HRESULT ReadDibImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size);

}  // namespace qv
