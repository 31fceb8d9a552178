// The manifest list: splitting a file's text into stored lines and the section/key lookup.
#include "transfer/manifest.h"

#include "common/text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char kFilesSection[] = "files";
const char kSumsSection[] = "sums";
const char kTotalSumKey[] = "total_sum";
const char kManifestFileName[] = "pkginfo.txt";
const char kSha256Section[] = "sha256";
const char kSha256TotalKey[] = "total";
const char kSignatureFileName[] = "pkginfo.sig";

namespace {

const char kLineEnd = '\n';
const char kReturn = '\r';
const char kEndOfText = '\x1A';  // Ctrl-Z, which ends a file read in text mode

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

// The section name of a header line, or false when the line is no header.
bool GetSectionName(const char* text, const char** begin, const char** end) {
    const char* p = SkipBlanks(text);
    if (*p != '[') return false;
    *begin = ++p;
    while (*p != '\0' && *p != ']') ++p;
    *end = p;
    return true;
}

void GetKey(const char* text, const char** begin, const char** end) {
    const char* p = SkipBlanks(text);
    *begin = p;
    while (*p != '\0' && !IsBlank(*p) && *p != '=') ++p;
    *end = p;
}

// "T..." is 1 and "F..." 0; otherwise an optional "-" and decimal digits, accumulated in
// 32 bits with wrap-around so that an unsigned decimal gives the same bits as its signed form.
int32_t ParseValue(const char* text) {
    const char* p = strchr(text, '=');
    if (p == nullptr) return 0;
    while (*p == '=' || IsBlank(*p)) ++p;
    if (*p == 'T') return 1;
    if (*p == 'F') return 0;
    bool negative = *p == '-';
    if (negative) ++p;
    uint32_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        magnitude = magnitude * 10u + static_cast<uint32_t>(*p - '0');
    uint32_t bits = negative ? 0u - magnitude : magnitude;
    return bits <= 0x7FFFFFFFu ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
}

}  // namespace

struct ManifestIndexEntry {
    const char* section;     // the section's name, within its header line
    const char* key;         // the entry's key, within its line (empty for a header)
    uint16_t sectionLength;  // a stored line has at most kManifestLineLength characters
    uint16_t keyLength;
    uint32_t line;         // ordinal of the entry's (or the header's) line
    uint32_t sectionLine;  // ordinal of the header of the entry's section
};

