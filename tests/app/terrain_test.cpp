// The terrain builder on a headless device: every vertex of every strip
// against the pixels of the height map it came from.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "quorvane/platform/test_hooks.h"
#include "tests/app/test_support.h"

namespace qv::viewer {
namespace {

// Each pixel distinct enough to catch swapped rows, columns or channels:
// red (the height) and green/blue vary independently.
std::uint32_t PatternPixel(std::uint32_t column, std::uint32_t row) {
    const std::uint32_t red = (column * 7 + row * 13) & 0xFF;
    const std::uint32_t green = column & 0xFF;
    const std::uint32_t blue = (row * 3 + (column >> 8)) & 0xFF;
    return red << 16 | green << 8 | blue;
}

class TerrainBuilder : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ResetViewerState();
        ASSERT_TRUE(testing::CreateViewerDevice(D3DDEVTYPE_NULLREF, nullptr));
        qv::testing::CaptureDebugOutput(true);
        qv::testing::TakeDebugOutput();
    }
    void TearDown() override {
        qv::testing::CaptureDebugOutput(false);
        testing::ResetViewerState();
    }

    // The vertices of row buffer j.
    static std::vector<TerrainVertex> Strip(UINT j) {
        std::vector<TerrainVertex> vertices;
        IDirect3DVertexBuffer9* buffer = g_rowBuffers[j];
        if (!buffer) return vertices;
        D3DVERTEXBUFFER_DESC desc = {};
        EXPECT_TRUE(SUCCEEDED(buffer->GetDesc(&desc)));
        EXPECT_EQ(desc.Size, 32768u);
        EXPECT_EQ(desc.FVF, D3DFVF_XYZ | D3DFVF_DIFFUSE);
        EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
        void* data = nullptr;
        if (FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY)) || !data) return vertices;
        const auto* first = static_cast<const TerrainVertex*>(data);
        vertices.assign(first, first + kVerticesPerRow);
        buffer->Unlock();
        return vertices;
    }

    // The height surface's pixel words.
    static std::vector<std::uint32_t> SurfacePixels() {
        std::vector<std::uint32_t> pixels;
        D3DLOCKED_RECT locked = {};
        if (!g_heightSurface || FAILED(g_heightSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
            return pixels;
        for (UINT r = 0; r < kFieldHeight; ++r) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(
                static_cast<const std::uint8_t*>(locked.pBits) + static_cast<std::size_t>(r) * locked.Pitch);
            pixels.insert(pixels.end(), row, row + kFieldWidth);
        }
        g_heightSurface->UnlockRect();
        return pixels;
    }

    testing::TempFolder folder_;
};

TEST_F(TerrainBuilder, EveryVertexComesFromItsPixel) {
    const std::string file = folder_.File("pattern.png");
    ASSERT_TRUE(testing::WriteRgbPng(file, kFieldWidth, kFieldHeight, PatternPixel));
    BuildTerrain(file.c_str());
    EXPECT_TRUE(qv::testing::TakeDebugOutput().empty());

    ASSERT_NE(g_heightSurface, nullptr);
    D3DSURFACE_DESC desc = {};
    ASSERT_TRUE(SUCCEEDED(g_heightSurface->GetDesc(&desc)));
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_SCRATCH);
    EXPECT_EQ(desc.Width, kFieldWidth);
    EXPECT_EQ(desc.Height, kFieldHeight);
    const std::vector<std::uint32_t> pixels = SurfacePixels();
    ASSERT_EQ(pixels.size(), std::size_t{kFieldWidth} * kFieldHeight);

    ASSERT_NE(g_rowBuffers, nullptr);
    for (UINT j = 0; j < kRowBufferCount; ++j) {
        const std::vector<TerrainVertex> strip = Strip(j);
        ASSERT_EQ(strip.size(), kVerticesPerRow) << "buffer " << j;
        for (UINT v = 0; v < kVerticesPerRow; ++v) {
            const UINT column = v / 2, row = j + v % 2;
            const std::uint32_t pixel = pixels[row * kFieldWidth + column];
            const TerrainVertex& vertex = strip[v];
            ASSERT_EQ(pixel & 0xFFFFFFu, PatternPixel(column, row)) << "surface pixel " << column << ", " << row;
            ASSERT_EQ(vertex.x, static_cast<float>(column)) << "buffer " << j << " vertex " << v;
            ASSERT_EQ(vertex.y, static_cast<float>(pixel >> 16 & 0xFF) * 0.1f) << "buffer " << j << " vertex " << v;
            ASSERT_EQ(vertex.z, -static_cast<float>(row)) << "buffer " << j << " vertex " << v;
            ASSERT_EQ(vertex.diffuse, pixel) << "buffer " << j << " vertex " << v;
        }
    }

    // The cases by name: pixel (5, 10) in buffers 9 and 10, and the last
    // pixel of the surface as the last vertex of the last buffer.
    const TerrainVertex below = Strip(9)[11], above = Strip(10)[10], last = Strip(766)[2047];
    for (const TerrainVertex& vertex : {below, above}) {
        EXPECT_EQ(vertex.x, 5.0f);
        EXPECT_EQ(vertex.z, -10.0f);
        EXPECT_EQ(vertex.diffuse & 0xFFFFFFu, PatternPixel(5, 10));
    }
    EXPECT_EQ(last.x, 1023.0f);
    EXPECT_EQ(last.z, -767.0f);
    EXPECT_EQ(last.diffuse & 0xFFFFFFu, PatternPixel(1023, 767));
}

