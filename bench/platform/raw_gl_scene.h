// The viewer's scene drawn with raw OpenGL and nothing else: the floor that
// a Direct3D-style layer over OpenGL is measured against.
//
// 767 vertex buffer objects of 2048 vertices of 16 bytes {float x, y, z;
// A8R8G8B8 colour}, of which 765 are drawn per frame as triangle strips of
// 1532 vertices, into an 800 x 600 window with a 16-bit depth buffer, with
// the same fixed-function set-up a Direct3D device needs (depth range fix,
// less-or-equal depth test, no culling, vertex colours). Header-only; the
// including target links SDL2 and OpenGL.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <SDL.h>
#include <SDL_opengl.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::bench {

struct SceneVertex {
    float x, y, z;
    std::uint32_t argb;
};
static_assert(sizeof(SceneVertex) == 16, "the viewer's vertex layout");

constexpr int kSceneWidth = 800;
constexpr int kSceneHeight = 600;
constexpr int kSceneBuffers = 767;
constexpr int kSceneVerticesPerBuffer = 2048;  // 1024 columns x 2 rows
constexpr int kSceneDrawnStrips = 765;
constexpr int kSceneStripVertices = 1532;      // 1530 triangles

// A synthetic 1024 x 768 height field laid out as the viewer lays out its
// strips: strip j pairs rows j and j + 1, column m gives vertices 2m (row j)
// and 2m + 1 (row j + 1), at x = column, z = -row, y = height.
inline std::vector<SceneVertex> SyntheticScene() {
    std::vector<SceneVertex> vertices(std::size_t{kSceneBuffers} * kSceneVerticesPerBuffer);
    auto height = [](int column, int row) {
        return 12.0f + 10.0f * std::sin(column * 0.031f) * std::cos(row * 0.023f);
    };
    for (int j = 0; j < kSceneBuffers; ++j) {
        for (int m = 0; m < 1024; ++m) {
            for (int k = 0; k < 2; ++k) {
                const int row = j + k;
                const float h = height(m, row);
                const auto grey = static_cast<std::uint32_t>(h * 10.0f) & 0xFFu;
                vertices[static_cast<std::size_t>(j) * kSceneVerticesPerBuffer + 2 * m + k] = {
                    static_cast<float>(m), h, -static_cast<float>(row), 0xFF000000u | grey * 0x010101u};
            }
        }
    }
    return vertices;
}

// Row-major matrices for row vectors, as Direct3D uses them.
struct SceneMatrix {
    float m[16];
};

inline SceneMatrix SceneMultiply(const SceneMatrix& a, const SceneMatrix& b) {
    SceneMatrix out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) out.m[4 * r + c] += a.m[4 * r + k] * b.m[4 * k + c];
    return out;
}

// Left-handed look-at view and perspective projection (vertical field of
// view fovY, aspect width/height, depth 0..1 between near and far).
inline SceneMatrix SceneLookAt(const float eye[3], const float at[3]) {
    float z[3] = {at[0] - eye[0], at[1] - eye[1], at[2] - eye[2]};
    const float zl = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
    for (float& v : z) v /= zl;
    float x[3] = {z[2], 0.0f, -z[0]};  // up (0, 1, 0) x z
    const float xl = std::sqrt(x[0] * x[0] + x[2] * x[2]);
    for (float& v : x) v /= xl;
    const float y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    auto dot = [eye](const float* v) { return v[0] * eye[0] + v[1] * eye[1] + v[2] * eye[2]; };
    return {{x[0], y[0], z[0], 0, x[1], y[1], z[1], 0, x[2], y[2], z[2], 0, -dot(x), -dot(y), -dot(z), 1}};
}

inline SceneMatrix ScenePerspective(float fovY, float aspect, float zn, float zf) {
    const float ys = 1.0f / std::tan(fovY / 2), xs = ys / aspect, q = zf / (zf - zn);
    return {{xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0}};
}

// The viewer's camera at its start: (500, 30, -500) looking along +z,
// near 1, far 1500.
inline SceneMatrix SceneViewProjection() {
    const float eye[3] = {500.0f, 30.0f, -500.0f}, at[3] = {500.0f, 30.0f, -499.0f};
    return SceneMultiply(SceneLookAt(eye, at), ScenePerspective(3.14159265f / 4, 4.0f / 3.0f, 1.0f, 1500.0f));
}

