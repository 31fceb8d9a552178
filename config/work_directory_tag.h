// Names and tags of the directories the installer creates for itself: a fresh name
// made from random bytes, and the tag that tells a work directory of its own from any
// other directory a registry record may name. This file is pure core.
#pragma once

#include <stddef.h>

// A tag is this many hexadecimal digits; the marker file and the record hold it.
constexpr size_t kWorkTagDigits = 32;
constexpr size_t kWorkTagRandomBytes = kWorkTagDigits / 2;

// The tag for random (kWorkTagRandomBytes bytes) in lower-case hexadecimal.
void FormatWorkTag(const unsigned char* random, char (&tag)[kWorkTagDigits + 1]);

// True when a marker file's bytes (length of them) are exactly the recorded tag and
// the tag has the full number of digits. An empty or short tag never matches.
bool WorkTagMatches(const char* marker, size_t length, const char* recordedTag);

// parent, then prefix and eight hexadecimal digits from random (4 bytes): the name of
// a directory to create. A parent without a trailing backslash gets one. False (out
// empty) when it does not fit size or the parent is empty.
bool BuildFreshDirectoryName(const char* parent, const char* prefix, const unsigned char* random,
                             char* out, size_t size);
