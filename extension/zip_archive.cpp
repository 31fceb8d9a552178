// Reading of zip archives from a byte span: end record, central records, local headers,
// entry names and the checks made before the extension library writes anything.
#include "extension/zip_archive.h"

#include <algorithm>

namespace {

const uint32_t kEndSignature = 0x06054b50;
const uint32_t kZip64LocatorSignature = 0x07064b50;
const size_t kZip64LocatorSize = 20;
const uint32_t kCentralSignature = 0x02014b50;
const uint32_t kLocalSignature = 0x04034b50;
const size_t kMaxCommentLength = 0xFFFF;
const uint32_t kZip64Marker32 = 0xFFFFFFFF;
const uint16_t kZip64Marker16 = 0xFFFF;
const uint16_t kEncryptionFlags =
    kZipFlagEncrypted | kZipFlagStrongEncryption | kZipFlagMaskedHeader;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsUpper(const char* text, size_t length, const char* upper) {
    size_t i = 0;
    for (; i < length && upper[i] != '\0'; ++i)
        if (Upper(text[i]) != upper[i]) return false;
    return i == length && upper[i] == '\0';
}

// Windows opens a device for these names whatever the extension and the folder.
bool IsDeviceName(const char* component, size_t length) {
    size_t base = 0;
    while (base < length && component[base] != '.') ++base;
    while (base > 0 && component[base - 1] == ' ') --base;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (EqualsUpper(component, base, device)) return true;
    if (base == 4 && component[3] >= '0' && component[3] <= '9')
        return EqualsUpper(component, 3, "COM") || EqualsUpper(component, 3, "LPT");
    return false;
}

bool CheckComponent(const char* component, size_t length) {
    if (length == 0) return false;
    char last = component[length - 1];
    if (last == '.' || last == ' ') return false;
    return !IsDeviceName(component, length);
}

// Length of the path under the destination: the name without a folder's trailing separator.
size_t RelativeLength(const ZipEntry& entry) {
    return entry.isFolder ? entry.nameLength - 1u : entry.nameLength;
}

bool PathFits(const ZipEntry& entry, size_t destinationLength) {
    size_t relative = RelativeLength(entry);
    size_t full = destinationLength + 1 + relative;
    if (entry.isFolder) return full <= kZipMaxFolder;
    if (full > kZipMaxPath - 1) return false;
    size_t folder = destinationLength;
    for (size_t i = relative; i > 0; --i) {
        if (IsSeparator(entry.name[i - 1])) {
            folder = destinationLength + i;  // the backslash and the characters before it
            break;
        }
    }
    return folder <= kZipMaxFolder;
}

// A local value written before it was known (flag bit 3) may be zero, or for the sizes
// the zip64 marker that streaming writers leave when the input's length is unknown (the
// local zip64 field then holds zeros too). The central record is the one that counts.
bool LocalValueAgrees(uint32_t local, uint32_t central, bool deferred) {
    return local == central || (deferred && (local == 0 || local == kZip64Marker32));
}

ZipResult CheckLocalHeader(const unsigned char* data, const ZipDirectory& directory,
                           ZipEntry* entry) {
    uint64_t headerEnd = static_cast<uint64_t>(entry->localHeaderOffset) + kZipLocalHeaderSize;
    if (headerEnd > directory.offset) return ZipBadLocalHeader;
    const unsigned char* local = data + entry->localHeaderOffset;
    if (Read32(local) != kLocalSignature) return ZipBadLocalHeader;
    uint16_t flags = Read16(local + 6);
    if ((flags & kEncryptionFlags) != 0) return ZipEncrypted;
    if (Read16(local + 8) != entry->method) return ZipBadLocalHeader;
    bool deferred = (flags & kZipFlagDataDescriptor) != 0;
    if (!LocalValueAgrees(Read32(local + 14), entry->crc, deferred) ||
        !LocalValueAgrees(Read32(local + 18), entry->compressedSize, deferred) ||
        !LocalValueAgrees(Read32(local + 22), entry->uncompressedSize, deferred))
        return ZipBadLocalHeader;
    uint16_t nameLength = Read16(local + 26);
    uint16_t extraLength = Read16(local + 28);
    uint64_t dataOffset = headerEnd + nameLength + extraLength;
    if (dataOffset > directory.offset) return ZipBadLocalHeader;
    // Another name in the local header would make other tools see another file.
    if (nameLength != entry->nameLength) return ZipBadLocalHeader;
    for (size_t i = 0; i < nameLength; ++i)
        if (static_cast<char>(local[kZipLocalHeaderSize + i]) != entry->name[i])
            return ZipBadLocalHeader;
    if (dataOffset + entry->compressedSize > directory.offset) return ZipOverlap;
    entry->dataOffset = static_cast<uint32_t>(dataOffset);
    return ZipOk;
}

}  // namespace

