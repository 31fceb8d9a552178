// Reading of zip archives from a byte span, and every decision about their entries.
//
// An archive ends with the end-of-central-directory record (signature "PK\5\6", 22 bytes
// and a comment of up to 65535 bytes). It names the central directory: one 46-byte record
// per entry plus its name, extra field and comment, giving the method, flags, CRC-32,
// both sizes and the offset of the entry's local header. The local header (30 bytes plus
// name and extra field) sits right before the entry's data. All integers little-endian.
//
// Only what the extension library unpacks is accepted: one disk, no zip64, no
// encryption, methods stored (0) and deflated (8), names that stay inside the
// destination. The central directory is authoritative for sizes and CRC, so entries
// written with data descriptors (flag bit 3, local values zero) read like any other.
//
// Nothing here touches a file: the library maps the archive and hands over its bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

const size_t kZipEndRecordSize = 22;
const size_t kZipCentralHeaderSize = 46;
const size_t kZipLocalHeaderSize = 30;
const uint16_t kZipStored = 0;
const uint16_t kZipDeflated = 8;
const uint16_t kZipFlagEncrypted = 0x0001;
const uint16_t kZipFlagDataDescriptor = 0x0008;
const uint16_t kZipFlagStrongEncryption = 0x0040;
const uint16_t kZipFlagMaskedHeader = 0x2000;

// Paths are built in buffers of kZipMaxPath bytes (259 characters and the NUL). A file's
// folder must leave room for the temporary name created in it (a backslash and 12
// characters, "cvx1234.tmp" style), so folders are held to kZipMaxFolder characters.
const size_t kZipMaxPath = 260;
const size_t kZipMaxFolder = kZipMaxPath - 14;

enum ZipResult {
    ZipOk,
    ZipNoEndRecord,     // no end-of-central-directory record: not a zip, or cut
    ZipMultiDisk,       // the archive spans disks
    ZipZip64,           // zip64 record, locator, marker value or extra field
    ZipBadDirectory,    // the directory lies outside the file or does not hold its entries
    ZipBadEntry,        // a central record is cut or carries a wrong signature
    ZipEncrypted,       // an entry is encrypted
    ZipBadMethod,       // a method other than stored and deflated
    ZipBadName,         // empty, absolute, "..", device or otherwise unusable name
    ZipBadSize,         // sizes that cannot be right (stored sizes differ, a folder with data)
    ZipBadLocalHeader,  // the local header is cut, misplaced or disagrees with the directory
    ZipOverlap,         // two entries share bytes, or data reaches into the directory
    ZipPathTooLong,     // the destination and the name do not fit a path
    ZipAbsurdRatio,     // the declared sizes are far beyond what the compressed bytes can give
    ZipNoRoom,          // the declared sizes exceed the destination's free space
};

// Text for diagnostics ("name outside the destination" ...).
const char* ZipResultText(ZipResult result);

// Where the central directory lies.
struct ZipDirectory {
    uint32_t offset;      // first central record
    uint32_t size;        // bytes of the central records
    uint32_t entryCount;  // number of entries
};

// Finds the end record of the archive data[0, size) and checks what it says: one disk,
// no zip64, and the central directory lying exactly before the end record.
ZipResult FindZipDirectory(const unsigned char* data, size_t size, ZipDirectory* directory);

struct ZipEntry {
    const char* name;  // points into the archive's bytes; not terminated
    uint16_t nameLength;
    uint16_t flags;
    uint16_t method;
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t localHeaderOffset;
    uint32_t dataOffset;  // first byte of the entry's data, after the local header
    bool isFolder;        // the name ends with "/" or "\"
};

// Reads the central record at *cursor (start with directory.offset), checks it, its name
// and its local header, and advances *cursor to the next record. The entry is only
// meaningful when the result is ZipOk.
ZipResult ReadZipEntry(const unsigned char* data, size_t size, const ZipDirectory& directory,
                       uint32_t* cursor, ZipEntry* entry);

// Checks an entry name: printable ASCII without < > : " | ? * ; "/" and "\" both
// separate components; not absolute; no empty component except one trailing separator
// that makes a folder; no component ending in "." or " " (which covers "." and ".."
// and the names Windows would shorten); no device name (CON, NUL, COM1 ...).
ZipResult CheckZipEntryName(const char* name, size_t length);

// The entry's path relative to the destination, with backslashes and without the
// trailing separator of a folder. Returns false (and the empty text) when it does not
// fit in outputSize bytes.
bool ZipEntryPath(const ZipEntry& entry, char* output, size_t outputSize);

// Byte range of an entry in the archive, from its local header to the end of its data.
struct ZipSpan {
    uint32_t begin;
    uint32_t end;
};

// The declared sizes of an archive's entries, added up.
struct ZipTotals {
    uint64_t compressed;
    uint64_t uncompressed;
};

// Checks the whole archive before anything is written: every entry (ReadZipEntry), the
// directory holding exactly entryCount records, entries that share no bytes, and every
// path fitting under a destination of destinationLength characters (without a trailing
// separator). spans is scratch room for at least directory.entryCount items. totals, when
// given, receives the sums of the entries' declared sizes (meaningful on ZipOk).
ZipResult CheckZipArchive(const unsigned char* data, size_t size, const ZipDirectory& directory,
                          size_t destinationLength, ZipSpan* spans, size_t spanCapacity,
                          ZipTotals* totals = nullptr);

// Deflate gives at most about 1032 bytes per compressed byte, so an archive declaring
// more than kZipMaxRatio times its compressed bytes either lies about its sizes or is
// made to fill a disk. Below kZipRatioFloor declared bytes in all the ratio is not looked
// at: small files of zeros are common and harmless.
const uint64_t kZipMaxRatio = 1000;
const uint64_t kZipRatioFloor = 16 * 1024 * 1024;

// Decides from the declared sizes alone, before anything is written: ZipAbsurdRatio for
// a ratio beyond the bound above, ZipNoRoom when the entries would not fit in freeBytes
// (what the destination's volume has free for the caller), else ZipOk.
ZipResult CheckZipTotals(const ZipTotals& totals, uint64_t freeBytes);
