// Window classes, windows, the message queue, the message box and the
// cursor over SDL2.
//
// A window handle points to a record of this file. SDL events become
// messages: closing a window queues WM_CLOSE (whose default handling
// destroys the window, which sends WM_DESTROY), the pointer entering or
// moving over a window queues WM_SETCURSOR, keys queue WM_KEYDOWN and
// WM_KEYUP. PostQuitMessage sets the quit flag, which PeekMessageA reports
// as WM_QUIT once no other message is waiting.
#include <SDL.h>
#include <strings.h>

#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/platform_internal.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_user.h"

namespace {

constexpr LPARAM kHitClient = 1;  // HTCLIENT

struct Window {
    SDL_Window* sdl = nullptr;
    WNDPROC procedure = nullptr;
    bool destroying = false;
    int users = 0;  // devices drawing into the SDL window
};

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

char g_arrow;
HCURSOR ArrowCursor() { return reinterpret_cast<HCURSOR>(&g_arrow); }

// Everything lives on the one thread that runs the windows.
struct Windowing {
    bool videoStarted = false;
    bool videoFailed = false;
    std::map<std::string, WNDCLASSEXA, CaseInsensitiveLess> classes;
    ATOM nextAtom = 0xC000;
    std::set<Window*> windows;
    std::set<Window*> destroyedInUse;  // gone for the program, still drawn into
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
    HCURSOR cursor = ArrowCursor();  // until the program sets another
    int cursorCount = 0;  // ShowCursor's display counter
};

Windowing& State() {
    static Windowing state;
    return state;
}

// The desktop: a window handle with no SDL window and no procedure.
Window g_desktop;

Window* Find(HWND handle) {
    auto* window = reinterpret_cast<Window*>(handle);
    return State().windows.count(window) ? window : nullptr;
}

Window* FindSdl(Uint32 windowId) {
    SDL_Window* sdl = SDL_GetWindowFromID(windowId);
    if (sdl == nullptr) return nullptr;
    for (Window* window : State().windows)
        if (window->sdl == sdl) return window;
    return nullptr;
}

HWND Handle(Window* window) { return reinterpret_cast<HWND>(window); }

// Shows the pointer over our windows only while a cursor is set and the
// display counter is not negative.
void ApplyCursor() {
    const Windowing& state = State();
    if (!state.videoStarted) return;
    SDL_ShowCursor(state.cursor != nullptr && state.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
}

int VirtualKeyOf(SDL_Scancode code) {
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z) return 'A' + (code - SDL_SCANCODE_A);
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9) return '1' + (code - SDL_SCANCODE_1);
    switch (code) {
        case SDL_SCANCODE_0: return '0';
        case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
        case SDL_SCANCODE_RETURN: return VK_RETURN;
        case SDL_SCANCODE_SPACE: return VK_SPACE;
        case SDL_SCANCODE_LEFT: return VK_LEFT;
        case SDL_SCANCODE_UP: return VK_UP;
        case SDL_SCANCODE_RIGHT: return VK_RIGHT;
        case SDL_SCANCODE_DOWN: return VK_DOWN;
        default: return 0;
    }
}

void Queue(Window* window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Pointer motion comes far faster than a program that takes one message
    // per frame removes them: one waiting WM_SETCURSOR per window is enough.
    if (message == WM_SETCURSOR)
        for (const MSG& waiting : State().queue)
            if (waiting.hwnd == Handle(window) && waiting.message == WM_SETCURSOR) return;
    MSG msg{};
    msg.hwnd = Handle(window);
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    State().queue.push_back(msg);
}

