// The HAL device's renderer: OpenGL in an SDL window.
//
// Fixed-function GL with vertex buffer objects. Direct3D's row-major
// matrices for row vectors have the same memory layout as GL's column-major
// matrices for column vectors, so they are loaded as they are; one constant
// projection maps Direct3D's depth range 0..1 onto GL's -1..1. Every state
// is cached here so a draw issues only the GL calls that change something.
//
// Frames are drawn straight into the window's back buffer when it has the
// back buffer's size; a window of another size (such as a full-screen window
// where the display has no mode of the back buffer's size) gets an
// off-screen framebuffer of the back buffer's size that Present scales into
// the window. Each Present copies the frame into a pixel buffer object, read
// back only when a test asks for the last presented frame.
#define GL_GLEXT_PROTOTYPES 1
#include <SDL.h>
#include <SDL_opengl.h>

#include <cstring>

#include "platform/d3d9/renderer.h"
#include "platform/platform_internal.h"
#include "quorvane/platform/test_hooks.h"

namespace qv::platform {
namespace {

// GL entry points beyond 1.1, looked up through SDL once per context.
struct GlFunctions {
    PFNGLGENBUFFERSPROC GenBuffers = nullptr;
    PFNGLDELETEBUFFERSPROC DeleteBuffers = nullptr;
    PFNGLBINDBUFFERPROC BindBuffer = nullptr;
    PFNGLBUFFERDATAPROC BufferData = nullptr;
    PFNGLMAPBUFFERRANGEPROC MapBufferRange = nullptr;
    PFNGLUNMAPBUFFERPROC UnmapBuffer = nullptr;
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;

    template <typename T>
    static bool Load(T* slot, const char* name) {
        *slot = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
        return *slot != nullptr;
    }

    bool LoadAll() {
        return Load(&GenBuffers, "glGenBuffers") && Load(&DeleteBuffers, "glDeleteBuffers") &&
               Load(&BindBuffer, "glBindBuffer") && Load(&BufferData, "glBufferData") &&
               Load(&MapBufferRange, "glMapBufferRange") && Load(&UnmapBuffer, "glUnmapBuffer") &&
               Load(&GenFramebuffers, "glGenFramebuffers") && Load(&DeleteFramebuffers, "glDeleteFramebuffers") &&
               Load(&BindFramebuffer, "glBindFramebuffer") && Load(&GenRenderbuffers, "glGenRenderbuffers") &&
               Load(&DeleteRenderbuffers, "glDeleteRenderbuffers") &&
               Load(&BindRenderbuffer, "glBindRenderbuffer") &&
               Load(&RenderbufferStorage, "glRenderbufferStorage") &&
               Load(&FramebufferRenderbuffer, "glFramebufferRenderbuffer") &&
               Load(&CheckFramebufferStatus, "glCheckFramebufferStatus") &&
               Load(&BlitFramebuffer, "glBlitFramebuffer");
    }
};

// z' = 2z - w: Direct3D's clip depth 0..w onto GL's -w..w (column-major).
constexpr GLfloat kDepthRangeFix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 0, 0, -1, 1};

GLenum CompareOf(DWORD compare) {
    switch (compare) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLenum ModeOf(D3DPRIMITIVETYPE type) {
    switch (type) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_TRIANGLE_STRIP;
    }
}

int DepthBitsOf(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_D16:
        case D3DFMT_D16_LOCKABLE:
        case D3DFMT_D15S1: return 16;
        case D3DFMT_D32:
        case D3DFMT_D32F_LOCKABLE: return 32;
        default: return 24;
    }
}

class OpenGLRenderer final : public Renderer {
public:
    ~OpenGLRenderer() override;
    bool Start(HWND focusWindow, const D3DPRESENT_PARAMETERS& parameters, std::string* why);

    void Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z) override;
    void SetTransform(const D3DMATRIX& worldViewProjection) override;
    void SetCullMode(DWORD cullMode) override;
    void SetLighting(bool enabled) override;
    void SetDepthTest(bool enabled, DWORD compare, bool write) override;
    std::uint32_t CreateBufferObject() override;
    void UploadBufferObject(std::uint32_t buffer, const void* data, std::size_t bytes) override;
    void DeleteBufferObject(std::uint32_t buffer) override;
    void Draw(D3DPRIMITIVETYPE type, std::uint32_t buffer, std::size_t offsetBytes, std::uint32_t stride,
              std::uint32_t startVertex, std::uint32_t vertexCount) override;
    void Present(bool waitForRefresh) override;

