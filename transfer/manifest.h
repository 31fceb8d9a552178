// The package manifest "pkginfo.txt": a list of its lines and lookups of integer and
// true/false values by section and key. [files] lists the parts file000.bin, file001.bin, ...
// with their sizes; [sums] lists their checksums under the same keys and total_sum, the
// checksum of the joined parts.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A file is read in pieces of at most this many characters; each piece is a stored line.
const size_t kManifestReadLength = 398;
// A stored line: one piece and its line end.
const size_t kManifestLineLength = kManifestReadLength + 1;
// Load refuses larger files: a real manifest of thousands of parts stays far below this.
const size_t kMaxManifestFileSize = 1024 * 1024;
// "file" + up to 10 digits + ".bin" and a NUL.
const size_t kPartNameSize = 20;

extern const char kFilesSection[];      // "files"
extern const char kSumsSection[];       // "sums"
extern const char kTotalSumKey[];       // "total_sum"
extern const char kManifestFileName[];  // "pkginfo.txt"
// A signed package: [sha256] lists each part's SHA-256 under its name and "total" for the
// joined file; the signature over the manifest's bytes is the file "pkginfo.sig".
extern const char kSha256Section[];      // "sha256"
extern const char kSha256TotalKey[];     // "total"
extern const char kSignatureFileName[];  // "pkginfo.sig"

// The name of part index: "file%03d.bin".
void FormatPartName(unsigned index, char (&name)[kPartNameSize]);

// The largest package the installer takes: 2 GiB - 1 bytes. Its size and the bytes done
// reach the download dialog as signed 32-bit values, and the volumes of the oldest
// systems (FAT16) hold no larger file.
const int64_t kMaxPackageSize = 0x7FFFFFFF;

struct ManifestLine {
    ManifestLine* prev;
    ManifestLine* next;
    char* text;  // owned; the line's characters including its line end
};

// One section header or one candidate entry of the lookup index (manifest.cpp).
struct ManifestIndexEntry;

class ManifestList {
public:
    ManifestList();
    ~ManifestList();
    ManifestList(const ManifestList&) = delete;
    ManifestList& operator=(const ManifestList&) = delete;

    // Frees every line; the list is empty afterwards.
    void Clear();

    // Reads the file at path (defined in the Win32 shell). True when the whole file was
    // read; false when it cannot be opened (the list is then left as it was), cannot be
    // read, is larger than kMaxManifestFileSize (the list is then empty) or memory runs out.
    bool Load(const char* path);

    // Replaces the list by the lines of a file's bytes as the C library's text mode delivers
    // them: "\r\n" reads as "\n" and a Ctrl-Z ends the text. Pieces of up to
    // kManifestReadLength characters end after each "\n"; a piece that does not end in "\n"
    // gets one, and a NUL byte ends the text of its piece. False when memory runs out (the
    // lines stored so far stay).
    bool LoadText(const char* bytes, size_t length);

    // True and value set when key is found in the first section named section; false
    // (value untouched) when the section or the key is missing. Each lookup searches an index
    // sorted once by LoadText, so that the lookups of every part of a large manifest
    // do not each walk the whole list.
    bool GetValue(const char* section, const char* key, int32_t* value) const;
    // True and out set to the value's text (after "=" and blanks, up to the line end,
    // without trailing blanks) when key is found as GetValue finds it; false (out empty)
    // when the section or key is missing or the text does not fit size.
    bool GetText(const char* section, const char* key, char* out, size_t size) const;
    // True when a section of that name exists, also an empty one.
    bool HasSection(const char* section) const;

    const ManifestLine* First() const { return first; }
    // How many index entries the lookups have compared since the last load: the measure
    // of their cost.
    size_t Comparisons() const { return comparisons; }

private:
    bool AppendLine(const char* text, size_t length);
    bool BuildIndex();
    const ManifestIndexEntry* Find(const char* section, const char* key) const;
    const ManifestIndexEntry* FindHeader(const ManifestIndexEntry& probe) const;
    void FreeIndex();

    ManifestLine* first;
    ManifestLine* last;
    // Section headers sorted by name and line; entries sorted by section name, key and
    // line. Pointers into the lines' texts, freed with them.
    ManifestIndexEntry* headers = nullptr;
    size_t headerCount = 0;
    ManifestIndexEntry* entries = nullptr;
    size_t entryCount = 0;
    mutable size_t comparisons = 0;
};

// What the sizes in [files] add up to, file000.bin up to the first number missing.
struct PackageSize {
    int64_t total = 0;
    int32_t partSize = 0;  // the first size that is not 0: no later part may be larger
};
enum PackageSizeCheck { PackageFits, PackagePartNegative, PackageTooLarge };
// Sums the listed sizes in 64 bits; stops at the first negative size or once the total
// passes kMaxPackageSize (size then holds what was summed so far).
PackageSizeCheck MeasurePackage(const ManifestList& list, PackageSize* size);
