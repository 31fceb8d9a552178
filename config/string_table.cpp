// String sections of the descriptions, %name% substitution and list tokens.
#include "config/string_table.h"

#include "common/text.h"

#include <stdint.h>

namespace {

// One loaded section. Its text follows the node in the same allocation.
struct StringNode {
    StringNode* next;
};

struct StringTable {
    StringNode* head;  // the section added last
};

StringTable g_stringTable = {nullptr};

const char* NodeText(const StringNode* node) { return reinterpret_cast<const char*>(node + 1); }

// The key of entry (the text before its first "=") equals name, ignoring ASCII case.
// Returns the value after the "=", or nullptr.
const char* MatchEntry(const char* entry, const char* name) {
    const char* equals = strchr(entry, '=');
    if (equals == nullptr) return nullptr;
    size_t keyLength = static_cast<size_t>(equals - entry);
    if (!EqualsIgnoringCaseN(entry, name, keyLength) || name[keyLength] != '\0') return nullptr;
    return equals + 1;
}

}  // namespace

bool AddStringSectionText(const char* text, size_t count) {
    if (count == 0 || text == nullptr) return false;
    if (count > SIZE_MAX - sizeof(StringNode) - 1) return false;
    StringNode* node = static_cast<StringNode*>(malloc(sizeof(StringNode) + count + 1));
    if (node == nullptr) return false;
    char* copy = reinterpret_cast<char*>(node + 1);
    memcpy(copy, text, count + 1);
    // A well-formed section already ends in two NULs (the last entry's and the extra
    // one). Forcing them keeps every later walk inside the node even for a cut read.
    copy[count] = '\0';
    copy[count - 1] = '\0';
    node->next = g_stringTable.head;
    g_stringTable.head = node;
    return true;
}

const char* LookUpString(const char* name) {
    if (name == nullptr) return nullptr;
    for (const StringNode* node = g_stringTable.head; node != nullptr; node = node->next) {
        for (const char* entry = NodeText(node); *entry != '\0'; entry += strlen(entry) + 1) {
            if (*entry == ';') continue;
            const char* value = MatchEntry(entry, name);
            if (value != nullptr) return value;
        }
    }
    return nullptr;
}

void Substitute(const char* text, char* out, size_t size) {
    if (size == 0) return;
    const size_t limit = size - 1;
    size_t written = 0;
    const char* p = text != nullptr ? text : "";
    while (*p != '\0' && written < limit) {
        if (*p != '%') {
            out[written++] = *p++;
            continue;
        }
        if (p[1] == '%') {
            out[written++] = '%';
            p += 2;
            continue;
        }
        const char* nameStart = p + 1;
        const char* close = strchr(nameStart, '%');
        if (close == nullptr) break;  // an unfinished reference ends the text
        size_t nameLength = static_cast<size_t>(close - nameStart);
        if (nameLength <= kMaxReferenceName) {
            char name[kMaxReferenceName + 1];
            memcpy(name, nameStart, nameLength);
            name[nameLength] = '\0';
            const char* value = LookUpString(name);
            if (value != nullptr) {
                while (*value != '\0' && written < limit) out[written++] = *value++;
            }
        }
        p = close + 1;
    }
    out[written] = '\0';
}

char* NextToken(char** cursor, const char* delimiters) {
    char* p = *cursor;
    // strchr finds the terminating NUL of delimiters too, so the end is tested first.
    while (*p != '\0' && strchr(delimiters, *p) != nullptr) ++p;
    if (*p == '\0') {
        *cursor = p;
        return nullptr;
    }
    char* start = p;
    while (*p != '\0' && strchr(delimiters, *p) == nullptr) ++p;
    if (*p != '\0') {
        *p = '\0';
        ++p;
    }
    *cursor = p;
    return start;
}

void EmptyStringTableForTests() {
    while (g_stringTable.head != nullptr) {
        StringNode* next = g_stringTable.head->next;
        free(g_stringTable.head);
        g_stringTable.head = next;
    }
}