private:
    static bool ReadFrame(void* self, qv::testing::PresentedFrame* frame);
    void MakeCurrent();
    bool CreateOffscreenTarget(bool depth, int depthBits);

    GlFunctions gl_;
    SDL_Window* window_ = nullptr;
    bool ownsWindow_ = false;
    SDL_GLContext context_ = nullptr;
    int width_ = 0, height_ = 0;  // the back buffer
    int drawableWidth_ = 0, drawableHeight_ = 0;
    bool hasDepth_ = false;

    GLuint framebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;  // only when scaling
    GLuint frameCopy_ = 0;  // pixel buffer object holding the last presented frame

    // Cached GL state.
    GLuint boundBuffer_ = 0;
    std::size_t boundOffset_ = ~std::size_t{0};
    std::uint32_t boundStride_ = 0;
    bool depthWrite_ = true;
};

OpenGLRenderer::~OpenGLRenderer() {
    RetirePresentedFrameSource(this);
    if (context_ != nullptr) {
        MakeCurrent();
        if (frameCopy_) gl_.DeleteBuffers(1, &frameCopy_);
        if (framebuffer_) gl_.DeleteFramebuffers(1, &framebuffer_);
        if (colorBuffer_) gl_.DeleteRenderbuffers(1, &colorBuffer_);
        if (depthBuffer_) gl_.DeleteRenderbuffers(1, &depthBuffer_);
        SDL_GL_MakeCurrent(window_, nullptr);
        SDL_GL_DeleteContext(context_);
    }
    if (window_ != nullptr) {
        if (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(window_, 0);
        if (ownsWindow_)
            SDL_DestroyWindow(window_);
        else
            ReleaseSdlWindow(window_);
    }
}

// Several contexts may live on the thread (another device, or the caller's
// own GL): every entry makes ours current first. When it already is, that
// costs one thread-local read.
void OpenGLRenderer::MakeCurrent() {
    if (SDL_GL_GetCurrentContext() != context_) SDL_GL_MakeCurrent(window_, context_);
}

bool OpenGLRenderer::Start(HWND focusWindow, const D3DPRESENT_PARAMETERS& parameters, std::string* why) {
    const char* noVideo = nullptr;
    if (!StartVideo(&noVideo)) {
        *why = noVideo;
        return false;
    }
    width_ = static_cast<int>(parameters.BackBufferWidth);
    height_ = static_cast<int>(parameters.BackBufferHeight);
    hasDepth_ = parameters.EnableAutoDepthStencil != FALSE;
    const int depthBits = hasDepth_ ? DepthBitsOf(parameters.AutoDepthStencilFormat) : 0;

    window_ = focusWindow ? RetainSdlWindow(focusWindow) : nullptr;
    if (focusWindow != nullptr && window_ == nullptr) {
        *why = "the focus window is not a window of this program";
        return false;
    }
    if (window_ == nullptr) {
        window_ = SDL_CreateWindow("Quorvane", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width_, height_,
                                   SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
        if (window_ == nullptr) {
            *why = std::string("no window could be created: ") + SDL_GetError();
            return false;
        }
        ownsWindow_ = true;
    }
    if (!parameters.Windowed) {
        // An 800 x 600 (back-buffer sized) mode where the display has one,
        // else a full-screen window showing the back buffer scaled.
        SDL_DisplayMode wanted{}, closest{};
        wanted.w = width_;
        wanted.h = height_;
        wanted.refresh_rate = static_cast<int>(parameters.FullScreen_RefreshRateInHz);
        const int display = SDL_GetWindowDisplayIndex(window_);
        bool modeSet = false;
        if (SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &wanted, &closest) != nullptr &&
            closest.w == width_ && closest.h == height_) {
            modeSet = SDL_SetWindowDisplayMode(window_, &closest) == 0 &&
                      SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) == 0;
        }
        if (!modeSet) SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    // A window of another size than the back buffer shows it scaled, as a
    // full-screen window without the mode does.

    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    context_ = SDL_GL_CreateContext(window_);
    if (context_ == nullptr) {
        *why = std::string("no OpenGL context: ") + SDL_GetError();
        return false;
    }
    MakeCurrent();
    if (!gl_.LoadAll()) {
        *why = "the OpenGL driver lacks buffer objects or framebuffer objects";
        return false;
    }
    SDL_GL_SetSwapInterval(parameters.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);

    SDL_GL_GetDrawableSize(window_, &drawableWidth_, &drawableHeight_);
    if (drawableWidth_ != width_ || drawableHeight_ != height_) {
        if (!CreateOffscreenTarget(hasDepth_, depthBits)) {
            *why = "no off-screen framebuffer for the back buffer";
            return false;
        }
    }
    gl_.GenBuffers(1, &frameCopy_);
    gl_.BindBuffer(GL_PIXEL_PACK_BUFFER, frameCopy_);
    gl_.BufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr{width_} * height_ * 4, nullptr, GL_STREAM_READ);
    gl_.BindBuffer(GL_PIXEL_PACK_BUFFER, 0);

    glViewport(0, 0, width_, height_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glFrontFace(GL_CW);  // Direct3D's front faces are clockwise
    glDisable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(kDepthRangeFix);
    glMatrixMode(GL_MODELVIEW);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    if (GLenum error = glGetError(); error != GL_NO_ERROR) {
        *why = "OpenGL reported an error while setting up: " + std::to_string(error);
        return false;
    }
    return true;
}

bool OpenGLRenderer::CreateOffscreenTarget(bool depth, int depthBits) {
    gl_.GenFramebuffers(1, &framebuffer_);
    gl_.GenRenderbuffers(1, &colorBuffer_);
    gl_.BindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_.BindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
    gl_.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
    gl_.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    if (depth) {
        gl_.GenRenderbuffers(1, &depthBuffer_);
        gl_.BindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
        gl_.RenderbufferStorage(GL_RENDERBUFFER,
                                depthBits == 16 ? GL_DEPTH_COMPONENT16
                                                : depthBits == 32 ? GL_DEPTH_COMPONENT32 : GL_DEPTH_COMPONENT24,
                                width_, height_);
        gl_.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    }
    return gl_.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void OpenGLRenderer::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z) {
    MakeCurrent();
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                     (color >> 24) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((flags & D3DCLEAR_ZBUFFER) && hasDepth_) {
        glClearDepth(z);
        if (!depthWrite_) glDepthMask(GL_TRUE);  // a clear writes depth whatever the state says
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (count == 0) {
        glClear(mask);
    } else {
        glEnable(GL_SCISSOR_TEST);
        for (DWORD i = 0; i < count; ++i) {
            const D3DRECT& r = rects[i];
            const LONG x1 = r.x1 < 0 ? 0 : r.x1, y1 = r.y1 < 0 ? 0 : r.y1;
            const LONG x2 = r.x2 > width_ ? width_ : r.x2, y2 = r.y2 > height_ ? height_ : r.y2;
            if (x2 <= x1 || y2 <= y1) continue;
            glScissor(x1, height_ - y2, x2 - x1, y2 - y1);  // GL counts rows from the bottom
            glClear(mask);
        }
        glDisable(GL_SCISSOR_TEST);
    }
    if ((mask & GL_DEPTH_BUFFER_BIT) && !depthWrite_) glDepthMask(GL_FALSE);
}

void OpenGLRenderer::SetTransform(const D3DMATRIX& worldViewProjection) {
    MakeCurrent();
    glLoadMatrixf(&worldViewProjection.m[0][0]);
}

void OpenGLRenderer::SetCullMode(DWORD cullMode) {
    MakeCurrent();
    if (cullMode == D3DCULL_NONE) {
        glDisable(GL_CULL_FACE);
        return;
    }
    glEnable(GL_CULL_FACE);
    // With clockwise fronts, D3DCULL_CCW drops the back (counter-clockwise) faces.
    glCullFace(cullMode == D3DCULL_CCW ? GL_BACK : GL_FRONT);
}

void OpenGLRenderer::SetLighting(bool enabled) {
    MakeCurrent();
    // Lighting with no light set and no ambient light leaves every vertex
    // black: the colour array is then replaced by black.
    if (enabled) {
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    } else {
        glEnableClientState(GL_COLOR_ARRAY);
    }
}

void OpenGLRenderer::SetDepthTest(bool enabled, DWORD compare, bool write) {
    MakeCurrent();
    if (enabled && hasDepth_)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    glDepthFunc(CompareOf(compare));
    glDepthMask(write ? GL_TRUE : GL_FALSE);
    depthWrite_ = write;
}

std::uint32_t OpenGLRenderer::CreateBufferObject() {
    MakeCurrent();
    GLuint buffer = 0;
    gl_.GenBuffers(1, &buffer);
    return buffer;
}

void OpenGLRenderer::UploadBufferObject(std::uint32_t buffer, const void* data, std::size_t bytes) {
    MakeCurrent();
    gl_.BindBuffer(GL_ARRAY_BUFFER, buffer);
    gl_.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
    boundBuffer_ = buffer;
    boundOffset_ = ~std::size_t{0};  // the pointers must be set again for this buffer
}

void OpenGLRenderer::DeleteBufferObject(std::uint32_t buffer) {
    MakeCurrent();
    GLuint name = buffer;
    gl_.DeleteBuffers(1, &name);
    if (boundBuffer_ == buffer) {
        boundBuffer_ = 0;
        boundOffset_ = ~std::size_t{0};
    }
}

void OpenGLRenderer::Draw(D3DPRIMITIVETYPE type, std::uint32_t buffer, std::size_t offsetBytes, std::uint32_t stride,
                          std::uint32_t startVertex, std::uint32_t vertexCount) {
    MakeCurrent();
    if (buffer != boundBuffer_ || offsetBytes != boundOffset_ || stride != boundStride_) {
        if (buffer != boundBuffer_) gl_.BindBuffer(GL_ARRAY_BUFFER, buffer);
        const auto* base = reinterpret_cast<const GLubyte*>(offsetBytes);
        glVertexPointer(3, GL_FLOAT, static_cast<GLsizei>(stride), base);
        // A8R8G8B8 little-endian is the byte order B, G, R, A.
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, static_cast<GLsizei>(stride), base + 12);
        boundBuffer_ = buffer;
        boundOffset_ = offsetBytes;
        boundStride_ = stride;
    }
    glDrawArrays(ModeOf(type), static_cast<GLint>(startVertex), static_cast<GLsizei>(vertexCount));
}

void OpenGLRenderer::Present(bool /*waitForRefresh: set once as the swap interval*/) {
    MakeCurrent();
    // Keep a copy of the frame for ReadLastPresentedFrame; the GL copies it
    // into the pixel buffer object without waiting.
    gl_.BindBuffer(GL_PIXEL_PACK_BUFFER, frameCopy_);
    glReadBuffer(framebuffer_ ? GL_COLOR_ATTACHMENT0 : GL_BACK);
    glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    gl_.BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (framebuffer_) {
        gl_.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        SDL_GL_GetDrawableSize(window_, &drawableWidth_, &drawableHeight_);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        // Scaled to fill the screen, keeping the back buffer's proportions.
        int w = drawableWidth_, h = static_cast<int>(std::int64_t{drawableWidth_} * height_ / width_);
        if (h > drawableHeight_) {
            h = drawableHeight_;
            w = static_cast<int>(std::int64_t{drawableHeight_} * width_ / height_);
        }
        const int x = (drawableWidth_ - w) / 2, y = (drawableHeight_ - h) / 2;
        gl_.BlitFramebuffer(0, 0, width_, height_, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        SDL_GL_SwapWindow(window_);
        gl_.BindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    } else {
        SDL_GL_SwapWindow(window_);
    }
    SetPresentedFrameSource(this, &OpenGLRenderer::ReadFrame);
}

bool OpenGLRenderer::ReadFrame(void* self, qv::testing::PresentedFrame* frame) {
    auto* renderer = static_cast<OpenGLRenderer*>(self);
    const GlFunctions& gl = renderer->gl_;
    renderer->MakeCurrent();
    const auto width = static_cast<std::uint32_t>(renderer->width_);
    const auto height = static_cast<std::uint32_t>(renderer->height_);
    gl.BindBuffer(GL_PIXEL_PACK_BUFFER, renderer->frameCopy_);
    const auto* words = static_cast<const std::uint32_t*>(
        gl.MapBufferRange(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr{renderer->width_} * renderer->height_ * 4,
                          GL_MAP_READ_BIT));
    if (words == nullptr) {
        gl.BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        return false;
    }
    frame->width = width;
    frame->height = height;
    frame->pixels.resize(std::size_t{width} * height);
    // GL's rows run bottom to top; the frame's top row comes first.
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint32_t* source = words + std::size_t{height - 1 - row} * width;
        std::uint32_t* dest = frame->pixels.data() + std::size_t{row} * width;
        for (std::uint32_t x = 0; x < width; ++x) dest[x] = source[x] & 0x00FFFFFFu;
    }
    gl.UnmapBuffer(GL_PIXEL_PACK_BUFFER);
    gl.BindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    return true;
}

}  // namespace

std::unique_ptr<Renderer> CreateOpenGLRenderer(HWND focusWindow, const D3DPRESENT_PARAMETERS& parameters,
                                               std::string* why) {
    auto renderer = std::make_unique<OpenGLRenderer>();
    if (!renderer->Start(focusWindow, parameters, why)) return nullptr;
    return renderer;
}

}  // namespace qv::platform
