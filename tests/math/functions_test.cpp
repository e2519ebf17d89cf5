// Edge cases of the math functions, run on every built implementation of
// each entry where the behaviour is shared, and on the named sets where the
// sets differ.
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "tests/math/variants.h"

namespace qv::math::test {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

template <typename T>
bool SameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

Matrix Diagonal(float a, float b, float c, float d) {
    Matrix m = {};
    m.m[0][0] = a;
    m.m[1][1] = b;
    m.m[2][2] = c;
    m.m[3][3] = d;
    return m;
}

const Matrix kIdentity = Diagonal(1, 1, 1, 1);

Matrix Sample(int seed) {
    Matrix m;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = 0.37f * static_cast<float>((i * 7 + seed) % 11) - 1.3f;
    return m;
}

void ExpectMatrixNear(const Matrix& a, const Matrix& b, float tolerance, const char* what = "") {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], tolerance) << what << " element " << i;
}

// ---------------------------------------------------------------------------
// Matrix core

TEST(MatrixMultiply, AliasingAndIdentityInEveryVariant) {
    for (const auto& v : QV_VARIANTS(MatrixMultiply)) {
        SCOPED_TRACE(SetName(v.set));
        const Matrix a = Sample(1), b = Sample(5);
        Matrix separate;
        v.fn(&separate, &a, &b);
        Matrix out = a;
        EXPECT_EQ(v.fn(&out, &out, &b), &out);
        EXPECT_TRUE(SameBits(out, separate)) << "out = m1";
        out = b;
        v.fn(&out, &a, &out);
        EXPECT_TRUE(SameBits(out, separate)) << "out = m2";
        Matrix square;
        v.fn(&square, &a, &a);
        out = a;
        v.fn(&out, &out, &out);
        EXPECT_TRUE(SameBits(out, square)) << "out = m1 = m2";
        v.fn(&out, &a, &kIdentity);
        EXPECT_TRUE(SameBits(out, a));
        v.fn(&out, &kIdentity, &a);
        EXPECT_TRUE(SameBits(out, a));
    }
    for (const auto& v : QV_VARIANTS(MatrixMultiplyTranspose)) {
        SCOPED_TRACE(SetName(v.set));
        const Matrix a = Sample(2), b = Sample(3);
        Matrix separate, out = b;
        v.fn(&separate, &a, &b);
        v.fn(&out, &a, &out);
        EXPECT_TRUE(SameBits(out, separate));
        out = a;
        v.fn(&out, &out, &b);
        EXPECT_TRUE(SameBits(out, separate));
        Matrix product, transposed;
        ref::MatrixMultiply(&product, &a, &b);
        ref::MatrixTranspose(&transposed, &product);
        ExpectMatrixNear(separate, transposed, 1e-5f);
    }
}

TEST(MatrixTranslation, CopiesItsArgumentsBitForBit) {
    Matrix m;
    EXPECT_EQ(qv::MatrixTranslation(&m, 1, 2, 3), &m);
    Matrix expected = kIdentity;
    expected.m[3][0] = 1;
    expected.m[3][1] = 2;
    expected.m[3][2] = 3;
    EXPECT_TRUE(SameBits(m, expected));
    const float odd = std::bit_cast<float>(0x7FC12345u);
    qv::MatrixTranslation(&m, odd, -0.0f, 1e-45f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(m.m[3][0]), 0x7FC12345u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(m.m[3][1]), 0x80000000u);
    EXPECT_EQ(m.m[3][2], 1e-45f);
    qv::MatrixScaling(&m, odd, 2, 3);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(m.m[0][0]), 0x7FC12345u);
    EXPECT_TRUE(SameBits(*qv::MatrixScaling(&m, 1, 1, 1), kIdentity));
}

TEST(MatrixRotationAxis, Cases) {
    Matrix m;
    for (const Vec3 axis : {Vec3{0, 1, 0}, Vec3{3, -2, 0.5f}, Vec3{1e-3f, 0, 0}}) {
        qv::MatrixRotationAxis(&m, &axis, 0.0f);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i / 4][i % 4], kIdentity.m[i / 4][i % 4]);  // -0 counts as 0
    }
    const Vec3 up = {0, 1, 0}, tall = {0, 2, 0};
    Matrix unit;
    qv::MatrixRotationAxis(&unit, &up, 0.7f);
    qv::MatrixRotationAxis(&m, &tall, 0.7f);
    ExpectMatrixNear(m, unit, 1e-6f);
    // (1, 0, 0) about +y by pi/2 goes to (0, 0, -1).
    qv::MatrixRotationAxis(&m, &up, kPi / 2);
    EXPECT_NEAR(m.m[0][0], 0, 1e-6f);
    EXPECT_NEAR(m.m[0][2], -1, 1e-6f);
    const Vec3 zero = {0, 0, 0};
    qv::MatrixRotationAxis(&m, &zero, 0.5f);
    const float c = std::cos(0.5f);
    ExpectMatrixNear(m, Diagonal(c, c, c, 1), 1e-7f);
    Vec3 axis = tall;
    qv::MatrixRotationAxis(&m, &axis, 1.0f);
    EXPECT_TRUE(SameBits(axis, tall)) << "the caller's axis is not changed";
}

