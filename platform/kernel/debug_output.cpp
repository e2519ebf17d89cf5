// OutputDebugStringA: standard error, or a capture buffer for tests.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform_internal.h"
#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"

namespace {

struct DebugOutput {
    std::mutex mutex;
    bool capture = false;
    std::vector<std::string> lines;
};

DebugOutput& State() {
    static DebugOutput state;
    return state;
}

}  // namespace

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    DebugOutput& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.capture) {
        state.lines.emplace_back(text);
        return;
    }
    std::fputs(text, stderr);
    std::fflush(stderr);
}

namespace qv::testing {

void CaptureDebugOutput(bool capture) {
    DebugOutput& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.capture = capture;
    if (!capture) state.lines.clear();
}

std::vector<std::string> TakeDebugOutput() {
    DebugOutput& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    std::vector<std::string> out;
    out.swap(state.lines);
    return out;
}

}  // namespace qv::testing
