// The Direct3D layer's own debug-output lines and "DebugSetMute".
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/platform_internal.h"
#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"

namespace {

std::atomic<int> g_muted{0};

struct MuteLog {
    std::mutex mutex;
    std::vector<int> calls;
};

MuteLog& Log() {
    static MuteLog log;
    return log;
}

void WriteLine(const char* format, va_list arguments) {
    char text[512];
    int used = std::snprintf(text, sizeof text, "d3d9: (ERROR) ");
    const int room = static_cast<int>(sizeof text) - used - 3;
    const int body = std::vsnprintf(text + used, static_cast<std::size_t>(room), format, arguments);
    used += body < 0 ? 0 : (body < room ? body : room - 1);
    text[used++] = '\r';
    text[used++] = '\n';
    text[used] = '\0';
    OutputDebugStringA(text);
}

}  // namespace

namespace qv::platform {

int DebugSetMute(int mute) {
    {
        MuteLog& log = Log();
        std::lock_guard<std::mutex> lock(log.mutex);
        log.calls.push_back(mute);
    }
    return g_muted.exchange(mute != 0 ? 1 : 0, std::memory_order_relaxed);
}

bool Direct3DDebugMuted() { return g_muted.load(std::memory_order_relaxed) != 0; }

void Direct3DDebugLine(const char* format, ...) {
    if (Direct3DDebugMuted()) return;
    va_list arguments;
    va_start(arguments, format);
    WriteLine(format, arguments);
    va_end(arguments);
}

void Direct3DDebugLineAlways(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WriteLine(format, arguments);
    va_end(arguments);
}

}  // namespace qv::platform

namespace qv::testing {

std::vector<int> TakeDebugSetMuteCalls() {
    MuteLog& log = Log();
    std::lock_guard<std::mutex> lock(log.mutex);
    std::vector<int> out;
    out.swap(log.calls);
    return out;
}

}  // namespace qv::testing
