// The math dispatch table: first-use stubs, public entry points, the
// reference table, the library initialisation and the filling steps.
#include "math/dispatch.h"

#include <type_traits>

#include "math/processor.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_registry.h"

namespace qv {
namespace math {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// First-use stubs: bind the whole table, then call through the entry again
// with the same arguments.
#define QV_MATH(index, Name, Result, Params, Args) \
    Result Name##Stub Params {                     \
        InitMathLibrary();                         \
        return g_mathTable.Name.load(kRelaxed) Args; \
    }
#include "math/functions.inl"
#undef QV_MATH

// Relaxed atomics: plain loads and stores on x86, and no data race when two
// threads make their first math call at once (both then bind the table to
// the same choice).
std::atomic<MathVariantSet> g_variantSet{MathVariantSet::Uninitialised};

template <typename Fn>
void Put(std::atomic<Fn>& slot, Fn fn) {
    slot.store(fn, kRelaxed);
}

}  // namespace

MathDispatchTable g_mathTable = {
#define QV_MATH(index, Name, Result, Params, Args) {&Name##Stub},
#include "math/functions.inl"
#undef QV_MATH
};

const MathFunctions kStubFunctions = {
#define QV_MATH(index, Name, Result, Params, Args) &Name##Stub,
#include "math/functions.inl"
#undef QV_MATH
};

const MathFunctions kReferenceFunctions = {
#define QV_MATH(index, Name, Result, Params, Args) &ref::Name,
#include "math/functions.inl"
#undef QV_MATH
};

