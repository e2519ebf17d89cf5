// Read-only access to a whole file as one block of memory, by mapping it.
#pragma once

#include <cstdint>

#include "quorvane/platform/win_kernel.h"

namespace qv {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // S_OK (an empty file opens with data null and size 0),
    // D3DERR_INVALIDCALL for a null name, QVERR_INVALIDDATA when the file
    // cannot be opened, sized or mapped. A failed Open may leave handles that
    // Close releases.
    HRESULT Open(const char* fileName);
    // Releases whatever Open obtained; harmless when nothing is open.
    HRESULT Close();

    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = INVALID_HANDLE_VALUE;
    const std::uint8_t* data = nullptr;  // first byte of the read-only view
    std::uint32_t size = 0;              // bytes in the file
};

}  // namespace qv
