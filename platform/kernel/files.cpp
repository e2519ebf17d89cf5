// Files and read-only mappings over open, fstat and mmap.
//
// Handles are pointers to small records that this file owns; every handle
// handed out is kept in a set so that a stale or foreign handle is refused
// instead of being dereferenced.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>

#include "quorvane/platform/win_kernel.h"

namespace {

enum class ObjectKind { File, Mapping };

struct KernelObject {
    ObjectKind kind;
    int fd;                 // owned; a mapping holds its own duplicate
    std::uint64_t size;     // bytes a mapping covers
};

struct HandleTable {
    std::mutex mutex;
    std::set<KernelObject*> objects;
    std::map<const void*, std::size_t> views;  // address -> mapped length
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

HANDLE Register(KernelObject* object) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.objects.insert(object);
    return object;
}

// The record behind `handle` if it is one of ours of `kind`, else null.
KernelObject* Find(HANDLE handle, ObjectKind kind) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(static_cast<KernelObject*>(handle));
    if (it == table.objects.end() || (*it)->kind != kind) return nullptr;
    return *it;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                   SECURITY_ATTRIBUTES* /*security*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
    if (fileName == nullptr || fileName[0] == '\0') return INVALID_HANDLE_VALUE;
    int flags = O_CLOEXEC;
    const bool write = (desiredAccess & GENERIC_WRITE) != 0;
    const bool read = (desiredAccess & GENERIC_READ) != 0;
    flags |= write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (creationDisposition) {
        case OPEN_EXISTING: break;
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        default: return INVALID_HANDLE_VALUE;
    }
    if ((flags & O_CREAT) && !write) return INVALID_HANDLE_VALUE;
    int fd;
    do {
        fd = ::open(fileName, flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat info {};
    // Only regular files: a directory or a device is not a file to read.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (!write) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    return Register(new KernelObject{ObjectKind::File, fd, 0});
}

DWORD GetFileSize(HANDLE file, DWORD* fileSizeHigh) {
    KernelObject* object = Find(file, ObjectKind::File);
    struct stat info {};
    if (object == nullptr || ::fstat(object->fd, &info) != 0 || info.st_size < 0)
        return INVALID_FILE_SIZE;
    const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    if (fileSizeHigh != nullptr) {
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    } else if (size >= INVALID_FILE_SIZE) {
        // A caller that reads only the low word would see a wrong, shorter
        // size: refuse rather than hand out a truncated file.
        return INVALID_FILE_SIZE;
    }
    return static_cast<DWORD>(size);
}

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* /*security*/, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name) {
    if (protect != PAGE_READONLY || name != nullptr) return nullptr;  // read-only, unnamed only
    KernelObject* object = Find(file, ObjectKind::File);
    struct stat info {};
    if (object == nullptr || ::fstat(object->fd, &info) != 0) return nullptr;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t size = (std::uint64_t{maximumSizeHigh} << 32) | maximumSizeLow;
    if (size == 0) size = fileSize;
    // As on the platform: an empty file cannot be mapped, nor can a read-only
    // mapping grow the file.
    if (size == 0 || size > fileSize) return nullptr;
    const int fd = ::fcntl(object->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    return Register(new KernelObject{ObjectKind::Mapping, fd, size});
}

void* MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                    std::size_t bytesToMap) {
    if (desiredAccess != FILE_MAP_READ) return nullptr;
    KernelObject* object = Find(mapping, ObjectKind::Mapping);
    if (object == nullptr) return nullptr;
    const std::uint64_t offset = (std::uint64_t{offsetHigh} << 32) | offsetLow;
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0 || offset % static_cast<std::uint64_t>(page) != 0 || offset >= object->size)
        return nullptr;
    const std::uint64_t available = object->size - offset;
    const std::uint64_t length = bytesToMap == 0 ? available : bytesToMap;
    if (length > available || length > SIZE_MAX) return nullptr;
    // Readers go through the whole file, so fault its pages in at once.
    void* view = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED | MAP_POPULATE, object->fd,
                        static_cast<off_t>(offset));
    if (view == MAP_FAILED) return nullptr;
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.views[view] = static_cast<std::size_t>(length);
    return view;
}

BOOL UnmapViewOfFile(const void* baseAddress) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.views.find(baseAddress);
    if (it == table.views.end()) return FALSE;
    ::munmap(const_cast<void*>(it->first), it->second);
    table.views.erase(it);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    KernelObject* object = nullptr;
    {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.objects.find(static_cast<KernelObject*>(handle));
        if (it == table.objects.end()) return FALSE;
        object = *it;
        table.objects.erase(it);
    }
    ::close(object->fd);
    delete object;
    return TRUE;
}
