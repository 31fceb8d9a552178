// Base64 encoding and decoding over a caller-chosen 64-character alphabet.
#include "transfer/base64.h"

#include <limits.h>

const char standardBase64Alphabet[65] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char passwordBase64Alphabet[65] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789()";

namespace {

const char kFill = '=';
const int kGroupLength = 4;
const unsigned char kSkip = 0xFF;
const unsigned char kFillValue = 0xFE;

// Writes the bytes (1 to 3) that a group of four values stands for.
void WriteGroup(const unsigned char (&group)[kGroupLength], size_t bytes, unsigned char* out) {
    unsigned long bits =
        static_cast<unsigned long>(group[0]) << 18 | static_cast<unsigned long>(group[1]) << 12;
    if (bytes >= 2) bits |= static_cast<unsigned long>(group[2]) << 6;
    if (bytes == 3) bits |= group[3];
    out[0] = static_cast<unsigned char>(bits >> 16);
    if (bytes >= 2) out[1] = static_cast<unsigned char>(bits >> 8);
    if (bytes == 3) out[2] = static_cast<unsigned char>(bits);
}

}  // namespace

bool Base64Encode(const void* data, size_t length, const char* alphabet, char* out,
                  size_t outSize) {
    size_t groups = length / 3 + (length % 3 != 0 ? 1 : 0);
    if (outSize == 0) return false;
    if (groups > (outSize - 1) / kGroupLength) {
        out[0] = '\0';
        return false;
    }
    const unsigned char* in = static_cast<const unsigned char*>(data);
    char* o = out;
    for (; length >= 3; length -= 3, in += 3) {
        unsigned long bits = static_cast<unsigned long>(in[0]) << 16 |
                             static_cast<unsigned long>(in[1]) << 8 | in[2];
        *o++ = alphabet[bits >> 18];
        *o++ = alphabet[(bits >> 12) & 63];
        *o++ = alphabet[(bits >> 6) & 63];
        *o++ = alphabet[bits & 63];
    }
    if (length > 0) {
        unsigned long bits = static_cast<unsigned long>(in[0]) << 16 |
                             (length == 2 ? static_cast<unsigned long>(in[1]) << 8 : 0);
        *o++ = alphabet[bits >> 18];
        *o++ = alphabet[(bits >> 12) & 63];
        *o++ = length == 2 ? alphabet[(bits >> 6) & 63] : kFill;
        *o++ = kFill;
    }
    *o = '\0';
    return true;
}

int Base64Decode(const char* text, const char* alphabet, unsigned char* out, size_t outSize) {
    unsigned char values[256];
    for (unsigned char& value : values) value = kSkip;
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
    values[static_cast<unsigned char>(kFill)] = kFillValue;

    const size_t limit = outSize < static_cast<size_t>(INT_MAX) ? outSize : INT_MAX;
    size_t written = 0;
    unsigned char group[kGroupLength];
    int count = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        unsigned char value = values[static_cast<unsigned char>(*p)];
        if (value == kSkip) continue;
        group[count++] = value;
        if (count < kGroupLength) continue;
        count = 0;
        if (group[0] == kFillValue || group[1] == kFillValue) return static_cast<int>(written);
        size_t bytes = group[2] == kFillValue ? 1 : group[3] == kFillValue ? 2 : 3;
        if (bytes > limit - written) return -1;
        WriteGroup(group, bytes, out + written);
        written += bytes;
    }
    return count == 0 ? static_cast<int>(written) : -1;
}

namespace {

bool IsBase64Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of c in the standard alphabet, kFillValue for "=", kSkip for anything else.
unsigned char StandardValue(char c) {
    if (c == kFill) return kFillValue;
    for (int i = 0; i < 64; ++i)
        if (standardBase64Alphabet[i] == c) return static_cast<unsigned char>(i);
    return kSkip;
}

// How many bytes a complete group stands for (1 to 3), or 0 when its "=" are misplaced or
// the bits they drop are not zero.
size_t StrictGroupBytes(const unsigned char (&group)[kGroupLength]) {
    if (group[0] == kFillValue || group[1] == kFillValue) return 0;
    if (group[2] == kFillValue) return group[3] == kFillValue && (group[1] & 0x0F) == 0 ? 1 : 0;
    if (group[3] == kFillValue) return (group[2] & 0x03) == 0 ? 2 : 0;
    return 3;
}

}  // namespace

int Base64DecodeStrict(const char* text, unsigned char* out, size_t outSize) {
    const size_t limit = outSize < static_cast<size_t>(INT_MAX) ? outSize : INT_MAX;
    size_t written = 0;
    unsigned char group[kGroupLength];
    int count = 0;
    bool ended = false;  // a group with "=" has been read: only blanks may follow
    for (const char* p = text; *p != '\0'; ++p) {
        if (IsBase64Blank(*p)) continue;
        unsigned char value = StandardValue(*p);
        if (ended || value == kSkip) return -1;
        group[count++] = value;
        if (count < kGroupLength) continue;
        count = 0;
        size_t bytes = StrictGroupBytes(group);
        if (bytes == 0 || bytes > limit - written) return -1;
        ended = bytes < 3;
        WriteGroup(group, bytes, out + written);
        written += bytes;
    }
    return count == 0 ? static_cast<int>(written) : -1;
}
