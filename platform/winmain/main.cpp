// The program entry of applications written against WinMain: builds the
// command line from the arguments, calls WinMain and closes the display
// connection afterwards.
#include <string>

#include "platform/platform_internal.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_user.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
    qv::platform::StopVideo();
    return result;
}
