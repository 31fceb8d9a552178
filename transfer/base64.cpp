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
        unsigned long bits =
            static_cast<unsigned long>(group[0]) << 18 | static_cast<unsigned long>(group[1]) << 12;
        if (bytes >= 2) bits |= static_cast<unsigned long>(group[2]) << 6;
        if (bytes == 3) bits |= group[3];
        out[written++] = static_cast<unsigned char>(bits >> 16);
        if (bytes >= 2) out[written++] = static_cast<unsigned char>(bits >> 8);
        if (bytes == 3) out[written++] = static_cast<unsigned char>(bits);
    }
    return count == 0 ? static_cast<int>(written) : -1;
}
