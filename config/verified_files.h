// The files this run has found to be the publisher's, with the digest each was checked
// against: right before a component is installed, each of its files is checked again
// against the digest recorded here (a signed package's digest is known only from its
// manifest, which a later package in the same directory replaces).
#pragma once

#include <stddef.h>

#include "transfer/sha256_text.h"

const size_t kVerifiedPathSize = 260;
// More files than any description lists; a file that finds no room is not recorded,
// and so is not installed.
const size_t kMaxVerifiedFiles = 512;

class VerifiedFiles {
public:
    VerifiedFiles() = default;
    ~VerifiedFiles();
    VerifiedFiles(const VerifiedFiles&) = delete;
    VerifiedFiles& operator=(const VerifiedFiles&) = delete;

    // Records path (compared ignoring ASCII case, as the file system does) with its
    // digest, replacing an earlier record of the same path. False when the path does not
    // fit or the table is full or memory runs out: the file then stays unrecorded.
    bool Record(const char* path, const Sha256Digest& digest);
    // The recorded digest of path; false when there is none.
    bool Find(const char* path, Sha256Digest& digest) const;
    size_t Count() const { return count; }

private:
    struct Entry {
        char path[kVerifiedPathSize];
        Sha256Digest digest;
    };
    Entry* entries = nullptr;
    size_t count = 0;
    size_t capacity = 0;
};
