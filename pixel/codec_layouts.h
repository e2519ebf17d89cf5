// The layouts of the row codecs as data: which fields a pixel holds, lowest
// bit first, and what each place of a decoded FloatPixel carries. Shifts,
// masks, scales and the pixel size are derived here, never typed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quorvane/pixel/pixel_codec.h"
#include "quorvane/pixel/pixel_format.h"

namespace qv::detail {

enum class CodecShape : std::uint8_t {
    Packed,   // integer fields in one word of 1 to 8 bytes (unsigned, signed, luminance, byte/word triples)
    Palette,  // an 8-bit index into the palette, with or without an alpha byte
    Float,    // 16-bit (half) or 32-bit floats
};

struct CodecField {
    char channel = 0;         // R G B A L U V W Q, X (padding) or I (palette index)
    std::uint8_t bits = 0;
    bool isSigned = false;
    bool isFloat = false;
    std::uint8_t shift = 0;   // position of the lowest bit in the pixel
    std::int8_t place = -1;   // FloatPixel place (0 r .. 3 a) it is encoded from; -1 for X and I
};

struct CodecLayout {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DFORMAT alias = D3DFMT_UNKNOWN;  // a second format read and written the same way
    ChannelRange range = ChannelRange::Unsigned;
    CodecShape shape = CodecShape::Packed;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t fieldCount = 0;
    CodecField fields[4]{};
    // What each place of a decoded pixel holds: a field's channel letter,
    // '0' or '1' for a constant, 'P' for the palette entry's channel, 'C' for
    // the third component derived from U and V.
    char decoded[4]{};
    bool luminance = false;  // encoding first replaces r by the luminance of r, g, b
};

// Builds a layout from a field list such as "B5 G6 R5" or "U8s V8s L8 X8"
// (lowest bits first; "s" marks a signed field, "f" a float field) and the
// four decoded places, such as "RGB1".
consteval CodecLayout MakeLayout(D3DFORMAT format, const char* fields, const char* decoded, ChannelRange range,
                                 D3DFORMAT alias = D3DFMT_UNKNOWN) {
    CodecLayout layout;
    layout.format = format;
    layout.alias = alias;
    layout.range = range;
    for (int place = 0; place < 4; ++place) layout.decoded[place] = decoded[place];
    if (decoded[4] != '\0') throw "four decoded places expected";

    std::uint32_t shift = 0;
    const char* p = fields;
    bool hasFloat = false;
    bool hasIndex = false;
    while (*p != '\0') {
        if (layout.fieldCount == 4) throw "at most four fields";
        CodecField field;
        field.channel = *p++;
        unsigned bits = 0;
        while (*p >= '0' && *p <= '9') bits = bits * 10 + static_cast<unsigned>(*p++ - '0');
        if (*p == 's') field.isSigned = true, ++p;
        if (*p == 'f') field.isFloat = true, ++p;
        if (*p == ' ') ++p;
        if (bits == 0 || bits > 32) throw "field width out of range";
        if (!field.isFloat && bits > 16) throw "integer fields are at most 16 bits";
        if (field.isFloat && bits != 16 && bits != 32) throw "floats are halves or singles";
        field.bits = static_cast<std::uint8_t>(bits);
        field.shift = static_cast<std::uint8_t>(shift);
        shift += bits;
        hasFloat = hasFloat || field.isFloat;
        hasIndex = hasIndex || field.channel == 'I';
        if (field.channel != 'X' && field.channel != 'I') {
            for (int place = 0; place < 4 && field.place < 0; ++place)
                if (decoded[place] == field.channel) field.place = static_cast<std::int8_t>(place);
            if (field.place < 0) throw "a stored channel is never decoded";
        }
        if (field.channel == 'L' && range == ChannelRange::Unsigned) layout.luminance = true;
        layout.fields[layout.fieldCount++] = field;
    }
    layout.bitsPerPixel = shift;
    if (shift % 8 != 0 || shift > 128 || (!hasFloat && shift > 64)) throw "pixel size out of range";
    layout.shape = hasIndex ? CodecShape::Palette : hasFloat ? CodecShape::Float : CodecShape::Packed;
    if (hasFloat && range != ChannelRange::Float) throw "float fields need the float range";
    return layout;
}

inline constexpr ChannelRange kUns = ChannelRange::Unsigned;
inline constexpr ChannelRange kXyz = ChannelRange::SignedXyz;
inline constexpr ChannelRange kSgn = ChannelRange::Signed;
inline constexpr ChannelRange kFlt = ChannelRange::Float;

// One row per codec class.
inline constexpr CodecLayout kCodecLayouts[] = {
    //         format                        fields, lowest bits first  decoded  range
    MakeLayout(D3DFMT_R8G8B8,                "B8 G8 R8",                "RGB1",  kUns),
    MakeLayout(D3DFMT_A8R8G8B8,              "B8 G8 R8 A8",             "RGBA",  kUns),
    MakeLayout(D3DFMT_X8R8G8B8,              "B8 G8 R8 X8",             "RGB1",  kUns),
    MakeLayout(D3DFMT_R5G6B5,                "B5 G6 R5",                "RGB1",  kUns),
    MakeLayout(D3DFMT_X1R5G5B5,              "B5 G5 R5 X1",             "RGB1",  kUns),
    MakeLayout(D3DFMT_A1R5G5B5,              "B5 G5 R5 A1",             "RGBA",  kUns),
    MakeLayout(D3DFMT_A4R4G4B4,              "B4 G4 R4 A4",             "RGBA",  kUns),
    MakeLayout(D3DFMT_R3G3B2,                "B2 G3 R3",                "RGB1",  kUns),
    MakeLayout(D3DFMT_A8,                    "A8",                      "000A",  kUns),
    MakeLayout(D3DFMT_A8R3G3B2,              "B2 G3 R3 A8",             "RGBA",  kUns),
    MakeLayout(D3DFMT_X4R4G4B4,              "B4 G4 R4 X4",             "RGB1",  kUns),
    MakeLayout(D3DFMT_A2B10G10R10,           "R10 G10 B10 A2",          "RGBA",  kUns),
    MakeLayout(D3DFMT_A8B8G8R8,              "R8 G8 B8 A8",             "RGBA",  kUns),
    MakeLayout(D3DFMT_X8B8G8R8,              "R8 G8 B8 X8",             "RGB1",  kUns),
    MakeLayout(D3DFMT_G16R16,                "R16 G16",                 "RG11",  kUns),
    MakeLayout(D3DFMT_A2R10G10B10,           "B10 G10 R10 A2",          "RGBA",  kUns),
    MakeLayout(D3DFMT_A16B16G16R16,          "R16 G16 B16 A16",         "RGBA",  kUns),
    MakeLayout(D3DFMT_A8P8,                  "I8 A8",                   "PPPA",  kUns),
    MakeLayout(D3DFMT_P8,                    "I8",                      "PPPP",  kUns),
    MakeLayout(D3DFMT_L8,                    "L8",                      "LLL1",  kUns),
    MakeLayout(D3DFMT_A8L8,                  "L8 A8",                   "LLLA",  kUns),
    MakeLayout(D3DFMT_A4L4,                  "L4 A4",                   "LLLA",  kUns),
    MakeLayout(D3DFMT_L16,                   "L16",                     "LLL1",  kUns, D3DFMT_D16_LOCKABLE),
    MakeLayout(FMT_A16L16,                   "L16 A16",                 "LLLA",  kUns),
    MakeLayout(FMT_R16G16B16,                "B16 G16 R16",             "RGB1",  kUns),
    MakeLayout(D3DFMT_V8U8,                  "U8s V8s",                 "UV11",  kXyz),
    MakeLayout(D3DFMT_L6V5U5,                "U5s V5s L6",              "UV1L",  kXyz),
    MakeLayout(D3DFMT_X8L8V8U8,              "U8s V8s L8 X8",           "UV1L",  kXyz),
    MakeLayout(D3DFMT_V16U16,                "U16s V16s",               "UV11",  kXyz),
    MakeLayout(D3DFMT_A2W10V10U10,           "U10s V10s W10s A2",       "UVWA",  kXyz),
    MakeLayout(D3DFMT_CxV8U8,                "U8s V8s",                 "UVC1",  kXyz),
    MakeLayout(D3DFMT_Q8W8V8U8,              "U8s V8s W8s Q8s",         "UVWQ",  kSgn),
    MakeLayout(D3DFMT_Q16W16V16U16,          "U16s V16s W16s Q16s",     "UVWQ",  kSgn),
    MakeLayout(D3DFMT_R16F,                  "R16f",                    "R111",  kFlt),
    MakeLayout(D3DFMT_G16R16F,               "R16f G16f",               "RG11",  kFlt),
    MakeLayout(D3DFMT_A16B16G16R16F,         "R16f G16f B16f A16f",     "RGBA",  kFlt),
    MakeLayout(D3DFMT_R32F,                  "R32f",                    "R111",  kFlt, D3DFMT_D32F_LOCKABLE),
    MakeLayout(D3DFMT_G32R32F,               "R32f G32f",               "RG11",  kFlt),
    MakeLayout(D3DFMT_A32B32G32R32F,         "R32f G32f B32f A32f",     "RGBA",  kFlt),
};

inline constexpr std::size_t kCodecLayoutCount = sizeof(kCodecLayouts) / sizeof(kCodecLayouts[0]);

// The codec row of `format`, or kCodecLayoutCount when it has none here.
constexpr std::size_t FindCodecLayout(D3DFORMAT format) {
    for (std::size_t i = 0; i < kCodecLayoutCount; ++i)
        if (kCodecLayouts[i].format == format || (kCodecLayouts[i].alias != D3DFMT_UNKNOWN &&
                                                  kCodecLayouts[i].alias == format))
            return i;
    return kCodecLayoutCount;
}

}  // namespace qv::detail
