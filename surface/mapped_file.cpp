// Read-only mapping of a whole file.
#include "quorvane/surface/mapped_file.h"

#include "quorvane/image/decoded_image.h"
#include "quorvane/platform/d3d9_types.h"

namespace qv {

HRESULT MappedFile::Open(const char* fileName) {
    if (fileName == nullptr) return D3DERR_INVALIDCALL;
    // Random access: the decoders jump around in the file, read-ahead would
    // not help.
    file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE) return QVERR_INVALIDDATA;
    // Not tested here: a failed mapping shows up when the view is taken.
    mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) mapping = INVALID_HANDLE_VALUE;
    size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) {
        size = 0;
        return QVERR_INVALIDDATA;
    }
    if (size == 0) {
        data = nullptr;
        return S_OK;
    }
    if (mapping == INVALID_HANDLE_VALUE) return QVERR_INVALIDDATA;
    data = static_cast<const std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    if (data == nullptr) {
        size = 0;
        return QVERR_INVALIDDATA;
    }
    return S_OK;
}

HRESULT MappedFile::Close() {
    if (data != nullptr) {
        UnmapViewOfFile(data);
        data = nullptr;
    }
    size = 0;
    if (mapping != INVALID_HANDLE_VALUE) {
        CloseHandle(mapping);
        mapping = INVALID_HANDLE_VALUE;
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    return S_OK;
}

}  // namespace qv
