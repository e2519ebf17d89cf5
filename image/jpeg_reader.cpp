// JPEG (JFIF) files over libjpeg, interface version 62 (libjpeg-turbo, whose
// BGRX output colour space gives colour rows in X8R8G8B8 memory order).
//
// The whole file image is libjpeg's one input buffer. libjpeg's errors come
// back through a long jump and become E_FAIL; its warnings and traces are
// silent. Output rows are L8 for greyscale files and X8R8G8B8 for colour.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#include "image/byte_cursor.h"
#include "image/readers.h"
#include "quorvane/math/math.h"

namespace qv {
namespace {

// The error manager with the jump buffer right behind it, so the error exit
// finds the buffer from the pointer the decompressor holds.
struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

struct MemorySource {
    jpeg_source_mgr manager;
    const JOCTET* data;
    std::uint32_t size;
    bool handedOver;
};

[[noreturn]] void ExitOnError(j_common_ptr info) {
    (*info->err->output_message)(info);
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void OutputNothing(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// The whole file image is handed over once. When libjpeg asks again, the
// file ended before the picture did: that is an error, not a cue to start
// over from the first byte.
boolean FillInputBuffer(j_decompress_ptr info) {
    auto* source = reinterpret_cast<MemorySource*>(info->src);
    if (source->handedOver) ERREXIT(info, JERR_INPUT_EOF);
    source->handedOver = true;
    source->manager.next_input_byte = source->data;
    source->manager.bytes_in_buffer = source->size;
    return TRUE;
}

// A skip past the end of the buffer (a marker whose length reaches beyond
// the file) ends the data.
void SkipInputData(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = info->src;
    const auto skip = static_cast<std::size_t>(count);
    if (skip > source->bytes_in_buffer) {
        source->next_input_byte += source->bytes_in_buffer;
        source->bytes_in_buffer = 0;
        return;
    }
    source->next_input_byte += skip;
    source->bytes_in_buffer -= skip;
}

struct JpegReadState {
    jpeg_decompress_struct decompressor{};
    ErrorManager errors{};
    bool created = false;
};

void InstallSource(j_decompress_ptr info, const std::uint8_t* data, std::uint32_t size) {
    auto* source = static_cast<MemorySource*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(MemorySource)));
    source->manager.init_source = InitSource;
    source->manager.fill_input_buffer = FillInputBuffer;
    source->manager.skip_input_data = SkipInputData;
    source->manager.resync_to_restart = jpeg_resync_to_restart;
    source->manager.term_source = TermSource;
    source->manager.next_input_byte = nullptr;
    source->manager.bytes_in_buffer = 0;
    source->data = data;
    source->size = size;
    source->handedOver = false;
    info->src = &source->manager;
}

// X8R8G8B8 has a zero top byte; libjpeg fills the X of its BGRX rows with 0xFF.
void ClearTopBytes(std::uint8_t* row, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x) row[4 * static_cast<std::size_t>(x) + 3] = 0;
}

// Holds the jump point. No object with a destructor lives in this frame, so
// a long jump back here skips no clean-up.
HRESULT DecodeJpeg(JpegReadState& state, DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    j_decompress_ptr info = &state.decompressor;
    if (setjmp(state.errors.jump) != 0) return E_FAIL;

    jpeg_CreateDecompress(info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    state.created = true;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Progressive files keep every coefficient in memory; a fuzzing build caps
    // that so a forged header cannot ask for gigabytes.
    info->mem->max_memory_to_use = kMaxPixelAllocation;
#endif
    InstallSource(info, data, size);
    jpeg_read_header(info, TRUE);
    if (IsMmxAvailable() == 0) info->dct_method = JDCT_IFAST;

    // Refuse what cannot be returned before any decoding work is done: only
    // greyscale and colour (YCbCr or RGB) files are read. Colour rows come
    // out of libjpeg as blue, green, red, X: the X8R8G8B8 memory order.
    const bool colour = info->out_color_space == JCS_RGB;
    if (!colour && info->out_color_space != JCS_GRAYSCALE) return E_FAIL;
    if (colour) info->out_color_space = JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(info);
    const std::uint32_t bytesPerPixel = colour ? 4 : 1;
    if (info->output_components != static_cast<int>(bytesPerPixel)) return E_FAIL;
    std::uint32_t rowPitch = 0;
    std::uint32_t pixelBytes = 0;
    if (!CheckedMultiply(info->output_width, bytesPerPixel, &rowPitch) ||
        !CheckedMultiply(rowPitch, info->output_height, &pixelBytes))
        return E_FAIL;

    jpeg_start_decompress(info);
    image->format = bytesPerPixel == 1 ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
    image->width = info->output_width;
    image->height = info->output_height;
    image->depth = 1;
    image->rowPitch = rowPitch;
    image->slicePitch = 0;
    if (!image->decodePixels) return S_OK;

    const HRESULT hr = AllocatePixels(image, pixelBytes);
    if (FAILED(hr)) return hr;
    auto* pixels = static_cast<std::uint8_t*>(image->pixels);
    // libjpeg writes the rows straight into the pixel memory, top row first,
    // as many at a time as it produces together.
    constexpr int kRowsPerCall = 16;
    JSAMPROW rows[kRowsPerCall];
    while (info->output_scanline < info->output_height) {
        const JDIMENSION first = info->output_scanline;
        const JDIMENSION wanted = info->output_height - first < kRowsPerCall ? info->output_height - first : kRowsPerCall;
        for (JDIMENSION i = 0; i < wanted; ++i) rows[i] = pixels + static_cast<std::size_t>(first + i) * rowPitch;
        const JDIMENSION read = jpeg_read_scanlines(info, rows, wanted);
        if (read == 0) return E_FAIL;
        if (colour) {
            for (JDIMENSION i = 0; i < read; ++i) ClearTopBytes(rows[i], info->output_width);
        }
    }
    jpeg_finish_decompress(info);
    return S_OK;
}

}  // namespace

HRESULT ReadJpegImage(DecodedImage* image, const std::uint8_t* data, std::uint32_t size) {
    if (data == nullptr || size == 0) return E_FAIL;
    JpegReadState state;
    state.decompressor.err = jpeg_std_error(&state.errors.manager);
    state.errors.manager.error_exit = ExitOnError;
    state.errors.manager.output_message = OutputNothing;
    const HRESULT result = DecodeJpeg(state, image, data, size);
    if (state.created) jpeg_destroy_decompress(&state.decompressor);
    return result;
}

}  // namespace qv
