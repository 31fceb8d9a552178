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

namespace {

const char kLineEnd = '\n';
const char kReturn = '\r';
const char kEndOfText = '\x1A';  // Ctrl-Z, which ends a file read in text mode

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

bool EqualsRange(const char* begin, const char* end, const char* text) {
    size_t length = static_cast<size_t>(end - begin);
    return strlen(text) == length && memcmp(begin, text, length) == 0;
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

void FormatPartName(unsigned index, char (&name)[kPartNameSize]) {
    // "file000.bin" .. "file4294967295.bin": the array holds the longest.
    CopyText(name, "file");
    FormatDecimal(name + 4, sizeof name - 4, index, 3);
    AppendText(name, ".bin");
}

ManifestList::ManifestList() : first(nullptr), last(nullptr) {}

ManifestList::~ManifestList() {
    Clear();
}

void ManifestList::Clear() {
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
    if (last != nullptr) last->next = line;
    else first = line;
    last = line;
    return true;
}

int ManifestList::LoadText(const char* bytes, size_t length) {
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
        if (!AppendLine(piece, used)) return -1;
    }
    return 0;
}

int ManifestList::GetValue(const char* section, const char* key, int32_t* value) const {
    const ManifestLine* line = first;
    const char* begin;
    const char* end;
    for (; line != nullptr; line = line->next)
        if (GetSectionName(line->text, &begin, &end) && EqualsRange(begin, end, section)) break;
    if (line == nullptr) return -1;
    for (line = line->next; line != nullptr; line = line->next) {
        if (GetSectionName(line->text, &begin, &end)) return -1;
        GetKey(line->text, &begin, &end);
        if (EqualsRange(begin, end, key)) {
            *value = ParseValue(end);
            return 0;
        }
    }
    return -1;
}
