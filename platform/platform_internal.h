// Declarations shared between the platform's own parts (never included by
// callers of the library).
#pragma once

#include <cstdarg>

#include "quorvane/platform/win_types.h"

namespace qv::platform {

// "d3d9.dll": whether it counts as loaded in the process. Creating the
// Direct3D object loads it, as importing the runtime would.
void MarkDirect3DModuleLoaded();

// The Direct3D layer's own debug-output lines ("DebugSetMute" silences them).
bool Direct3DDebugMuted();
// Writes one line of the Direct3D layer: "d3d9: (ERROR) <text>\r\n", unless
// muted. printf-style.
void Direct3DDebugLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same line, never muted (for failures the caller must hear about, such
// as a device that cannot be created).
void Direct3DDebugLineAlways(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qv::platform

namespace qv::platform {

// "DebugSetMute" of "d3d9.dll": 1 mutes the layer's own debug lines, 0
// lets them through. Returns the previous setting.
int DebugSetMute(int mute);

}  // namespace qv::platform

namespace qv::testing {
struct PresentedFrame;
}

namespace qv::platform {

// The last presented frame. A live HAL device registers itself as the
// source after each Present and reads its frame back only when asked; when
// it goes away it leaves a copy behind with StorePresentedFrame.
using PresentedFrameReader = bool (*)(void* source, qv::testing::PresentedFrame* frame);
void SetPresentedFrameSource(void* source, PresentedFrameReader reader);
// The device behind `source` is going away: if it is the current source,
// its frame is read once more and kept, and the source is dropped.
void RetirePresentedFrameSource(void* source);

}  // namespace qv::platform

struct SDL_Window;

namespace qv::platform {

// Starts SDL's video subsystem once; false (with the reason in *why) when
// there is no display.
bool StartVideo(const char** why);
// The SDL window behind a window handle, or null.
SDL_Window* SdlWindowOf(HWND window);
// The same, kept alive for a device that draws into it: destroying the
// window then only hides it until the device lets go with ReleaseSdlWindow.
SDL_Window* RetainSdlWindow(HWND window);
void ReleaseSdlWindow(SDL_Window* window);
// Closes the program's windows when it ends.
void StopVideo();

}  // namespace qv::platform
