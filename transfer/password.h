// Scrambled passwords of descriptions. A scrambled password is Base64 in the "()" alphabet of
// a start value k, a control byte m, two unused bytes and the password's bytes, each XORed
// with k + i, increased by (m >> 3) & 31 and rotated left by m & 7 bits.
#pragma once

#include <stddef.h>

// The password fields hold 260 characters; longer decoded data is refused.
const size_t kPasswordFieldSize = 260;
const size_t kScrambleHeaderSize = 4;
const size_t kMaxScrambledPasswordLength = kPasswordFieldSize - kScrambleHeaderSize;

// Turns scrambled back into the plain password. Returns false, leaving plain as it was, when
// the text does not decode, decodes to fewer than 4 or more than kPasswordFieldSize bytes, or
// the password and its NUL do not fit plainSize. A zero byte in the result ends the password.
bool UnscramblePassword(const char* scrambled, char* plain, size_t plainSize);

template <size_t N>
inline bool UnscramblePassword(const char* scrambled, char (&plain)[N]) {
    return UnscramblePassword(scrambled, plain, N);
}

// The inverse, for the publisher: scrambles length bytes of password with start value start,
// control byte control and the two unused bytes filler into out (NUL-terminated). Returns
// false, with out empty, when the password is longer than kMaxScrambledPasswordLength or the
// text does not fit outSize.
bool ScramblePassword(const unsigned char* password, size_t length, unsigned char start,
                      unsigned char control, unsigned short filler, char* out, size_t outSize);
