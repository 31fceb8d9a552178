// ManifestList::Load: reads a downloaded "pkginfo.txt" whole and hands its bytes to the
// manifest parser, which splits them as a text-mode line reader would; ReadSmallFile.
#include "transfer/manifest_win.h"

#include <stdlib.h>

char* ReadSmallFile(const char* path, size_t limit, size_t& size, bool* opened) {
    size = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened != nullptr) *opened = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD sizeHigh = 0;
    DWORD length = GetFileSize(file, &sizeHigh);
    // A file this large is not what was asked for (a server's error page, a wrong file):
    // refused before anything is allocated for it.
    if ((length == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || sizeHigh != 0 ||
        length > limit) {
        CloseHandle(file);
        return nullptr;
    }
    char* bytes = static_cast<char*>(malloc(length > 0 ? length : 1));
    DWORD total = 0;
    bool readError = bytes == nullptr;
    while (!readError && total < length) {
        DWORD got = 0;
        if (!ReadFile(file, bytes + total, length - total, &got, nullptr))
            readError = true;
        else if (got == 0)
            break;  // the file became shorter since it was measured
        total += got;
    }
    CloseHandle(file);
    if (readError) {
        free(bytes);
        return nullptr;
    }
    size = total;
    return bytes;
}

bool ManifestList::Load(const char* path) {
    bool opened = false;
    size_t size = 0;
    char* bytes = ReadSmallFile(path, kMaxManifestFileSize, size, &opened);
    if (!opened) return false;
    Clear();
    if (bytes == nullptr) return false;
    bool result = LoadText(bytes, size);
    free(bytes);
    return result;
}
