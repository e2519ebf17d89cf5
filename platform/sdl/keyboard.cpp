// GetAsyncKeyState over SDL's keyboard state, with test overrides.
#include <SDL.h>

#include <map>
#include <mutex>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_user.h"

namespace {

struct KeyOverrides {
    std::mutex mutex;
    std::map<int, bool> down;
};

KeyOverrides& Overrides() {
    static KeyOverrides state;
    return state;
}

SDL_Scancode ScancodeOf(int virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return static_cast<SDL_Scancode>(SDL_SCANCODE_A + (virtualKey - 'A'));
    if (virtualKey >= '1' && virtualKey <= '9')
        return static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (virtualKey - '1'));
    switch (virtualKey) {
        case '0': return SDL_SCANCODE_0;
        case VK_ESCAPE: return SDL_SCANCODE_ESCAPE;
        case VK_RETURN: return SDL_SCANCODE_RETURN;
        case VK_SPACE: return SDL_SCANCODE_SPACE;
        case VK_LEFT: return SDL_SCANCODE_LEFT;
        case VK_UP: return SDL_SCANCODE_UP;
        case VK_RIGHT: return SDL_SCANCODE_RIGHT;
        case VK_DOWN: return SDL_SCANCODE_DOWN;
        default: return SDL_SCANCODE_UNKNOWN;
    }
}

constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

}  // namespace

SHORT GetAsyncKeyState(int virtualKey) {
    {
        KeyOverrides& overrides = Overrides();
        std::lock_guard<std::mutex> lock(overrides.mutex);
        auto it = overrides.down.find(virtualKey);
        if (it != overrides.down.end()) return it->second ? kKeyDown : 0;
    }
    const SDL_Scancode code = ScancodeOf(virtualKey);
    if (code == SDL_SCANCODE_UNKNOWN || SDL_WasInit(SDL_INIT_VIDEO) == 0) return 0;
    // The state follows the events SDL has taken from the display so far.
    SDL_PumpEvents();
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    return (keys != nullptr && code < count && keys[code]) ? kKeyDown : 0;
}

namespace qv::testing {

void OverrideKeyState(int virtualKey, bool down) {
    KeyOverrides& overrides = Overrides();
    std::lock_guard<std::mutex> lock(overrides.mutex);
    overrides.down[virtualKey] = down;
}

void ResetKeyStates() {
    KeyOverrides& overrides = Overrides();
    std::lock_guard<std::mutex> lock(overrides.mutex);
    overrides.down.clear();
}

}  // namespace qv::testing
