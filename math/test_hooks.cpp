// Test hooks of the math library (declared in math_test_hooks.h).
#include "math/math_test_hooks.h"

namespace qv::math {

namespace {

MathFunctions Read(const MathDispatchTable& table) {
    return {
#define QV_MATH(index, Name, Result, Params, Args) table.Name.load(std::memory_order_relaxed),
#include "math/functions.inl"
#undef QV_MATH
    };
}

void Write(MathDispatchTable* table, const MathFunctions& f) {
#define QV_MATH(index, Name, Result, Params, Args) table->Name.store(f.Name, std::memory_order_relaxed);
#include "math/functions.inl"
#undef QV_MATH
}

void RunStep(ImplementationSet set, MathDispatchTable* table) {
    switch (set) {
        case ImplementationSet::Reference:
            break;
        case ImplementationSet::X87:
            InstallX86Variants(table);
            break;
        case ImplementationSet::Sse:
            InstallSseVariants(table);
            break;
        case ImplementationSet::Sse2:
            InstallSse2Variants(table);
            break;
    }
}

}  // namespace

MathFunctions FunctionsWrittenBy(ImplementationSet set) {
    if (set == ImplementationSet::Reference) return kReferenceFunctions;
    static MathDispatchTable scratch;  // not thread safe: tests only
    Write(&scratch, MathFunctions{});
    RunStep(set, &scratch);
    return Read(scratch);
}

MathFunctions TableAfter(ImplementationSet set) {
    if (set == ImplementationSet::Reference) return kReferenceFunctions;
    static MathDispatchTable scratch;
    Write(&scratch, kReferenceFunctions);
    InstallX86Variants(&scratch);
    if (set != ImplementationSet::X87) RunStep(set, &scratch);
    return Read(scratch);
}

MathFunctions LiveTable() { return Read(g_mathTable); }

}  // namespace qv::math
