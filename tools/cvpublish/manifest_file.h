// Reading a published pkginfo.txt as the installer's manifest reader does.
#pragma once

#include "transfer/manifest.h"
#include "transfer/package_binding.h"

#include <stdint.h>

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

// Today's date in UTC as YYYYMMDD, as installers compare it with a package's expiry.
uint32_t TodayUtc();
// Why installers refuse a package for its [package] section (what CheckPackageBinding
// found); nullptr when it is bound.
const char* BindingProblem(PackageBinding binding);
// What [package] says, for a report: "[package] name=NAME version=N expires=YYYY-MM-DD"
// (the keys given), or "no [package]".
std::string DescribeBinding(const ManifestList& list);
