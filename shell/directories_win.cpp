// Creation of the directories on the way to a file.
#include "shell/directories_win.h"

int CreateParentDirectories(const char* path) {
    char buffer[MAX_PATH];
    // A cut path would create directories the caller never named.
    if (!CopyText(buffer, path)) return 1;
    for (char* p = buffer; *p != '\0'; ++p) {
        if (*p != '\\' && *p != '/') continue;
        if (p != buffer) {
            *p = '\0';
            if (GetFileAttributesA(buffer) == INVALID_FILE_ATTRIBUTES)
                CreateDirectoryA(buffer, nullptr);
        }
        *p = '\\';
    }
    return 1;
}
