// The publisher's public key as a description carries it ("publisherKey"): base64 of the
// DER SubjectPublicKeyInfo of an RSA key. Parsing it yields the modulus and exponent from
// which the platform's key blob is built; the signature itself is checked by the platform.
#pragma once

#include <stddef.h>
#include <stdint.h>

const size_t kMinPublisherKeyBits = 2048;
const size_t kMaxPublisherKeyBits = 4096;
const size_t kMaxModulusSize = kMaxPublisherKeyBits / 8;
// The one public exponent accepted (F4), as every common key generator makes it.
const uint32_t kPublisherKeyExponent = 65537;
// The description value's buffer: the base64 of a 4096-bit key's DER takes about 740
// characters; a longer value is refused, never cut.
const size_t kPublisherKeyTextSize = 1024;

struct PublisherKey {
    unsigned char modulus[kMaxModulusSize];  // big-endian, without leading zero bytes
    size_t modulusSize;                      // bytes used in modulus
    uint32_t exponent;
};

// True when text is the strict base64 (Base64DecodeStrict: blanks allowed around and
// between characters) of exactly one DER SubjectPublicKeyInfo with the rsaEncryption
// algorithm, whose modulus has exactly 8 bits for each of its 256 to 512 bytes (a key of
// 2048 to 4096 bits, its top bit set) and whose public exponent is 65537. Anything else,
// including bytes after the structure, is refused.
bool ParsePublisherKey(const char* text, PublisherKey& key);
