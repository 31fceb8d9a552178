// Zip archives checked as the extension library checks them before it unpacks anything,
// for the publisher's commands that see a package before the installer does.
#pragma once

#include <stddef.h>

#include <string>

// Whether the bytes begin as a zip archive does: a local header, or the end record of an
// empty archive.
bool LooksLikeZip(const unsigned char* data, size_t size);

// Checks the archive's structure as cvgetex.dll will: its directory, every entry's name,
// method and sizes, entries sharing no bytes, names that fit under a destination, and the
// ratio of its declared sizes. The data itself (CRC-32) is not inflated. Returns true when
// the library would go on to unpack it; otherwise reason tells why, naming the first
// refused entry where one is to blame.
bool CheckZipPackage(const unsigned char* data, size_t size, std::string* reason);

// Reads a whole file for the check; false when it cannot be read or is larger than
// kMaxCheckedZipSize (then too large is set).
const size_t kMaxCheckedZipSize = 512u * 1024 * 1024;
bool ReadZipCandidate(const char* path, std::string* bytes, bool* tooLarge);
