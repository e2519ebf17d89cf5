// The decoded image record and the reader dispatch.
#include "quorvane/image/decoded_image.h"

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "image/readers.h"
#include "quorvane/pixel/pixel_format.h"

namespace qv {

DecodedImage::~DecodedImage() { Release(); }

void DecodedImage::Release() {
    if (pixels != nullptr && ownsPixels) delete[] static_cast<std::uint8_t*>(pixels);
    if (palette != nullptr && ownsPalette) delete[] palette;
    // Level chain first, then the face chain.
    delete nextLevel;
    delete nextFace;
    pixels = nullptr;
    palette = nullptr;
    nextLevel = nullptr;
    nextFace = nullptr;
    ownsPixels = false;
    ownsPalette = false;
}

D3DFORMAT ClosestExternalFormat(D3DFORMAT format) {
    if (format == FMT_A16L16) return D3DFMT_A8L8;
    if (format == FMT_R16G16B16) return D3DFMT_R8G8B8;
    return format;
}

namespace {

using ReaderFunction = HRESULT (*)(DecodedImage*, const std::uint8_t*, std::uint32_t);

struct ReaderEntry {
    ImageFileFormat fileFormat;
    ReaderFunction read;
};

// Tried in this order; the first reader that succeeds wins. Formats with a
// magic value come first. TGA has none, only plausibility tests, so it runs
// after all of them; a bare DIB has no file header at all and is the last
// resort.
constexpr ReaderEntry kReaders[] = {
    {ImageFileFormat::Bmp, ReadBmpImage},   // "BM" and the file-size field
    {ImageFileFormat::Ppm, ReadPpmImage},   // "P3" or "P6"
    {ImageFileFormat::Dds, ReadDdsImage},   // "DDS " and a 128-byte header
    {ImageFileFormat::Jpg, ReadJpegImage},  // the JPEG decoder's header reader
    {ImageFileFormat::Png, ReadPngImage},   // the PNG signature
    {ImageFileFormat::Pfm, ReadPfmImage},   // "PF" or "Pf" and a line feed
    {ImageFileFormat::Hdr, ReadHdrImage},   // "#?RADIANCE"
    {ImageFileFormat::Tga, ReadTgaImage},   // plausible header, no magic
    {ImageFileFormat::Dib, ReadDibImage},   // an information header at the start
};

// Runs the readers under the "C" numeric locale: the PFM and HDR readers scan
// decimal numbers, which a comma-decimal locale would misread. The caller's
// locale is back in force when the guard goes out of scope.
class NumericLocaleGuard {
public:
    NumericLocaleGuard() {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        if (current != nullptr) saved_ = strdup(current);
        if (saved_ == nullptr || std::strcmp(saved_, "C") != 0) std::setlocale(LC_NUMERIC, "C");
    }
    ~NumericLocaleGuard() {
        if (saved_ == nullptr) return;  // no copy: the locale stays "C"
        if (std::strcmp(saved_, "C") != 0) std::setlocale(LC_NUMERIC, saved_);
        std::free(saved_);
    }
    NumericLocaleGuard(const NumericLocaleGuard&) = delete;
    NumericLocaleGuard& operator=(const NumericLocaleGuard&) = delete;

private:
    char* saved_ = nullptr;
};

void SetSourceBoxes(DecodedImage* face) {
    for (; face != nullptr; face = face->nextFace) {
        for (DecodedImage* level = face; level != nullptr; level = level->nextLevel)
            level->sourceBox = {0, 0, level->width, level->height, 0, level->depth};
    }
}

}  // namespace

HRESULT DecodeImageFile(DecodedImage* image, const void* data, std::uint32_t size, ImageInfo* info,
                        bool decodePixels) {
    if (image == nullptr || data == nullptr || size == 0) return D3DERR_INVALIDCALL;
    if (info == nullptr && !decodePixels) return S_OK;

    const auto* bytes = static_cast<const std::uint8_t*>(data);
    bool accepted = false;
    {
        NumericLocaleGuard locale;
        for (const ReaderEntry& reader : kReaders) {
            image->decodePixels = decodePixels;
            image->resourceType = D3DRTYPE_TEXTURE;
            image->fileFormat = reader.fileFormat;
            if (SUCCEEDED(reader.read(image, bytes, size))) {
                accepted = true;
                break;
            }
            // Drop whatever the failed reader left behind before the next try.
            image->Release();
        }
    }
    if (!accepted) return QVERR_INVALIDDATA;

    if (info != nullptr) {
        std::uint32_t levels = 1;
        for (const DecodedImage* level = image->nextLevel; level != nullptr; level = level->nextLevel)
            ++levels;
        info->width = image->width;
        info->height = image->height;
        info->depth = image->depth;
        info->mipLevels = levels;
        info->format = ClosestExternalFormat(image->format);
        info->resourceType = image->resourceType;
        info->fileFormat = image->fileFormat;
    }
    SetSourceBoxes(image);
    return S_OK;
}

}  // namespace qv
