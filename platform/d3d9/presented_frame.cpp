// Where tests find the last frame that Present showed.
#include <mutex>
#include <utility>

#include "platform/platform_internal.h"
#include "quorvane/platform/test_hooks.h"

namespace {

struct LastFrame {
    std::mutex mutex;
    void* source = nullptr;
    qv::platform::PresentedFrameReader reader = nullptr;
    bool stored = false;
    qv::testing::PresentedFrame frame;
};

LastFrame& State() {
    static LastFrame state;
    return state;
}

}  // namespace

namespace qv::platform {

void SetPresentedFrameSource(void* source, PresentedFrameReader reader) {
    LastFrame& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.source = source;
    state.reader = reader;
    state.stored = false;
    state.frame = {};
}

void RetirePresentedFrameSource(void* source) {
    LastFrame& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.source != source) return;
    qv::testing::PresentedFrame frame;
    state.stored = state.reader != nullptr && state.reader(source, &frame);
    if (state.stored) state.frame = std::move(frame);
    state.source = nullptr;
    state.reader = nullptr;
}

}  // namespace qv::platform

namespace qv::testing {

bool ReadLastPresentedFrame(PresentedFrame* frame) {
    if (frame == nullptr) return false;
    LastFrame& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.source != nullptr && state.reader != nullptr) return state.reader(state.source, frame);
    if (!state.stored) return false;
    *frame = state.frame;
    return true;
}

}  // namespace qv::testing
