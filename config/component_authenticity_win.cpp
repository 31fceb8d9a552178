// Keys and pins of components, and the checks of their files (see
// component_authenticity_win.h).
#include "config/component_authenticity_win.h"

#include "config/profile_win.h"
#include "config/string_table.h"
#include "config/verified_files.h"
#include "transfer/sha256_text.h"

namespace {

const char publisherKeyName[] = "publisherKey";
const char pinnedDigestsName[] = "sha256";
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
    return ExpectedDigest(component, index, path, digest) &&
           FileMatchesDigest(path, digest) == Authentic;
}

AuthenticityResult CheckFilesBeforeInstall(const Component& component) {
    if (!HasPublisherKey(component) && !HasPinnedDigests(component)) return Authentic;
    if (!CanVerifyAuthenticity()) return CannotVerify;
    char files[kFileListSize];
    ReadComponentValue(component, "files", "", files, countof(files));
    char* cursor = files;
    size_t index = 0;
    while (char* name = NextToken(&cursor, listDelimiters)) {
        char path[260];
        Sha256Digest digest;
        if (!GetSourcePath(component, name, path, countof(path)) ||
            !ExpectedDigest(component, index++, path, digest))
            return NotAuthentic;
        AuthenticityResult result = FileMatchesDigest(path, digest);
        if (result != Authentic) return result;
    }
    return Authentic;
}