// Turns the SDL events waiting now into queued messages.
void PumpEvents() {
    if (!State().videoStarted) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_WINDOWEVENT: {
                Window* window = FindSdl(event.window.windowID);
                if (window == nullptr) break;
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) Queue(window, WM_CLOSE, 0, 0);
                if (event.window.event == SDL_WINDOWEVENT_ENTER)
                    Queue(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                          kHitClient | (LPARAM{WM_MOUSEMOVE} << 16));
                break;
            }
            case SDL_MOUSEMOTION: {
                Window* window = FindSdl(event.motion.windowID);
                if (window == nullptr) break;
                Queue(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                      kHitClient | (LPARAM{WM_MOUSEMOVE} << 16));
                break;
            }
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                Window* window = FindSdl(event.key.windowID);
                const int key = VirtualKeyOf(event.key.keysym.scancode);
                if (window == nullptr || key == 0) break;
                Queue(window, event.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(key), 1);
                break;
            }
            default: break;  // SDL_QUIT and the rest: the window messages above say it all
        }
    }
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr && msg.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

}  // namespace

namespace qv::platform {

bool StartVideo(const char** why) {
    Windowing& state = State();
    if (state.videoStarted) return true;
    if (!state.videoFailed) {
        // Our own windows decide when the program ends, not SDL.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            // SDL falls back to drivers that show nothing to anyone; without
            // a display there is nothing to open a window on.
            const char* driver = SDL_GetCurrentVideoDriver();
            const bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 ||
                                              std::strcmp(driver, "dummy") == 0);
            if (!invisible || SDL_getenv("SDL_VIDEODRIVER") != nullptr) {
                state.videoStarted = true;
                ApplyCursor();
                return true;
            }
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
        state.videoFailed = true;
    }
    if (why) *why = "no display could be opened (is DISPLAY set?)";
    return false;
}

SDL_Window* SdlWindowOf(HWND handle) {
    Window* window = Find(handle);
    return window ? window->sdl : nullptr;
}

SDL_Window* RetainSdlWindow(HWND handle) {
    Window* window = Find(handle);
    if (window == nullptr) return nullptr;
    ++window->users;
    return window->sdl;
}

void ReleaseSdlWindow(SDL_Window* sdl) {
    Windowing& state = State();
    for (Window* window : state.windows) {
        if (window->sdl == sdl) {
            --window->users;
            return;
        }
    }
    for (Window* window : state.destroyedInUse) {
        if (window->sdl == sdl && --window->users == 0) {
            state.destroyedInUse.erase(window);
            SDL_DestroyWindow(window->sdl);
            delete window;
            return;
        }
    }
}

void StopVideo() {
    Windowing& state = State();
    // Destroying the windows gives the display back as it was, a full-screen
    // mode included. SDL itself stays up until the process ends: shutting it
    // down half-closes its session-bus connection, which then leaks.
    while (!state.windows.empty()) DestroyWindow(Handle(*state.windows.begin()));
}

}  // namespace qv::platform

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
        windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr)
        return 0;
    Windowing& state = State();
    if (state.classes.count(windowClass->lpszClassName)) return 0;  // already registered
    WNDCLASSEXA copy = *windowClass;
    copy.lpszClassName = nullptr;  // the name is kept as the map's key
    state.classes.emplace(windowClass->lpszClassName, copy);
    return state.nextAtom++;
}

HWND CreateWindowExA(DWORD /*exStyle*/, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND /*parent*/, HMENU /*menu*/, HINSTANCE /*instance*/,
                     void* /*param*/) {
    Windowing& state = State();
    auto found = className ? state.classes.find(className) : state.classes.end();
    if (found == state.classes.end()) {
        OutputDebugStringA("Quorvane: (WARN) CreateWindowExA: the window class is not registered\r\n");
        return nullptr;
    }
    const char* why = nullptr;
    if (!qv::platform::StartVideo(&why)) {
        std::string line = std::string("Quorvane: (WARN) CreateWindowExA: ") + why + "\r\n";
        OutputDebugStringA(line.c_str());
        return nullptr;
    }
    // Hidden until ShowWindow, unless WS_VISIBLE asks otherwise; ready for
    // an OpenGL context.
    Uint32 flags = SDL_WINDOW_OPENGL | ((style & WS_VISIBLE) ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN);
    SDL_Window* sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, width > 0 ? width : 1,
                                       height > 0 ? height : 1, flags);
    if (sdl == nullptr) {
        std::string line = std::string("Quorvane: (WARN) CreateWindowExA: ") + SDL_GetError() + "\r\n";
        OutputDebugStringA(line.c_str());
        return nullptr;
    }
    auto* window = new Window{sdl, found->second.lpfnWndProc, false};
    state.windows.insert(window);
    window->procedure(Handle(window), WM_CREATE, 0, 0);
    return Handle(window);
}

