// Zip archives as the extension library checks them before it writes anything: the
// input is the whole archive. Whatever CheckZipArchive accepts must then read entry by
// entry into paths that fit under the destination, with every entry's data inside the
// archive, before the central directory, and whose declared sizes add up to totals that
// the size decision bounds.
#include "extension/zip_archive.h"
#include "fuzz/fuzz_support.h"

namespace {

// Destinations of a few lengths: a drive's folder, a usual one, one near the limit.
const size_t kDestinationLengths[] = {3, 40, 230};

void CheckAccepted(const uint8_t* data, size_t size, const ZipDirectory& directory,
                   size_t destinationLength) {
    uint32_t cursor = directory.offset;
    for (uint32_t i = 0; i < directory.entryCount; ++i) {
        ZipEntry entry;
        FUZZ_CHECK(ReadZipEntry(data, size, directory, &cursor, &entry) == ZipOk);
        FUZZ_CHECK(CheckZipEntryName(entry.name, entry.nameLength) == ZipOk);
        FUZZ_CHECK(entry.name >= reinterpret_cast<const char*>(data) &&
                   entry.name + entry.nameLength <= reinterpret_cast<const char*>(data) + size);
        FUZZ_CHECK(entry.dataOffset >= entry.localHeaderOffset + kZipLocalHeaderSize);
        FUZZ_CHECK(static_cast<uint64_t>(entry.dataOffset) + entry.compressedSize <=
                   directory.offset);
        FUZZ_CHECK(entry.method == kZipStored || entry.method == kZipDeflated);
        if (entry.method == kZipStored) FUZZ_CHECK(entry.compressedSize == entry.uncompressedSize);
        if (entry.isFolder) FUZZ_CHECK(entry.uncompressedSize == 0);
        char relative[kZipMaxPath];
        FUZZ_CHECK(ZipEntryPath(entry, relative, sizeof relative));
        // The destination, a backslash and the relative path fit in a path buffer.
        FUZZ_CHECK(destinationLength + 1 + strlen(relative) < kZipMaxPath);
        FUZZ_CHECK(strchr(relative, '/') == nullptr && strchr(relative, ':') == nullptr);
    }
    FUZZ_CHECK(cursor == directory.offset + directory.size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size <= kZipMaxPath) {
        ZipResult result = CheckZipEntryName(reinterpret_cast<const char*>(data), size);
        FUZZ_CHECK(ZipResultText(result) != nullptr);
    }

    ZipDirectory directory;
    if (FindZipDirectory(data, size, &directory) != ZipOk) return 0;
    FUZZ_CHECK(static_cast<uint64_t>(directory.offset) + directory.size + kZipEndRecordSize <=
               size);

    // The scratch room the library allocates: exactly one span per entry.
    ExactBuffer spanBytes(directory.entryCount * sizeof(ZipSpan));
    ZipSpan* spans = reinterpret_cast<ZipSpan*>(spanBytes.get());
    for (size_t destinationLength : kDestinationLengths) {
        ZipTotals totals = {0, 0};
        ZipResult result = CheckZipArchive(data, size, directory, destinationLength, spans,
                                           directory.entryCount, &totals);
        FUZZ_CHECK(ZipResultText(result) != nullptr);
        if (result != ZipOk) continue;
        CheckAccepted(data, size, directory, destinationLength);
        // Entries share no bytes, so their compressed data fits in the archive.
        FUZZ_CHECK(totals.compressed <= size);
        ZipResult room = CheckZipTotals(totals, totals.uncompressed);
        FUZZ_CHECK(room == ZipOk || room == ZipAbsurdRatio);
        if (totals.uncompressed > 0)
            FUZZ_CHECK(CheckZipTotals(totals, totals.uncompressed - 1) != ZipOk);
    }
    // Entries read one by one, as far as they are readable, whatever the archive's verdict.
    uint32_t cursor = directory.offset;
    for (uint32_t i = 0; i < directory.entryCount; ++i) {
        ZipEntry entry;
        uint32_t before = cursor;
        if (ReadZipEntry(data, size, directory, &cursor, &entry) != ZipOk) break;
        FUZZ_CHECK(cursor > before && cursor <= directory.offset + directory.size);
        char relative[kZipMaxPath];
        ZipEntryPath(entry, relative, sizeof relative);
    }
    return 0;
}