const char* ZipResultText(ZipResult result) {
    switch (result) {
    case ZipOk:
        return "ok";
    case ZipNoEndRecord:
        return "no end record";
    case ZipMultiDisk:
        return "spans disks";
    case ZipZip64:
        return "zip64";
    case ZipBadDirectory:
        return "bad central directory";
    case ZipBadEntry:
        return "bad central record";
    case ZipEncrypted:
        return "encrypted";
    case ZipBadMethod:
        return "unknown method";
    case ZipBadName:
        return "unusable name";
    case ZipBadSize:
        return "impossible size";
    case ZipBadLocalHeader:
        return "bad local header";
    case ZipOverlap:
        return "overlapping data";
    case ZipPathTooLong:
        return "path too long";
    case ZipAbsurdRatio:
        return "absurd compression ratio";
    case ZipNoRoom:
        return "larger than the free space";
    }
    return "?";
}

ZipResult FindZipDirectory(const unsigned char* data, size_t size, ZipDirectory* directory) {
    if (size < kZipEndRecordSize) return ZipNoEndRecord;
    // The record is the last one whose comment reaches exactly to the end of the file.
    size_t lowest = size - kZipEndRecordSize > kMaxCommentLength
                        ? size - kZipEndRecordSize - kMaxCommentLength
                        : 0;
    size_t at = size - kZipEndRecordSize + 1;
    const unsigned char* end = nullptr;
    while (at-- > lowest) {
        const unsigned char* p = data + at;
        if (Read32(p) == kEndSignature && at + kZipEndRecordSize + Read16(p + 20) == size) {
            end = p;
            break;
        }
    }
    if (end == nullptr) return ZipNoEndRecord;
    if (at >= kZip64LocatorSize && Read32(end - kZip64LocatorSize) == kZip64LocatorSignature)
        return ZipZip64;
    uint16_t onDisk = Read16(end + 8);
    uint16_t total = Read16(end + 10);
    uint32_t directorySize = Read32(end + 12);
    uint32_t directoryOffset = Read32(end + 16);
    if (onDisk == kZip64Marker16 || total == kZip64Marker16 || directorySize == kZip64Marker32 ||
        directoryOffset == kZip64Marker32)
        return ZipZip64;
    if (Read16(end + 4) != 0 || Read16(end + 6) != 0 || onDisk != total) return ZipMultiDisk;
    if (static_cast<uint64_t>(directoryOffset) + directorySize != at) return ZipBadDirectory;
    directory->offset = directoryOffset;
    directory->size = directorySize;
    directory->entryCount = total;
    return ZipOk;
}

ZipResult CheckZipEntryName(const char* name, size_t length) {
    if (length == 0 || IsSeparator(name[0])) return ZipBadName;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c > 0x7E) return ZipBadName;
        switch (c) {
        case '<':
        case '>':
        case ':':
        case '"':
        case '|':
        case '?':
        case '*':
            return ZipBadName;
        }
    }
    // One trailing separator marks a folder; it ends the last component.
    size_t checked = IsSeparator(name[length - 1]) ? length - 1 : length;
    size_t start = 0;
    for (size_t i = 0; i <= checked; ++i) {
        if (i < checked && !IsSeparator(name[i])) continue;
        if (!CheckComponent(name + start, i - start)) return ZipBadName;
        start = i + 1;
    }
    return ZipOk;
}

