// Reading a published pkginfo.txt (see manifest_file.h).
#include "tools/cvpublish/manifest_file.h"

#include <stdio.h>
#include <stdlib.h>

const char* ReadManifestFile(const char* path, ManifestList* list, std::string* bytesRead) {
    static char problem[100];
    FILE* file = fopen(path, "rb");
    char* bytes = static_cast<char*>(malloc(kMaxManifestFileSize + 1));
    size_t length = 0;
    bool read = file != nullptr && bytes != nullptr;
    if (read) {
        length = fread(bytes, 1, kMaxManifestFileSize + 1, file);
        read = !ferror(file);
    }
    if (file != nullptr) fclose(file);
    const char* result = nullptr;
    if (!read) {
        result = "cannot be read";
    } else if (length > kMaxManifestFileSize) {
        snprintf(problem, sizeof problem, "larger than %lu bytes, which the installer refuses",
                 static_cast<unsigned long>(kMaxManifestFileSize));
        result = problem;
    } else if (!list->LoadText(bytes, length)) {
        result = "no memory to hold it";
    } else if (bytesRead != nullptr) {
        bytesRead->assign(bytes, length);
    }
    free(bytes);
    return result;
}
