// The table of files found to be the publisher's (see verified_files.h).
#include "config/verified_files.h"

#include <stdlib.h>

#include "common/text.h"

VerifiedFiles::~VerifiedFiles() { free(entries); }

bool VerifiedFiles::Record(const char* path, const Sha256Digest& digest) {
    if (BoundedLength(path, kVerifiedPathSize) >= kVerifiedPathSize) return false;
    for (size_t i = 0; i < count; ++i) {
        if (EqualsIgnoringCase(entries[i].path, path)) {
            entries[i].digest = digest;
            return true;
        }
    }
    if (count == kMaxVerifiedFiles) return false;
    if (count == capacity) {
        size_t grown = capacity == 0 ? 8 : capacity * 2;
        Entry* larger = static_cast<Entry*>(realloc(entries, grown * sizeof(Entry)));
        if (larger == nullptr) return false;
        entries = larger;
        capacity = grown;
    }
    CopyText(entries[count].path, path);
    entries[count].digest = digest;
    ++count;
    return true;
}

bool VerifiedFiles::Find(const char* path, Sha256Digest& digest) const {
    for (size_t i = 0; i < count; ++i) {
        if (EqualsIgnoringCase(entries[i].path, path)) {
            digest = entries[i].digest;
            return true;
        }
    }
    return false;
}
