// Base64 with a choice of alphabet: the standard one of RFC 2045 ("+" and "/") for
// Basic authentication, and the one ending in "()" in which scrambled passwords
// are written in descriptions.
#pragma once

#include <stddef.h>

extern const char standardBase64Alphabet[65];
extern const char passwordBase64Alphabet[65];

// Writes the encoding of length bytes (4 x ceil(length / 3) characters, "=" filling
// the last group) and a NUL. Returns false, with out empty, when it does not fit.
bool Base64Encode(const void* data, size_t length, const char* alphabet, char* out, size_t outSize);

// Decodes text written in alphabet into out; returns the number of bytes written, or -1
// when the text ends inside a group of four or the bytes do not fit outSize.
// Characters that are neither in the alphabet nor "=" are skipped. A group is looked at once
// it has four characters: "=" as its first or second character ends the data (the rest of
// the text is ignored); "=" as its third or fourth character cuts that group to one or two
// bytes, and decoding goes on with the next group.
int Base64Decode(const char* text, const char* alphabet, unsigned char* out, size_t outSize);

// The decoding of texts whose bytes must have one spelling only (the publisher's key): the
// standard alphabet, blanks (space, tab, CR, LF) allowed between characters, "=" only in the
// last group ("xx==" or "xxx=") with the bits it drops zero, and nothing but blanks after it.
// Returns the number of bytes written, or -1 for any other text or when they do not fit.
int Base64DecodeStrict(const char* text, unsigned char* out, size_t outSize);
