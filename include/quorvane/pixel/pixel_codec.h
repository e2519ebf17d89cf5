// Row codecs: read rows of one pixel format into rows of FloatPixel and write
// them back, with colour key, gamma, ordered dither, error diffusion, palette
// look-up and range conversion.
#pragma once

#include <cstdint>

#include "quorvane/platform/d3d9_types.h"
#include "quorvane/platform/win_types.h"

namespace qv {

struct FloatPixel {
    float r;
    float g;
    float b;
    float a;
};

enum class ChannelRange : std::uint32_t {
    Unsigned = 1,   // all four channels in 0..1
    SignedXyz = 2,  // r, g, b in -1..1; a in 0..1
    Signed = 3,     // all four in -1..1
    Float = 4,      // unbounded
};

// A box of pixels: left, top, right, bottom, front, back (exclusive ends).
struct PixelBox {
    std::uint32_t left;
    std::uint32_t top;
    std::uint32_t right;
    std::uint32_t bottom;
    std::uint32_t front;
    std::uint32_t back;
};

// The memory a codec works on.
struct PixelRegion {
    void* bits = nullptr;  // coordinates count from the pixel (or block) here
    D3DFORMAT format = D3DFMT_UNKNOWN;
    std::uint32_t rowPitch = 0;    // for DXT: bytes per row of 4 x 4 blocks
    std::uint32_t slicePitch = 0;
    PixelBox extent{};             // all valid pixels (read by the block codec only)
    PixelBox box{};                // the pixels to read or write
    std::uint32_t dither = 0;      // nonzero: ordered dither on encode
    std::uint32_t diffuse = 0;     // nonzero: error diffusion on encode
    std::uint32_t srgb = 0;        // nonzero: memory holds gamma 2.2 colour
    std::uint32_t colorKey = 0;    // A8R8G8B8; 0 means no key
    const PALETTEENTRY* palette = nullptr;  // 256 entries or null
};

class PixelCodec {
public:
    virtual ~PixelCodec();

    // Decodes row `row` of slice `slice` of the box into `width` pixels.
    virtual void DecodeRow(std::uint32_t row, std::uint32_t slice, FloatPixel* out);
    // Encodes `width` pixels into row `row` of slice `slice`; may overwrite `in`.
    // Rows of one slice must be encoded in increasing order.
    virtual void EncodeRow(std::uint32_t row, std::uint32_t slice, FloatPixel* in);
    // Makes keyColor exactly what DecodeRow yields for a pixel stored from the key.
    virtual void QuantizeColorKey();

    D3DFORMAT format = D3DFMT_UNKNOWN;
    ChannelRange range = ChannelRange::Unsigned;
    bool hasPixelSize = false;
    bool srgb = false;
    bool bothSrgb = false;
    std::uint32_t colorKey = 0;
    bool isPalettized = false;
    std::uint8_t* origin = nullptr;
    FloatPixel keyColor{};
    const float* ditherTable = nullptr;
    FloatPixel* palette = nullptr;           // owned, 256 entries
    PixelBox box{};
    std::uint32_t sourceRange = 0;           // a ChannelRange value, or 0
    FloatPixel* convertBuffer = nullptr;     // owned, width entries
    FloatPixel* diffusionBuffer = nullptr;   // owned, width + 2 entries
    std::uint32_t rowPitch = 0;
    std::uint32_t slicePitch = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0;
    std::uint32_t rowBytes = 0;
    std::uint32_t bytesPerPixel = 0;

protected:
    PixelCodec() = default;
    // Sets the shared fields from the region. `bitsPerPixel` is 0 for codecs
    // without a fixed pixel size (pairs, blocks): their origin stays at `bits`
    // and their box keeps its absolute coordinates. With `diffuse` set the
    // diffusion row is allocated here; it is null afterwards when that failed.
    PixelCodec(const PixelRegion& region, std::uint32_t bitsPerPixel, ChannelRange codecRange);
    PixelCodec(const PixelCodec&) = delete;
    PixelCodec& operator=(const PixelCodec&) = delete;

    // Shared passes over a row of `count` pixels.
    // Pixels equal to keyColor in all four channels become (0, 0, 0, 0).
    void ApplyColorKey(FloatPixel* row, std::uint32_t count) const;
    // Undoes the gamma 2.2 encoding in place (when srgb is set).
    void GammaDecodeRow(FloatPixel* row, std::uint32_t count) const;
    // The first steps of every EncodeRow: range conversion from the linked
    // source and gamma encoding, each only when needed. Returns the row the
    // rest of the encoder works on: convertBuffer, or `in` itself.
    FloatPixel* PrepareEncodeRow(FloatPixel* in, std::uint32_t count);
    // Address of the first pixel of a row of the box (pixel codecs).
    std::uint8_t* RowAddress(std::uint32_t row, std::uint32_t slice) const;
};

// A new codec for the region's format, or null when the format has no codec
// or memory runs out. The caller owns it.
PixelCodec* CreatePixelCodec(const PixelRegion& region);

// Tells `destination` about its source before the first EncodeRow.
// S_OK, or E_OUTOFMEMORY when the conversion row cannot be allocated.
HRESULT LinkSource(PixelCodec* destination, PixelCodec* source);

}  // namespace qv