ZipResult ReadZipEntry(const unsigned char* data, size_t size, const ZipDirectory& directory,
                       uint32_t* cursor, ZipEntry* entry) {
    uint64_t directoryEnd = static_cast<uint64_t>(directory.offset) + directory.size;
    if (directoryEnd > size) return ZipBadDirectory;
    if (*cursor < directory.offset || *cursor + uint64_t(kZipCentralHeaderSize) > directoryEnd)
        return ZipBadEntry;
    const unsigned char* p = data + *cursor;
    if (Read32(p) != kCentralSignature) return ZipBadEntry;
    uint16_t nameLength = Read16(p + 28);
    uint64_t recordEnd =
        *cursor + uint64_t(kZipCentralHeaderSize) + nameLength + Read16(p + 30) + Read16(p + 32);
    if (recordEnd > directoryEnd) return ZipBadEntry;

    *entry = ZipEntry();
    entry->flags = Read16(p + 8);
    entry->method = Read16(p + 10);
    entry->crc = Read32(p + 16);
    entry->compressedSize = Read32(p + 20);
    entry->uncompressedSize = Read32(p + 24);
    entry->localHeaderOffset = Read32(p + 42);
    entry->name = reinterpret_cast<const char*>(p + kZipCentralHeaderSize);
    entry->nameLength = nameLength;
    uint16_t startDisk = Read16(p + 34);

    if ((entry->flags & kEncryptionFlags) != 0) return ZipEncrypted;
    if (entry->compressedSize == kZip64Marker32 || entry->uncompressedSize == kZip64Marker32 ||
        entry->localHeaderOffset == kZip64Marker32 || startDisk == kZip64Marker16)
        return ZipZip64;
    if (startDisk != 0) return ZipMultiDisk;
    if (entry->method != kZipStored && entry->method != kZipDeflated) return ZipBadMethod;
    ZipResult nameResult = CheckZipEntryName(entry->name, nameLength);
    if (nameResult != ZipOk) return nameResult;
    entry->isFolder = IsSeparator(entry->name[nameLength - 1]);
    if (entry->isFolder && entry->uncompressedSize != 0) return ZipBadSize;
    if (entry->method == kZipStored && entry->compressedSize != entry->uncompressedSize)
        return ZipBadSize;
    ZipResult localResult = CheckLocalHeader(data, directory, entry);
    if (localResult != ZipOk) return localResult;
    *cursor = static_cast<uint32_t>(recordEnd);
    return ZipOk;
}

bool ZipEntryPath(const ZipEntry& entry, char* output, size_t outputSize) {
    if (outputSize == 0) return false;
    size_t length = RelativeLength(entry);
    if (length + 1 > outputSize) {
        output[0] = '\0';
        return false;
    }
    for (size_t i = 0; i < length; ++i) output[i] = entry.name[i] == '/' ? '\\' : entry.name[i];
    output[length] = '\0';
    return true;
}

ZipResult CheckZipArchive(const unsigned char* data, size_t size, const ZipDirectory& directory,
                          size_t destinationLength, ZipSpan* spans, size_t spanCapacity,
                          ZipTotals* totals) {
    if (destinationLength > kZipMaxFolder) return ZipPathTooLong;
    if (spanCapacity < directory.entryCount) return ZipBadDirectory;
    ZipTotals sums = {0, 0};
    uint32_t cursor = directory.offset;
    for (uint32_t i = 0; i < directory.entryCount; ++i) {
        ZipEntry entry;
        ZipResult result = ReadZipEntry(data, size, directory, &cursor, &entry);
        if (result != ZipOk) return result;
        if (!PathFits(entry, destinationLength)) return ZipPathTooLong;
        spans[i].begin = entry.localHeaderOffset;
        spans[i].end = entry.dataOffset + entry.compressedSize;
        sums.compressed += entry.compressedSize;
        sums.uncompressed += entry.uncompressedSize;
    }
    if (static_cast<uint64_t>(cursor) != static_cast<uint64_t>(directory.offset) + directory.size)
        return ZipBadDirectory;
    std::sort(spans, spans + directory.entryCount,
              [](const ZipSpan& a, const ZipSpan& b) { return a.begin < b.begin; });
    for (uint32_t i = 1; i < directory.entryCount; ++i)
        if (spans[i].begin < spans[i - 1].end) return ZipOverlap;
    if (totals != nullptr) *totals = sums;
    return ZipOk;
}

ZipResult CheckZipTotals(const ZipTotals& totals, uint64_t freeBytes) {
    // Both sums stay below 2^48 (65535 entries of below 4 GiB), so the product cannot wrap.
    if (totals.uncompressed > kZipRatioFloor &&
        totals.uncompressed > kZipMaxRatio * totals.compressed)
        return ZipAbsurdRatio;
    if (totals.uncompressed > freeBytes) return ZipNoRoom;
    return ZipOk;
}