TEST(MatrixPerspectiveFovLH, Values) {
    Matrix m;
    EXPECT_EQ(qv::MatrixPerspectiveFovLH(&m, kPi / 2, 4.0f / 3.0f, 1, 1000), &m);
    Matrix expected = {};
    expected.m[0][0] = 0.75f;
    expected.m[1][1] = 1.0f;
    expected.m[2][2] = 1000.0f / 999.0f;
    expected.m[2][3] = 1.0f;
    expected.m[3][2] = -1000.0f / 999.0f;
    ExpectMatrixNear(m, expected, 1e-6f);
    EXPECT_EQ(m.m[3][3], 0.0f);
    EXPECT_EQ(m.m[2][3], 1.0f);
}

TEST(Vec3Normalize, SharedCasesInEveryVariant) {
    for (const auto& v : QV_VARIANTS(Vec3Normalize)) {
        SCOPED_TRACE(SetName(v.set));
        Vec3 out = {9, 9, 9};
        const Vec3 zero = {0, 0, 0};
        EXPECT_EQ(v.fn(&out, &zero), &out);
        EXPECT_TRUE(SameBits(out, zero));
        const Vec3 v34 = {3, 4, 0};
        v.fn(&out, &v34);
        EXPECT_NEAR(out.x, 0.6f, 1e-6f);
        EXPECT_NEAR(out.y, 0.8f, 1e-6f);
        EXPECT_EQ(out.z, 0.0f);
        Vec3 inPlace = v34;
        v.fn(&inPlace, &inPlace);
        EXPECT_TRUE(SameBits(inPlace, out));
    }
}

TEST(Vec3Normalize, SetsDifferWhereTheirTablesSay) {
    if (!QV_MATH_X86) GTEST_SKIP() << "only the reference set is built";
    const MathFunctions x87 = FunctionsWrittenBy(ImplementationSet::X87);
    const MathFunctions sse = FunctionsWrittenBy(ImplementationSet::Sse);
    const MathFunctions sse2 = FunctionsWrittenBy(ImplementationSet::Sse2);
    Vec3 out;
    // len^2 rounds to 1: the reference returns the vector unchanged.
    const Vec3 nearUnit = {1, 0, 1e-4f};
    ref::Vec3Normalize(&out, &nearUnit);
    EXPECT_TRUE(SameBits(out, nearUnit));
    // Within 1e-5 of unit length: only the x87 set leaves it.
    const Vec3 slightlyLong = {1.0000025f, 0, 0};
    x87.Vec3Normalize(&out, &slightlyLong);
    EXPECT_TRUE(SameBits(out, slightlyLong));
    ref::Vec3Normalize(&out, &slightlyLong);
    EXPECT_EQ(out.x, 1.0f);
    // Tiny: len^2 = 1e-20 is below the SSE sets' 2^-46.
    const Vec3 tiny = {1e-10f, 0, 0};
    for (auto f : {&ref::Vec3Normalize, x87.Vec3Normalize}) {
        f(&out, &tiny);
        EXPECT_NEAR(out.x, 1.0f, 2e-6f);
    }
    for (auto f : {sse.Vec3Normalize, sse2.Vec3Normalize}) {
        f(&out, &tiny);
        EXPECT_TRUE(SameBits(out, Vec3{0, 0, 0}));
    }
    // Squared lengths beyond the single range still give unit vectors in the
    // extended-precision sets; below it the reference gives zero and the x87
    // set a unit vector (its table look-up is rescaled, never fed a denormal
    // or an infinity).
    auto lengthSquared = [](const Vec3& v) { return v.x * v.x + v.y * v.y + v.z * v.z; };
    for (const Vec3 huge : {Vec3{1e30f, 0, 0}, Vec3{0, 3e25f, -4e25f}}) {
        for (auto f : {&ref::Vec3Normalize, x87.Vec3Normalize}) {
            f(&out, &huge);
            EXPECT_NEAR(lengthSquared(out), 1.0f, 4e-6f) << huge.y;
        }
    }
    for (const Vec3 small : {Vec3{1e-20f, 0, 0}, Vec3{0, -3e-21f, 4e-21f}}) {
        x87.Vec3Normalize(&out, &small);
        EXPECT_NEAR(lengthSquared(out), 1.0f, 4e-6f) << small.y;
        ref::Vec3Normalize(&out, &small);
        EXPECT_EQ(lengthSquared(out), 0.0f);
    }
}

// ---------------------------------------------------------------------------
// Vectors and planes