TEST_F(TerrainBuilder, UniformGreyGivesAFlatFieldAtItsHeight) {
    const std::string file = folder_.File("grey.png");
    ASSERT_TRUE(testing::WriteGreyHeightMap(file, 128));
    BuildTerrain(file.c_str());
    for (UINT j : {0u, 383u, 766u}) {
        for (const TerrainVertex& vertex : Strip(j)) {
            ASSERT_FLOAT_EQ(vertex.y, 12.8f);
            ASSERT_EQ(vertex.diffuse & 0xFFFFFFu, 0x808080u);
        }
    }
}

TEST_F(TerrainBuilder, UnloadablePictureWarnsOnceAndLeavesTheFieldFlat) {
    struct Case {
        const char* name;
        const char* content;  // null: no file at all
        const char* reason;
    };
    const Case cases[] = {
        {"heightmap.png", nullptr, "No such file or directory"},
        {"heightmap.png", "this is not a picture", "not a picture"},
        {"heightmap.png", "", "empty"},
    };
    for (const Case& c : cases) {
        testing::ResetViewerState();
        ASSERT_TRUE(testing::CreateViewerDevice(D3DDEVTYPE_NULLREF, nullptr));
        testing::TempFolder folder;
        if (c.content) std::ofstream(folder.File(c.name), std::ios::binary) << c.content;
        testing::WorkingDirectory cwd(folder.path());
        BuildTerrain(c.name);

        const std::vector<std::string> lines = qv::testing::TakeDebugOutput();
        ASSERT_EQ(lines.size(), 1u) << (c.content ? c.content : "(no file)");
        const std::string& line = lines[0];
        EXPECT_EQ(line.rfind("Quorvane: (WARN) ", 0), 0u) << line;
        EXPECT_NE(line.find("\"heightmap.png\""), std::string::npos) << line;
        EXPECT_NE(line.find(c.reason), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");

        ASSERT_NE(g_rowBuffers, nullptr);
        for (UINT j : {0u, 500u, 766u}) {
            const std::vector<TerrainVertex> strip = Strip(j);
            ASSERT_EQ(strip.size(), kVerticesPerRow);
            for (UINT v = 0; v < kVerticesPerRow; ++v) {
                ASSERT_EQ(strip[v].y, 0.0f);
                ASSERT_EQ(strip[v].x, static_cast<float>(v / 2));
                ASSERT_EQ(strip[v].z, -static_cast<float>(j + v % 2));
            }
        }
    }
}

TEST_F(TerrainBuilder, ReleaseCopesWithAPartlyBuiltScene) {
    // Some slots empty, no camera, no surface.
    g_rowBuffers = new IDirect3DVertexBuffer9*[kRowBufferCount]();
    for (UINT j : {0u, 1u, 766u})
        ASSERT_TRUE(SUCCEEDED(g_device->CreateVertexBuffer(kRowBufferBytes, D3DUSAGE_WRITEONLY, kTerrainFvf,
                                                           D3DPOOL_MANAGED, &g_rowBuffers[j], nullptr)));
    ReleaseScene();
    EXPECT_EQ(g_rowBuffers, nullptr);
    EXPECT_EQ(g_camera, nullptr);
    EXPECT_EQ(g_heightSurface, nullptr);
    ReleaseScene();  // nothing left to release
}

}  // namespace
}  // namespace qv::viewer
