// Skinning and curved-triangle tessellation, written once over a small
// vector policy: the reference set instantiates them with scalar code that
// goes through the table's transform entries, the SSE set with four-wide
// registers.
#pragma once

#include <cstring>

#include "math/variants.h"
#include "quorvane/platform/d3d9_types.h"

namespace qv::math {

struct SkinArgs {
    const Matrix* bones;
    const Matrix* normalBones;
    std::uint32_t boneCount;
    const void* src;
    void* dst;
    std::uint32_t vertexCount;
    std::uint32_t stride;
    std::uint32_t normalCount;
    const std::uint32_t* normalOffsets;
    const float* influences;
    std::uint32_t influenceCount;
    bool copyFirst;
};

struct PatchArgs {
    Vec3* outPositions;
    Vec3* outNormals;
    std::uint32_t capacity;
    std::uint32_t* vertexCount;
    const Vec3* positions;
    const Vec3* normals;
    std::uint32_t segments;
    bool quadraticNormals;
};

constexpr std::uint32_t kMaxPatchSegments = 256;
constexpr std::uint32_t kMaxSkinVectors = 16;  // position + normal-like vectors per vertex

// Scalar vector policy; transforms go through the table's entries.
struct ScalarBlend {
    using V = Vec3;
    static V Load(const unsigned char* p) {
        V v;
        std::memcpy(&v, p, sizeof(v));
        return v;
    }
    static void Store(unsigned char* p, V v) { std::memcpy(p, &v, sizeof(v)); }
    static V Make(float x, float y, float z) { return {x, y, z}; }
    static V Add(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    static V Sub(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    static V Scale(V a, float k) { return {a.x * k, a.y * k, a.z * k}; }
    static float Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    static V Point(const Matrix* m, V p) {
        V out;
        qv::Vec3TransformCoord(&out, &p, m);
        return out;
    }
    static V Normal(const Matrix* m, V n) {
        V out;
        qv::Vec3TransformNormal(&out, &n, m);
        return out;
    }
    static V Normalize(V n) {
        qv::Vec3Normalize(&n, &n);
        return n;
    }
    static Vec3 ToVec3(V v) { return v; }
};

// Bone index and weight of one influence value 2 * bone + weight; false for
// a value that names no bone.
inline bool SplitInfluence(float value, std::uint32_t boneCount, std::uint32_t* bone, float* weight) {
    if (!(value >= 0.0f) || !(value < 2.0f * static_cast<float>(boneCount))) return false;
    const float half = value * 0.5f;
    std::uint32_t b = static_cast<std::uint32_t>(half);
    if (b >= boneCount) b = boneCount - 1;
    *bone = b;
    *weight = value - 2.0f * static_cast<float>(b);
    return true;
}

// Copies the bytes of a vertex that no blended vector covers.
inline void CopyUnblended(unsigned char* out, const unsigned char* in, std::uint32_t stride,
                          std::uint32_t normalCount, const std::uint32_t* normalOffsets) {
    for (std::uint32_t byte = 0; byte < stride; ++byte) {
        bool blended = byte < sizeof(Vec3);
        for (std::uint32_t k = 0; k < normalCount && !blended; ++k)
            blended = byte >= normalOffsets[k] && byte < normalOffsets[k] + sizeof(Vec3);
        if (!blended) out[byte] = in[byte];
    }
}

template <typename P>
HRESULT SkinVertices(const SkinArgs& a) {
    if (!a.bones || !a.src || !a.dst || (a.normalCount != 0 && !a.normalOffsets) ||
        (a.vertexCount != 0 && !a.influences))
        return D3DERR_INVALIDCALL;
    if (a.stride < sizeof(Vec3) || a.normalCount >= kMaxSkinVectors) return D3DERR_INVALIDCALL;
    for (std::uint32_t k = 0; k < a.normalCount; ++k)
        if (a.normalOffsets[k] > a.stride - sizeof(Vec3)) return D3DERR_INVALIDCALL;
    // Check the whole influence stream before writing anything.
    std::uint32_t cursor = 0;
    for (std::uint32_t v = 0; v < a.vertexCount; ++v) {
        for (;;) {
            if (cursor >= a.influenceCount) return D3DERR_INVALIDCALL;
            const float value = a.influences[cursor++];
            if (value < 0.0f) break;
            std::uint32_t bone;
            float weight;
            if (!SplitInfluence(value, a.boneCount, &bone, &weight)) return D3DERR_INVALIDCALL;
        }
    }
    const Matrix* normalBones = a.normalBones ? a.normalBones : a.bones;
    const auto* src = static_cast<const unsigned char*>(a.src);
    auto* dst = static_cast<unsigned char*>(a.dst);
    cursor = 0;
    for (std::uint32_t v = 0; v < a.vertexCount; ++v) {
        const unsigned char* in = src + static_cast<std::size_t>(v) * a.stride;
        unsigned char* out = dst + static_cast<std::size_t>(v) * a.stride;
        typename P::V sums[kMaxSkinVectors];
        for (std::uint32_t k = 0; k <= a.normalCount; ++k) sums[k] = P::Make(0.0f, 0.0f, 0.0f);
        for (;;) {
            const float value = a.influences[cursor++];
            if (value < 0.0f) break;
            std::uint32_t bone = 0;
            float weight = 0.0f;
            SplitInfluence(value, a.boneCount, &bone, &weight);
            sums[0] = P::Add(sums[0], P::Scale(P::Point(&a.bones[bone], P::Load(in)), weight));
            for (std::uint32_t k = 0; k < a.normalCount; ++k)
                sums[k + 1] = P::Add(sums[k + 1], P::Scale(P::Normal(&normalBones[bone], P::Load(in + a.normalOffsets[k])),
                                                           weight));
        }
        // The sums are complete before anything of this vertex is written,
        // so the source and destination may be the same buffer.
        if (a.copyFirst && in != out) std::memmove(out, in, a.stride);
        P::Store(out, sums[0]);
        for (std::uint32_t k = 0; k < a.normalCount; ++k) P::Store(out + a.normalOffsets[k], sums[k + 1]);
        if (!a.copyFirst && in != out) CopyUnblended(out, in, a.stride, a.normalCount, a.normalOffsets);
    }
    return S_OK;
}

template <typename P>
HRESULT TessellatePatch(const PatchArgs& a) {
    using V = typename P::V;
    if (!a.outPositions || !a.vertexCount || !a.positions || !a.normals) return D3DERR_INVALIDCALL;
    if (a.segments == 0 || a.segments > kMaxPatchSegments) return D3DERR_INVALIDCALL;
    const std::uint32_t count = (a.segments + 1) * (a.segments + 2) / 2;
    if (a.capacity < count) return D3DERR_INVALIDCALL;

    V p[3], n[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = P::Make(a.positions[i].x, a.positions[i].y, a.positions[i].z);
        n[i] = P::Make(a.normals[i].x, a.normals[i].y, a.normals[i].z);
    }
    // Control point next to corner i towards corner j: (2 Pi + Pj - w Ni) / 3
    // with w = (Pj - Pi) . Ni, which pulls it into the tangent plane at Pi.
    auto edge = [&](int i, int j) {
        const float w = P::Dot(P::Sub(p[j], p[i]), n[i]);
        return P::Scale(P::Sub(P::Add(P::Add(p[i], p[i]), p[j]), P::Scale(n[i], w)), 1.0f / 3.0f);
    };
    const V b210 = edge(0, 1), b120 = edge(1, 0), b021 = edge(1, 2), b012 = edge(2, 1), b102 = edge(2, 0),
            b201 = edge(0, 2);
    const V e = P::Scale(P::Add(P::Add(P::Add(b210, b120), P::Add(b021, b012)), P::Add(b102, b201)), 1.0f / 6.0f);
    const V centre = P::Scale(P::Add(P::Add(p[0], p[1]), p[2]), 1.0f / 3.0f);
    const V b111 = P::Add(e, P::Scale(P::Sub(e, centre), 0.5f));
    // Mid-edge normals for the quadratic form: the average normal reflected
    // in the plane across the edge.
    auto midNormal = [&](int i, int j) {
        const V d = P::Sub(p[j], p[i]);
        const float len2 = P::Dot(d, d);
        const float v = len2 > 0.0f ? 2.0f * P::Dot(d, P::Add(n[i], n[j])) / len2 : 0.0f;
        return P::Normalize(P::Sub(P::Add(n[i], n[j]), P::Scale(d, v)));
    };
    const V n110 = midNormal(0, 1), n011 = midNormal(1, 2), n101 = midNormal(2, 0);

    const float step = 1.0f / static_cast<float>(a.segments);
    std::uint32_t index = 0;
    for (std::uint32_t row = 0; row <= a.segments; ++row) {
        for (std::uint32_t col = 0; col <= row; ++col) {
            const float v = static_cast<float>(col) * step;
            const float u = static_cast<float>(row - col) * step;
            const float w = 1.0f - static_cast<float>(row) * step;
            V pos = P::Scale(p[0], w * w * w);
            pos = P::Add(pos, P::Scale(p[1], u * u * u));
            pos = P::Add(pos, P::Scale(p[2], v * v * v));
            pos = P::Add(pos, P::Scale(b210, 3.0f * w * w * u));
            pos = P::Add(pos, P::Scale(b120, 3.0f * w * u * u));
            pos = P::Add(pos, P::Scale(b201, 3.0f * w * w * v));
            pos = P::Add(pos, P::Scale(b021, 3.0f * u * u * v));
            pos = P::Add(pos, P::Scale(b102, 3.0f * w * v * v));
            pos = P::Add(pos, P::Scale(b012, 3.0f * u * v * v));
            pos = P::Add(pos, P::Scale(b111, 6.0f * w * u * v));
            a.outPositions[index] = P::ToVec3(pos);
            if (a.outNormals) {
                V nrm;
                if (a.quadraticNormals) {
                    nrm = P::Scale(n[0], w * w);
                    nrm = P::Add(nrm, P::Scale(n[1], u * u));
                    nrm = P::Add(nrm, P::Scale(n[2], v * v));
                    nrm = P::Add(nrm, P::Scale(n110, w * u));
                    nrm = P::Add(nrm, P::Scale(n011, u * v));
                    nrm = P::Add(nrm, P::Scale(n101, w * v));
                } else {
                    nrm = P::Add(P::Add(P::Scale(n[0], w), P::Scale(n[1], u)), P::Scale(n[2], v));
                }
                a.outNormals[index] = P::ToVec3(P::Normalize(nrm));
            }
            ++index;
        }
    }
    *a.vertexCount = count;
    return S_OK;
}

}  // namespace qv::math
