// SHA-256 digests as texts: the hex form that a signed manifest's [sha256] section and a
// description's "sha256" pins carry. The digests themselves are computed by the platform.
#pragma once

#include <stddef.h>

const size_t kSha256Size = 32;
const size_t kSha256HexLength = 2 * kSha256Size;

struct Sha256Digest {
    unsigned char bytes[kSha256Size];
};

// Exactly 64 hex digits, either case, with nothing but blanks (and a line end) around
// them. False, digest untouched, for anything else.
bool ParseSha256Hex(const char* text, Sha256Digest& digest);

// The lower-case hex form and a NUL.
void FormatSha256Hex(const Sha256Digest& digest, char (&text)[kSha256HexLength + 1]);

bool SameDigest(const Sha256Digest& a, const Sha256Digest& b);

// A description's pins, "HEX[,HEX...]", one per entry of "files" and in its order; items
// are separated as the files are (commas and blanks). CountPinnedDigests counts the items,
// well-formed or not; PinnedDigest is false when the list has no such item or it is not
// a digest.
size_t CountPinnedDigests(const char* list);
bool PinnedDigest(const char* list, size_t index, Sha256Digest& digest);
