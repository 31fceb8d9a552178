// The publisher's zip check (see zip_check.h), through the extension library's own reader.
#include "tools/cvpublish/zip_check.h"

#include <stdio.h>

#include <vector>

#include "extension/zip_archive.h"

namespace {

// The shortest destination, a drive's root: a name that does not fit there fits nowhere.
const size_t kShortestDestination = 3;

// The first entry that ReadZipEntry refuses, as a quoted name and the reason.
std::string FirstRefusedEntry(const unsigned char* data, size_t size,
                              const ZipDirectory& directory) {
    uint32_t cursor = directory.offset;
    for (uint32_t i = 0; i < directory.entryCount; ++i) {
        ZipEntry entry;
        ZipResult result = ReadZipEntry(data, size, directory, &cursor, &entry);
        if (result == ZipOk) continue;
        std::string name = result == ZipBadEntry || result == ZipBadDirectory
                               ? std::string()
                               : std::string(entry.name, entry.nameLength);
        std::string printable;
        for (char c : name) {
            unsigned char byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte < 0x7F) {
                printable += c;
            } else {
                char escaped[8];
                snprintf(escaped, sizeof escaped, "\\x%02X", byte);
                printable += escaped;
            }
        }
        return (printable.empty() ? std::string("entry ") + std::to_string(i + 1)
                                  : "entry \"" + printable + "\"") +
               ": " + ZipResultText(result);
    }
    return std::string();
}

}  // namespace

bool LooksLikeZip(const unsigned char* data, size_t size) {
    return size >= 4 && data[0] == 'P' && data[1] == 'K' &&
           ((data[2] == 3 && data[3] == 4) || (data[2] == 5 && data[3] == 6));
}

bool CheckZipPackage(const unsigned char* data, size_t size, std::string* reason) {
    ZipDirectory directory;
    ZipResult result = FindZipDirectory(data, size, &directory);
    if (result != ZipOk) {
        *reason = ZipResultText(result);
        return false;
    }
    std::vector<ZipSpan> spans(directory.entryCount + 1);
    ZipTotals totals = {0, 0};
    result = CheckZipArchive(data, size, directory, kShortestDestination, spans.data(),
                             spans.size(), &totals);
    if (result == ZipOk) result = CheckZipTotals(totals, UINT64_MAX);
    if (result == ZipOk) return true;
    std::string entry = FirstRefusedEntry(data, size, directory);
    *reason = entry.empty() ? ZipResultText(result) : entry;
    return false;
}

bool ReadZipCandidate(const char* path, std::string* bytes, bool* tooLarge) {
    *tooLarge = false;
    bytes->clear();
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    char buffer[65536];
    size_t got;
    bool ok = true;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (bytes->size() + got > kMaxCheckedZipSize) {
            *tooLarge = true;
            ok = false;
            break;
        }
        bytes->append(buffer, got);
    }
    if (ferror(file)) ok = false;
    fclose(file);
    return ok;
}