BOOL DestroyWindow(HWND handle) {
    Window* window = Find(handle);
    if (window == nullptr || window->destroying) return FALSE;
    window->destroying = true;
    window->procedure(handle, WM_DESTROY, 0, 0);
    Windowing& state = State();
    state.windows.erase(window);
    for (auto it = state.queue.begin(); it != state.queue.end();)
        it = it->hwnd == handle ? state.queue.erase(it) : it + 1;
    if (window->users > 0) {
        // A device still draws into it: hide it now, destroy it when the
        // device goes.
        SDL_HideWindow(window->sdl);
        state.destroyedInUse.insert(window);
        return TRUE;
    }
    SDL_DestroyWindow(window->sdl);
    delete window;
    return TRUE;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(&g_desktop); }

BOOL ShowWindow(HWND handle, int command) {
    Window* window = Find(handle);
    if (window == nullptr) return FALSE;
    const bool wasVisible = (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_SHOWN) != 0;
    if (command == SW_HIDE) {
        SDL_HideWindow(window->sdl);
    } else {
        SDL_ShowWindow(window->sdl);
        SDL_RaiseWindow(window->sdl);
    }
    return wasVisible ? TRUE : FALSE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    // Return picks the first button, Escape the last: without these flags
    // SDL's boxes ignore both keys.
    SDL_MessageBoxButtonData yesNo[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    SDL_MessageBoxButtonData ok[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"},
    };
    const bool isYesNo = (type & 0xF) == MB_YESNO;
    if (!isYesNo && (type & 0xF) != MB_OK) return 0;  // other button sets are not offered
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = qv::platform::SdlWindowOf(owner);
    box.title = caption ? caption : "Error";
    box.message = text ? text : "";
    box.numbuttons = isYesNo ? 2 : 1;
    box.buttons = isYesNo ? yesNo : ok;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0 || pressed < 0) return 0;  // no box, or closed without a choice
    return pressed;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (message == nullptr) return FALSE;
    PumpEvents();
    Windowing& state = State();
    for (auto it = state.queue.begin(); it != state.queue.end(); ++it) {
        if (!Matches(*it, window, filterMin, filterMax)) continue;
        *message = *it;
        if (removeFlags & PM_REMOVE) state.queue.erase(it);
        return TRUE;
    }
    // The quit message comes once every other message has been handled.
    if (state.quitPosted && Matches(MSG{nullptr, WM_QUIT, 0, 0, 0, {}}, nullptr, filterMin, filterMax)) {
        *message = MSG{};
        message->message = WM_QUIT;
        message->wParam = static_cast<WPARAM>(state.quitCode);
        message->time = GetTickCount();
        if (removeFlags & PM_REMOVE) state.quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message) {
    if (message == nullptr) return 0;
    Window* window = Find(message->hwnd);
    if (window == nullptr) return 0;
    return window->procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    switch (message) {
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_SETCURSOR:
            // The class has no cursor of its own: the pointer keeps the one
            // last set, and none is set by default.
            return 0;
        default: return 0;
    }
}

void PostQuitMessage(int exitCode) {
    Windowing& state = State();
    state.quitPosted = true;
    state.quitCode = exitCode;
}

HCURSOR LoadCursorA(HINSTANCE /*instance*/, LPCSTR cursorName) {
    // No name: no cursor. A standard cursor (a small number in place of a
    // name) stands for the system's arrow.
    if (cursorName == nullptr) return nullptr;
    return ArrowCursor();
}

HCURSOR SetCursor(HCURSOR cursor) {
    Windowing& state = State();
    HCURSOR previous = state.cursor;
    state.cursor = cursor;
    ApplyCursor();
    return previous;
}

int ShowCursor(BOOL show) {
    Windowing& state = State();
    state.cursorCount += show ? 1 : -1;
    ApplyCursor();
    return state.cursorCount;
}
