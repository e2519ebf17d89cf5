// The viewer's entry point, called by the platform's main().
#include "app/viewer.h"

int WinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, LPSTR /*commandLine*/,
            int /*showCommand*/) {
    return qv::viewer::RunViewer(instance);
}