class RawGlScene {
public:
    RawGlScene() = default;
    RawGlScene(const RawGlScene&) = delete;
    RawGlScene& operator=(const RawGlScene&) = delete;
    ~RawGlScene() {
        if (context_) {
            SDL_GL_MakeCurrent(window_, context_);
            if (!buffers_.empty()) deleteBuffers_(static_cast<GLsizei>(buffers_.size()), buffers_.data());
            SDL_GL_MakeCurrent(window_, nullptr);
            SDL_GL_DeleteContext(context_);
        }
        if (window_) SDL_DestroyWindow(window_);
        if (started_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // Its own window and GL context, the scene uploaded. False (with the
    // reason) when there is no display or no GL.
    bool Open(const std::vector<SceneVertex>& vertices, std::string* why) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            *why = SDL_GetError();
            return false;
        }
        started_ = true;
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        window_ = SDL_CreateWindow("Raw OpenGL scene", 0, 0, kSceneWidth, kSceneHeight,
                                   SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
        context_ = window_ ? SDL_GL_CreateContext(window_) : nullptr;
        if (!context_) {
            *why = SDL_GetError();
            return false;
        }
        MakeCurrent();
        genBuffers_ = reinterpret_cast<PFNGLGENBUFFERSPROC>(SDL_GL_GetProcAddress("glGenBuffers"));
        bindBuffer_ = reinterpret_cast<PFNGLBINDBUFFERPROC>(SDL_GL_GetProcAddress("glBindBuffer"));
        bufferData_ = reinterpret_cast<PFNGLBUFFERDATAPROC>(SDL_GL_GetProcAddress("glBufferData"));
        deleteBuffers_ = reinterpret_cast<PFNGLDELETEBUFFERSPROC>(SDL_GL_GetProcAddress("glDeleteBuffers"));
        if (!genBuffers_ || !bindBuffer_ || !bufferData_ || !deleteBuffers_) {
            *why = "no buffer objects";
            return false;
        }
        SDL_GL_SetSwapInterval(0);
        buffers_.resize(kSceneBuffers);
        genBuffers_(kSceneBuffers, buffers_.data());
        for (int j = 0; j < kSceneBuffers; ++j) {
            bindBuffer_(GL_ARRAY_BUFFER, buffers_[j]);
            bufferData_(GL_ARRAY_BUFFER, kSceneVerticesPerBuffer * sizeof(SceneVertex),
                        vertices.data() + static_cast<std::size_t>(j) * kSceneVerticesPerBuffer, GL_STATIC_DRAW);
        }
        static const GLfloat depthRangeFix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 0, 0, -1, 1};
        glViewport(0, 0, kSceneWidth, kSceneHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(depthRangeFix);
        glMatrixMode(GL_MODELVIEW);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_CULL_FACE);
        glDisable(GL_LIGHTING);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        return glGetError() == GL_NO_ERROR;
    }

    void MakeCurrent() { SDL_GL_MakeCurrent(window_, context_); }

    // One frame with the world x view x projection product `transform`;
    // returns when the GL has finished it.
    void DrawFrame(const SceneMatrix& transform) {
        glLoadMatrixf(transform.m);
        glClearColor(0, 0, 0, 1);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (int j = 0; j < kSceneDrawnStrips; ++j) {
            bindBuffer_(GL_ARRAY_BUFFER, buffers_[j]);
            glVertexPointer(3, GL_FLOAT, sizeof(SceneVertex), nullptr);
            glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(SceneVertex), reinterpret_cast<const void*>(12));
            glDrawArrays(GL_TRIANGLE_STRIP, 0, kSceneStripVertices);
        }
        SDL_GL_SwapWindow(window_);
        glFinish();
    }

private:
    bool started_ = false;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    std::vector<GLuint> buffers_;
    PFNGLGENBUFFERSPROC genBuffers_ = nullptr;
    PFNGLBINDBUFFERPROC bindBuffer_ = nullptr;
    PFNGLBUFFERDATAPROC bufferData_ = nullptr;
    PFNGLDELETEBUFFERSPROC deleteBuffers_ = nullptr;
};

}  // namespace qv::bench
