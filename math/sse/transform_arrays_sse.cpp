// SSE set: the array transforms, blocked above 12 elements.
#include "math/sse/transform_arrays.h"

#if QV_MATH_X86

namespace qv::math::sse {

QV_DEFINE_TRANSFORM_ARRAYS(12)

}  // namespace qv::math::sse

#endif