TEST(Transforms, CoordDividesByW) {
    for (const auto& v : QV_VARIANTS(Vec3TransformCoord)) {
        SCOPED_TRACE(SetName(v.set));
        Matrix m = Sample(4);
        m.m[0][3] = m.m[1][3] = m.m[2][3] = 0;
        m.m[3][3] = 1;
        const Vec3 p = {0.5f, -2, 3};
        Vec3 out;
        Vec4 plain;
        ref::Vec3Transform(&plain, &p, &m);
        v.fn(&out, &p, &m);
        EXPECT_NEAR(out.x, plain.x, 1e-6f);
        EXPECT_NEAR(out.z, plain.z, 1e-6f);
        if (v.set == ImplementationSet::Reference) {
            EXPECT_EQ(out.y, plain.y) << "no division at w = 1";
        }
        m.m[3][3] = 2;
        v.fn(&out, &p, &m);
        EXPECT_NEAR(out.x, plain.x / 2, 1e-6f);
        EXPECT_NEAR(out.y, plain.y / 2, 1e-6f);
        m = Diagonal(1, 1, 1, 0);
        EXPECT_EQ(v.fn(&out, &p, &m), &out);
        EXPECT_FALSE(std::isfinite(out.x));
    }
}

TEST(Transforms, ArrayCountZeroWritesNothing) {
    unsigned char buffer[64];
    std::memset(buffer, 0xAB, sizeof buffer);
    const Vec4 in[2] = {};
    for (const auto& v : QV_VARIANTS(Vec4TransformArray)) {
        auto* out = reinterpret_cast<Vec4*>(buffer);
        EXPECT_EQ(v.fn(out, 16, in, 16, &kIdentity, 0), out);
    }
    for (const auto& v : QV_VARIANTS(Vec3TransformCoordArray)) {
        auto* out = reinterpret_cast<Vec3*>(buffer);
        EXPECT_EQ(v.fn(out, 12, reinterpret_cast<const Vec3*>(in), 12, &kIdentity, 0), out);
    }
    for (unsigned char b : buffer) ASSERT_EQ(b, 0xAB);
}

TEST(Transforms, ArraysInPlace) {
    for (const auto& v : QV_VARIANTS(Vec3TransformCoordArray)) {
        SCOPED_TRACE(SetName(v.set));
        Vec3 points[17], expected[17];
        const Matrix m = Sample(6);
        for (int i = 0; i < 17; ++i) {
            points[i] = {0.1f * static_cast<float>(i), 1.0f - 0.05f * static_cast<float>(i), 0.3f};
            ref::Vec3TransformCoord(&expected[i], &points[i], &m);
        }
        v.fn(points, sizeof(Vec3), points, sizeof(Vec3), &m, 17);
        for (int i = 0; i < 17; ++i) EXPECT_NEAR(points[i].y, expected[i].y, 1e-4f * (1 + std::abs(expected[i].y)));
    }
}

TEST(Projection, ProjectAndUnproject) {
    const D3DVIEWPORT9 viewport = {0, 0, 640, 480, 0, 1};
    const Vec3 centre = {0, 0, 0.5f};
    Vec3 out;
    EXPECT_EQ(qv::Vec3Project(&out, &centre, &viewport, nullptr, nullptr, nullptr), &out);
    EXPECT_NEAR(out.x, 320, 1e-4f);  // the SSE sets divide by w = 1 through an estimate
    EXPECT_NEAR(out.y, 240, 1e-4f);
    EXPECT_NEAR(out.z, 0.5f, 1e-6f);

    Matrix projection, view, world;
    qv::MatrixPerspectiveFovLH(&projection, kPi / 3, 1.5f, 0.5f, 100);
    const Vec3 up = {0, 1, 0};
    qv::MatrixRotationAxis(&view, &up, 0.3f);
    qv::MatrixTranslation(&world, 1, -2, 10);
    const Vec3 p = {0.5f, 0.25f, 3};
    Vec3 combined;
    Matrix all;
    qv::MatrixMultiply(&all, &world, &view);
    qv::MatrixMultiply(&all, &all, &projection);
    qv::Vec3TransformCoord(&combined, &p, &all);
    qv::Vec3Project(&out, &p, nullptr, &projection, &view, &world);
    EXPECT_TRUE(SameBits(out, combined));

    const D3DVIEWPORT9 offset = {10, 20, 800, 600, 0.1f, 0.9f};
    Vec3 projected, back;
    qv::Vec3Project(&projected, &p, &offset, &projection, &view, &world);
    qv::Vec3Unproject(&back, &projected, &offset, &projection, &view, &world);
    EXPECT_NEAR(back.x, p.x, 1e-3f);
    EXPECT_NEAR(back.y, p.y, 1e-3f);
    EXPECT_NEAR(back.z, p.z, 1e-3f);

    // The array forms fold the viewport into the matrix: same points within rounding.
    Vec3 many[3] = {p, {1, 2, 3}, {-1, 0.5f, 8}}, projectedMany[3], backMany[3];
    qv::Vec3ProjectArray(projectedMany, sizeof(Vec3), many, sizeof(Vec3), &offset, &projection, &view, &world, 3);
    qv::Vec3UnprojectArray(backMany, sizeof(Vec3), projectedMany, sizeof(Vec3), &offset, &projection, &view, &world, 3);
    for (int i = 0; i < 3; ++i) {
        Vec3 single;
        qv::Vec3Project(&single, &many[i], &offset, &projection, &view, &world);
        EXPECT_NEAR(projectedMany[i].x, single.x, 1e-3f);
        EXPECT_NEAR(projectedMany[i].y, single.y, 1e-3f);
        EXPECT_NEAR(projectedMany[i].z, single.z, 1e-5f);
        EXPECT_NEAR(backMany[i].x, many[i].x, 1e-3f);
        EXPECT_NEAR(backMany[i].z, many[i].z, 1e-3f);
    }
}

