// Reads text values of the registry (see registry_text_win.h); registry_text decides
// what the bytes read hold.
#include "common/registry_text_win.h"

#include "common/registry_text.h"

bool ReadRegistryText(HKEY key, const char* name, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    unsigned char value[kRegistryTextLimit];
    DWORD type = 0;
    DWORD length = sizeof(value);
    if (RegQueryValueExA(key, name, nullptr, &type, value, &length) != ERROR_SUCCESS) return false;
    return TakeRegistryText(type, value, length, out, size);
}

bool ReadRegistryText(HKEY root, const char* path, const char* name, char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    bool read = ReadRegistryText(key, name, out, size);
    RegCloseKey(key);
    return read;
}
