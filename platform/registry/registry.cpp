// The registry: one key, HKEY_LOCAL_MACHINE "Software\Direct3D", held in
// memory and loaded once from a plain-text file.
//
// File format (one value per line; blank lines and lines starting with '#'
// or ';' are ignored; spaces around the name and the '=' are ignored):
//
//     DisablePSGP = dword:1          (decimal, or hexadecimal with 0x)
//     SomeText    = sz:any text to the end of the line
//
// A line that does not follow this form is skipped with one debug-output
// line naming the file and the line number.
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_kernel.h"
#include "quorvane/platform/win_registry.h"

namespace {

constexpr const char* kRegistryFile = "/etc/quorvane/registry.conf";

struct Value {
    DWORD type;
    std::vector<BYTE> data;
};

// Value names compare without regard to case, as on the platform.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

struct Store {
    std::mutex mutex;
    bool loaded = false;
    std::map<std::string, Value, CaseInsensitiveLess> values;
};

Store& TheStore() {
    static Store store;
    return store;
}

// The one key that exists. Any distinct non-null address serves as its handle.
char g_direct3DKey;
HKEY Direct3DKey() { return reinterpret_cast<HKEY>(&g_direct3DKey); }

Value DwordValue(std::uint32_t number) {
    Value value{REG_DWORD, std::vector<BYTE>(4)};
    std::memcpy(value.data.data(), &number, 4);  // little-endian, as the platform stores it
    return value;
}

Value StringValue(const std::string& text) {
    Value value{REG_SZ, std::vector<BYTE>(text.begin(), text.end())};
    value.data.push_back(0);  // the size of a string value counts its terminator
    return value;
}

std::string Trim(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool ParseLine(const std::string& line, std::string* name, Value* value) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    *name = Trim(line.substr(0, equals));
    if (name->empty()) return false;
    const std::string rest = Trim(line.substr(equals + 1));
    if (strncasecmp(rest.c_str(), "dword:", 6) == 0) {
        const std::string digits = Trim(rest.substr(6));
        if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
        errno = 0;
        char* end = nullptr;
        const unsigned long long number = std::strtoull(digits.c_str(), &end, 0);
        if (errno != 0 || *end != '\0' || number > 0xFFFFFFFFull) return false;
        *value = DwordValue(static_cast<std::uint32_t>(number));
        return true;
    }
    if (strncasecmp(rest.c_str(), "sz:", 3) == 0) {
        *value = StringValue(rest.substr(3));
        return true;
    }
    return false;
}

void LoadFile(Store& store, const char* path) {
    std::ifstream file(path);
    if (!file) return;  // no file: an empty key
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        const std::string text = Trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';') continue;
        std::string name;
        Value value;
        if (!ParseLine(text, &name, &value)) {
            char message[512];
            std::snprintf(message, sizeof message,
                          "Quorvane: (WARN) registry file %s, line %d: expected NAME = dword:N or "
                          "NAME = sz:TEXT; line ignored\r\n",
                          path, number);
            OutputDebugStringA(message);
            continue;
        }
        store.values[name] = std::move(value);
    }
}

// Locks the store, loading the file on first use so that in-process changes
// always win over it.
std::unique_lock<std::mutex> Open(Store& store) {
    std::unique_lock<std::mutex> lock(store.mutex);
    if (!store.loaded) {
        store.loaded = true;
        LoadFile(store, kRegistryFile);
    }
    return lock;
}

}  // namespace

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (key != HKEY_LOCAL_MACHINE || subKey == nullptr) return ERROR_FILE_NOT_FOUND;
    std::string path = subKey;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (strcasecmp(path.c_str(), "Software\\Direct3D") != 0) return ERROR_FILE_NOT_FOUND;
    *result = Direct3DKey();
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    if (key != Direct3DKey()) return ERROR_INVALID_HANDLE;
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    Store& store = TheStore();
    auto lock = Open(store);
    auto it = store.values.find(valueName ? valueName : "");
    if (it == store.values.end()) return ERROR_FILE_NOT_FOUND;
    const Value& value = it->second;
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (type != nullptr) *type = value.type;
    LONG status = ERROR_SUCCESS;
    if (data != nullptr) {
        if (*dataSize < size)
            status = ERROR_MORE_DATA;
        else
            std::memcpy(data, value.data.data(), size);
    }
    if (dataSize != nullptr) *dataSize = size;
    return status;
}

LONG RegCloseKey(HKEY key) { return key == Direct3DKey() ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }

namespace qv::testing {

void SetRegistryDword(const char* valueName, std::uint32_t value) {
    if (valueName == nullptr) return;
    Store& store = TheStore();
    auto lock = Open(store);
    store.values[valueName] = DwordValue(value);
}

void SetRegistryString(const char* valueName, const char* value) {
    if (valueName == nullptr || value == nullptr) return;
    Store& store = TheStore();
    auto lock = Open(store);
    store.values[valueName] = StringValue(value);
}

void ClearRegistryValue(const char* valueName) {
    if (valueName == nullptr) return;
    Store& store = TheStore();
    auto lock = Open(store);
    store.values.erase(valueName);
}

void ClearRegistry() {
    Store& store = TheStore();
    auto lock = Open(store);
    store.values.clear();
}

bool LoadRegistryFile(const char* path) {
    if (path == nullptr) return false;
    std::ifstream probe(path);
    if (!probe) return false;
    Store& store = TheStore();
    auto lock = Open(store);
    store.values.clear();
    LoadFile(store, path);
    return true;
}

}  // namespace qv::testing