TEST(Projection, UnprojectThroughASingularMatrixGivesNaNs) {
    const Matrix flat = Diagonal(1, 1, 0, 1);
    const Vec3 p = {1, 2, 3};
    Vec3 out = {0, 0, 0};
    EXPECT_EQ(qv::Vec3Unproject(&out, &p, nullptr, &flat, nullptr, nullptr), &out);
    EXPECT_TRUE(std::isnan(out.x) && std::isnan(out.y) && std::isnan(out.z));
    Vec3 many[2] = {p, p};
    qv::Vec3UnprojectArray(many, sizeof(Vec3), many, sizeof(Vec3), nullptr, &flat, &kIdentity, nullptr, 2);
    EXPECT_TRUE(std::isnan(many[1].z));
}

TEST(Normalize, VectorsAndPlanes) {
    Vec2 v2 = {9, 9};
    const Vec2 zero2 = {0, 0};
    qv::Vec2Normalize(&v2, &zero2);
    EXPECT_TRUE(SameBits(v2, zero2));
    const Vec4 zero4 = {0, 0, 0, 0};
    Vec4 v4;
    ref::Vec4Normalize(&v4, &zero4);
    EXPECT_TRUE(SameBits(v4, zero4));
    if (auto sse = FunctionsWrittenBy(ImplementationSet::Sse).Vec4Normalize) {
        sse(&v4, &zero4);  // no small-length test
        EXPECT_TRUE(std::isnan(v4.x));
    }
    for (const auto& v : QV_VARIANTS(PlaneNormalize)) {
        SCOPED_TRACE(SetName(v.set));
        Plane out;
        const Plane noNormal = {0, 0, 0, 5}, p = {0, 0, 2, 4};
        v.fn(&out, &noNormal);
        EXPECT_TRUE(SameBits(out, Plane{0, 0, 0, 0}));
        v.fn(&out, &p);
        EXPECT_NEAR(out.c, 1.0f, 1e-6f);
        EXPECT_NEAR(out.d, 2.0f, 2e-6f);
    }
}

TEST(Planes, FromPointsAndIntersection) {
    for (const auto& v : QV_VARIANTS(PlaneFromPoints)) {
        const Vec3 a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 1, 0};
        Plane out;
        v.fn(&out, &a, &b, &c);
        EXPECT_NEAR(out.c, 1.0f, 1e-6f) << SetName(v.set);
        EXPECT_EQ(out.a, 0.0f);
        EXPECT_EQ(out.d, 0.0f);
        if (v.set == ImplementationSet::Reference) {
            EXPECT_TRUE(std::signbit(out.d));
        }
    }
    const Vec3 p0 = {1, 2, 3};
    Plane collinear;
    ref::PlaneFromPoints(&collinear, &p0, &p0, &p0);
    EXPECT_TRUE(SameBits(collinear, Plane{0, 0, 0, -0.0f}));
    const Vec3 n = {0, 0, 2};
    Plane fromNormal;
    qv::PlaneFromPointNormal(&fromNormal, &p0, &n);
    EXPECT_TRUE(SameBits(fromNormal, Plane{0, 0, 2, -6}));

    for (const auto& v : QV_VARIANTS(PlaneIntersectLine)) {
        SCOPED_TRACE(SetName(v.set));
        const Plane plane = {0, 0, 1, -1};
        const Vec3 a = {0, 0, 0}, b = {0, 0, 2}, c = {0, 0, 3}, side = {5, 0, 0};
        Vec3 out = {7, 7, 7};
        EXPECT_EQ(v.fn(&out, &plane, &a, &side), nullptr);
        EXPECT_TRUE(SameBits(out, Vec3{7, 7, 7}));
        EXPECT_EQ(v.fn(&out, &plane, &a, &b), &out);
        EXPECT_NEAR(out.z, 1.0f, 1e-6f);
        EXPECT_EQ(v.fn(&out, &plane, &b, &c), &out);
        EXPECT_NEAR(out.z, 1.0f, 1e-6f);
        EXPECT_EQ(out.x, 0.0f);
    }
}

