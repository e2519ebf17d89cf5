// Files and mappings, modules and the mute export, debug output, tick count.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "quorvane/platform/d3d9.h"
#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"

namespace {

class TempFile {
public:
    explicit TempFile(const std::string& contents) {
        char name[] = "/tmp/qv-kernel-XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        if (fd >= 0) {
            EXPECT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
            close(fd);
        }
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

HANDLE OpenForReading(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS,
                       nullptr);
}

TEST(Files, MapsAWholeFileReadOnly) {
    TempFile file("hello, mapping");
    HANDLE handle = OpenForReading(file.path());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(handle, &high), 14u);
    EXPECT_EQ(high, 0u);
    HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(std::memcmp(view, "hello, mapping", 14), 0);
    // The view outlives the handles it came from, as on the platform.
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(std::memcmp(view, "hello", 5), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view)) << "a view is unmapped once";
    EXPECT_FALSE(CloseHandle(handle)) << "a handle is closed once";
}

TEST(Files, EmptyFileOpensButHasNoMappingOrView) {
    TempFile file("");
    HANDLE handle = OpenForReading(file.path());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(handle, nullptr), 0u);
    HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    EXPECT_EQ(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(Files, RefusesWhatIsNotAReadableFile) {
    EXPECT_EQ(OpenForReading("/nonexistent/qv-no-such-file"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenForReading(std::filesystem::temp_directory_path().c_str()), INVALID_HANDLE_VALUE)
        << "a directory is not a file";
    EXPECT_EQ(OpenForReading(nullptr), INVALID_HANDLE_VALUE);
    // Handles that are not ours are refused, never dereferenced.
    int notAHandle = 0;
    EXPECT_EQ(GetFileSize(&notAHandle, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_FALSE(CloseHandle(&notAHandle));
    EXPECT_EQ(MapViewOfFile(&notAHandle, FILE_MAP_READ, 0, 0, 0), nullptr);
}

TEST(Files, ViewsPastTheFileAreRefused) {
    TempFile file("0123456789");
    HANDLE handle = OpenForReading(file.path());
    HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 11), nullptr);
    EXPECT_EQ(CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 11, nullptr), nullptr)
        << "a read-only mapping cannot grow the file";
    CloseHandle(mapping);
    CloseHandle(handle);
}

TEST(Modules, Direct3DIsTheOnlyModuleAndExportsDebugSetMute) {
    qv::testing::SetDirect3DModuleLoaded(false);
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);
    HMODULE loaded = LoadLibraryA("D3D9.DLL");  // names compare without case
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), loaded);
    EXPECT_EQ(LoadLibraryA("d3d9d.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleA("d3d9d.dll"), nullptr);
    EXPECT_EQ(GetProcAddress(loaded, "NoSuchExport"), nullptr);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr) << "the program itself";

    auto mute = reinterpret_cast<int (*)(int)>(reinterpret_cast<void (*)()>(GetProcAddress(loaded, "DebugSetMute")));
    ASSERT_NE(mute, nullptr);
    qv::testing::TakeDebugSetMuteCalls();
    qv::testing::CaptureDebugOutput(true);

    // Muted, the layer's own lines are silent; unmuted they come back.
    IDirect3D9* (*create)(UINT) = nullptr;
    create = reinterpret_cast<IDirect3D9* (*)(UINT)>(
        reinterpret_cast<void (*)()>(GetProcAddress(loaded, "Direct3DCreate9")));
    ASSERT_NE(create, nullptr);
    mute(1);
    EXPECT_EQ(create(30), nullptr);  // a wrong version is refused
    mute(0);
    EXPECT_EQ(qv::testing::TakeDebugSetMuteCalls(), (std::vector<int>{1, 0}));
    qv::testing::CaptureDebugOutput(false);
}

TEST(DebugOutput, LinesGoToTheCaptureWhenAsked) {
    qv::testing::CaptureDebugOutput(true);
    OutputDebugStringA("Quorvane: (WARN) one\r\n");
    OutputDebugStringA("Quorvane: (WARN) two\r\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(qv::testing::TakeDebugOutput(),
              (std::vector<std::string>{"Quorvane: (WARN) one\r\n", "Quorvane: (WARN) two\r\n"}));
    EXPECT_TRUE(qv::testing::TakeDebugOutput().empty());
    qv::testing::CaptureDebugOutput(false);
}

TEST(TickCount, FollowsTheClockOrTheOverride) {
    const DWORD before = GetTickCount();
    usleep(20000);
    const DWORD after = GetTickCount();
    EXPECT_GE(static_cast<DWORD>(after - before), 15u);
    EXPECT_LT(static_cast<DWORD>(after - before), 5000u);
    qv::testing::OverrideTickCount(0xFFFFFFF0u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    qv::testing::ResetTickCount();
    EXPECT_LT(static_cast<DWORD>(GetTickCount() - after), 5000u);
}

}  // namespace
