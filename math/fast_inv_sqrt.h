// The table of FastInvSqrt: 512 (slope, intercept) chords of 1/sqrt(m).
#pragma once

#include <array>

#include "quorvane/math/math.h"

namespace qv::math {

struct InvSqrtEntry {
    float slope;
    float intercept;
};

extern const std::array<InvSqrtEntry, 512> kInvSqrtTable;

}  // namespace qv::math