TEST(Interpolation, EndPointsInEveryVariant) {
    const Vec4 a = {1, 2, 3, 4}, b = {-5, 6, 0.5f, 8}, c = {9, -1, 2, 0}, d = {3, 3, -3, 1};
    for (const auto& v : QV_VARIANTS(Vec4CatmullRom)) {
        Vec4 out;
        v.fn(&out, &a, &b, &c, &d, 0);
        EXPECT_TRUE(SameBits(out, b)) << SetName(v.set);
        v.fn(&out, &a, &b, &c, &d, 1);
        EXPECT_TRUE(SameBits(out, c)) << SetName(v.set);
    }
    for (const auto& v : QV_VARIANTS(Vec4Hermite)) {
        Vec4 out;
        v.fn(&out, &a, &b, &c, &d, 0);
        EXPECT_TRUE(SameBits(out, a)) << SetName(v.set);
        v.fn(&out, &a, &b, &c, &d, 1);
        EXPECT_TRUE(SameBits(out, c)) << SetName(v.set);
    }
    for (const auto& v : QV_VARIANTS(Vec3Barycentric)) {
        const Vec3 p = {1, 2, 3}, q = {4, 5, 6}, r = {-1, 0, 1};
        Vec3 out = q;
        v.fn(&out, &p, &out, &r, 0, 0);
        EXPECT_TRUE(SameBits(out, p)) << SetName(v.set);
        v.fn(&out, &p, &q, &r, 0.5f, 0.25f);
        EXPECT_NEAR(out.x, 1 + 1.5f - 0.5f, 1e-6f);
    }
    const Vec4 u = {1, 0, 0, 0}, e1 = {0, 1, 0, 0}, e2 = {0, 0, 1, 0};
    for (const auto& v : QV_VARIANTS(Vec4Cross)) {
        Vec4 out;
        v.fn(&out, &u, &e1, &e2);
        EXPECT_EQ(out.x, 0.0f);
        EXPECT_EQ(out.y, 0.0f);
        EXPECT_EQ(out.z, 0.0f);
        EXPECT_EQ(out.w, -1.0f) << SetName(v.set);
    }
}

// ---------------------------------------------------------------------------
// Matrices

TEST(MatrixInverse, Cases) {
    for (const auto& v : QV_VARIANTS(MatrixInverse)) {
        SCOPED_TRACE(SetName(v.set));
        const Matrix zero = {};
        Matrix out = Sample(1);
        const Matrix before = out;
        float det = 5;
        EXPECT_EQ(v.fn(&out, &det, &zero), nullptr);
        EXPECT_TRUE(SameBits(out, before));
        // The reference stores the determinant before the test; SSE only on success.
        EXPECT_EQ(det, v.set == ImplementationSet::Reference ? 0.0f : 5.0f);
        const Matrix d = Diagonal(2, 4, 8, 1);
        EXPECT_EQ(v.fn(&out, &det, &d), &out);
        EXPECT_EQ(det, 64.0f);
        ExpectMatrixNear(out, Diagonal(0.5f, 0.25f, 0.125f, 1), 1e-7f);
        Matrix inPlace = Sample(3);
        Matrix separate;
        v.fn(&separate, nullptr, &inPlace);
        v.fn(&inPlace, nullptr, &inPlace);
        EXPECT_TRUE(SameBits(inPlace, separate));
    }
    // A determinant whose reciprocal overflows: null from the reference.
    const Matrix tiny = Diagonal(1e-10f, 1e-10f, 1e-10f, 1e-10f);
    Matrix out;
    float det = 1;
    EXPECT_EQ(ref::MatrixInverse(&out, &det, &tiny), nullptr);
    EXPECT_NEAR(det, 1e-40f, 1e-42f);
}

TEST(MatrixDeterminant, Cases) {
    for (const auto& v : QV_VARIANTS(MatrixDeterminant)) {
        EXPECT_EQ(v.fn(&kIdentity), 1.0f);
        Matrix twoRows = {{{{1, 2, 3, 4}, {-2, 5, 7, 1}, {3, 0, -1, 6}, {-2, 5, 7, 1}}}};
        EXPECT_EQ(v.fn(&twoRows), 0.0f) << SetName(v.set);
        const Matrix d = Diagonal(2, -3, 0.5f, 4);
        EXPECT_EQ(v.fn(&d), -12.0f);
    }
}

TEST(Matrices, TransposeAndRotations) {
    Matrix m = Sample(7);
    const Matrix original = m;
    qv::MatrixTranspose(&m, &m);
    EXPECT_EQ(m.m[1][2], original.m[2][1]);
    qv::MatrixTranspose(&m, &m);
    EXPECT_TRUE(SameBits(m, original));

    auto apply = [](const Matrix& r, Vec3 p) {
        Vec3 out;
        ref::Vec3TransformNormal(&out, &p, &r);
        return out;
    };
    Vec3 p;
    qv::MatrixRotationX(&m, kPi / 2);
    p = apply(m, {0, 1, 0});
    EXPECT_NEAR(p.z, 1, 1e-6f);
    qv::MatrixRotationY(&m, kPi / 2);
    p = apply(m, {1, 0, 0});
    EXPECT_NEAR(p.z, -1, 1e-6f);
    qv::MatrixRotationZ(&m, kPi / 2);
    p = apply(m, {1, 0, 0});
    EXPECT_NEAR(p.y, 1, 1e-6f);

    const Quaternion identity = {0, 0, 0, 1}, doubled = {0, 0, 0, 2};
    EXPECT_TRUE(SameBits(*qv::MatrixRotationQuaternion(&m, &identity), kIdentity));
    qv::MatrixRotationQuaternion(&m, &doubled);  // not normalised: still the identity form
    const Quaternion skew = {0, 0, 1, 1};
    qv::MatrixRotationQuaternion(&m, &skew);
    EXPECT_EQ(m.m[0][0], -1.0f);  // 1 - 2z^2: no longer a rotation
}

