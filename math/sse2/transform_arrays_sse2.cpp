// SSE2 set: the array transforms, blocked above 10 elements.
#include "math/sse/transform_arrays.h"

#if QV_MATH_X86

namespace qv::math::sse2 {

QV_DEFINE_TRANSFORM_ARRAYS(10)

}  // namespace qv::math::sse2

#endif
