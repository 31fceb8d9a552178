// Unscrambling of the passwords written in descriptions, and scrambling for the publisher.
#include "transfer/password.h"

#include <string.h>

#include "transfer/base64.h"

namespace {

const int kRotationMask = 7;
const int kOffsetShift = 3;
const int kOffsetMask = 31;

unsigned char RotateRight(unsigned char value, int bits) {
    return static_cast<unsigned char>((value >> bits) | (value << (8 - bits)));
}

unsigned char RotateLeft(unsigned char value, int bits) {
    return static_cast<unsigned char>((value << bits) | (value >> (8 - bits)));
}

int Rotation(unsigned char control) { return control & kRotationMask; }

int Offset(unsigned char control) { return (control >> kOffsetShift) & kOffsetMask; }

}  // namespace

bool UnscramblePassword(const char* scrambled, char* plain, size_t plainSize) {
    unsigned char data[kPasswordFieldSize];
    int decoded = Base64Decode(scrambled, passwordBase64Alphabet, data, sizeof data);
    if (decoded < static_cast<int>(kScrambleHeaderSize)) return false;
    size_t length = static_cast<size_t>(decoded) - kScrambleHeaderSize;
    if (length + 1 > plainSize) return false;
    const unsigned char start = data[0];
    const int rotation = Rotation(data[1]);
    const int offset = Offset(data[1]);
    for (size_t i = 0; i < length; ++i) {
        unsigned char value = RotateRight(data[kScrambleHeaderSize + i], rotation);
        value = static_cast<unsigned char>(value - offset);
        plain[i] = static_cast<char>(value ^ static_cast<unsigned char>(start + i));
    }
    plain[length] = '\0';
    return true;
}

bool ScramblePassword(const unsigned char* password, size_t length, unsigned char start,
                      unsigned char control, unsigned short filler, char* out, size_t outSize) {
    if (outSize > 0) out[0] = '\0';
    if (length > kMaxScrambledPasswordLength) return false;
    unsigned char data[kPasswordFieldSize];
    data[0] = start;
    data[1] = control;
    data[2] = static_cast<unsigned char>(filler);
    data[3] = static_cast<unsigned char>(filler >> 8);
    const int rotation = Rotation(control);
    const int offset = Offset(control);
    for (size_t i = 0; i < length; ++i) {
        unsigned char value = password[i] ^ static_cast<unsigned char>(start + i);
        value = static_cast<unsigned char>(value + offset);
        data[kScrambleHeaderSize + i] = RotateLeft(value, rotation);
    }
    return Base64Encode(data, kScrambleHeaderSize + length, passwordBase64Alphabet, out, outSize);
}