namespace {

int CompareRanges(const char* a, size_t aLength, const char* b, size_t bLength) {
    int order = memcmp(a, b, aLength < bLength ? aLength : bLength);
    if (order != 0) return order;
    return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

// Orders by section name, key, then line: a total order, so the first of equal names is
// always the earliest line.
int CompareEntries(const ManifestIndexEntry& a, const ManifestIndexEntry& b) {
    int order = CompareRanges(a.section, a.sectionLength, b.section, b.sectionLength);
    if (order == 0) order = CompareRanges(a.key, a.keyLength, b.key, b.keyLength);
    if (order == 0) order = a.line < b.line ? -1 : (a.line > b.line ? 1 : 0);
    return order;
}

// A bottom-up merge sort: its cost stays n log n whatever order a hostile file has.
bool SortEntries(ManifestIndexEntry* items, size_t count) {
    if (count < 2) return true;
    ManifestIndexEntry* merged =
        static_cast<ManifestIndexEntry*>(malloc(count * sizeof(ManifestIndexEntry)));
    if (merged == nullptr) return false;
    for (size_t width = 1; width < count; width *= 2) {
        for (size_t low = 0; low < count; low += 2 * width) {
            size_t middle = low + width < count ? low + width : count;
            size_t high = middle + width < count ? middle + width : count;
            size_t left = low, right = middle;
            for (size_t out = low; out < high; ++out) {
                bool takeLeft = right >= high ||
                                (left < middle && CompareEntries(items[left], items[right]) <= 0);
                merged[out] = takeLeft ? items[left++] : items[right++];
            }
        }
        memcpy(items, merged, count * sizeof(ManifestIndexEntry));
    }
    free(merged);
    return true;
}

// The first of count sorted items not ordered before probe (count when there is none);
// comparisons counts what it compared.
size_t LowerBound(const ManifestIndexEntry* items, size_t count, const ManifestIndexEntry& probe,
                  size_t& comparisons) {
    size_t low = 0, high = count;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        ++comparisons;
        if (CompareEntries(items[middle], probe) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

bool SameNames(const ManifestIndexEntry& a, const ManifestIndexEntry& b) {
    return CompareRanges(a.section, a.sectionLength, b.section, b.sectionLength) == 0 &&
           CompareRanges(a.key, a.keyLength, b.key, b.keyLength) == 0;
}

}  // namespace

void FormatPartName(unsigned index, char (&name)[kPartNameSize]) {
    // "file000.bin" .. "file4294967295.bin": the array holds the longest.
    CopyText(name, "file");
    FormatDecimal(name + 4, sizeof name - 4, index, 3);
    AppendText(name, ".bin");
}

PackageSizeCheck MeasurePackage(const ManifestList& list, PackageSize* size) {
    *size = PackageSize();
    char name[kPartNameSize];
    int32_t part;
    for (unsigned n = 0;; ++n) {
        FormatPartName(n, name);
        if (!list.GetValue(kFilesSection, name, &part)) return PackageFits;
        if (part < 0) return PackagePartNegative;
        // Each part adds at most 2^31 - 1 to a total at most that large: no overflow.
        size->total += part;
        if (size->total > kMaxPackageSize) return PackageTooLarge;
        if (size->partSize == 0) size->partSize = part;
    }
}

ManifestList::ManifestList() : first(nullptr), last(nullptr) {}

ManifestList::~ManifestList() { Clear(); }

void ManifestList::FreeIndex() {
    free(headers);
    free(entries);
    headers = nullptr;
    entries = nullptr;
    headerCount = 0;
    entryCount = 0;
    comparisons = 0;
}

void ManifestList::Clear() {
    FreeIndex();
    ManifestLine* line = first;
    while (line != nullptr) {
        ManifestLine* next = line->next;
        free(line->text);
        free(line);
        line = next;
    }
    first = nullptr;
    last = nullptr;
}

bool ManifestList::AppendLine(const char* text, size_t length) {
    // The text ends at a NUL byte, as a C string read by the line would.
    const char* nul = static_cast<const char*>(memchr(text, '\0', length));
    if (nul != nullptr) length = static_cast<size_t>(nul - text);
    if (length > kManifestReadLength) length = kManifestReadLength;
    bool addLineEnd = length == 0 || text[length - 1] != kLineEnd;
    ManifestLine* line = static_cast<ManifestLine*>(malloc(sizeof(ManifestLine)));
    if (line == nullptr) return false;
    line->text = static_cast<char*>(malloc(length + (addLineEnd ? 2 : 1)));
    if (line->text == nullptr) {
        free(line);
        return false;
    }
    memcpy(line->text, text, length);
    if (addLineEnd) line->text[length++] = kLineEnd;
    line->text[length] = '\0';
    line->next = nullptr;
    line->prev = last;
    if (last != nullptr)
        last->next = line;
    else
        first = line;
    last = line;
    return true;
}

bool ManifestList::LoadText(const char* bytes, size_t length) {
    Clear();
    const char* end = bytes;
    for (const char* p = bytes; p < bytes + length; ++p) {
        if (*p == kEndOfText) break;
        end = p + 1;
    }
    char piece[kManifestReadLength] = {};
    const char* p = bytes;
    while (p < end) {
        size_t used = 0;
        while (used < kManifestReadLength && p < end) {
            char c = *p++;
            if (c == kReturn && p < end && *p == kLineEnd) c = *p++;
            piece[used++] = c;
            if (c == kLineEnd) break;
        }
        if (!AppendLine(piece, used)) return false;
    }
    return BuildIndex();
}

bool ManifestList::BuildIndex() {
    size_t lines = 0;
    for (const ManifestLine* line = first; line != nullptr; line = line->next) ++lines;
    // Every line is counted in both arrays: at most one of them uses it.
    headers = static_cast<ManifestIndexEntry*>(malloc((lines + 1) * sizeof(ManifestIndexEntry)));
    entries = static_cast<ManifestIndexEntry*>(malloc((lines + 1) * sizeof(ManifestIndexEntry)));
    if (headers == nullptr || entries == nullptr) {
        FreeIndex();
        return false;
    }
    const ManifestIndexEntry* section = nullptr;  // entries before the first header have none
    uint32_t ordinal = 0;
    for (const ManifestLine* line = first; line != nullptr; line = line->next, ++ordinal) {
        const char* begin;
        const char* end;
        ManifestIndexEntry item = {};
        item.line = ordinal;
        if (GetSectionName(line->text, &begin, &end)) {
            item.section = begin;
            item.sectionLength = static_cast<uint16_t>(end - begin);
            item.key = end;
            item.sectionLine = ordinal;
            headers[headerCount++] = item;
            section = &headers[headerCount - 1];
        } else if (section != nullptr) {
            GetKey(line->text, &begin, &end);
            item.section = section->section;
            item.sectionLength = section->sectionLength;
            item.sectionLine = section->sectionLine;
            item.key = begin;
            item.keyLength = static_cast<uint16_t>(end - begin);
            entries[entryCount++] = item;
        }
    }
    if (!SortEntries(headers, headerCount) || !SortEntries(entries, entryCount)) {
        FreeIndex();
        return false;
    }
    return true;
}

const ManifestIndexEntry* ManifestList::Find(const char* section, const char* key) const {
    ManifestIndexEntry probe = {};
    probe.section = section;
    probe.sectionLength = static_cast<uint16_t>(BoundedLength(section, kManifestLineLength + 1));
    probe.key = key;
    probe.keyLength = static_cast<uint16_t>(BoundedLength(key, kManifestLineLength + 1));
    // Only the first section of that name is searched.
    const ManifestIndexEntry* header = FindHeader(probe);
    if (header == nullptr) return nullptr;
    // The first entry of that key in a section of that name, which must be the first one.
    size_t entry = LowerBound(entries, entryCount, probe, comparisons);
    if (entry == entryCount || !SameNames(entries[entry], probe) ||
        entries[entry].sectionLine != header->sectionLine)
        return nullptr;
    return &entries[entry];
}

// The first header of the probe's section name, or nullptr.
const ManifestIndexEntry* ManifestList::FindHeader(const ManifestIndexEntry& probe) const {
    ManifestIndexEntry sectionProbe = probe;
    sectionProbe.keyLength = 0;
    size_t header = LowerBound(headers, headerCount, sectionProbe, comparisons);
    if (header == headerCount ||
        CompareRanges(headers[header].section, headers[header].sectionLength, probe.section,
                      probe.sectionLength) != 0)
        return nullptr;
    return &headers[header];
}

bool ManifestList::HasSection(const char* section) const {
    ManifestIndexEntry probe = {};
    probe.section = section;
    probe.sectionLength = static_cast<uint16_t>(BoundedLength(section, kManifestLineLength + 1));
    probe.key = "";
    return FindHeader(probe) != nullptr;
}

bool ManifestList::GetValue(const char* section, const char* key, int32_t* value) const {
    const ManifestIndexEntry* found = Find(section, key);
    if (found == nullptr) return false;
    *value = ParseValue(found->key + found->keyLength);
    return true;
}

bool ManifestList::GetText(const char* section, const char* key, char* out, size_t size) const {
    if (size == 0) return false;
    out[0] = '\0';
    const ManifestIndexEntry* found = Find(section, key);
    if (found == nullptr) return false;
    const char* p = strchr(found->key + found->keyLength, '=');
    if (p == nullptr) return false;
    p = SkipBlanks(p + 1);
    size_t length = strcspn(p, "\n");
    while (length > 0 && (IsBlank(p[length - 1]) || p[length - 1] == kReturn)) --length;
    if (length >= size) return false;
    memcpy(out, p, length);
    out[length] = '\0';
    return true;
}
