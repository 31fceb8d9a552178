// Reading a published pkginfo.txt as the installer's manifest reader does.
#pragma once

#include "transfer/manifest.h"

#include <string>

// Reads the manifest at path into list, and its exact bytes into bytes when given (what a
// signature covers). Returns nullptr on success, otherwise the problem as a text (static
// storage) for the caller's report.
const char* ReadManifestFile(const char* path, ManifestList* list, std::string* bytes = nullptr);

// The parts [files] lists, from file000.bin up to the first number missing:
//     ListedParts parts(list);
//     while (parts.Next()) use(parts.name, parts.size);
class ListedParts {
public:
    explicit ListedParts(const ManifestList& list) : list(list) {}
    // Moves to the next listed part; false when there is none.
    bool Next() {
        FormatPartName(count, name);
        if (!list.GetValue(kFilesSection, name, &size)) return false;
        ++count;
        return true;
    }
    unsigned Count() const { return count; }  // parts visited so far

    char name[kPartNameSize] = {};
    int32_t size = 0;  // as listed

private:
    const ManifestList& list;
    unsigned count = 0;
};
