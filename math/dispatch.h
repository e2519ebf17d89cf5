// The dispatch table of the math functions and the library initialisation.
#pragma once

#include <atomic>
#include <cstdint>

#include "math/variants.h"

namespace qv::math {

// Plain table of implementations, in table order (the reference table and
// the per-set tables of the tests have this shape).
struct MathFunctions {
#define QV_MATH(index, Name, Result, Params, Args) Name##Sig* Name;
#include "math/functions.inl"
#undef QV_MATH
};

// The live table. Each slot is written by one aligned pointer-sized store
// (relaxed atomics compile to plain moves), so a thread calling during the
// fill reaches either the stub or a correct implementation.
struct MathDispatchTable {
#define QV_MATH(index, Name, Result, Params, Args) std::atomic<Name##Sig*> Name;
#include "math/functions.inl"
#undef QV_MATH
};

enum class MathEntry : int {
#define QV_MATH(index, Name, Result, Params, Args) Name,
#include "math/functions.inl"
#undef QV_MATH
    Count
};
static_assert(static_cast<int>(MathEntry::Count) == 73, "the table has 73 entries");

enum class MathVariantSet : std::uint32_t {
    None = 0,  // reference and x87 sets only
    Amd = 1,
    Sse2 = 2,
    Sse = 3,
    Uninitialised = 0xFFFF,
};

extern MathDispatchTable g_mathTable;
extern const MathFunctions kReferenceFunctions;
extern const MathFunctions kStubFunctions;

MathVariantSet InitMathLibrary();

void InstallX86Variants(MathDispatchTable* table);
void InstallSseVariants(MathDispatchTable* table);
void InstallSse2Variants(MathDispatchTable* table);
std::uint32_t InstallAmdVariants(MathDispatchTable* table);

}  // namespace qv::math
