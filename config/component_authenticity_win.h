// What a component's description promises about its files: the publisher's key for http
// packages ("publisherKey", in the component's section or else in [defs]) and the pinned
// SHA-256 digests of ftp, copy and cdrom files ("sha256", in the order of "files"); and the
// checks of present files against them.
#pragma once

#include "common/limits.h"
#include "config/component_table_win.h"
#include "transfer/authenticity_win.h"
#include "transfer/publisher_key.h"

// The key in force for the component, or empty: only http packages are signed.
void ReadPublisherKey(const Component& component, char (&key)[kPublisherKeyTextSize]);
bool HasPublisherKey(const Component& component);
// Whether the description pins the component's files (never for http).
bool HasPinnedDigests(const Component& component);
// The pin of the index-th file; false when there is none or it is no digest.
bool ReadPinnedDigest(const Component& component, size_t index, Sha256Digest& digest);

// Whether a file already at path, the index-th of "files", counts as there before the
// download asks for it. Without a key or pin, being there is enough. With a pin it must
// match. With a key it must have been found the publisher's earlier in this run (the
// http worker checks any other against the signed manifest).
bool PresentFileCounts(const Component& component, size_t index, const char* path);

// Whether the description lets the component's files be fetched and installed: under a
// publisher's key, a network component must be signed or pinned or say allowUnverified.
SourceVerdict JudgeComponentSource(const Component& component);

// Opens path for reading with read sharing only: while the handle is open, nobody can
// write, rename or delete the file, and everybody can still read, run or map it.
HANDLE OpenHeldFile(const char* path);

// A component's files as they were checked right before its installation, held open
// (OpenHeldFile) until its actions are over, so that what runs, is copied or unpacked is
// what was checked. Pinned copy and cdrom files are first copied into a fresh private
// directory under the work directory and the copies are checked and used: their source
// (a share, a disc, a folder of others) stays open to change.
class CheckedFiles {
public:
    CheckedFiles() = default;
    ~CheckedFiles() { Release(); }
    CheckedFiles(const CheckedFiles&) = delete;
    CheckedFiles& operator=(const CheckedFiles&) = delete;

    // Each file must match what it was checked against (its pin, or the signed digest
    // recorded when it was verified). Authentic when the component promises nothing.
    AuthenticityResult Check(const Component& component);
    // The path an action uses for name: the checked copy when there is one, otherwise
    // where the component's files stand. False when it does not fit.
    bool PathOf(const Component& component, const char* name, char* out, size_t size) const;
    // Closes the files and removes the copies.
    void Release();

private:
    // As many files as "files" can list.
    static const size_t kMaxHeld = kFileListSize / 2 + 1;
    HANDLE held[kMaxHeld] = {};
    size_t heldCount = 0;
    char copies[MAX_PATH] = "";  // the directory of the checked copies, or empty
};
