// The package manifest "pkginfo.txt": the input is the file's bytes, split into stored
// lines as Load does, then looked up as the fetch worker looks up parts and sums.
#include "fuzz/fuzz_support.h"
#include "transfer/manifest.h"

namespace {

// A key as the lookup reads it: blanks skipped, up to a blank, "=" or the line end.
void KeyOfLine(const char* text, char* key, size_t size) {
    while (*text == ' ' || *text == '\t') ++text;
    size_t n = 0;
    while (n + 1 < size && text[n] != '\0' && text[n] != ' ' && text[n] != '\t' && text[n] != '=' &&
           text[n] != '\n')
        ++n;
    memcpy(key, text, n);
    key[n] = '\0';
}

// The line a lookup must find, by walking the list as the lookup rules say: the first
// header named section, then the first line of that key before the next header.
const char* SectionName(const char* text, size_t* length) {
    while (*text == ' ' || *text == '\t') ++text;
    if (*text != '[') return nullptr;
    const char* end = ++text;
    while (*end != '\0' && *end != ']') ++end;
    *length = static_cast<size_t>(end - text);
    return text;
}

bool HasKey(const char* text, const char* key) {
    while (*text == ' ' || *text == '\t') ++text;
    size_t length = strlen(key);
    char after = text[strnlen(text, length) == length ? length : 0];
    return strncmp(text, key, length) == 0 &&
           (after == '\0' || after == ' ' || after == '\t' || after == '=');
}

const ManifestLine* WalkToEntry(const ManifestList& list, const char* section, const char* key) {
    size_t length = 0;
    const ManifestLine* line = list.First();
    for (; line != nullptr; line = line->next) {
        const char* name = SectionName(line->text, &length);
        if (name != nullptr && length == strlen(section) && memcmp(name, section, length) == 0)
            break;
    }
    if (line == nullptr) return nullptr;
    for (line = line->next; line != nullptr; line = line->next) {
        if (SectionName(line->text, &length) != nullptr) return nullptr;
        if (HasKey(line->text, key)) return line;
    }
    return nullptr;
}

void LookUp(const ManifestList& list, const char* section, const char* key) {
    int32_t value = 0x5A5A5A5A;
    bool found = list.GetValue(section, key, &value);
    if (!found) FUZZ_CHECK(value == 0x5A5A5A5A);
    // The index finds exactly what walking the list finds.
    FUZZ_CHECK(found == (WalkToEntry(list, section, key) != nullptr));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ManifestList list;
    FUZZ_CHECK(list.LoadText(reinterpret_cast<const char*>(data), size));

    // Every stored line is one piece of at most kManifestReadLength characters and its
    // single line end, linked both ways.
    const ManifestLine* previous = nullptr;
    size_t lines = 0;
    for (const ManifestLine* line = list.First(); line != nullptr; line = line->next) {
        FUZZ_CHECK(line->prev == previous);
        size_t length = strlen(line->text);
        FUZZ_CHECK(length >= 1 && length <= kManifestLineLength);
        FUZZ_CHECK(line->text[length - 1] == '\n');
        FUZZ_CHECK(memchr(line->text, '\n', length - 1) == nullptr);
        previous = line;
        ++lines;
    }
    FUZZ_CHECK(lines <= size + 1);

    // Plain text (no CR, NUL or Ctrl-Z, short lines, a final line end) is stored as it
    // stands, one line per stored line.
    bool plain = size > 0 && data[size - 1] == '\n';
    size_t lineLength = 0;
    for (size_t i = 0; plain && i < size; ++i) {
        plain = data[i] != '\r' && data[i] != '\0' && data[i] != '\x1A';
        lineLength = data[i] == '\n' ? 0 : lineLength + 1;
        plain = plain && lineLength < kManifestReadLength;
    }
    if (plain) {
        size_t at = 0;
        for (const ManifestLine* line = list.First(); line != nullptr; line = line->next) {
            size_t length = strlen(line->text);
            FUZZ_CHECK(at + length <= size && memcmp(data + at, line->text, length) == 0);
            at += length;
        }
        FUZZ_CHECK(at == size);
    }

    char name[kPartNameSize];
    for (unsigned part = 0; part < 3; ++part) {
        FormatPartName(part, name);
        LookUp(list, kFilesSection, name);
        LookUp(list, kSumsSection, name);
    }
    LookUp(list, kSumsSection, kTotalSumKey);
    // The keys the file itself names, under both sections and one of its own.
    char key[kManifestLineLength];
    unsigned looked = 0;
    for (const ManifestLine* line = list.First(); line != nullptr && looked < 8;
         line = line->next, ++looked) {
        KeyOfLine(line->text, key, sizeof key);
        LookUp(list, kFilesSection, key);
        LookUp(list, key, kTotalSumKey);
    }
    return 0;
}
