// ManifestList::Load: reads a downloaded "pkginfo.txt" whole and hands its bytes to the
// manifest parser, which splits them as a text-mode line reader would.
#include "transfer/manifest_win.h"

#include <stdlib.h>

int ManifestList::Load(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    Clear();
    DWORD sizeHigh = 0;
    DWORD size = GetFileSize(file, &sizeHigh);
    // A file this large is not a manifest (a server's error page, a wrong file): refused
    // before anything is allocated for it.
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || sizeHigh != 0 ||
        size > kMaxManifestFileSize) {
        CloseHandle(file);
        return -1;
    }
    char* bytes = static_cast<char*>(malloc(size > 0 ? size : 1));
    if (bytes == nullptr) {
        CloseHandle(file);
        return -1;
    }
    DWORD total = 0;
    bool readError = false;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, bytes + total, size - total, &got, nullptr)) {
            readError = true;
            break;
        }
        if (got == 0) break;  // the file became shorter since it was measured
        total += got;
    }
    CloseHandle(file);
    int result = LoadText(bytes, total);
    free(bytes);
    return readError ? -1 : result;
}