TEST(Matrices, ComposedTransformations) {
    Matrix m;
    const Vec3 centre = {4, 5, 6};
    qv::MatrixAffineTransformation(&m, 2, &centre, nullptr, nullptr);
    EXPECT_TRUE(SameBits(m, Diagonal(2, 2, 2, 1)));
    const Quaternion quarter = {0, 0, std::sin(kPi / 4), std::cos(kPi / 4)};
    const Vec3 move = {1, 0, 0};
    qv::MatrixAffineTransformation(&m, 1, &centre, &quarter, &move);
    Vec3 p;
    ref::Vec3TransformCoord(&p, &centre, &m);  // the centre stays, then moves by the translation
    EXPECT_NEAR(p.x, 5, 1e-5f);
    EXPECT_NEAR(p.y, 5, 1e-5f);

    qv::MatrixTransformation(&m, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(SameBits(m, kIdentity));
    const Vec3 two = {2, 2, 2}, one = {1, 1, 1};
    qv::MatrixTransformation(&m, &one, nullptr, &two, nullptr, nullptr, nullptr);
    Matrix expected = Diagonal(2, 2, 2, 1);
    expected.m[3][0] = expected.m[3][1] = expected.m[3][2] = -1;
    EXPECT_TRUE(SameBits(m, expected));
    // A scaling rotation about the centre with a unit quaternion: the same
    // uniform scaling.
    qv::MatrixTransformation(&m, &one, &quarter, &two, nullptr, nullptr, nullptr);
    ExpectMatrixNear(m, expected, 1e-6f);

    const Vec2 two2 = {2, 2}, one2 = {1, 1};
    qv::MatrixTransformation2D(&m, &one2, 0, &two2, nullptr, 0, nullptr);
    expected = Diagonal(2, 2, 1, 1);
    expected.m[3][0] = expected.m[3][1] = -1;
    EXPECT_TRUE(SameBits(m, expected));
    qv::MatrixTransformation2D(&m, &one2, 0.5f, &two2, nullptr, 0, nullptr);
    ExpectMatrixNear(m, expected, 1e-6f);
    const Vec2 centre2 = {1, 0}, shift = {0, 3};
    qv::MatrixAffineTransformation2D(&m, 1, &centre2, kPi / 2, &shift);
    const Vec2 origin = {0, 0};
    Vec2 q;
    ref::Vec2TransformCoord(&q, &origin, &m);  // (0,0) about (1,0) by 90 degrees is (1,-1), then up 3
    EXPECT_NEAR(q.x, 1, 1e-6f);
    EXPECT_NEAR(q.y, 2, 1e-6f);
}

TEST(Matrices, ReflectAndShadowInEveryVariant) {
    for (const auto& v : QV_VARIANTS(MatrixReflect)) {
        for (const Plane p : {Plane{0, 1, 0, 0}, Plane{0, 2, 0, 0}}) {
            Matrix m;
            v.fn(&m, &p);
            ExpectMatrixNear(m, Diagonal(1, -1, 1, 1), 1e-6f, SetName(v.set));
        }
    }
    for (const auto& v : QV_VARIANTS(MatrixShadow)) {
        const Plane ground = {0, 1, 0, 0};
        const Vec4 light = {0, -1, 0, 0};
        Matrix m;
        v.fn(&m, &light, &ground);
        for (int r = 0; r < 4; ++r) EXPECT_EQ(m.m[r][1], 0.0f) << SetName(v.set);
        const Vec3 p = {3, 7, -2};
        Vec3 flat;
        ref::Vec3TransformCoord(&flat, &p, &m);
        EXPECT_NEAR(flat.x, 3, 1e-6f);
        EXPECT_NEAR(flat.z, -2, 1e-6f);
    }
}

// ---------------------------------------------------------------------------
// Quaternions

TEST(Quaternions, ProductAndInverse) {
    const Quaternion identity = {0, 0, 0, 1}, q = {0.1f, -0.7f, 0.3f, 0.6f};
    for (const auto& v : QV_VARIANTS(QuaternionMultiply)) {
        Quaternion out;
        v.fn(&out, &identity, &q);
        EXPECT_TRUE(SameBits(out, q)) << SetName(v.set);
        v.fn(&out, &q, &identity);
        EXPECT_TRUE(SameBits(out, q)) << SetName(v.set);
    }
    Quaternion out;
    const Quaternion two = {0, 0, 0, 2};
    ref::QuaternionInverse(&out, &two);
    EXPECT_TRUE(SameBits(out, Quaternion{-0.0f, -0.0f, -0.0f, 0.5f}));
    const Quaternion unit = {0.6f, 0, 0, 0.8f};
    ref::QuaternionInverse(&out, &unit);
    EXPECT_TRUE(SameBits(out, Quaternion{-0.6f, -0.0f, -0.0f, 0.8f}));
    const Quaternion tiny = {0, 0, 0, 1e-10f};
    ref::QuaternionInverse(&out, &tiny);
    EXPECT_TRUE(SameBits(out, Quaternion{0, 0, 0, 0}));
    if (auto sse = FunctionsWrittenBy(ImplementationSet::Sse).QuaternionInverse) {
        sse(&out, &two);
        EXPECT_NEAR(out.w, 0.5f, 1e-6f);
    }
}

TEST(Quaternions, LogarithmAndExponential) {
    Quaternion out;
    const Quaternion identity = {0, 0, 0, 1};
    qv::QuaternionLn(&out, &identity);
    EXPECT_TRUE(SameBits(out, Quaternion{0, 0, 0, 0}));
    const Quaternion pure = {0, 0, 0, 123};
    qv::QuaternionExp(&out, &pure);
    EXPECT_TRUE(SameBits(out, identity));
    const Quaternion q = {0.2f, -0.4f, 0.4f, std::sqrt(1 - 0.36f)};
    Quaternion back;
    qv::QuaternionLn(&out, &q);
    EXPECT_EQ(out.w, 0.0f);
    qv::QuaternionExp(&back, &out);
    EXPECT_NEAR(back.x, q.x, 1e-6f);
    EXPECT_NEAR(back.y, q.y, 1e-6f);
    EXPECT_NEAR(back.w, q.w, 1e-6f);
    Vec3 axis;
    float angle = 5;
    qv::QuaternionToAxisAngle(&identity, &axis, &angle);
    EXPECT_TRUE(SameBits(axis, Vec3{0, 0, 0}));
    EXPECT_EQ(angle, 0.0f);
    qv::QuaternionToAxisAngle(&q, nullptr, nullptr);
}

TEST(Quaternions, Slerp) {
    const Quaternion a = {0, 0, 0, 1}, b = {0, std::sin(0.4f), 0, std::cos(0.4f)};
    const Quaternion minusB = {-b.x, -b.y, -b.z, -b.w};
    Quaternion out;
    qv::QuaternionSlerp(&out, &a, &b, 0);
    EXPECT_NEAR(out.w, 1, 1e-6f);
    qv::QuaternionSlerp(&out, &a, &b, 1);
    EXPECT_NEAR(out.y, b.y, 1e-6f);
    qv::QuaternionSlerp(&out, &a, &minusB, 1);  // the shorter arc: +b
    EXPECT_NEAR(out.y, b.y, 1e-6f);
    qv::QuaternionSlerp(&out, &a, &b, 0.5f);
    EXPECT_NEAR(out.y, std::sin(0.2f), 1e-6f);
    const Quaternion minusA = {0, 0, 0, -1};
    for (float t : {0.0f, 0.3f, 1.0f}) {
        qv::QuaternionSlerp(&out, &a, &minusA, t);
        EXPECT_NEAR(std::abs(out.w), 1, 1e-6f);
    }
    // Nearly parallel: a linear blend.
    const Quaternion c = {0, 1e-4f, 0, 1};
    qv::QuaternionSlerp(&out, &a, &c, 0.25f);
    EXPECT_EQ(out.y, 0.25f * 1e-4f);
    Quaternion f, g;
    qv::QuaternionBarycentric(&f, &a, &b, &c, 0, 0);
    EXPECT_TRUE(SameBits(f, a));
    qv::QuaternionSquad(&g, &a, &a, &b, &b, 0);
    EXPECT_NEAR(g.w, 1, 1e-6f);
}

TEST(Quaternions, Conversions) {
    Quaternion out;
    const Vec3 z2 = {0, 0, 2};
    qv::QuaternionRotationAxis(&out, &z2, kPi);
    EXPECT_NEAR(out.z, 1, 1e-6f);
    EXPECT_NEAR(out.w, 0, 1e-6f);
    for (const auto& v : QV_VARIANTS(QuaternionRotationMatrix)) {
        SCOPED_TRACE(SetName(v.set));
        v.fn(&out, &kIdentity);
        EXPECT_TRUE(SameBits(out, Quaternion{0, 0, 0, 1}));
        const Matrix halfTurnX = Diagonal(1, -1, -1, 1);
        v.fn(&out, &halfTurnX);
        EXPECT_EQ(out.x, 1.0f);
        EXPECT_EQ(out.w, 0.0f);
    }
    for (const auto& v : QV_VARIANTS(QuaternionRotationYawPitchRoll)) {
        SCOPED_TRACE(SetName(v.set));
        v.fn(&out, 0, 0, 0);
        EXPECT_TRUE(SameBits(out, Quaternion{0, 0, 0, 1}));
        v.fn(&out, 0.3f, -1.1f, 2.0f);
        Matrix fromQuaternion, direct;
        ref::MatrixRotationQuaternion(&fromQuaternion, &out);
        ref::MatrixRotationYawPitchRoll(&direct, 0.3f, -1.1f, 2.0f);
        ExpectMatrixNear(fromQuaternion, direct, 2e-6f);
        // Yaw turns about y: (0, 0, 1) towards +x.
        v.fn(&out, kPi / 2, 0, 0);
        ref::MatrixRotationQuaternion(&direct, &out);
        EXPECT_NEAR(direct.m[2][0], 1, 1e-6f);
    }
}

TEST(Quaternions, SquadSetupNegatesOpposites) {
    const Quaternion q0 = {0, 0, 0, 1}, q1 = {0, 0.1f, 0, 0.995f}, q2 = {0, -0.2f, 0, -0.98f}, q3 = {0, 0.3f, 0, 0.954f};
    Quaternion a, b, c;
    qv::QuaternionSquadSetup(&a, &b, &c, &q0, &q1, &q2, &q3);
    EXPECT_TRUE(SameBits(c, Quaternion{-0.0f, 0.2f, -0.0f, 0.98f}));
    EXPECT_GT(a.w, 0.9f);
    EXPECT_GT(b.w, 0.9f);
}

// ---------------------------------------------------------------------------
// Geometry entries

TEST(Geometry, SkinningValidatesBeforeWriting) {
    const Matrix bones[2] = {kIdentity, kIdentity};
    float src[4] = {1, 2, 3, 4};
    const float good[] = {0.5f, 2.5f, -1.0f};
    for (const auto& v : QV_VARIANTS(UpdateSkinnedMesh)) {
        SCOPED_TRACE(SetName(v.set));
        float dst[4] = {9, 9, 9, 9};
        const float unterminated[] = {0.5f};
        const float badBone[] = {4.5f, -1.0f};
        const std::uint32_t farOffset[] = {8};
        EXPECT_EQ(v.fn(bones, nullptr, 2, src, dst, 1, 16, 0, nullptr, unterminated, 1, FALSE), D3DERR_INVALIDCALL);
        EXPECT_EQ(v.fn(bones, nullptr, 2, src, dst, 1, 16, 0, nullptr, badBone, 2, FALSE), D3DERR_INVALIDCALL);
        EXPECT_EQ(v.fn(bones, nullptr, 2, src, dst, 1, 16, 1, farOffset, good, 3, FALSE), D3DERR_INVALIDCALL);
        EXPECT_EQ(v.fn(bones, nullptr, 2, src, dst, 1, 8, 0, nullptr, good, 3, FALSE), D3DERR_INVALIDCALL);
        EXPECT_EQ(v.fn(nullptr, nullptr, 2, src, dst, 1, 16, 0, nullptr, good, 3, FALSE), D3DERR_INVALIDCALL);
        EXPECT_EQ(dst[0], 9.0f);
        // Weights 0.5 and 0.5 of two identity bones: the position, and the
        // fourth float copied.
        EXPECT_EQ(v.fn(bones, nullptr, 2, src, dst, 1, 16, 0, nullptr, good, 3, TRUE), S_OK);
        EXPECT_NEAR(dst[0], 1, 1e-6f);
        EXPECT_NEAR(dst[2], 3, 1e-6f);
        EXPECT_EQ(dst[3], 4.0f);
    }
}

TEST(Geometry, FlatPatchStaysFlat) {
    const Vec3 corners[3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}};
    const Vec3 normals[3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    for (const auto& v : QV_VARIANTS(TessellateNPatch)) {
        SCOPED_TRACE(SetName(v.set));
        Vec3 positions[10], outNormals[10];
        std::uint32_t count = 0;
        EXPECT_EQ(v.fn(positions, outNormals, 9, &count, corners, normals, 3, FALSE), D3DERR_INVALIDCALL);
        EXPECT_EQ(v.fn(positions, outNormals, 10, &count, corners, normals, 0, FALSE), D3DERR_INVALIDCALL);
        ASSERT_EQ(v.fn(positions, outNormals, 10, &count, corners, normals, 3, TRUE), S_OK);
        EXPECT_EQ(count, 10u);
        EXPECT_NEAR(positions[0].x, 0, 1e-6f);
        EXPECT_NEAR(positions[6].x, 4, 1e-5f);  // row 3 starts at corner 1
        EXPECT_NEAR(positions[9].y, 4, 1e-5f);  // and ends at corner 2
        for (int i = 0; i < 10; ++i) {
            EXPECT_NEAR(positions[i].z, 0, 1e-6f);
            EXPECT_NEAR(outNormals[i].z, 1, 1e-6f);
        }
    }
}

}  // namespace
}  // namespace qv::math::test
