// Reading a published pkginfo.txt (see manifest_file.h).
#include "tools/cvpublish/manifest_file.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

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

uint32_t TodayUtc() {
    time_t now = time(nullptr);
    struct tm utc = {};
#ifdef _WIN32
    if (gmtime_s(&utc, &now) != 0) return 0;
#else
    if (gmtime_r(&now, &utc) == nullptr) return 0;
#endif
    return static_cast<uint32_t>(utc.tm_year + 1900) * 10000u +
           static_cast<uint32_t>(utc.tm_mon + 1) * 100u + static_cast<uint32_t>(utc.tm_mday);
}

const char* BindingProblem(PackageBinding binding) {
    switch (binding) {
    case PackageBound:
        return nullptr;
    case PackageWrongName:
        return "is signed for another file";
    case PackageBelowMinimum:
        return "is older than minVersion requires";
    case PackageExpired:
        return "has expired";
    case PackageBindingMalformed:
        break;
    }
    return "has a [package] section without name= or with a version= or expires= that is none";
}

std::string DescribeBinding(const ManifestList& list) {
    if (!list.HasSection(kPackageSection)) return std::string("no [") + kPackageSection + "]";
    const char* const keys[] = {kPackageNameKey, kPackageVersionKey, kPackageExpiresKey};
    char text[kManifestLineLength + 1];
    std::string described = std::string("[") + kPackageSection + "]";
    for (const char* key : keys)
        if (list.GetText(kPackageSection, key, text, sizeof text))
            described.append(" ").append(key).append("=").append(text);
    return described;
}