// The table order is fixed: check each entry's index against its place.
#define QV_MATH(index, Name, Result, Params, Args) \
    static_assert(static_cast<int>(MathEntry::Name) == index, #Name " is out of order");
#include "math/functions.inl"
#undef QV_MATH

void InstallX86Variants([[maybe_unused]] MathDispatchTable* t) {
#if QV_MATH_X86
    Put(t->Vec2Transform, &x87::Vec2Transform);
    Put(t->Vec3Transform, &x87::Vec3Transform);
    Put(t->Vec4Transform, &x87::Vec4Transform);
    Put(t->MatrixMultiply, &x87::MatrixMultiply);
    Put(t->MatrixMultiplyTranspose, &x87::MatrixMultiplyTranspose);
    Put(t->Vec2TransformNormal, &x87::Vec2TransformNormal);
    Put(t->Vec3TransformNormal, &x87::Vec3TransformNormal);
    Put(t->Vec3Normalize, &x87::Vec3Normalize);
    // Planes transform as 4-vectors: the same code as Vec4Transform.
    Put(t->PlaneTransform, &x87::PlaneTransform);
#endif
}

#if QV_MATH_X86
namespace {
// The entries that the SSE and SSE2 steps both fill with the SSE code.
void InstallSharedSseVariants(MathDispatchTable* t) {
    Put(t->Vec2Transform, &sse::Vec2Transform);
    Put(t->Vec3Transform, &sse::Vec3Transform);
    Put(t->Vec4Transform, &sse::Vec4Transform);
    Put(t->MatrixMultiply, &sse::MatrixMultiply);
    Put(t->MatrixMultiplyTranspose, &sse::MatrixMultiplyTranspose);
    Put(t->Vec2TransformNormal, &sse::Vec2TransformNormal);
    Put(t->Vec3TransformNormal, &sse::Vec3TransformNormal);
    Put(t->PlaneTransform, &sse::PlaneTransform);
    Put(t->Vec4Normalize, &sse::Vec4Normalize);
    Put(t->Vec2TransformCoord, &sse::Vec2TransformCoord);
    Put(t->Vec3TransformCoord, &sse::Vec3TransformCoord);
    Put(t->MatrixDeterminant, &sse::MatrixDeterminant);
    Put(t->Vec2Hermite, &sse::Vec2Hermite);
    Put(t->MatrixInverse, &sse::MatrixInverse);
    Put(t->QuaternionMultiply, &sse::QuaternionMultiply);
    Put(t->QuaternionNormalize, &sse::QuaternionNormalize);
    Put(t->PlaneIntersectLine, &sse::PlaneIntersectLine);
    Put(t->Vec2CatmullRom, &sse::Vec2CatmullRom);
    Put(t->Vec2Barycentric, &sse::Vec2Barycentric);
    Put(t->Vec3Hermite, &sse::Vec3Hermite);
    Put(t->Vec3CatmullRom, &sse::Vec3CatmullRom);
    Put(t->Vec3Barycentric, &sse::Vec3Barycentric);
    Put(t->Vec4Hermite, &sse::Vec4Hermite);
    Put(t->Vec4CatmullRom, &sse::Vec4CatmullRom);
    Put(t->Vec4Barycentric, &sse::Vec4Barycentric);
    Put(t->UpdateSkinnedMesh, &sse::UpdateSkinnedMesh);
    Put(t->TessellateNPatch, &sse::TessellateNPatch);
}
}  // namespace
#endif

void InstallSseVariants([[maybe_unused]] MathDispatchTable* t) {
#if QV_MATH_X86
    InstallSharedSseVariants(t);
    Put(t->Vec3Normalize, &sse::Vec3Normalize);
    Put(t->PlaneFromPoints, &sse::PlaneFromPoints);
    Put(t->Vec4Cross, &sse::Vec4Cross);
    Put(t->PlaneNormalize, &sse::PlaneNormalize);
    Put(t->QuaternionRotationMatrix, &sse::QuaternionRotationMatrix);
    Put(t->QuaternionRotationYawPitchRoll, &sse::QuaternionRotationYawPitchRoll);
    Put(t->MatrixShadow, &sse::MatrixShadow);
    Put(t->MatrixReflect, &sse::MatrixReflect);
    Put(t->QuaternionInverse, &sse::QuaternionInverse);
    Put(t->HalfToFloatArray, &sse::HalfToFloatArray);
    Put(t->Vec2TransformArray, &sse::Vec2TransformArray);
    Put(t->Vec2TransformCoordArray, &sse::Vec2TransformCoordArray);
    Put(t->Vec2TransformNormalArray, &sse::Vec2TransformNormalArray);
    Put(t->Vec3TransformArray, &sse::Vec3TransformArray);
    Put(t->Vec3TransformCoordArray, &sse::Vec3TransformCoordArray);
    Put(t->Vec3TransformNormalArray, &sse::Vec3TransformNormalArray);
    Put(t->Vec4TransformArray, &sse::Vec4TransformArray);
    Put(t->PlaneTransformArray, &sse::PlaneTransformArray);
#endif
}

// Like the SSE step, with SSE2 code of its own in some entries; the quaternion
// inverse keeps its reference implementation.
void InstallSse2Variants([[maybe_unused]] MathDispatchTable* t) {
#if QV_MATH_X86
    InstallSharedSseVariants(t);
    Put(t->Vec3Normalize, &sse2::Vec3Normalize);
    Put(t->PlaneFromPoints, &sse2::PlaneFromPoints);
    Put(t->Vec4Cross, &sse2::Vec4Cross);
    Put(t->PlaneNormalize, &sse2::PlaneNormalize);
    Put(t->QuaternionRotationMatrix, &sse2::QuaternionRotationMatrix);
    Put(t->QuaternionRotationYawPitchRoll, &sse2::QuaternionRotationYawPitchRoll);
    Put(t->MatrixShadow, &sse2::MatrixShadow);
    Put(t->MatrixReflect, &sse2::MatrixReflect);
    Put(t->HalfToFloatArray, &sse2::HalfToFloatArray);
    Put(t->Vec2TransformArray, &sse2::Vec2TransformArray);
    Put(t->Vec2TransformCoordArray, &sse2::Vec2TransformCoordArray);
    Put(t->Vec2TransformNormalArray, &sse2::Vec2TransformNormalArray);
    Put(t->Vec3TransformArray, &sse2::Vec3TransformArray);
    Put(t->Vec3TransformCoordArray, &sse2::Vec3TransformCoordArray);
    Put(t->Vec3TransformNormalArray, &sse2::Vec3TransformNormalArray);
    Put(t->Vec4TransformArray, &sse2::Vec4TransformArray);
    Put(t->PlaneTransformArray, &sse2::PlaneTransformArray);
#endif
}

// The 3DNow!, extended 3DNow! and AMD SSE sets are not built: the flags are
// read and nothing is written, so the table keeps the reference and x87 sets.
std::uint32_t InstallAmdVariants(MathDispatchTable* /*table*/) { return GetProcessorFeatureFlags(); }

MathVariantSet InitMathLibrary() {
    CheckAllocatorConformance();
    const MathVariantSet current = g_variantSet.load(kRelaxed);
    if (current != MathVariantSet::Uninitialised) return current;
    g_variantSet.store(MathVariantSet::None, kRelaxed);

#define QV_MATH(index, Name, Result, Params, Args) Put(g_mathTable.Name, kReferenceFunctions.Name);
#include "math/functions.inl"
#undef QV_MATH

    InstallX86Variants(&g_mathTable);

    std::uint32_t p = 0;
    if (ReadDirect3DRegistryValue(REG_DWORD, "DisablePSGP", &p, sizeof(p)) == 0) p = 0;
    std::uint32_t own = 0;
    if (ReadDirect3DRegistryValue(REG_DWORD, "DisableQuorvanePSGP", &own, sizeof(own)) == 1) p = own;
    if (p == 1) return MathVariantSet::None;

    if (p != 2 && IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE) != 0) {
        InstallAmdVariants(&g_mathTable);
        g_variantSet.store(MathVariantSet::Amd, kRelaxed);
    } else if ((QuerySimdSupport() & kSimdSse2) != 0) {
        InstallSse2Variants(&g_mathTable);
        g_variantSet.store(MathVariantSet::Sse2, kRelaxed);
    } else if (IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0) {
        InstallSseVariants(&g_mathTable);
        g_variantSet.store(MathVariantSet::Sse, kRelaxed);
    }
    return g_variantSet.load(kRelaxed);
}

// Test seam: back to the state at program load.
void ResetMathDispatch() {
    g_variantSet.store(MathVariantSet::Uninitialised, kRelaxed);
#define QV_MATH(index, Name, Result, Params, Args) Put(g_mathTable.Name, kStubFunctions.Name);
#include "math/functions.inl"
#undef QV_MATH
    ResetAllocatorCheck();
}

}  // namespace math

// Public entry points: one indirect call through the table.
#define QV_MATH(index, Name, Result, Params, Args)                                        \
    Result Name Params { return math::g_mathTable.Name.load(std::memory_order_relaxed) Args; } \
    static_assert(std::is_same_v<decltype(&Name), math::Name##Sig*>);
#include "math/functions.inl"
#undef QV_MATH

}  // namespace qv
