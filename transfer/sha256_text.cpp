// Hex forms of SHA-256 digests (see sha256_text.h).
#include "transfer/sha256_text.h"

#include <string.h>

#include "common/text.h"

namespace {

bool IsListDelimiter(char c) { return c == ',' || IsBlankOrLineEnd(c); }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The digest of exactly kSha256HexLength characters at text.
bool ParseDigits(const char* text, Sha256Digest& digest) {
    Sha256Digest parsed;
    for (size_t i = 0; i < kSha256Size; ++i) {
        int high = HexValue(text[2 * i]);
        int low = high < 0 ? -1 : HexValue(text[2 * i + 1]);
        if (low < 0) return false;
        parsed.bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    digest = parsed;
    return true;
}

// The item-th item of a pin list: its start and length; false when there are fewer items.
bool FindItem(const char* list, size_t item, const char*& begin, size_t& length) {
    const char* p = list;
    for (size_t n = 0;; ++n) {
        while (*p != '\0' && IsListDelimiter(*p)) ++p;
        if (*p == '\0') return false;
        const char* start = p;
        while (*p != '\0' && !IsListDelimiter(*p)) ++p;
        if (n == item) {
            begin = start;
            length = static_cast<size_t>(p - start);
            return true;
        }
    }
}

}  // namespace

bool ParseSha256Hex(const char* text, Sha256Digest& digest) {
    const char* p = text;
    while (IsBlankOrLineEnd(*p)) ++p;
    const char* digits = p;
    while (HexValue(*p) >= 0) ++p;
    if (static_cast<size_t>(p - digits) != kSha256HexLength) return false;
    while (IsBlankOrLineEnd(*p)) ++p;
    return *p == '\0' && ParseDigits(digits, digest);
}

void FormatSha256Hex(const Sha256Digest& digest, char (&text)[kSha256HexLength + 1]) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < kSha256Size; ++i) {
        text[2 * i] = digits[digest.bytes[i] >> 4];
        text[2 * i + 1] = digits[digest.bytes[i] & 15];
    }
    text[kSha256HexLength] = '\0';
}

bool SameDigest(const Sha256Digest& a, const Sha256Digest& b) {
    return memcmp(a.bytes, b.bytes, kSha256Size) == 0;
}

size_t CountPinnedDigests(const char* list) {
    size_t count = 0;
    const char* begin;
    size_t length;
    while (FindItem(list, count, begin, length)) ++count;
    return count;
}

bool PinnedDigest(const char* list, size_t index, Sha256Digest& digest) {
    const char* begin;
    size_t length;
    if (!FindItem(list, index, begin, length) || length != kSha256HexLength) return false;
    return ParseDigits(begin, digest);
}
