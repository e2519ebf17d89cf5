// Placeholder until the reader is written: recognises nothing.
#include "image/readers.h"

namespace qv {

HRESULT ReadBmpImage(DecodedImage*, const std::uint8_t*, std::uint32_t) { return E_FAIL; }

HRESULT ReadDibImage(DecodedImage*, const std::uint8_t*, std::uint32_t) { return E_FAIL; }

}  // namespace qv
