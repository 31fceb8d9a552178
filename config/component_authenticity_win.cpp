// Keys and pins of components, and the checks of their files (see
// component_authenticity_win.h).
#include "config/component_authenticity_win.h"

#include "common/run_log_win.h"

#include <stdlib.h>
#include <string.h>

#include "config/paths.h"
#include "config/private_directory_win.h"
#include "config/profile_win.h"
#include "config/string_table.h"
#include "config/verified_files.h"
#include "config/work_directory_win.h"
#include "shell/directories_win.h"
#include "transfer/sha256_text.h"

namespace {

const char publisherKeyName[] = "publisherKey";
const char pinnedDigestsName[] = "sha256";
const char allowUnverifiedName[] = "allowUnverified";
const char listDelimiters[] = ", ";
// Room for the pins of as many files as "files" can list.
const size_t pinListSize = 4096;

// The digest the index-th file must have; false when the component promises none for it
// (check reports whether it promises anything at all).
bool ExpectedDigest(const Component& component, size_t index, const char* path,
                    Sha256Digest& digest) {
    if (HasPublisherKey(component))
        return component.verifiedFiles != nullptr && component.verifiedFiles->Find(path, digest);
    return ReadPinnedDigest(component, index, digest);
}

}  // namespace

bool ReadPinnedDigest(const Component& component, size_t index, Sha256Digest& digest) {
    char pins[pinListSize];
    ReadComponentValue(component, pinnedDigestsName, "", pins, countof(pins));
    return PinnedDigest(pins, index, digest);
}

void ReadPublisherKey(const Component& component, char (&key)[kPublisherKeyTextSize]) {
    key[0] = '\0';
    if (GetProtocol(component) != ProtocolHttp) return;
    char defaults[kPublisherKeyTextSize];
    ReadValue("defs", publisherKeyName, "", defaults, countof(defaults), component.descriptionPath);
    ReadComponentValue(component, publisherKeyName, defaults, key, countof(key));
}

bool HasPublisherKey(const Component& component) {
    char key[kPublisherKeyTextSize];
    ReadPublisherKey(component, key);
    return key[0] != '\0';
}

bool HasPinnedDigests(const Component& component) {
    if (GetProtocol(component) == ProtocolHttp) return false;
    char pins[pinListSize];
    ReadComponentValue(component, pinnedDigestsName, "", pins, countof(pins));
    return pins[0] != '\0';
}

bool PresentFileCounts(const Component& component, size_t index, const char* path) {
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;
    if (!HasPublisherKey(component) && !HasPinnedDigests(component)) return true;
    Sha256Digest digest;
    bool counts = ExpectedDigest(component, index, path, digest) &&
                  FileMatchesDigest(path, digest) == Authentic;
    LogEvent("component '%s': %s in place %s", component.name, LastPathElement(path),
             counts ? "matches its signed or pinned digest" : "does not match: fetched again");
    return counts;
}

SourceVerdict JudgeComponentSource(const Component& component) {
    char defaults[kPublisherKeyTextSize], own[kPublisherKeyTextSize], allow[16];
    ReadValue("defs", publisherKeyName, "", defaults, countof(defaults), component.descriptionPath);
    ReadComponentValue(component, publisherKeyName, "", own, countof(own));
    ReadComponentValue(component, allowUnverifiedName, "", allow, countof(allow));
    SourceTrust trust = {GetProtocol(component), defaults[0] != '\0' || own[0] != '\0',
                         HasPublisherKey(component), HasPinnedDigests(component),
                         AllowsUnverified(allow)};
    return JudgeSource(trust);
}

HANDLE OpenHeldFile(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

AuthenticityResult CheckedFiles::Check(const Component& component) {
    Release();
    if (!HasPublisherKey(component) && !HasPinnedDigests(component)) return Authentic;
    if (!CanVerifyAuthenticity()) return CannotVerify;
    ProtocolKind protocol = GetProtocol(component);
    if ((protocol == ProtocolCopy || protocol == ProtocolCdrom) &&
        !CreateFreshDirectory(component.workDirectory, "SRC", copies))
        return NotAuthentic;
    char files[kFileListSize];
    ReadComponentValue(component, "files", "", files, countof(files));
    char* cursor = files;
    size_t index = 0;
    while (char* name = NextToken(&cursor, listDelimiters)) {
        char source[260], path[260];
        Sha256Digest digest;
        if (!GetSourcePath(component, name, source, countof(source))) return NotAuthentic;
        if (copies[0] != '\0') {
            // A name that climbs out would copy over another file of the work directory.
            if (strstr(name, "..") != nullptr ||
                JoinPath(copies, name, path, countof(path))[0] == '\0')
                return NotAuthentic;
            CreateParentDirectories(path);
            if (!CopyFileA(source, path, TRUE)) return NotAuthentic;
        } else {
            CopyText(path, source);
        }
        if (!ExpectedDigest(component, index++, path, digest) || heldCount == kMaxHeld)
            return NotAuthentic;
        HANDLE file = OpenHeldFile(path);
        if (file == INVALID_HANDLE_VALUE) return NotAuthentic;
        held[heldCount++] = file;
        AuthenticityResult result = HandleMatchesDigest(file, digest);
        LogEvent("component '%s': %s before installing: %s", component.name, name,
                 result == Authentic ? "the publisher's" : "not the publisher's");
        if (result != Authentic) return result;
    }
    return Authentic;
}

bool CheckedFiles::PathOf(const Component& component, const char* name, char* out,
                          size_t size) const {
    if (copies[0] != '\0') {
        char copy[260];
        if (JoinPath(copies, name, copy, countof(copy))[0] != '\0' &&
            GetFileAttributesA(copy) != INVALID_FILE_ATTRIBUTES)
            return CopyTextN(out, size, copy);
    }
    return GetSourcePath(component, name, out, size);
}

void CheckedFiles::Release() {
    for (size_t i = 0; i < heldCount; ++i) CloseHandle(held[i]);
    heldCount = 0;
    if (copies[0] != '\0') DeleteTree(copies);
    copies[0] = '\0';
}
