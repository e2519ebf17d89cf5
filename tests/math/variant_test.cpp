// Every implementation of every entry against the reference on random
// inputs, and the main functions of every set against a double-precision
// oracle.
#include <cmath>
#include <functional>

#include "tests/math/variants.h"

namespace qv::math::test {
namespace {

template <typename T>
std::vector<float> Out(const T& v) {
    const float* f = reinterpret_cast<const float*>(&v);
    return std::vector<float>(f, f + sizeof(T) / sizeof(float));
}

// Runs one implementation on inputs drawn from a generator seeded with
// `seed`, returning its outputs as floats.
template <typename Fn>
using Probe = std::function<std::vector<float>(Fn*, Random&)>;

template <typename Fn>
void CompareWithReference(Fn* MathFunctions::*member, const char* name, const Probe<Fn>& probe, float tolerance,
                          int trials = 200) {
    const auto variants = VariantsOf(member);
    if (!QV_MATH_X86) return;  // only the reference set is built
    ASSERT_GE(variants.size(), 2u) << name << " has no variant to compare";
    for (std::size_t v = 1; v < variants.size(); ++v) {
        for (int t = 0; t < trials; ++t) {
            Random a(1000 + t), b(1000 + t);
            const std::vector<float> expected = probe(variants[0].fn, a);
            const std::vector<float> actual = probe(variants[v].fn, b);
            ASSERT_EQ(expected.size(), actual.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                const float bound = tolerance * std::max(1.0f, std::abs(expected[i]));
                ASSERT_NEAR(actual[i], expected[i], bound)
                    << name << " " << SetName(variants[v].set) << " trial " << t << " output " << i;
            }
        }
    }
}

#define QV_COMPARE(Name, tolerance, ...) \
    CompareWithReference<Name##Sig>(&MathFunctions::Name, #Name, Probe<Name##Sig>(__VA_ARGS__), tolerance)
#define QV_COMPARE_TRIALS(Name, tolerance, trials, ...) \
    CompareWithReference<Name##Sig>(&MathFunctions::Name, #Name, Probe<Name##Sig>(__VA_ARGS__), tolerance, trials)

TEST(Variants, TransformsMatchTheReference) {
    QV_COMPARE(Vec2Transform, 2e-6f, [](auto f, Random& r) { Vec2 v = r.V2(); Matrix m = r.M(); Vec4 o; f(&o, &v, &m); return Out(o); });
    QV_COMPARE(Vec3Transform, 2e-6f, [](auto f, Random& r) { Vec3 v = r.V3(); Matrix m = r.M(); Vec4 o; f(&o, &v, &m); return Out(o); });
    QV_COMPARE(Vec4Transform, 2e-6f, [](auto f, Random& r) { Vec4 v = r.V4(); Matrix m = r.M(); Vec4 o; f(&o, &v, &m); return Out(o); });
    QV_COMPARE(PlaneTransform, 2e-6f, [](auto f, Random& r) { Plane v = r.P(); Matrix m = r.M(); Plane o; f(&o, &v, &m); return Out(o); });
    QV_COMPARE(Vec2TransformNormal, 2e-6f, [](auto f, Random& r) { Vec2 v = r.V2(); Matrix m = r.M(); Vec2 o; f(&o, &v, &m); return Out(o); });
    QV_COMPARE(Vec3TransformNormal, 2e-6f, [](auto f, Random& r) { Vec3 v = r.V3(); Matrix m = r.M(); Vec3 o; f(&o, &v, &m); return Out(o); });
    // Coord: w kept away from 0 (row 3 column 3 dominant).
    QV_COMPARE(Vec2TransformCoord, 2e-6f, [](auto f, Random& r) { Vec2 v = r.V2(1); Matrix m = r.M(0.25f); Vec2 o; f(&o, &v, &m); return Out(o); });
    QV_COMPARE(Vec3TransformCoord, 2e-6f, [](auto f, Random& r) { Vec3 v = r.V3(1); Matrix m = r.M(0.25f); Vec3 o; f(&o, &v, &m); return Out(o); });
}

// Array forms over counts around the blocking thresholds, with strides
// wider than the elements.
template <typename Out_, typename In_>
struct ArrayProbe {
    std::uint32_t count;
    bool packed;  // strides equal to the element sizes, else wider
    template <typename Fn>
    std::vector<float> operator()(Fn* f, Random& r) const {
        const std::uint32_t inStride = sizeof(In_) + (packed ? 0 : 4);
        const std::uint32_t outStride = sizeof(Out_) + (packed ? 0 : 8);
        std::vector<unsigned char> in(inStride * count + 1), out(outStride * count + 1, 0xCD);
        for (std::uint32_t i = 0; i < count; ++i) {
            In_ v;
            float* p = reinterpret_cast<float*>(&v);
            for (std::size_t k = 0; k < sizeof(In_) / 4; ++k) p[k] = r.Uniform(-1, 1);
            std::memcpy(in.data() + i * inStride, &v, sizeof v);
        }
        const Matrix m = r.M(0.25f);
        Out_* result = f(reinterpret_cast<Out_*>(out.data()), outStride, reinterpret_cast<const In_*>(in.data()),
                         inStride, &m, count);
        EXPECT_EQ(result, reinterpret_cast<Out_*>(out.data()));
        std::vector<float> values;
        for (std::uint32_t i = 0; i < count; ++i) {
            Out_ o;
            std::memcpy(&o, out.data() + i * outStride, sizeof o);
            const auto part = Out(o);
            values.insert(values.end(), part.begin(), part.end());
            // The gap bytes between elements stay untouched.
            for (std::uint32_t g = sizeof(Out_); g < outStride; ++g) EXPECT_EQ(out[i * outStride + g], 0xCD);
        }
        return values;
    }
};

TEST(Variants, ArrayTransformsMatchTheReferenceAroundTheThresholds) {
    for (bool packed : {false, true}) {
        for (std::uint32_t count : {0u, 1u, 3u, 4u, 10u, 11u, 12u, 13u, 16u, 17u, 31u}) {
            SCOPED_TRACE(testing::Message() << count << (packed ? " packed" : " strided"));
            QV_COMPARE_TRIALS(Vec2TransformArray, 2e-6f, 20, ArrayProbe<Vec4, Vec2>{count, packed});
            QV_COMPARE_TRIALS(Vec2TransformCoordArray, 2e-6f, 20, ArrayProbe<Vec2, Vec2>{count, packed});
            QV_COMPARE_TRIALS(Vec2TransformNormalArray, 2e-6f, 20, ArrayProbe<Vec2, Vec2>{count, packed});
            QV_COMPARE_TRIALS(Vec3TransformArray, 2e-6f, 20, ArrayProbe<Vec4, Vec3>{count, packed});
            QV_COMPARE_TRIALS(Vec3TransformCoordArray, 2e-6f, 20, ArrayProbe<Vec3, Vec3>{count, packed});
            QV_COMPARE_TRIALS(Vec3TransformNormalArray, 2e-6f, 20, ArrayProbe<Vec3, Vec3>{count, packed});
            QV_COMPARE_TRIALS(Vec4TransformArray, 2e-6f, 20, ArrayProbe<Vec4, Vec4>{count, packed});
            QV_COMPARE_TRIALS(PlaneTransformArray, 2e-6f, 20, ArrayProbe<Plane, Plane>{count, packed});
        }
    }
}

TEST(Variants, MatricesMatchTheReference) {
    QV_COMPARE(MatrixMultiply, 2e-6f, [](auto f, Random& r) { Matrix a = r.M(), b = r.M(), o; f(&o, &a, &b); return Out(o); });
    QV_COMPARE(MatrixMultiplyTranspose, 2e-6f, [](auto f, Random& r) { Matrix a = r.M(), b = r.M(), o; f(&o, &a, &b); return Out(o); });
    QV_COMPARE(MatrixDeterminant, 1e-5f, [](auto f, Random& r) { Matrix a = r.M(); return std::vector<float>{f(&a)}; });
    QV_COMPARE(MatrixInverse, 1e-5f, [](auto f, Random& r) {
        Matrix a = r.M(), o;
        float det = 0;
        EXPECT_EQ(f(&o, &det, &a), &o);
        auto v = Out(o);
        v.push_back(det * 1e-3f);
        return v;
    });
    QV_COMPARE(MatrixShadow, 1e-5f, [](auto f, Random& r) { Vec4 l = r.V4(); Plane p = r.P(); Matrix o; f(&o, &l, &p); return Out(o); });
    QV_COMPARE(MatrixReflect, 1e-5f, [](auto f, Random& r) { Plane p = r.P(); Matrix o; f(&o, &p); return Out(o); });
}

TEST(Variants, VectorsAndPlanesMatchTheReference) {
    QV_COMPARE(Vec3Normalize, 2e-6f, [](auto f, Random& r) { Vec3 v = r.V3(), o; f(&o, &v); return Out(o); });
    QV_COMPARE(Vec4Normalize, 2e-6f, [](auto f, Random& r) { Vec4 v = r.V4(), o; f(&o, &v); return Out(o); });
    QV_COMPARE(PlaneNormalize, 2e-6f, [](auto f, Random& r) { Plane v = r.P(), o; f(&o, &v); return Out(o); });
    QV_COMPARE(PlaneFromPoints, 1e-5f, [](auto f, Random& r) { Vec3 a = r.V3(), b = r.V3(), c = r.V3(); Plane o; f(&o, &a, &b, &c); return Out(o); });
    QV_COMPARE(Vec4Cross, 2e-5f, [](auto f, Random& r) { Vec4 u = r.V4(1), v = r.V4(1), w = r.V4(1), o; f(&o, &u, &v, &w); return Out(o); });
    QV_COMPARE(PlaneIntersectLine, 1e-4f, [](auto f, Random& r) {
        Plane p = r.P();
        Vec3 a = r.V3(), b = {a.x + p.a, a.y + p.b, a.z + p.c}, o;  // never parallel
        EXPECT_EQ(f(&o, &p, &a, &b), &o);
        return Out(o);
    });
    QV_COMPARE(Vec2Hermite, 1e-5f, [](auto f, Random& r) { Vec2 a = r.V2(), b = r.V2(), c = r.V2(), d = r.V2(), o; f(&o, &a, &b, &c, &d, r.Uniform(0, 1)); return Out(o); });
    QV_COMPARE(Vec3Hermite, 1e-5f, [](auto f, Random& r) { Vec3 a = r.V3(), b = r.V3(), c = r.V3(), d = r.V3(), o; f(&o, &a, &b, &c, &d, r.Uniform(0, 1)); return Out(o); });
    QV_COMPARE(Vec4Hermite, 1e-5f, [](auto f, Random& r) { Vec4 a = r.V4(), b = r.V4(), c = r.V4(), d = r.V4(), o; f(&o, &a, &b, &c, &d, r.Uniform(0, 1)); return Out(o); });
    QV_COMPARE(Vec2CatmullRom, 1e-5f, [](auto f, Random& r) { Vec2 a = r.V2(), b = r.V2(), c = r.V2(), d = r.V2(), o; f(&o, &a, &b, &c, &d, r.Uniform(0, 1)); return Out(o); });
    QV_COMPARE(Vec3CatmullRom, 1e-5f, [](auto f, Random& r) { Vec3 a = r.V3(), b = r.V3(), c = r.V3(), d = r.V3(), o; f(&o, &a, &b, &c, &d, r.Uniform(0, 1)); return Out(o); });
    QV_COMPARE(Vec4CatmullRom, 1e-5f, [](auto f, Random& r) { Vec4 a = r.V4(), b = r.V4(), c = r.V4(), d = r.V4(), o; f(&o, &a, &b, &c, &d, r.Uniform(0, 1)); return Out(o); });
    QV_COMPARE(Vec2Barycentric, 1e-5f, [](auto f, Random& r) { Vec2 a = r.V2(), b = r.V2(), c = r.V2(), o; f(&o, &a, &b, &c, r.Uniform(-1, 1), r.Uniform(-1, 1)); return Out(o); });
    QV_COMPARE(Vec3Barycentric, 1e-5f, [](auto f, Random& r) { Vec3 a = r.V3(), b = r.V3(), c = r.V3(), o; f(&o, &a, &b, &c, r.Uniform(-1, 1), r.Uniform(-1, 1)); return Out(o); });
    QV_COMPARE(Vec4Barycentric, 1e-5f, [](auto f, Random& r) { Vec4 a = r.V4(), b = r.V4(), c = r.V4(), o; f(&o, &a, &b, &c, r.Uniform(-1, 1), r.Uniform(-1, 1)); return Out(o); });
}

TEST(Variants, QuaternionsMatchTheReference) {
    QV_COMPARE(QuaternionMultiply, 2e-6f, [](auto f, Random& r) { Quaternion a = r.Q(), b = r.Q(), o; f(&o, &a, &b); return Out(o); });
    QV_COMPARE(QuaternionNormalize, 2e-6f, [](auto f, Random& r) { Quaternion a = r.Q(), o; f(&o, &a); return Out(o); });
    QV_COMPARE(QuaternionInverse, 1e-5f, [](auto f, Random& r) { Quaternion a = r.UnitQ(), o; a.w *= 1.5f; f(&o, &a); return Out(o); });
    QV_COMPARE(QuaternionRotationMatrix, 2e-6f, [](auto f, Random& r) {
        Quaternion q = r.UnitQ(), o;
        Matrix m;
        ref::MatrixRotationQuaternion(&m, &q);
        f(&o, &m);
        return Out(o);
    });
    QV_COMPARE(QuaternionRotationYawPitchRoll, 2e-6f, [](auto f, Random& r) {
        Quaternion o;
        f(&o, r.Uniform(-7, 7), r.Uniform(-7, 7), r.Uniform(-7, 7));
        return Out(o);
    });
}

TEST(Variants, GeometryEntriesMatchTheReference) {
    QV_COMPARE(TessellateNPatch, 1e-5f, [](auto f, Random& r) {
        const Vec3 p[3] = {r.V3(), r.V3(), r.V3()};
        Vec3 n[3];
        for (Vec3& v : n) {
            v = r.V3();
            ref::Vec3Normalize(&v, &v);
        }
        Vec3 positions[15], normals[15];
        std::uint32_t written = 0;
        EXPECT_EQ(f(positions, normals, 15, &written, p, n, 4, TRUE), S_OK);
        EXPECT_EQ(written, 15u);
        std::vector<float> v;
        for (int i = 0; i < 15; ++i) {
            for (float x : Out(positions[i])) v.push_back(x);
            for (float x : Out(normals[i])) v.push_back(x);
        }
        return v;
    });
    QV_COMPARE(UpdateSkinnedMesh, 1e-5f, [](auto f, Random& r) {
        Matrix bones[3];
        for (Matrix& m : bones) {
            ref::MatrixRotationYawPitchRoll(&m, r.Uniform(-3, 3), r.Uniform(-3, 3), r.Uniform(-3, 3));
            m.m[3][0] = r.Uniform(-5, 5);
        }
        struct Vertex {
            Vec3 position;
            std::uint32_t colour;
            Vec3 normal;
        } src[4], dst[4];
        for (Vertex& v : src) v = {r.V3(), 0xAABBCCDDu, r.V3()};
        const float influences[] = {0.5f, 3.5f, -1.0f, 2.0f, -1.0f, 5.25f, 0.75f, -1.0f, -1.0f};
        const std::uint32_t offsets[] = {16};
        EXPECT_EQ(f(bones, nullptr, 3, src, dst, 4, sizeof(Vertex), 1, offsets, influences, 9, FALSE), S_OK);
        std::vector<float> v;
        for (const Vertex& d : dst) {
            EXPECT_EQ(d.colour, 0xAABBCCDDu);
            for (float x : Out(d.position)) v.push_back(x);
            for (float x : Out(d.normal)) v.push_back(x);
        }
        return v;
    });
}

#if QV_MATH_X86
TEST(Variants, SinCos4) {
    for (auto sinCos : {&sse::SinCos4, &sse2::SinCos4}) {
        Random r(7);
        for (int t = 0; t < 2000; ++t) {
            const float in[4] = {r.Uniform(-100, 100), r.Uniform(-4, 4), r.Uniform(-0.1f, 0.1f), r.Uniform(-1000, 1000)};
            float s[4], c[4];
            sinCos(in, s, c);
            for (int i = 0; i < 4; ++i) {
                ASSERT_NEAR(s[i], std::sin(static_cast<double>(in[i])), 2e-6 * std::max(1.0f, std::abs(in[i]) / 64)) << in[i];
                ASSERT_NEAR(c[i], std::cos(static_cast<double>(in[i])), 2e-6 * std::max(1.0f, std::abs(in[i]) / 64)) << in[i];
            }
        }
    }
}

#endif

// A double-precision oracle for the main functions, run on every variant.
TEST(Variants, MainFunctionsAgreeWithADoubleOracle) {
    Random r(42);
    for (int t = 0; t < 300; ++t) {
        const Matrix a = r.M(), b = r.M();
        double product[4][4] = {};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                for (int k = 0; k < 4; ++k) product[i][j] += static_cast<double>(a.m[i][k]) * b.m[k][j];
        for (const auto& v : QV_VARIANTS(MatrixMultiply)) {
            Matrix o;
            v.fn(&o, &a, &b);
            for (int i = 0; i < 16; ++i)
                ASSERT_NEAR(o.m[i / 4][i % 4], product[i / 4][i % 4], 4e-6 * (1 + std::abs(product[i / 4][i % 4])))
                    << SetName(v.set);
        }
        // The inverse times the matrix is the identity.
        for (const auto& v : QV_VARIANTS(MatrixInverse)) {
            Matrix inv;
            ASSERT_NE(v.fn(&inv, nullptr, &a), nullptr);
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    double s = 0;
                    for (int k = 0; k < 4; ++k) s += static_cast<double>(inv.m[i][k]) * a.m[k][j];
                    ASSERT_NEAR(s, i == j ? 1.0 : 0.0, 2e-5) << SetName(v.set);
                }
        }
        const Vec3 p = r.V3(100);
        const double len = std::sqrt(static_cast<double>(p.x) * p.x + static_cast<double>(p.y) * p.y +
                                     static_cast<double>(p.z) * p.z);
        for (const auto& v : QV_VARIANTS(Vec3Normalize)) {
            Vec3 o;
            v.fn(&o, &p);
            ASSERT_NEAR(o.x, p.x / len, 3e-6) << SetName(v.set);
            ASSERT_NEAR(o.y, p.y / len, 3e-6) << SetName(v.set);
            ASSERT_NEAR(o.z, p.z / len, 3e-6) << SetName(v.set);
        }
        const Vec4 q = r.V4();
        for (const auto& v : QV_VARIANTS(Vec4Transform)) {
            Vec4 o;
            v.fn(&o, &q, &a);
            const float* out = &o.x;
            for (int c = 0; c < 4; ++c) {
                const double e = q.x * static_cast<double>(a.m[0][c]) + q.y * static_cast<double>(a.m[1][c]) +
                                 q.z * static_cast<double>(a.m[2][c]) + q.w * static_cast<double>(a.m[3][c]);
                ASSERT_NEAR(out[c], e, 4e-6 * (1 + std::abs(e))) << SetName(v.set);
            }
        }
        const Quaternion q1 = r.Q(), q2 = r.Q();
        // The rotation q1 followed by q2 is the Hamilton product q2 q1.
        const double hx = q2.w * static_cast<double>(q1.x) + q2.x * static_cast<double>(q1.w) +
                          q2.y * static_cast<double>(q1.z) - q2.z * static_cast<double>(q1.y);
        const double hw = q2.w * static_cast<double>(q1.w) - q2.x * static_cast<double>(q1.x) -
                          q2.y * static_cast<double>(q1.y) - q2.z * static_cast<double>(q1.z);
        for (const auto& v : QV_VARIANTS(QuaternionMultiply)) {
            Quaternion o;
            v.fn(&o, &q1, &q2);
            ASSERT_NEAR(o.x, hx, 2e-6) << SetName(v.set);
            ASSERT_NEAR(o.w, hw, 2e-6) << SetName(v.set);
        }
    }
}

}  // namespace
}  // namespace qv::math::test
