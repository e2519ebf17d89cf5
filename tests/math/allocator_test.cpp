// The allocator check on the first math call, with a replaced global
// allocator whose zero-byte allocations break the rules (the same block every
// time, or null).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "math/math_test_hooks.h"
#include "quorvane/platform/test_hooks.h"

namespace {

enum class ZeroBytes { Unique, SameBlock, Null };
ZeroBytes g_zeroBytes = ZeroBytes::Unique;
alignas(std::max_align_t) unsigned char g_sharedBlock[16];

void* Allocate(std::size_t size) {
    if (size == 0 && g_zeroBytes == ZeroBytes::SameBlock) return g_sharedBlock;
    if (size == 0 && g_zeroBytes == ZeroBytes::Null) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void Release(void* p) {
    if (p != g_sharedBlock) std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = Allocate(size);
    if (!p && size != 0) throw std::bad_alloc();
    return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace qv::math {
namespace {

const std::string kWarning =
    "Quorvane: (WARN) Overloaded ::new and ::delete operators do not conform to C++ standards:\r\n"
    "Quorvane: (WARN) An allocation of zero bytes should return a unique non-null pointer to at\r\n"
    "Quorvane: (WARN) least zero bytes. Deletion of a null pointer should quietly do nothing.\r\n"
    "Quorvane: (WARN) Quorvane relies upon this behavior.\r\n";

std::string TakeOutput() {
    std::string all;
    for (const std::string& line : qv::testing::TakeDebugOutput()) all += line;
    return all;
}

TEST(AllocatorCheck, WarnsOnceOnTheFirstMathCall) {
    qv::testing::CaptureDebugOutput(true);
    for (ZeroBytes mode : {ZeroBytes::SameBlock, ZeroBytes::Null, ZeroBytes::Unique}) {
        SCOPED_TRACE(static_cast<int>(mode));
        ResetMathDispatch();
        TakeOutput();
        g_zeroBytes = mode;
        Matrix a{}, out{};
        for (int i = 0; i < 4; ++i) a.m[i][i] = 2.0f;
        qv::MatrixMultiply(&out, &a, &a);
        qv::MatrixMultiply(&out, &out, &a);
        g_zeroBytes = ZeroBytes::Unique;
        EXPECT_EQ(TakeOutput(), mode == ZeroBytes::Unique ? std::string() : kWarning);
        EXPECT_EQ(out.m[0][0], 8.0f);  // the math goes on as usual
        EXPECT_EQ(out.m[3][3], 8.0f);
        EXPECT_EQ(out.m[0][1], 0.0f);
    }
    qv::testing::CaptureDebugOutput(false);
}

}  // namespace
}  // namespace qv::math
