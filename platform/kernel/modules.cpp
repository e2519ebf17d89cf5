// GetModuleHandleA, LoadLibraryA and GetProcAddress over a table of the
// modules built into this process. Our Direct3D layer is "d3d9.dll"; no
// other library file is ever loaded from disk.
#include <strings.h>

#include <atomic>
#include <cstring>

#include "platform/platform_internal.h"
#include "quorvane/platform/d3d9.h"
#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"

namespace {

struct Export {
    const char* name;
    FARPROC address;
};

struct Module {
    const char* name;            // compared without regard to case, as file names are there
    std::atomic<bool>* loaded;   // null: always loaded (the program itself)
    const Export* exports;
    std::size_t exportCount;
};

std::atomic<bool> g_direct3DLoaded{false};

template <typename Function>
FARPROC AsProc(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const Export kDirect3DExports[] = {
    {"DebugSetMute", AsProc(&qv::platform::DebugSetMute)},
    {"Direct3DCreate9", AsProc(&Direct3DCreate9)},
};

Module g_modules[] = {
    {"d3d9.dll", &g_direct3DLoaded, kDirect3DExports, std::size(kDirect3DExports)},
};

// The handle of the program itself: GetModuleHandleA(nullptr).
char g_programModule;

// Matches "d3d9.dll" and "d3d9", any case, as the platform does.
bool NameMatches(const char* wanted, const char* moduleName) {
    const std::size_t length = std::strlen(moduleName);
    if (strcasecmp(wanted, moduleName) == 0) return true;
    const std::size_t stem = length - 4;  // without ".dll"
    return std::strlen(wanted) == stem && strncasecmp(wanted, moduleName, stem) == 0;
}

Module* FindModule(const char* name) {
    if (name == nullptr) return nullptr;
    for (Module& module : g_modules)
        if (NameMatches(name, module.name)) return &module;
    return nullptr;
}

HMODULE HandleOf(Module* module) { return reinterpret_cast<HMODULE>(module); }

}  // namespace

namespace qv::platform {

void MarkDirect3DModuleLoaded() { g_direct3DLoaded.store(true, std::memory_order_relaxed); }

}  // namespace qv::platform

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr) return reinterpret_cast<HMODULE>(&g_programModule);
    Module* module = FindModule(moduleName);
    if (module == nullptr || !module->loaded->load(std::memory_order_relaxed)) return nullptr;
    return HandleOf(module);
}

HMODULE LoadLibraryA(LPCSTR fileName) {
    Module* module = FindModule(fileName);
    if (module == nullptr) return nullptr;  // "d3d9d.dll" and every other file: not present
    module->loaded->store(true, std::memory_order_relaxed);
    return HandleOf(module);
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR procName) {
    if (handle == nullptr || procName == nullptr) return nullptr;
    for (Module& module : g_modules) {
        if (HandleOf(&module) != handle) continue;
        for (std::size_t i = 0; i < module.exportCount; ++i)
            if (std::strcmp(module.exports[i].name, procName) == 0) return module.exports[i].address;
    }
    return nullptr;
}

namespace qv::testing {

void SetDirect3DModuleLoaded(bool loaded) { g_direct3DLoaded.store(loaded, std::memory_order_relaxed); }

}  // namespace qv::testing
