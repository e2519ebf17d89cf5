#include "platform/d3d9/renderer.h"

namespace qv::platform {

std::unique_ptr<Renderer> CreateOpenGLRenderer(HWND, const D3DPRESENT_PARAMETERS&, std::string* why) {
    *why = "the OpenGL renderer is not built yet";
    return nullptr;
}

}  // namespace qv::platform
