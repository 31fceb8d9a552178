// Bounded copies and ASCII comparisons used throughout the installer.
#include "common/text.h"

bool CopyTextN(char* destination, size_t size, const char* source) {
    if (size == 0) return false;
    size_t i = 0;
    for (; i + 1 < size && source[i] != '\0'; ++i) destination[i] = source[i];
    destination[i] = '\0';
    return source[i] == '\0';
}

bool AppendTextN(char* destination, size_t size, const char* source) {
    size_t used = BoundedLength(destination, size);
    if (used >= size) {
        if (size > 0) destination[size - 1] = '\0';
        return source[0] == '\0';
    }
    return CopyTextN(destination + used, size - used, source);
}

bool CopyTextPrefixN(char* destination, size_t size, const char* source, size_t count) {
    if (size == 0) return false;
    size_t i = 0;
    for (; i < count && i + 1 < size && source[i] != '\0'; ++i) destination[i] = source[i];
    destination[i] = '\0';
    return i == count || source[i] == '\0';
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCaseN(const char* a, const char* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
        if (a[i] == '\0') return true;
    }
    return true;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (ToLowerAscii(*a) != ToLowerAscii(*b)) return false;
        if (*a == '\0') return true;
    }
}

size_t BoundedLength(const char* text, size_t size) {
    size_t n = 0;
    while (n < size && text[n] != '\0') ++n;
    return n;
}

bool FormatDecimal(char* out, size_t size, long long value, int minimumDigits) {
    char digits[24];
    size_t count = 0;
    // Negated digit by digit, so that the smallest value needs no special case.
    bool negative = value < 0;
    do {
        int digit = static_cast<int>(value % 10);
        digits[count++] = static_cast<char>('0' + (negative ? -digit : digit));
        value /= 10;
    } while (value != 0);
    while (count < static_cast<size_t>(minimumDigits) && count < sizeof digits)
        digits[count++] = '0';
    size_t length = count + (negative ? 1 : 0);
    if (size == 0) return false;
    if (length + 1 > size) {
        out[0] = '\0';
        return false;
    }
    size_t at = 0;
    if (negative) out[at++] = '-';
    while (count > 0) out[at++] = digits[--count];
    out[at] = '\0';
    return true;
}

const char* LastPathElement(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}
